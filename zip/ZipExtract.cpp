// Extraction of one entry: output path and overwrite rules, decoding (stored, DEFLATE through
// zlib, traditional PKWARE decryption), size and CRC-32 checks, time and attributes.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "platform/FileAttributes.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ScopeGuard.h"
#include "platform/Text.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipDecoder.h"
#include "zip/ZipDirManager.h"

namespace varnel {

namespace {

// Linux opens no path this long, so a folder path of that length is refused before the
// folders are forced into existence level by level (a 64 KB name holds 32,000 levels).
constexpr size_t kPathMax = 4096;

// Names that would leave the destination or can't be joined: absolute, "..", drives or ":",
// a doubled separator (an empty part before the end), backslashes, NUL.
bool IsConfinedName(const std::string& name) {
  if (!name.empty() && name.front() == '/') return false;
  if (name.find_first_of(std::string(":\\\0", 3)) != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return false;
    if (end == start && end < name.size()) return false;
    start = end + 1;
  }
  return true;
}

// What the writing side of one entry has done so far.
struct TEntryOutput {
  uint64_t produced = 0;
  uint32_t crc = 0;
};

// How a step left the entry: more steps of the same piece follow, the next piece is wanted,
// decoding stops (Cancel, or the disk-full handler cancelled) or the entry failed.
enum TStepVerdict { svNextStep, svPieceDone, svStopped, svFailed };

// Decodes each piece just before its steps are replayed.
template <typename Replay>
TStepVerdict DecodeInline(TEntryDecoder& decoder, TDecodePiece& piece, TBytes& outBuffer,
                          TStream& archive, const TDecodeSetup& setup, uint64_t packed,
                          Replay& replay) {
  // The buffers grow to what the entries need, up to a piece each, and are kept.
  size_t pieceSize = static_cast<size_t>(std::min<uint64_t>(kPieceSize, packed)) + 2;
  piece.buffer.Reserve(pieceSize);
  outBuffer.Reserve(setup.outSize);
  decoder.Begin(setup);
  uint64_t consumed = 0;
  TDecodeStep step;
  while (consumed < packed) {
    ReadPiece(archive, packed, consumed, piece, setup.deflate);
    decoder.Feed(piece);
    TStepVerdict verdict;
    if (setup.deflate) {
      do {
        decoder.Inflate(outBuffer.data(), step);
        verdict = replay(step);
      } while (verdict == svNextStep);
    } else {
      decoder.Store(piece, step);
      verdict = replay(step);
    }
    if (verdict != svPieceDone) return verdict;
  }
  return svPieceDone;
}

// Replays the steps the decode thread made. A piece it couldn't read raises only where the
// inline decoding would have read it, after the steps before it; whatever was decoded past
// the point where the replay stops is dropped.
template <typename Replay>
TStepVerdict DecodeAheadOfWriting(TDecodeThread& thread, TStream& archive,
                                  const TDecodeSetup& setup, uint64_t packed, Replay& replay) {
  thread.Begin(setup, archive, packed);
  TScopeExit end([&] { thread.End(); });
  while (true) {
    TDecodeStep step = thread.Next();
    if (step.readFailed) {
      if (step.readFailure) std::rethrow_exception(step.readFailure);
      return svFailed;
    }
    TStepVerdict verdict = replay(step);
    bool last = step.last;
    thread.Recycle(std::move(step));
    if (verdict == svFailed || verdict == svStopped || (verdict == svPieceDone && last)) {
      return verdict;
    }
  }
}

}  // namespace

bool TBaseArchiver::ReportProcess(const TZipDirItem& item, uint64_t bytesDone,
                                  uint64_t bytesTotal) {
  if (!processingActive_) return true;
  double fraction = static_cast<double>(bytesDone) / static_cast<double>(bytesTotal);
  DoOnFileProgress(item.Name, poExtract, fraction * 100, ppProcess, Cancel);
  if (Cancel) return false;
  DoOnOverallProgress(poExtract, ppProcess, (fraction + processedCount_) / selectedCount_ * 100,
                      Cancel);
  return !Cancel;
}

bool TBaseArchiver::WriteOutput(TStream& output, const uint8_t* data, int64_t count) {
  while (true) {
    int64_t written = output.Write(data, count);
    if (written == count) return true;
    int64_t start = output.Position() - written;
    Cancel = false;
    if (!OnDiskFull) {
      if (SpanningMode == smSpanning) return true;
      throw EZipException(65);
    }
    OnDiskFull(this, 0, FileName, Cancel);
    if (Cancel) return false;
    output.Seek(start, soBeginning);
  }
}

bool TBaseArchiver::AskPassword(const TZipDirItem& item) {
  if (OnPassword) {
    OnPassword(this, item.Name, Password, SkipFile);
    return !SkipFile;
  }
  std::string typed;
  if (!prompt_.PasswordQuery("Password for \"" + item.Name + "\"", "Enter password: ", typed)) {
    SkipFile = true;
    return false;
  }
  Password = Utf8ToCp1252(typed);
  SkipFile = false;
  return true;
}

bool TBaseArchiver::DecodeItem(TStream& archive, TStream& output, const TZipDirItem& item) {
  uint8_t local[30];
  archive.ReadBuffer(local, 30);
  int64_t position = archive.Seek(Get16(local + 26) + Get16(local + 28), soCurrent);
  uint64_t packed = item.PackedSize();
  uint64_t unpacked = item.UnpackedSize();
  if (SpanningMode == smNone && dir_ &&
      position + static_cast<int64_t>(std::min<uint64_t>(packed, INT64_MAX / 2)) >
          dir_->CentralDirStart) {
    packed = static_cast<uint64_t>(std::max<int64_t>(dir_->CentralDirStart - position, 0));
  }
  uint64_t bytesTotal = unpacked == 0 ? 2 : unpacked;
  SkipFile = false;
  if (item.ActualMethod == 9) throw EZipException(55);
  if (item.ActualMethod != 0 && item.ActualMethod != 8) return false;
  bool deflate = item.ActualMethod == 8;

  bool encrypted = item.Encrypted();
  TZipCrypto crypto{std::string()};
  if (encrypted && item.EncryptionKind != 0) {
    // AES entries are not decoded: the password is asked for, then the entry is skipped.
    AskPassword(item);
    SkipFile = true;
    return false;
  }
  if (encrypted) {
    if (packed < 12) return false;
    uint8_t header[12];
    archive.ReadBuffer(header, 12);
    packed -= 12;
    uint8_t check = (item.Flags & 8) ? static_cast<uint8_t>(item.Time >> 8)
                                     : static_cast<uint8_t>(item.Crc32 >> 24);
    while (true) {
      TZipCrypto trial(Password);
      uint8_t copy[12];
      std::memcpy(copy, header, 12);
      trial.Decrypt(copy, 12);
      if (copy[11] == check) {
        crypto = trial;
        break;
      }
      if (!AskPassword(item) || SkipFile) return false;
    }
  }

  TDecodeSetup setup;
  setup.deflate = deflate;
  setup.encrypted = encrypted;
  setup.crypto = crypto;
  // DEFLATE yields at most 1032 bytes for each byte it takes, so the output an entry can
  // reach bounds its buffer and its decoding work, whatever size it declares.
  uint64_t reachable =
      std::min(unpacked, deflate ? std::min(packed, UINT64_MAX / 1032) * 1032 : packed);
  setup.outSize = static_cast<size_t>(std::min<uint64_t>(kPieceSize, reachable + 1));
  setup.unpacked = unpacked;

  // Replays one step as the writing side sees it: the progress report, then the checks and
  // the write. The same whether the step was decoded just now or ahead on the decode thread.
  TEntryOutput out;
  out.crc = crc32(0, nullptr, 0);
  auto replay = [&](const TDecodeStep& step) {
    if (!deflate) {
      for (size_t at = 0, slice = 0; at < step.size; at += kStoredSlice, ++slice) {
        size_t n = std::min(kStoredSlice, step.size - at);
        if (out.produced + n > unpacked) {
          WriteOutput(output, step.data + at, static_cast<int64_t>(unpacked - out.produced));
          return svFailed;
        }
        out.crc = step.sliceCrcs[slice];
        out.produced += n;
        if (!ReportProcess(item, out.produced, bytesTotal) ||
            !WriteOutput(output, step.data + at, static_cast<int64_t>(n))) {
          return svStopped;
        }
      }
      return svPieceDone;
    }
    if (!ReportProcess(item, step.totalBefore, bytesTotal)) {
      out.produced = step.totalBefore;
      return svStopped;
    }
    if (step.result < 0) {
      if (!step.PieceDone()) return svFailed;
      out.produced = step.totalAfter;
      return svPieceDone;
    }
    // Output past the declared size fails the entry at once: a small archive must not fill
    // the disk before the final size check.
    if (step.totalAfter > unpacked) {
      WriteOutput(output, step.data,
                  static_cast<int64_t>(step.size - (step.totalAfter - unpacked)));
      return svFailed;
    }
    if (!WriteOutput(output, step.data, static_cast<int64_t>(step.size))) {
      out.produced = step.totalAfter;
      return svStopped;
    }
    out.crc = step.summed ? crc32_combine(out.crc, step.stepCrc, static_cast<z_off_t>(step.size))
                          : crc32(out.crc, step.data, static_cast<uInt>(step.size));
    return step.result == Z_STREAM_END ? svFailed : svNextStep;
  };

  TStepVerdict verdict;
  if (DecodeAhead && packed > 0 && std::max(packed, reachable) >= DecodeAheadMinimum) {
    if (!decodeThread_) decodeThread_ = std::make_unique<TDecodeThread>();
    verdict = DecodeAheadOfWriting(*decodeThread_, archive, setup, packed, replay);
  } else {
    if (!decoder_) decoder_ = std::make_unique<TEntryDecoder>();
    TDecodePiece piece;
    piece.buffer = std::move(inBuffer_);
    TScopeExit keep([&] { inBuffer_ = std::move(piece.buffer); });
    verdict = DecodeInline(*decoder_, piece, outBuffer_, archive, setup, packed, replay);
  }
  if (verdict == svFailed || out.produced != unpacked) return false;
  return item.VersionNeeded >= kStrongEncryptionVersion || out.crc == item.Crc32;
}

void TBaseArchiver::ExtractItemToStream(int index, TStream& output) {
  if (!DecodeEntry(index, output)) throw EZipException(8, {}, Name);
}

bool TBaseArchiver::DecodeEntry(int index, TStream& output) {
  if (index < 0 || index >= ItemCount()) throw EZipException(16, {}, Name);
  const TZipDirItem& item = Item(index);
  int64_t offset = static_cast<int64_t>(std::min<uint64_t>(item.HeaderOffset(), INT64_MAX));
  // Entries usually follow each other, so the stream is often there already.
  if (archiveStream_->Position() != offset && archiveStream_->Seek(offset, soBeginning) != offset) {
    throw EReadError("Stream read error");
  }
  return DecodeItem(*archiveStream_, output, item) || Cancel || ExtractCorruptedFiles || SkipFile;
}

bool TBaseArchiver::OverwriteAllowed(std::string& outputPath, const std::string& entryName,
                                     const TZipDirItem& item) {
  if (!Options.ReplaceReadOnly) {
    int64_t attrs = GetFileAttributes(fileSystem_, outputPath);
    if (attrs < 0) attrs = faSysFile;
    if (attrs & faReadOnly) return false;
  }
  auto entryTime = static_cast<int32_t>((static_cast<uint32_t>(item.Date) << 16) | item.Time);
  switch (Options.OverwriteMode) {
    case omAlways:
      return true;
    case omNever:
      return false;
    case omIfNewer:
      return !(GetFileDosDateTime(fileSystem_, outputPath) >= entryTime);
    case omIfOlder:
      return !(entryTime >= GetFileDosDateTime(fileSystem_, outputPath));
    case omPrompt:
      break;
  }
  bool confirm = false;
  if (OnConfirmOverwrite) {
    OnConfirmOverwrite(this, entryName, outputPath, confirm);
    return confirm;
  }
  switch (prompt_.MessageDlg("Overwrite file \"" + outputPath + "\" with \"" + entryName + "\"",
                             mtConfirmation, mbYes | mbNo | mbNoToAll | mbYesToAll)) {
    case mrYes:
      return true;
    case mrNoToAll:
      Options.OverwriteMode = omNever;
      return false;
    case mrYesToAll:
      Options.OverwriteMode = omAlways;
      return true;
    default:
      return false;
  }
}

int64_t TBaseArchiver::NewFileMode(const std::string& path) {
  if (!processingActive_) return -1;
  std::string folder = ExtractFilePath(path);
  if (folder != newFileFolder_) {
    TFileStatus status = fileSystem_.Status(path, false);
    if (status.Kind != TFileKind::File) return -1;
    newFileFolder_ = folder;
    newFileMode_ = status.Mode & 0777;
  }
  return newFileMode_;
}

void TBaseArchiver::ExtractItem(int index, std::string entryName, const std::string& destDir) {
  std::optional<EZipException> failure = ExtractEntry(index, std::move(entryName), destDir);
  if (failure) throw *failure;
}

std::optional<EZipException> TBaseArchiver::ExtractEntry(int index, std::string entryName,
                                                         const std::string& destDir) {
  if (index < 0 || index >= ItemCount()) return EZipException(16, {}, Name);
  const TZipDirItem& item = Item(index);
  uint32_t entryAttr = item.ExternalAttr;
  if (OnExtractFile) OnExtractFile(this, entryName, entryAttr, item.Comment);
  if (!IsConfinedName(entryName)) return EZipException(19, {entryName}, Name);
  if (!Options.CreateDirs) {
    entryName = entryName.substr(entryName.find_last_of("/:") + 1);
  } else {
    // A folder entry may be marked by its attributes alone, without a trailing "/".
    std::string folder = destDir + (item.IsFolder() ? IncludeTrailingPathDelimiter(entryName)
                                                    : ExtractFilePath(entryName));
    // Entries come folder by folder, so the last folder made sure of is checked only once.
    if (!processingActive_ || folder != knownFolder_) {
      if (folder.size() >= kPathMax || !ForceDirectories(fileSystem_, folder)) {
        return EZipException(20, {folder}, Name);
      }
      if (processingActive_) knownFolder_ = folder;
    }
  }
  if (item.IsFolder()) return std::nullopt;

  std::string outputPath = destDir + entryName;
  // Most entries land where nothing is yet, so the file is first made outright; what is there
  // is looked at only when that fails.
  std::unique_ptr<TStream> file;
  try {
    file = fileSystem_.OpenFile(outputPath, fmCreateNew);
  } catch (const EStreamError&) {
  }
  bool madeOutright = file != nullptr;
  if (!file) {
    int64_t existing = GetFileAttributes(fileSystem_, outputPath);
    if (existing < 0 || (existing & faDirectory)) return EZipException(19, {outputPath}, Name);
    if (!OverwriteAllowed(outputPath, entryName, item)) return std::nullopt;
    // A link found here is removed, never followed.
    SetFileAttributes(fileSystem_, outputPath, 0, false);
    DeleteFile(fileSystem_, outputPath);
    try {
      file = fileSystem_.OpenFile(outputPath, fmCreate);
    } catch (const EStreamError&) {
      return EZipException(19, {outputPath}, Name);
    }
  }
  // The file is closed and dated, then deleted unless it was extracted whole, also when the
  // extraction raises.
  bool extracted = false;
  TScopeExit finish([&] {
    file.reset();
    SetFileDosDateTime(fileSystem_, outputPath,
                       (static_cast<uint32_t>(item.Date) << 16) | item.Time, localTime_);
    if (SkipFile || Cancel || !extracted) {
      DeleteFile(fileSystem_, outputPath);
    } else if (Options.SetAttributes) {
      SetNewFileAttributes(fileSystem_, outputPath, entryAttr, (item.VersionMadeBy >> 8) == 3,
                           madeOutright ? NewFileMode(outputPath) : -1);
    }
  });
  extracted = DecodeEntry(index, *file);
  if (!extracted) return EZipException(8, {}, Name);
  return std::nullopt;
}

}  // namespace varnel

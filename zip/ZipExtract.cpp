// Extraction of one entry: output path and overwrite rules, decoding (stored, DEFLATE through
// zlib, traditional PKWARE decryption), size and CRC-32 checks, time and attributes.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/FileAttributes.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipDirManager.h"

namespace varnel {

namespace {

constexpr size_t kPieceSize = 1048576;
constexpr size_t kStoredSlice = 65535;
// Linux opens no path this long, so a folder path of that length is refused before the
// folders are forced into existence level by level (a 64 KB name holds 32,000 levels).
constexpr size_t kPathMax = 4096;

// The traditional PKWARE stream cipher.
class TZipCrypto {
 public:
  explicit TZipCrypto(const std::string& password) {
    for (char c : password) Update(static_cast<uint8_t>(c));
  }
  void Decrypt(uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      uint32_t temp = (keys_[2] | 2) & 0xFFFF;
      data[i] ^= static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
      Update(data[i]);
    }
  }

 private:
  static uint32_t CrcByte(uint32_t crc, uint8_t b) {
    return static_cast<uint32_t>(get_crc_table()[(crc ^ b) & 0xFF]) ^ (crc >> 8);
  }
  void Update(uint8_t b) {
    keys_[0] = CrcByte(keys_[0], b);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
    keys_[2] = CrcByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

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

struct TInflateGuard {
  z_stream& z;
  bool active;
  ~TInflateGuard() {
    if (active) inflateEnd(&z);
  }
};

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

  // The buffers grow to what the entries need, up to a piece each, and are kept.
  size_t inNeeded = static_cast<size_t>(std::min<uint64_t>(kPieceSize, packed)) + 2;
  size_t outNeeded = static_cast<size_t>(std::min<uint64_t>(kPieceSize, unpacked + 1));
  if (inBuffer_.size() < inNeeded) inBuffer_.resize(inNeeded);
  if (outBuffer_.size() < outNeeded) outBuffer_.resize(outNeeded);
  z_stream z{};
  if (deflate && inflateInit(&z) != Z_OK) throw EDecompressionError("error");
  // The entry's data never carries the zlib checksum, so computing one over every output byte
  // is wasted: inflate still takes 4 bytes after the DEFLATE data as the checksum, and the
  // end of the stream (reached only through those bytes) counts as a failed check below.
  if (deflate) inflateValidate(&z, 0);
  TInflateGuard guard{z, deflate};

  uint32_t crc = crc32(0, nullptr, 0);
  uint64_t produced = 0;
  uint64_t consumed = 0;
  bool first = true;
  bool stopped = false;
  while (consumed < packed && !stopped) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kPieceSize, packed - consumed));
    size_t offset = deflate && first ? 2 : 0;
    uint8_t* piece = inBuffer_.data() + offset;
    archive.ReadBuffer(piece, static_cast<int64_t>(n));
    consumed += n;
    if (encrypted) crypto.Decrypt(piece, n);
    if (deflate) {
      if (first) {
        // inflate in zlib format takes the raw data behind this stream header.
        inBuffer_[0] = 0x78;
        inBuffer_[1] = 0x01;
      }
      z.next_in = inBuffer_.data();
      z.avail_in = static_cast<uInt>(n + offset);
      while (true) {
        if (!ReportProcess(item, z.total_out, bytesTotal)) {
          stopped = true;
          break;
        }
        z.next_out = outBuffer_.data();
        z.avail_out = static_cast<uInt>(outBuffer_.size());
        int result = inflate(&z, Z_NO_FLUSH);
        if (result < 0) {
          if (result == Z_BUF_ERROR && z.avail_in == 0) break;
          return false;
        }
        size_t made = outBuffer_.size() - z.avail_out;
        // Output past the declared size fails the entry at once: a small archive must not
        // fill the disk before the final size check.
        if (z.total_out > unpacked) {
          WriteOutput(output, outBuffer_.data(),
                      static_cast<int64_t>(made - (z.total_out - unpacked)));
          return false;
        }
        if (!WriteOutput(output, outBuffer_.data(), static_cast<int64_t>(made))) {
          stopped = true;
          break;
        }
        crc = crc32(crc, outBuffer_.data(), static_cast<uInt>(made));
        if (result == Z_STREAM_END) return false;
      }
      produced = z.total_out;
    } else {
      for (size_t at = 0; at < n; at += kStoredSlice) {
        size_t slice = std::min(kStoredSlice, n - at);
        if (produced + slice > unpacked) {
          WriteOutput(output, piece + at, static_cast<int64_t>(unpacked - produced));
          return false;
        }
        crc = crc32(crc, piece + at, static_cast<uInt>(slice));
        produced += slice;
        if (!ReportProcess(item, produced, bytesTotal) ||
            !WriteOutput(output, piece + at, static_cast<int64_t>(slice))) {
          stopped = true;
          break;
        }
      }
    }
    first = false;
  }
  if (produced != unpacked) return false;
  return item.VersionNeeded >= kStrongEncryptionVersion || crc == item.Crc32;
}

void TBaseArchiver::ExtractItemToStream(int index, TStream& output) {
  if (index < 0 || index >= ItemCount()) throw EZipException(16, {}, Name);
  const TZipDirItem& item = Item(index);
  int64_t offset = static_cast<int64_t>(std::min<uint64_t>(item.HeaderOffset(), INT64_MAX));
  if (archiveStream_->Seek(offset, soBeginning) != offset) throw EReadError("Stream read error");
  if (!DecodeItem(*archiveStream_, output, item) && !Cancel && !ExtractCorruptedFiles &&
      !SkipFile) {
    throw EZipException(8, {}, Name);
  }
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

void TBaseArchiver::ExtractItem(int index, std::string entryName, const std::string& destDir) {
  if (index < 0 || index >= ItemCount()) throw EZipException(16, {}, Name);
  const TZipDirItem& item = Item(index);
  uint32_t entryAttr = item.ExternalAttr;
  if (OnExtractFile) OnExtractFile(this, entryName, entryAttr, item.Comment);
  if (!IsConfinedName(entryName)) throw EZipException(19, {entryName}, Name);
  if (!Options.CreateDirs) {
    entryName = entryName.substr(entryName.find_last_of("/:") + 1);
  } else {
    // A folder entry may be marked by its attributes alone, without a trailing "/".
    std::string folder = destDir + (item.IsFolder() ? IncludeTrailingPathDelimiter(entryName)
                                                    : ExtractFilePath(entryName));
    if (folder.size() >= kPathMax || !ForceDirectories(fileSystem_, folder)) {
      throw EZipException(20, {folder}, Name);
    }
  }
  if (item.IsFolder()) return;

  std::string outputPath = destDir + entryName;
  int64_t existing = GetFileAttributes(fileSystem_, outputPath);
  if (existing >= 0 && !(existing & faDirectory)) {
    if (!OverwriteAllowed(outputPath, entryName, item)) return;
    // A link found here is removed, never followed.
    SetFileAttributes(fileSystem_, outputPath, 0, false);
    DeleteFile(fileSystem_, outputPath);
  }
  std::unique_ptr<TStream> file;
  try {
    file = fileSystem_.OpenFile(outputPath, fmCreate);
  } catch (const EStreamError&) {
    throw EZipException(19, {outputPath}, Name);
  }
  std::exception_ptr failure;
  try {
    ExtractItemToStream(index, *file);
  } catch (...) {
    failure = std::current_exception();
  }
  file.reset();
  SetFileDosDateTime(fileSystem_, outputPath, (static_cast<uint32_t>(item.Date) << 16) | item.Time);
  if (SkipFile || Cancel || failure) {
    DeleteFile(fileSystem_, outputPath);
  } else if (Options.SetAttributes) {
    SetFileAttributes(fileSystem_, outputPath, entryAttr, (item.VersionMadeBy >> 8) == 3);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace varnel

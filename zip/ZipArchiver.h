// TZipArchiver reads ZIP archives and extracts their entries into a folder. It owns the archive
// stream it opens (held until CloseArchive) and its options; the file system it reads and
// writes through and the prompt for the default questions stay the caller's and must outlive
// the component.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/Prompt.h"
#include "platform/Streams.h"
#include "zip/ZipBytes.h"
#include "zip/ZipException.h"

namespace varnel {

enum TZipStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TZipFileShareMode {
  smShareCompat,
  smShareExclusive,
  smShareDenyWrite,
  smShareDenyRead,
  smShareDenyNone
};
enum TZipOverwriteMode { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TZipSpanningMode { smNone, smSpanning, smSplitting };
enum TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum TZipCryptoAlgorithm { caPkzipClassic, caAES_128, caAES_192, caAES_256 };
enum TZipCompressionLevel { clNone, clFastest, clNormal, clMax };
enum TZipProcessOperation {
  poAdd,
  poMove,
  poDelete,
  poUpdate,
  poExtract,
  poTest,
  poRename,
  poChangeAttr,
  poChangeComment,
  poMakeSFX,
  poMerge
};
enum TZipProgressPhase { ppStart, ppProcess, ppEnd };
enum TZipAction { fxaRetry, fxaIgnore, fxaAbort };

struct TZipOptions {
  bool Recurse = true;  // false: a mask's folder part must equal the entry's folder
  TZipStorePathMode StorePath = spRelativePath;
  TZipFileShareMode ShareMode = smShareDenyNone;
  TZipOverwriteMode OverwriteMode = omAlways;  // what to do with a file already at the target
  bool CreateDirs = true;       // false: every entry lands directly in the destination
  bool ReplaceReadOnly = true;  // false: read-only targets are kept
  bool SetAttributes = true;    // give extracted files the entry's attributes
  uint32_t SearchAttr = 10431;  // attribute bits an entry may carry and still be selected
  bool FlushBuffers = true;     // flush files written to removable drives
  bool OEMFileNames = true;     // names without the UTF-8 flag are in the OEM code page
};

// One entry of the archive directory, with the central header's fixed fields as stored.
struct TZipDirItem {
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t Time = 0;
  uint16_t Date = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskStart = 0;
  uint16_t InternalAttr = 0;
  uint32_t ExternalAttr = 0;
  uint32_t LocalHeaderOffset = 0;

  std::string Name;  // UTF-8; a stored "\" reads as the folder separator "/"
  std::string Comment;
  // Values of the ZIP64 extended-information field, when it was present.
  bool HasZip64 = false;
  uint64_t Zip64UncompressedSize = 0;
  uint64_t Zip64CompressedSize = 0;
  uint64_t Zip64LocalHeaderOffset = 0;
  uint32_t Zip64DiskStart = 0;
  int EncryptionKind = 0;  // 0 traditional, 1/2/3 AES-128/192/256; used when flag bit 0 is set
  uint16_t ActualMethod = 0;
  bool Selected = false;
  TZipProcessOperation PendingOperation = poExtract;

  bool Encrypted() const { return (Flags & 1) != 0; }
  uint64_t PackedSize() const;
  uint64_t UnpackedSize() const;
  uint64_t HeaderOffset() const;
  bool IsFolder() const;
};

using TZipFileProgressEvent =
    std::function<void(class TBaseArchiver* sender, const std::string& fileName, double progress,
                       TZipProcessOperation operation, TZipProgressPhase phase, bool& cancel)>;
using TZipProgressEvent =
    std::function<void(TBaseArchiver* sender, double progress, TZipProcessOperation operation,
                       TZipProgressPhase phase, bool& cancel)>;
using TZipConfirmOverwriteEvent =
    std::function<void(TBaseArchiver* sender, const std::string& sourceFileName,
                       std::string& destFileName, bool& confirm)>;
using TZipConfirmProcessFileEvent =
    std::function<void(TBaseArchiver* sender, const std::string& fileName,
                       TZipProcessOperation operation, bool& confirm)>;
using TZipOnPasswordEvent = std::function<void(TBaseArchiver* sender, const std::string& fileName,
                                               std::string& newPassword, bool& skipFile)>;
using TZipProcessFileFailureEvent = std::function<void(
    TBaseArchiver* sender, const std::string& fileName, TZipProcessOperation operation,
    int nativeError, int errorCode, const std::string& errorMessage, TZipAction& action)>;
using TZipOnDiskFullEvent = std::function<void(TBaseArchiver* sender, int volumeNumber,
                                               const std::string& volumeFileName, bool& cancel)>;
using TZipOnExtractFileEvent = std::function<void(TBaseArchiver* sender, std::string& fileName,
                                                  uint32_t& fileAttr, const std::string& comment)>;
using TNotifyEvent = std::function<void(TBaseArchiver* sender)>;

class TZipDirManager;
class TEntryDecoder;
class TDecodeThread;

class TBaseArchiver {
 public:
  // Archives are read and entries written through fileSystem. The prompt answers the default
  // questions (failure, overwrite, password) when the matching event is not assigned.
  TBaseArchiver(IFileSystem& fileSystem, IPrompt& prompt);
  virtual ~TBaseArchiver();
  TBaseArchiver(const TBaseArchiver&) = delete;
  TBaseArchiver& operator=(const TBaseArchiver&) = delete;

  // Published state.
  std::string Name;      // component name; when set, messages begin with "Name: "
  std::string FileName;  // the archive's full path
  std::string BaseDir;   // destination folder; empty means the current folder
  TZipOptions Options;
  bool ExtractCorruptedFiles = false;  // keep output that fails the size or CRC-32 check
  std::string Password;                // bytes of the password for encrypted entries
  TZipSpanningMode SpanningMode = smNone;
  TZip64Mode Zip64Mode = zmAuto;
  bool UnicodeFilenames = false;
  TZipCryptoAlgorithm EncryptionMethod = caPkzipClassic;
  std::string TempDir;
  std::string SFXStub;
  bool GetInMemory() const { return inMemory_; }
  void SetInMemory(bool value) { inMemory_ = value; }
  TZipCompressionLevel GetCompressionLevel() const { return compressionLevel_; }
  void SetCompressionLevel(TZipCompressionLevel value) { compressionLevel_ = value; }
  // Decode large entries (inflate, CRC-32, decryption) on a second thread ahead of the
  // writing; events, questions and files stay exactly the same. False keeps every entry on
  // the calling thread.
  bool DecodeAhead = true;
  // Entries whose data and reachable output (the declared size, but no more than their data
  // can inflate to) are both below this size stay on the calling thread even so: handing them
  // over costs more than decoding them.
  uint64_t DecodeAheadMinimum = 1048576;

  // Events.
  TZipFileProgressEvent OnFileProgress;
  TZipProgressEvent OnOverallProgress;
  TZipConfirmOverwriteEvent OnConfirmOverwrite;
  TZipConfirmProcessFileEvent OnConfirmProcessFile;
  TNotifyEvent AfterOpen;
  TZipOnPasswordEvent OnPassword;
  TZipProcessFileFailureEvent OnProcessFileFailure;
  TZipOnDiskFullEvent OnDiskFull;
  TZipOnExtractFileEvent OnExtractFile;

  // Opens FileName (mode 0: read access) and reads its directory, rebuilding it from the local
  // headers when the directory is damaged or missing. Raises EZipException or a stream error;
  // the component then stays inactive.
  void OpenArchive(uint16_t mode);
  void CloseArchive();
  bool Active() const { return active_; }

  // Extracts the entries matching fileMask and searchAttr, minus exclusionMask, into BaseDir.
  // Per-entry failures go to the failure decision; returns normally when aborted or cancelled.
  void ExtractFiles(const std::string& fileMask, uint32_t searchAttr,
                    const std::string& exclusionMask);
  // Extracts one item into destDir (ending in "/"); raises EZipException on failure.
  void ExtractItem(int index, std::string entryName, const std::string& destDir);
  // Decodes one item into a stream; code 8 when it fails its checks, code 16 for a bad index.
  void ExtractItemToStream(int index, TStream& output);
  // Decodes the item whose local header starts at archive's position; true when complete
  // and correct.
  bool DecodeItem(TStream& archive, TStream& output, const TZipDirItem& item);

  // The directory of the open archive.
  int ItemCount() const;
  const TZipDirItem& Item(int index) const;
  int64_t StubSize() const;
  int64_t CentralDirStart() const;
  const std::string& ArchiveComment() const;

  // Processing state of a run.
  bool Cancel = false;
  bool SkipFile = false;
  int ProcessedCount() const { return processedCount_; }
  int SelectedCount() const { return selectedCount_; }

 protected:
  // False makes a damaged or missing directory fail the open instead of being rebuilt from
  // the local headers.
  bool tolerateDamage_ = true;

 private:
  void ReadCentralDirectory();
  void RecoveryScan(bool endRecordFound);
  void DetectStub();
  // thisDisk: the end record's disk number as the directory read takes it.
  void DetectVolumes(bool endRecordFound, uint32_t thisDisk);
  void SetItemName(int index, std::string name);
  void DecodeName(TZipDirItem& item, std::string bytes, bool recovery, bool endRecordFound);
  void ParseExtra(TZipDirItem& item, const std::string& extra);
  void SelectItems(const std::string& fileMask, uint32_t searchAttr,
                   const std::string& exclusionMask);
  void ProcessItems();
  // ExtractItem and ExtractItemToStream that return the entry's failure instead of raising
  // it (DecodeEntry: false for code 8). Archives of many damaged entries would otherwise
  // spend most of their time unwinding.
  std::optional<EZipException> ExtractEntry(int index, std::string entryName,
                                            const std::string& destDir);
  bool DecodeEntry(int index, TStream& output);
  bool WriteOutput(TStream& output, const uint8_t* data, int64_t count);
  bool ReportProcess(const TZipDirItem& item, uint64_t bytesDone, uint64_t bytesTotal);
  bool OverwriteAllowed(std::string& outputPath, const std::string& entryName,
                        const TZipDirItem& item);
  bool AskPassword(const TZipDirItem& item);
  // In a run, the permission bits that files made outright in path's folder get (from the
  // umask, or the folder's default ACL), read from the first such file; -1 when unknown.
  int64_t NewFileMode(const std::string& path);

  void DoOnFileProgress(const std::string& fileName, TZipProcessOperation operation,
                        double progress, TZipProgressPhase phase, bool& cancel);
  void DoOnOverallProgress(TZipProcessOperation operation, TZipProgressPhase phase, double progress,
                           bool& cancel);
  void DoOnProcessFileFailure(const std::string& fileName, TZipProcessOperation operation,
                              const EZipException& e, TZipAction& action);

  IFileSystem& fileSystem_;
  IPrompt& prompt_;
  bool inMemory_ = false;
  TZipCompressionLevel compressionLevel_ = clFastest;
  bool active_ = false;
  uint16_t openMode_ = 0;
  std::unique_ptr<TStream> archiveStream_;
  std::unique_ptr<TZipDirManager> dir_;
  int processedCount_ = 0;
  int selectedCount_ = 0;
  bool processingActive_ = false;
  std::string currentDir_;
  // During a run: the zone of the entry times, read once per run, the folder the last entry
  // made sure of, and the mode new files got in the last folder a file was made in.
  TLocalTimeZone localTime_;
  std::string knownFolder_;
  std::string newFileFolder_;
  int64_t newFileMode_ = -1;
  // Decoding buffers, grown for the entries and reused: up to 1 MiB of input (plus room for
  // the two-byte stream header) and up to 1 MiB of inflated output.
  TBytes inBuffer_;
  TBytes outBuffer_;
  std::unique_ptr<TEntryDecoder> decoder_;
  std::unique_ptr<TDecodeThread> decodeThread_;  // started by the first large entry of a run
};

class TZipArchiver : public TBaseArchiver {
 public:
  TZipArchiver(IFileSystem& fileSystem, IPrompt& prompt);
};

}  // namespace varnel

// Helpers of the archive tests: archives written byte by byte, peer tools run in a folder,
// and a prompt that answers from a script and records what it was asked.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Prompt.h"
#include "zip/ZipArchiver.h"

namespace varnel::test {

struct TestEntry {
  std::string name{};
  std::string data{};
  uint16_t method = 0;  // 0 stored, 8 DEFLATE (raw, made with zlib); others store data as is
  uint16_t flags = 0;
  uint16_t versionMadeBy = 20;
  uint16_t versionNeeded = 20;
  uint32_t externalAttr = 0x20;
  uint16_t time = 0x6A4B;                // 13:18:22
  uint16_t date = 0x5A8C;                // 2025-04-12
  std::string extra{};                   // central and local extra field
  std::optional<uint32_t> crc{};         // replaces the computed CRC-32
  std::optional<std::string> packed{};   // replaces the compressed bytes
  std::optional<uint32_t> sizeStored{};  // replaces the uncompressed size
};

struct TestArchiveLayout {
  std::string comment{};
  std::string stub{};                 // bytes in front of the ZIP data
  bool offsetsFromFileStart = false;  // stored offsets include the stub
  uint16_t thisDisk = 0;
  uint16_t dirDisk = 0;
  std::string beforeEndRecord{};  // bytes put between the central directory and the end record
};

std::string RawDeflate(const std::string& data, int level = 6);
uint32_t Crc32(const std::string& data);
std::string Le16(uint16_t v);
std::string Le32(uint32_t v);
std::string BuildZip(const std::vector<TestEntry>& entries, const TestArchiveLayout& layout = {});
// Where the central directory of a BuildZip archive starts (without stub).
size_t CentralDirectoryOffset(const std::string& zip);

// The traditional PKWARE cipher over bytes (the 12-byte header included), and whether the
// header decrypts with password to the check byte.
std::string PkEncrypt(const std::string& password, const std::string& plain);
bool PkDecryptsTo(const std::string& password, const std::string& cipherHeader, char check);

// Runs a shell command in folder; true when it exits with 0.
bool RunIn(const std::string& folder, const std::string& command);
// "7zz" or "7z", whichever is installed.
std::string SevenZip();

class ScriptedPrompt : public IPrompt {
 public:
  std::deque<TModalResult> answers;   // for message boxes; mrAbort when empty
  std::deque<std::string> passwords;  // for password queries; cancelled when empty
  std::vector<std::string> texts;     // every box text, in order
  std::vector<unsigned> buttons;      // every box's buttons
  std::vector<std::string> passwordCaptions;

  TModalResult MessageDlg(const std::string& text, TMsgDlgType, unsigned b) override;
  bool PasswordQuery(const std::string& caption, const std::string& label,
                     std::string& value) override;
};

// What a run of ObservedExtraction answers and does besides extracting.
struct ObservedSetup {
  std::deque<TModalResult> answers{};   // message boxes; mrIgnore when empty
  std::deque<std::string> passwords{};  // password queries; cancelled when empty
  int cancelAt = 0;                     // the n-th file progress report sets Cancel (0: none)
  int failWrite = 0;                    // in memory, the n-th write fails as on a full disk
  int failRead = 0;                     // in memory, the n-th read fails as on an I/O error
  std::function<void(TZipArchiver&)> options{};
};

// Opens archivePath and extracts "*.*" into destDir through fileSystem, with every entry
// decoded on the decode thread or none. Returns all the run showed: each event and question
// in order, how the run ended, then the tree left in destDir (kinds, modes, times, sizes and
// the CRC-32 of each file).
std::vector<std::string> ObservedExtraction(IFileSystem& fileSystem, const std::string& archivePath,
                                            const std::string& destDir, bool decodeAhead,
                                            const ObservedSetup& setup = {});
// The same for archive bytes extracted in memory, followed by the file-system calls made and
// anything left beside the destination.
std::vector<std::string> ObservedExtraction(const std::string& archive, bool decodeAhead,
                                            const ObservedSetup& setup = {});

}  // namespace varnel::test

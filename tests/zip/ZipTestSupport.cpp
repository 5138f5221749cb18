#include "tests/zip/ZipTestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/Exception.h"
#include "platform/FaultyFileSystem.h"
#include "platform/MemoryFileSystem.h"
#include "zip/ZipArchiver.h"

namespace varnel::test {

std::string RawDeflate(const std::string& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string Le16(uint16_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8)};
}
std::string Le32(uint32_t v) {
  return Le16(static_cast<uint16_t>(v)) + Le16(v >> 16);
}

std::string BuildZip(const std::vector<TestEntry>& entries, const TestArchiveLayout& layout) {
  std::string body;
  std::string central;
  uint32_t shift = layout.offsetsFromFileStart ? static_cast<uint32_t>(layout.stub.size()) : 0;
  for (const TestEntry& e : entries) {
    std::string packed = e.packed ? *e.packed : e.method == 8 ? RawDeflate(e.data) : e.data;
    uint32_t crc = e.crc ? *e.crc : Crc32(e.data);
    uint32_t size = e.sizeStored ? *e.sizeStored : static_cast<uint32_t>(e.data.size());
    std::string common = Le16(e.versionNeeded) + Le16(e.flags) + Le16(e.method) + Le16(e.time) +
                         Le16(e.date) + Le32(crc) + Le32(static_cast<uint32_t>(packed.size())) +
                         Le32(size) + Le16(static_cast<uint16_t>(e.name.size())) +
                         Le16(static_cast<uint16_t>(e.extra.size()));
    uint32_t offset = static_cast<uint32_t>(body.size()) + shift;
    body += "PK\x03\x04" + common + e.name + e.extra + packed;
    central += "PK\x01\x02" + Le16(e.versionMadeBy) + common + Le16(0) + Le16(0) + Le16(0) +
               Le32(e.externalAttr) + Le32(offset) + e.name + e.extra;
  }
  auto count = static_cast<uint16_t>(entries.size());
  std::string end = "PK\x05\x06" + Le16(layout.thisDisk) + Le16(layout.dirDisk) + Le16(count) +
                    Le16(count) + Le32(static_cast<uint32_t>(central.size())) +
                    Le32(static_cast<uint32_t>(body.size()) + shift) +
                    Le16(static_cast<uint16_t>(layout.comment.size())) + layout.comment;
  return layout.stub + body + central + layout.beforeEndRecord + end;
}

size_t CentralDirectoryOffset(const std::string& zip) {
  size_t end = zip.rfind("PK\x05\x06");
  auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(zip[i])); };
  return byte(end + 16) | byte(end + 17) << 8 | byte(end + 18) << 16 | byte(end + 19) << 24;
}

namespace {

struct PkKeys {
  uint32_t k[3] = {0x12345678, 0x23456789, 0x34567890};
  static uint32_t Crc(uint32_t crc, uint8_t b) {
    return get_crc_table()[(crc ^ b) & 0xFF] ^ (crc >> 8);
  }
  void Update(uint8_t b) {
    k[0] = Crc(k[0], b);
    k[1] = (k[1] + (k[0] & 0xFF)) * 134775813 + 1;
    k[2] = Crc(k[2], static_cast<uint8_t>(k[1] >> 24));
  }
  uint8_t Stream() const {
    uint32_t t = (k[2] | 2) & 0xFFFF;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }
  explicit PkKeys(const std::string& password) {
    for (char c : password) Update(static_cast<uint8_t>(c));
  }
};

}  // namespace

std::string PkEncrypt(const std::string& password, const std::string& plain) {
  PkKeys keys(password);
  std::string out;
  for (char c : plain) {
    out += static_cast<char>(static_cast<uint8_t>(c) ^ keys.Stream());
    keys.Update(static_cast<uint8_t>(c));
  }
  return out;
}

bool PkDecryptsTo(const std::string& password, const std::string& cipherHeader, char check) {
  PkKeys keys(password);
  uint8_t last = 0;
  for (size_t i = 0; i < 12; ++i) {
    last = static_cast<uint8_t>(cipherHeader[i]) ^ keys.Stream();
    keys.Update(last);
  }
  return last == static_cast<uint8_t>(check);
}

bool RunIn(const std::string& folder, const std::string& command) {
  std::string line = "cd '" + folder + "' && { " + command + "; } >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

std::string SevenZip() {
  return std::system("command -v 7zz >/dev/null 2>&1") == 0 ? "7zz" : "7z";
}

TModalResult ScriptedPrompt::MessageDlg(const std::string& text, TMsgDlgType, unsigned b) {
  texts.push_back(text);
  buttons.push_back(b);
  if (answers.empty()) return mrAbort;
  TModalResult answer = answers.front();
  answers.pop_front();
  return answer;
}

bool ScriptedPrompt::PasswordQuery(const std::string& caption, const std::string&,
                                   std::string& value) {
  passwordCaptions.push_back(caption);
  if (passwords.empty()) return false;
  value = passwords.front();
  passwords.pop_front();
  return true;
}

namespace {

// Answers from a script and writes each question into the log as it comes.
class LoggingPrompt : public IPrompt {
 public:
  LoggingPrompt(std::vector<std::string>& log, const ObservedSetup& setup)
      : log_(log), answers_(setup.answers), passwords_(setup.passwords) {}

  TModalResult MessageDlg(const std::string& text, TMsgDlgType, unsigned buttons) override {
    log_.push_back("box " + text + " " + std::to_string(buttons));
    if (answers_.empty()) return mrIgnore;
    TModalResult answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  bool PasswordQuery(const std::string& caption, const std::string&, std::string& value) override {
    log_.push_back("password " + caption);
    if (passwords_.empty()) return false;
    value = passwords_.front();
    passwords_.pop_front();
    return true;
  }

 private:
  std::vector<std::string>& log_;
  std::deque<TModalResult> answers_;
  std::deque<std::string> passwords_;
};

std::string Percent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

void ListTree(IFileSystem& fileSystem, const std::string& folder, const std::string& shown,
              std::vector<std::string>& log) {
  std::vector<std::string> names = fileSystem.Enumerate(folder);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    TFileStatus status = fileSystem.Status(folder + name, false);
    std::string line = "tree " + shown + name + " " +
                       std::to_string(static_cast<int>(status.Kind)) + " " +
                       std::to_string(status.Mode);
    // A folder's time is the moment of the run.
    if (status.Kind == TFileKind::File) {
      line += " " + std::to_string(status.ModificationTime) + " " + std::to_string(status.Size);
      auto file = fileSystem.OpenFile(folder + name, fmOpenRead);
      std::string bytes(static_cast<size_t>(status.Size), '\0');
      file->ReadBuffer(bytes.data(), status.Size);
      line += " " + std::to_string(Crc32(bytes));
    }
    log.push_back(line);
    if (status.Kind == TFileKind::Folder) {
      ListTree(fileSystem, folder + name + "/", shown + name + "/", log);
    }
  }
}

// The events and questions of one extraction, and how it ended.
std::vector<std::string> ObservedRun(IFileSystem& fileSystem, const std::string& archivePath,
                                     const std::string& destDir, bool decodeAhead,
                                     const ObservedSetup& setup) {
  std::vector<std::string> log;
  LoggingPrompt prompt(log, setup);
  TZipArchiver zip(fileSystem, prompt);
  zip.FileName = archivePath;
  zip.BaseDir = destDir;
  zip.DecodeAhead = decodeAhead;
  zip.DecodeAheadMinimum = 0;
  int reports = 0;
  zip.OnFileProgress = [&](TBaseArchiver*, const std::string& name, double percent,
                           TZipProcessOperation, TZipProgressPhase phase, bool& cancel) {
    log.push_back("file " + name + " " + std::to_string(phase) + " " + Percent(percent));
    if (++reports == setup.cancelAt) cancel = true;
  };
  zip.OnOverallProgress = [&](TBaseArchiver*, double percent, TZipProcessOperation,
                              TZipProgressPhase phase, bool&) {
    log.push_back("overall " + std::to_string(phase) + " " + Percent(percent));
  };
  if (setup.options) setup.options(zip);
  try {
    zip.OpenArchive(0);
    log.push_back("opened " + std::to_string(zip.ItemCount()));
    zip.ExtractFiles("*.*", 10431, "");
    log.push_back("returned, cancel " + std::to_string(zip.Cancel));
  } catch (const Exception& e) {
    log.push_back("raised " + e.Message());
  }
  return log;
}

void ListDestination(IFileSystem& fileSystem, const std::string& destDir,
                     std::vector<std::string>& log) {
  if (fileSystem.Status(destDir, false).Kind == TFileKind::Folder) {
    ListTree(fileSystem, destDir, "", log);
  }
}

}  // namespace

std::vector<std::string> ObservedExtraction(IFileSystem& fileSystem, const std::string& archivePath,
                                            const std::string& destDir, bool decodeAhead,
                                            const ObservedSetup& setup) {
  std::vector<std::string> log = ObservedRun(fileSystem, archivePath, destDir, decodeAhead, setup);
  ListDestination(fileSystem, destDir, log);
  return log;
}

std::vector<std::string> ObservedExtraction(const std::string& archive, bool decodeAhead,
                                            const ObservedSetup& setup) {
  TMemoryFileSystem memory;
  memory.WriteFile("/in.zip", archive);
  TFaultyFileSystem faulty(memory);
  if (setup.failWrite > 0) faulty.FailNth(TFileOperation::Write, setup.failWrite, 112);
  if (setup.failRead > 0) faulty.FailNth(TFileOperation::Read, setup.failRead, 5);
  // The tree is read past the faults, which are the extraction's.
  std::vector<std::string> log = ObservedRun(faulty, "/in.zip", "/out/", decodeAhead, setup);
  ListDestination(memory, "/out/", log);
  log.insert(log.end(), faulty.Calls().begin(), faulty.Calls().end());
  for (const std::string& path : memory.Listing()) {
    if (path != "/in.zip" && !path.starts_with("/out/")) log.push_back("outside " + path);
  }
  return log;
}

}  // namespace varnel::test

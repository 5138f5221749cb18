// libFuzzer target: arbitrary bytes opened as an archive and extracted into an in-memory file
// system, every per-entry failure ignored. Only crashes, leaks and undefined behaviour count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/MemoryFileSystem.h"
#include "zip/ZipArchiver.h"

namespace {

class IgnoringPrompt : public varnel::IPrompt {
 public:
  varnel::TModalResult MessageDlg(const std::string&, varnel::TMsgDlgType, unsigned) override {
    return varnel::mrIgnore;
  }
  bool PasswordQuery(const std::string&, const std::string&, std::string& value) override {
    value = "password";
    return true;
  }
};

// Small enough that a decompression bomb ends as a full disk long before memory runs out.
constexpr int64_t kDiskSize = 64 << 20;

}  // namespace

// A fixed zone: without TZ every local-time conversion of an entry's date reads the zone file
// again, which would cost the fuzzer more than the archive itself.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "UTC", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  varnel::TMemoryFileSystem fileSystem(kDiskSize);
  fileSystem.CreateFolder("/out");
  fileSystem.WriteFile("/in.zip", std::string(reinterpret_cast<const char*>(data), size));
  IgnoringPrompt prompt;
  varnel::TZipArchiver zip(fileSystem, prompt);
  zip.FileName = "/in.zip";
  zip.BaseDir = "/out/";
  zip.OnPassword = [](varnel::TBaseArchiver*, const std::string&, std::string&, bool& skip) {
    skip = true;
  };
  try {
    zip.OpenArchive(0);
    zip.ExtractFiles("*.*", 10431, "");
  } catch (const varnel::Exception&) {
  }
  return 0;
}

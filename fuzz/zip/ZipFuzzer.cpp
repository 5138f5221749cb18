// libFuzzer target: arbitrary bytes opened as an archive and extracted into a temporary
// folder, every per-entry failure ignored. Only crashes, leaks and undefined behaviour count.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static varnel::test::TempDir dir;
  varnel::test::WriteFile(dir / "in.zip", std::string(reinterpret_cast<const char*>(data), size));
  IgnoringPrompt prompt;
  {
    varnel::TZipArchiver zip(prompt);
    zip.FileName = dir / "in.zip";
    zip.BaseDir = dir / "out/";
    zip.OnPassword = [](varnel::TBaseArchiver*, const std::string&, std::string&, bool& skip) {
      skip = true;
    };
    try {
      zip.OpenArchive(0);
      zip.ExtractFiles("*.*", 10431, "");
    } catch (const varnel::Exception&) {
    }
  }
  std::error_code ignored;
  std::filesystem::permissions(dir / "out", std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir / "out", ignored);
  return 0;
}

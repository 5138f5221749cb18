#include "app/ErrorBox.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/Exception.h"
#include "tests/app/AppTestSupport.h"

namespace varnel {
namespace {

TEST(ErrorBoxTest, TitleFromTheExecutableName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/opt/x/Tool.new.EXE", "Tool"},
      {"/opt/x/MyApp.exe", "Myapp"},
      {"/opt/x/VarnelTools", "Varneltools"},
      {"/opt/dotted.dir/VARNEL", "Varnel"},
      {"/opt/x/\xC3\x89T\xC3\x89.bin", "\xC3\x89t\xC3\xA9"},  // ÉTÉ gives Été
  };
  for (const auto& [path, title] : cases) EXPECT_EQ(ApplicationTitle(path), title) << path;
}

TEST(ErrorBoxTest, FullStopRule) {
  const std::pair<const char*, const char*> cases[] = {
      {"Disk full", "Disk full."},
      {"I/O error 183", "I/O error 183."},
      {"List index out of bounds (31)", "List index out of bounds (31)"},
      {"Stopped.", "Stopped."},
      {"Stopped!", "Stopped!"},
      {"ends in a blank ", "ends in a blank "},
      {"a-b-", "a-b-"},  // "-" comes before "." in the table
      {"/tmp/", "/tmp/."},
      {"Caf\xC3\xA9", "Caf\xC3\xA9."},
      {"", ""},
  };
  for (const auto& [message, shown] : cases) {
    EXPECT_EQ(ErrorBoxText(Exception(message)), shown) << message;
  }
}

TEST(ErrorBoxTest, GuardShowsTheInnermostMessageAndGoesOn) {
  test::TRecordingDialogs dialogs;
  TErrorGuard guard(dialogs, "Tool");
  guard.Run([] {
    try {
      throw EInOutError(101);
    } catch (...) {
      std::throw_with_nested(Exception("outer"));
    }
  });
  guard.Run([] { throw std::runtime_error("plain"); });
  guard.Run([] { throw EAbort("silent"); });
  guard.Run([] { throw 7; });
  bool ran = false;
  guard.Run([&] { ran = true; });
  EXPECT_TRUE(ran);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Tool", "Disk full."}, {"Tool", "plain."}, {"Tool", "Unknown exception."}};
  EXPECT_EQ(dialogs.errors, expected);
}

}  // namespace
}  // namespace varnel

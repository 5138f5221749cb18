// The in-memory file system against the real one: the same steps give the same outcomes, so
// tests on the fake say something about the disk. (Permission steps are left out: the tests
// may run as root, for whom the disk grants everything.)
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/Exception.h"
#include "platform/MemoryFileSystem.h"
#include "tests/support/TempDir.h"

namespace varnel {
namespace {

// "ok", "E<system error>" or the listing / file content a step yields.
std::string Outcome(const std::function<std::string()>& step) {
  try {
    return step();
  } catch (const EInOutError& e) {
    return "E" + std::to_string(e.ErrorCode());
  } catch (const EStreamError& e) {
    return e.ClassName();
  }
}

std::vector<std::string> RunSteps(IFileSystem& fs, const std::string& root) {
  auto at = [&](const std::string& name) { return root + name; };
  auto write = [&](const std::string& name, const std::string& text) {
    fs.OpenFile(at(name), fmCreate)->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    return std::string("ok");
  };
  auto read = [&](const std::string& name) {
    std::unique_ptr<TStream> file = fs.OpenFile(at(name), fmOpenRead);
    std::string text(static_cast<size_t>(file->Size()), '\0');
    file->ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    return text;
  };
  auto list = [&](const std::string& name) {
    std::vector<std::string> names = fs.Enumerate(at(name));
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& n : names) joined += n + ";";
    return joined;
  };
  auto ok = [](const std::function<void()>& f) {
    f();
    return std::string("ok");
  };
  std::vector<std::function<std::string()>> steps = {
      [&] { return ok([&] { fs.CreateFolder(at("a")); }); },
      [&] { return ok([&] { fs.CreateFolder(at("a/")); }); },
      [&] { return ok([&] { fs.CreateFolder(at("x/y")); }); },
      [&] { return write("a/f", "hi"); },
      [&] { return ok([&] { fs.RemoveFolder(at("a")); }); },
      [&] { return ok([&] { fs.Rename(at("a/f"), at("a/g")); }); },
      [&] { return ok([&] { fs.RemoveFile(at("a/f")); }); },
      [&] { return ok([&] { fs.CreateFolder(at("b")); }); },
      [&] { return write("b/h", "there"); },
      [&] { return ok([&] { fs.Exchange(at("a"), at("b")); }); },
      [&] { return list("a"); },
      [&] { return read("b/g"); },
      [&] { return ok([&] { fs.Rename(at("a"), at("b")); }); },
      [&] { return ok([&] { fs.RemoveFile(at("a")); }); },
      [&] { return read("missing"); },
      [&] { return ok([&] { fs.RemoveFolder(at("missing")); }); },
      [&] { return ok([&] { fs.RemoveFile(at("b/g")); }); },
      [&] { return ok([&] { fs.Rename(at("a"), at("b")); }); },
      [&] { return list(""); },
      [&] { return std::to_string(static_cast<int>(fs.Status(at("b/h"), false).Kind)); },
      [&] { return write("b/h/z", "under a file"); },
  };
  std::vector<std::string> outcomes;
  for (const auto& step : steps) outcomes.push_back(Outcome(step));
  return outcomes;
}

TEST(MemoryFileSystem, TakesEveryStepAsTheDiskDoes) {
  const std::vector<std::string> expected = {
      "ok", "E183", "E3", "ok",          "E145", "ok", "E2", "ok", "ok", "ok",           "h;",
      "hi", "E145", "E5", "EFOpenError", "E2",   "ok", "ok", "b;", "1",  "EFCreateError"};
  test::TempDir dir;
  EXPECT_EQ(RunSteps(SystemFileSystem(), dir.Path()), expected);
  TMemoryFileSystem memory;
  memory.CreateFolder("/t");
  EXPECT_EQ(RunSteps(memory, "/t/"), expected);
}

TEST(MemoryFileSystem, AHugeSizeReservesNothingAndAFullDiskWritesShort) {
  TMemoryFileSystem memory(10);
  std::unique_ptr<TStream> file = memory.OpenFile("/f", fmCreate);
  file->SetSize(int64_t{5} << 30);
  EXPECT_EQ(memory.Status("/f", false).Size, int64_t{5} << 30);
  EXPECT_EQ(file->Write("0123456789abc", 13), 10);
  file->SetSize(4);
  file->SetPosition(4);
  EXPECT_EQ(file->Write("wxyz", 4), 4);
  EXPECT_EQ(memory.ReadFile("/f"), "0123wxyz");
}

}  // namespace
}  // namespace varnel

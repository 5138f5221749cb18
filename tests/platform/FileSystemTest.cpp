// The in-memory file system against the real one: the same steps give the same outcomes, so
// tests on the fake say something about the disk. (Permission steps are left out: the tests
// may run as root, for whom the disk grants everything.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>

#include <unistd.h>

#include "platform/Exception.h"
#include "platform/FileTree.h"
#include "platform/MemoryFileSystem.h"
#include "platform/Paths.h"
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

// Neither a file nor a link (dangling here) is opened or followed by a create-new.
TEST(MemoryFileSystem, CreatesNewOnlyWhereNothingIsAsTheDiskDoes) {
  test::TempDir dir;
  ASSERT_EQ(::symlink("nowhere", (dir.Path() + "link").c_str()), 0);
  TMemoryFileSystem memory;
  memory.CreateFolder("/t");
  memory.CreateLink("/t/link", "nowhere");
  for (auto [fs, root] :
       {std::pair<IFileSystem*, std::string>{&SystemFileSystem(), dir.Path()}, {&memory, "/t/"}}) {
    fs->OpenFile(root + "f", fmCreateNew)->WriteBuffer("a", 1);
    EXPECT_THROW(fs->OpenFile(root + "f", fmCreateNew), EFCreateError);
    EXPECT_THROW(fs->OpenFile(root + "link", fmCreateNew), EFCreateError);
    EXPECT_EQ(fs->Status(root + "f", false).Size, 1);
    EXPECT_FALSE(fs->Status(root + "nowhere", false).Exists());
  }
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

TEST(FileTree, ListsFoldersBeforeTheirContentsWithTypedModesAndLinksUnfollowed) {
  TMemoryFileSystem fs;
  fs.CreateFolder("/p");
  fs.CreateFolder("/p/b");
  fs.WriteFile("/p/b/x", "x");
  fs.SetMode("/p/b/x", 0755);
  fs.WriteFile("/p/a", "a");
  fs.CreateLink("/p/c", "b");
  fs.SetModificationTime("/p/a", 1700000000);
  std::vector<std::string> listed;
  for (const TFileTreeEntry& e : ListFileTree(fs, "/p")) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", e.Mode);
    listed.push_back(e.RelativePath + " " + std::to_string(e.Kind) + " " + mode);
  }
  EXPECT_EQ(listed,
            (std::vector<std::string>{"a 0 100644", "b 1 40755", "b/x 0 100755", "c 2 120777"}));
  EXPECT_EQ(FileInfo(fs, "/p/a").ModifiedTime, 1700000000);
  EXPECT_THROW(FileInfo(fs, "/p/missing"), EInOutError);
}

TEST(FileTree, TheTempFileLivesInAPrivateFolderAndGoesWithIt) {
  TMemoryFileSystem fs;
  fs.CreateFolder("/tmp");
  std::string path;
  {
    TTempFile temp(fs);
    path = temp.Path();
    EXPECT_EQ(fs.Status(path, false).Kind, TFileKind::File);
    EXPECT_EQ(fs.Status(ExtractFileDir(path), false).Mode, 0700u);
  }
  EXPECT_EQ(fs.Listing(), std::vector<std::string>{"/tmp/"});
}

}  // namespace
}  // namespace varnel

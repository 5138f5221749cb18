// Archives made at test time by Info-ZIP zip, python3 zipfile, 7-Zip and bsdtar extract to the
// same tree they were made from.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/Files.h"
#include "tests/support/TempDir.h"
#include "tests/zip/ZipTestSupport.h"
#include "zip/ZipArchiver.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

// A small tree of text, binary and empty files in a subfolder "src" of the test folder.
void MakeTree(const TempDir& dir) {
  ForceDirectories(SystemFileSystem(), dir / "src/sub/deeper");
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) >> 3);
  WriteFile(dir / "src/text.txt", text);
  WriteFile(dir / "src/sub/binary.bin", binary);
  WriteFile(dir / "src/sub/deeper/empty", "");
  WriteFile(dir / "src/tool.sh", "#!/bin/sh\necho hi\n");
  chmod((dir / "src/tool.sh").c_str(), 0755);
}

// Every regular file under from has the same bytes under to.
void ExpectSameFiles(const std::string& from, const std::string& to) {
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    if (!entry.is_regular_file()) continue;
    std::string relative = fs::relative(entry.path(), from).string();
    SCOPED_TRACE(relative);
    EXPECT_EQ(ReadFile(to + "/" + relative), ReadFile(entry.path().string()));
    ++files;
  }
  EXPECT_EQ(files, 4);
}

void Extract(const std::string& archive, const std::string& dest, IPrompt& prompt,
             std::vector<std::string>* failures = nullptr) {
  TZipArchiver zip(SystemFileSystem(), prompt);
  zip.FileName = archive;
  zip.BaseDir = dest;
  zip.OnProcessFileFailure = [&](TBaseArchiver*, const std::string&, TZipProcessOperation, int, int,
                                 const std::string& message, TZipAction& action) {
    if (failures) failures->push_back(message);
    action = fxaIgnore;
  };
  zip.OpenArchive(0);
  zip.ExtractFiles("*.*", 10431, "");
  zip.CloseArchive();
}

struct PeerCase {
  const char* name;
  std::string command;  // run in the test folder; makes a.zip
};

TEST(ZipPeers, ArchivesOfPeerToolsExtractToTheirSourceTree) {
  const std::string py =
      "python3 -c 'import zipfile,os,sys\n"
      "class W:\n"
      "  def __init__(s,f): s.f=f\n"
      "  def write(s,b): return s.f.write(b)\n"
      "  def flush(s): s.f.flush()\n"
      "out=open(\"a.zip\",\"wb\")\n"
      "target=W(out) if sys.argv[1]==\"stream\" else out\n"
      "with zipfile.ZipFile(target,\"w\",zipfile.ZIP_DEFLATED) as z:\n"
      "  for root,dirs,files in os.walk(\"src\"):\n"
      "    for n in files:\n"
      "      p=os.path.join(root,n)\n"
      "      name=os.path.relpath(p,\"src\")\n"
      "      if sys.argv[1]==\"backslash\": name=name.replace(\"/\",chr(92))\n"
      "      with open(p,\"rb\") as f, z.open(name,\"w\","
      "force_zip64=sys.argv[1]==\"zip64\") as o: o.write(f.read())\n"
      "' ";
  const std::string sz = SevenZip();
  const PeerCase cases[] = {
      {"zip-0", "cd src && zip -qr0 ../a.zip ."},
      {"zip-6", "cd src && zip -qr6 ../a.zip ."},
      {"zip-9", "cd src && zip -qr9 ../a.zip ."},
      {"zip-fz", "cd src && zip -qr -fz ../a.zip ."},
      {"zip-from-pipe", "cd src && zip -qr - . | cat > ../a.zip"},
      {"zip-A-on-stub",
       "head -c 1000 /dev/zero > a.zip && cd src && zip -qr ../b.zip . && "
       "cat ../b.zip >> ../a.zip && zip -qA ../a.zip"},
      {"stub-without-A",
       "head -c 1000 /dev/zero > a.zip && cd src && zip -qr ../b.zip . && "
       "cat ../b.zip >> ../a.zip"},
      {"python-deflate", py + "plain"},
      {"python-force-zip64", py + "zip64"},
      {"python-unseekable", py + "stream"},
      {"python-backslash-names", py + "backslash"},
      {"7zip-tzip", "cd src && " + sz + " a -tzip ../a.zip . "},
      {"bsdtar-zip", "bsdtar --format zip -cf a.zip -C src ."},
  };
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    MakeTree(dir);
    ASSERT_TRUE(RunIn(dir.Path(), c.command));
    ScriptedPrompt prompt;
    std::vector<std::string> failures;
    Extract(dir / "a.zip", dir / "out", prompt, &failures);
    EXPECT_TRUE(failures.empty()) << failures.front();
    ExpectSameFiles(dir / "src", dir / "out");
  }
}

TEST(ZipPeers, InfoZipKeepsModesAndStoresLinksAsFiles) {
  TempDir dir;
  MakeTree(dir);
  ASSERT_EQ(symlink("/etc/hostname", (dir / "src/link").c_str()), 0);
  ASSERT_TRUE(RunIn(dir.Path(), "cd src && zip -qry ../a.zip ."));
  ScriptedPrompt prompt;
  Extract(dir / "a.zip", dir / "out", prompt);
  struct stat st {};
  ASSERT_EQ(lstat((dir / "out/link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadFile(dir / "out/link"), "/etc/hostname");
  ASSERT_EQ(stat((dir / "out/tool.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST(ZipPeers, LostCentralDirectoryOfAPipedArchiveTakesSizesFromDescriptors) {
  TempDir dir;
  MakeTree(dir);
  ASSERT_TRUE(RunIn(dir.Path(), "cd src && zip -qr - . | cat > ../a.zip"));
  std::string zip = ReadFile(dir / "a.zip");
  WriteFile(dir / "a.zip", zip.substr(0, CentralDirectoryOffset(zip)));
  ScriptedPrompt prompt;
  std::vector<std::string> failures;
  Extract(dir / "a.zip", dir / "out", prompt, &failures);
  EXPECT_TRUE(failures.empty()) << failures.front();
  ExpectSameFiles(dir / "src", dir / "out");
}

TEST(ZipPeers, SevenZipAesEntriesAreSkippedAfterThePasswordPrompt) {
  TempDir dir;
  MakeTree(dir);
  ASSERT_TRUE(
      RunIn(dir.Path(), "cd src && " + SevenZip() + " a -tzip -psecret -mem=AES256 ../a.zip ."));
  ScriptedPrompt prompt;
  prompt.passwords = {"secret", "secret", "secret", "secret"};
  std::vector<std::string> failures;
  Extract(dir / "a.zip", dir / "out", prompt, &failures);
  EXPECT_TRUE(failures.empty());
  EXPECT_FALSE(FileExists(SystemFileSystem(), dir / "out/text.txt"));
  EXPECT_FALSE(prompt.passwordCaptions.empty());
}

}  // namespace
}  // namespace varnel::test

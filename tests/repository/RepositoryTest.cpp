// Building the sample repository and checking repositories: a small one made by Info-ZIP zip
// and python3's zipfile, broken one defect at a time, and the sample served by nginx.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "repository/RepositoryBuild.h"
#include "repository/RepositoryCheck.h"
#include "repository/RepositoryError.h"
#include "tests/actions/PeerServers.h"
#include "tests/support/TempDir.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

// The public key of examples/TEST-ONLY-sample-repository-key.pem.
const std::string kSampleKey = "XLhTF5B2zlHo8Dqa29paA0GxIfTIfK+x4xdwwEebdas=";

std::string SourceDir() {
  const char* source = std::getenv("VARNEL_SOURCE_DIR");
  return std::string(source ? source : ".") + "/examples/repository/";
}

// What a shell command prints; the test fails when it exits non-zero.
std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  EXPECT_EQ(pipe ? ::pclose(pipe) : -1, 0) << command;
  return out;
}

std::vector<std::string> Report(const std::string& location,
                                const std::optional<std::string>& key = {}) {
  std::vector<std::string> lines;
  for (const TDefect& defect : CheckRepository(location, key)) {
    lines.push_back(FormatDefect(defect));
  }
  return lines;
}

TEST(RepositoryBuildTest, TwoBuildsAreByteIdenticalAndPassTheCheck) {
  TempDir out;
  BuildRepository(SourceDir(), out / "one", "http://127.0.0.1:8731");
  BuildRepository(SourceDir(), out / "two", "http://127.0.0.1:8731/");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(out / "one/tools")) {
    names.push_back(entry.path().filename());
    EXPECT_EQ(ReadFile(entry.path()), ReadFile(out / "two/tools/" + names.back())) << names.back();
  }
  EXPECT_EQ(names.size(), 8u) << "the catalogue and seven program archives";
  EXPECT_EQ(Report(out / "one"), std::vector<std::string>());

  // Read back by independent tools: sorted entries with their modes, the catalogue's lines.
  EXPECT_EQ(Output("zipinfo '" + out / "one/tools/textstats.zip" +
                   "' | awk '$1 ~ /^[-d]r/ {print $1, $NF}'"),
            "-rw-r--r-- README.txt\ndrwxr-xr-x bin/\n-rwxr-xr-x bin/textstats.py\n")
      << "the modes and the order";
  const std::string catalogue =
      Output("unzip -p '" + out / "one/tools/software.zip" + "' software.dat");
  const std::string digest = Output("sha256sum '" + out / "one/tools/dice.zip" + "' | cut -c1-64");
  EXPECT_EQ(catalogue.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(catalogue.find("\r\nDice\r\nhttp://127.0.0.1:8731/tools/dice.zip\r\ndice.py\r\n"
                           "Rolls dice and keeps a history of the rolls\r\n"
                           "https://example.org/dice\r\nsha256:" +
                           digest.substr(0, 64) + "\r\n\r\n\r\n\r\n"),
            std::string::npos)
      << catalogue;
}

std::vector<std::string> Tree(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(entry.path(), folder));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Only files inside the source are read, so that no link or ".." can publish a file of the
// build machine; and a failed build leaves the output folder as it was.
TEST(RepositoryBuildTest, ASourceWithADefectIsRefusedAndTheOutputKeptAsItWas) {
  TempDir dir;
  const std::string source = dir / "source/";
  WriteFile(dir / "secret.ico", ReadFile(SourceDir() + "icons/dice.ico"));
  auto dice = [&](const std::string& lines) {
    WriteFile(source + "dice.toml", "name = \"Dice\"\n" + lines);
  };
  const std::string outside = " is not a file inside " + source + " (\"..\" and links are refused)";
  struct Row {
    const char* defect;
    std::function<void()> damage;
    std::string message;  // after the source folder
  } rows[] = {
      {"executable-missing", [&] { dice("executable = \"roll.py\"\nicon = \"icons/dice.ico\"\n"); },
       "dice.toml: the archive holds no \"roll.py\", the executable path"},
      {"misspelt-key", [&] { dice("executabel = \"dice.py\"\n"); },
       "dice.toml: unknown key \"executabel\""},
      {"icon-above-source", [&] { dice("executable = \"dice.py\"\nicon = \"../secret.ico\"\n"); },
       "dice.toml: the icon \"../secret.ico\"" + outside},
      {"icon-link",
       [&] {
         fs::create_symlink(dir / "secret.ico", source + "icons/link.ico");
         dice("executable = \"dice.py\"\nicon = \"icons/link.ico\"\n");
       },
       "dice.toml: the icon \"icons/link.ico\"" + outside},
      {"program-folder-link",
       [&] {
         fs::rename(source + "dice", dir / "dice");
         fs::create_directory_symlink(dir / "dice", source + "dice");
       },
       "dice.toml: " + source + "dice is a link (links are not archived)"},
      {"manifest-link", [&] { fs::create_symlink(dir / "secret.ico", source + "zz.toml"); },
       "zz.toml: not a file (links are not read)"},
  };
  fs::create_directories(dir / "out/tools");
  WriteFile(dir / "out/tools/old.zip", "old");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.defect);
    fs::remove_all(source);
    fs::remove_all(dir / "dice");
    fs::copy(SourceDir(), source, fs::copy_options::recursive);
    row.damage();
    try {
      BuildRepository(source, dir / "out", "http://127.0.0.1:8731");
      ADD_FAILURE() << "no exception";
    } catch (const ERepositoryError& e) {
      EXPECT_EQ(e.Message(), source + row.message);
    }
    EXPECT_EQ(Tree(dir / "out"), (std::vector<std::string>{"tools", "tools/old.zip"}));
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with(".out")) << "a staging folder";
    }
  }
}

// A repository of two records made by peer tools in a folder laid out as the server's: Alpha
// with an archive, Beta without one.
class BrokenRepositoryTest : public ::testing::Test {
 public:
  BrokenRepositoryTest() {
    fs::create_directories(root / "alpha/lib");
    WriteFile(root / "alpha/run.sh", "#!/bin/sh\necho alpha\n");
    WriteFile(root / "alpha/lib/x.txt", "x");
    fs::create_directories(tools);
    Output("cd '" + root / "alpha" + "' && zip -qr '" + tools + "a.zip' run.sh lib");
    const std::string icon("\0\0\1\0\1\0 an icon", 14);
    WriteFile(tools + "a.ico", icon);
    WriteFile(tools + "b.ico", icon);
    lines = {"a.ico",
             "Alpha",
             "http://127.0.0.1:1/tools/a.zip",
             "run.sh",
             "The first",
             "https://example.org/a",
             "sha256:" + Output("sha256sum '" + tools + "a.zip'").substr(0, 64),
             "",
             "",
             "",
             "b.ico",
             "Beta",
             "-",
             "b.sh",
             "No archive",
             "",
             "",
             "",
             "",
             ""};
  }

  // Writes the catalogue into the catalogue archive with Info-ZIP zip.
  void Publish() {
    std::string text = "\xEF\xBB\xBF";
    for (const std::string& line : lines) text += line + "\r\n";
    WriteFile(tools + "software.dat", text);
    fs::remove(tools + "software.zip");
    Output("cd '" + tools + "' && zip -q software.zip software.dat a.ico b.ico");
  }

  // Replaces a.zip by an archive python3's zipfile makes of the named entries.
  void WriteArchive(const std::string& entries) {
    Output(
        "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); "
        "[z.writestr(n,'x') for n in sys.argv[2:]]\" '" +
        tools + "a.zip' " + entries);
    lines[6].clear();
  }

  TempDir root;
  const std::string tools = root / "tools/";
  std::vector<std::string> lines;
};

TEST_F(BrokenRepositoryTest, EachDefectGivesItsOneReportLine) {
  const std::string ok = "sha256:" + std::string(64, '0');
  struct Row {
    const char* defect;
    std::function<void(BrokenRepositoryTest&)> damage;
    std::string report;  // "" for none
  } rows[] = {
      {"none", [](auto&) {}, ""},
      {"nine-line-last-record", [](auto& t) { t.lines.pop_back(); },
       "software.dat:19: the catalogue has 19 lines, not ten for every record"},
      {"name-not-plain", [](auto& t) { t.lines[11] = "Be/ta"; },
       "software.dat:12: the name \"Be/ta\" is not one plain folder name"},
      {"name-twice", [](auto& t) { t.lines[11] = "Alpha"; },
       "software.dat:2: the name \"Alpha\" appears again on line 12, which its fields are read "
       "from"},
      {"lookup-past-the-end", [](auto& t) { t.lines[19] = "Beta"; },
       "software.dat:12: looking up \"Beta\" fails: List index out of bounds (20)"},
      {"icon-not-an-icon", [](auto& t) { WriteFile(t.tools + "b.ico", "GIF89a"); },
       "software.dat:11: the icon \"b.ico\" fails the header test: Icon image is not valid"},
      {"icon-missing", [](auto& t) { t.lines[10] = "c.ico"; },
       "software.dat:11: the icon \"c.ico\" is not in the catalogue archive"},
      {"archive-missing", [](auto& t) { t.lines[2] = "http://127.0.0.1:1/tools/gone.zip"; },
       "software.dat:3: the archive http://127.0.0.1:1/tools/gone.zip is not in " + tools},
      {"archive-not-a-zip",
       [](auto& t) {
         WriteFile(t.tools + "a.zip", "<html>Not here</html>");
         t.lines[6].clear();
       },
       "software.dat:3: the archive http://127.0.0.1:1/tools/a.zip does not open: Invalid "
       "archive file. - Native error: 00035"},
      {"unsafe-name", [](auto& t) { t.WriteArchive("run.sh ../evil.sh"); },
       "software.dat:3: the archive holds the unsafe name \"../evil.sh\""},
      {"backslash-parent", [](auto& t) { t.WriteArchive("run.sh 'lib\\..\\..\\evil.sh'"); },
       // The reader takes a stored "\" as the separator it is and reports "/".
       "software.dat:3: the archive holds the unsafe name \"lib/../../evil.sh\""},
      {"executable-missing", [](auto& t) { t.lines[3] = "start.sh"; },
       "software.dat:4: the archive holds no \"start.sh\", the executable path"},
      {"hash-mismatch", [&](auto& t) { t.lines[6] = ok; },
       "software.dat:7: the archive's SHA-256 is " + lines[6].substr(7) + ", not " + ok.substr(7)},
      {"hash-malformed", [](auto& t) { t.lines[6] = "sha256:abc"; },
       "software.dat:7: the integrity line is not \"sha256:\" and 64 hexadecimal digits"},
      {"web-page-not-http", [](auto& t) { t.lines[5] = "file:///etc/passwd"; },
       "software.dat:6: the web page \"file:///etc/passwd\" is not an http:// or https:// "
       "address"},
  };
  const std::vector<std::string> valid = lines;
  const std::string validArchive = ReadFile(tools + "a.zip");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.defect);
    lines = valid;
    WriteFile(tools + "a.zip", validArchive);
    WriteFile(tools + "b.ico", ReadFile(tools + "a.ico"));
    row.damage(*this);
    Publish();
    EXPECT_EQ(Report(root.Path()),
              row.report.empty() ? std::vector<std::string>() : std::vector{row.report});
  }
}

TEST_F(BrokenRepositoryTest, WithAKeyTheSignatureAndEveryIntegrityLineAreRequired) {
  lines[6].clear();
  Publish();
  EXPECT_EQ(Report(root.Path(), std::string(43, 'A') + "="),
            (std::vector<std::string>{
                "software.zip.sig: The repository's catalogue is not signed",
                "software.dat:7: the record has no integrity line, so the signature does not "
                "cover its archive"}));
}

TEST(RepositoryCheckTest, TheSampleServedByNginxPassesAndAMissingArchiveIsReported) {
  TempDir dir;
  fs::create_directories(dir / "served");
  fs::create_directories(dir / "nginx");
  std::unique_ptr<PeerServer> server = PeerServer::StartNginx(dir / "served/", dir / "nginx/");
  const std::string base = server->BaseUrl() + "/plain";
  ASSERT_TRUE(MakeSampleRepository(dir / "served/", base));
  EXPECT_EQ(Report(base + "/tools/software.zip", kSampleKey), std::vector<std::string>())
      << "the sample is signed with its test key";
  fs::remove(dir / "served/tools/wordlist.zip");
  EXPECT_EQ(Report(base + "/tools/software.zip"),
            std::vector<std::string>{"software.dat:73: the archive " + base +
                                     "/tools/wordlist.zip can't be fetched: HTTP/1.1 404 Not "
                                     "Found"});
}

}  // namespace
}  // namespace varnel::test

// The commands with the real download and extraction on their worker thread, against
// scripted servers: what the window thread is handed, Cancel at every step, and that a
// failure or a Cancel leaves DataDir exactly as it was.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "actions/Commands.h"
#include "actions/DownloadToFile.h"
#include "catalog/CatalogueSignature.h"
#include "catalog/InstalledDigests.h"
#include "catalog/RepositoryLines.h"
#include "http/NetExceptions.h"
#include "platform/Ed25519.h"
#include "platform/FaultyFileSystem.h"
#include "platform/Sha256.h"
#include "tests/actions/CommandFakes.h"
#include "tests/http/ScriptServer.h"
#include "tests/support/TempDir.h"
#include "tests/zip/ZipTestSupport.h"

namespace varnel::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string RequestLine(const std::string& head) {
  return head.substr(0, head.find("\r\n"));
}

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// Every name below folder with its kind, mode and contents; the staging folder aside.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::end(it); ++it) {
    const fs::directory_entry& entry = *it;
    if (entry.path().filename() == ".varnel-staging") {
      it.disable_recursion_pending();
      continue;
    }
    const auto mode = static_cast<int>(entry.symlink_status().permissions());
    std::string& line = tree[fs::relative(entry.path(), folder).string()];
    line = std::to_string(mode) + (entry.is_directory() ? " dir" : " " + ReadFile(entry.path()));
  }
  return tree;
}

// A port whose listen queue is full, so that a connect to it hangs.
class FullListener {
 public:
  FullListener() {
    const int unused = UnusedPort();
    sockaddr_in address{
        AF_INET, htons(static_cast<uint16_t>(unused)), {htonl(INADDR_LOOPBACK)}, {}};
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 0);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    port_ = unused;
  }
  ~FullListener() {
    ::close(filler_);
    ::close(listener_);
  }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int port_ = 0;
};

class BackgroundTest : public ::testing::Test {
 protected:
  BackgroundTest() {
    fs::create_directories(data + "Dice/docs");
    WriteFile(data + "Dice/a.txt", "old a");
    WriteFile(data + "Dice/docs/notes.txt", "the user's notes");
    WriteFile(data + "software.dat", "the old catalogue");
    WriteFile(data + "dice.ico", "the old icon");
    fs::permissions(data + "Dice/a.txt", fs::perms::owner_read);
  }

  // The catalogue names Dice with its archive, the repository's archive beside it. Empty
  // extract means the real extraction.
  TCommands Commands(const std::string& baseUrl, TExtractFunction extract = {}) {
    lines.SetText("dice.ico\nDice\n" + baseUrl + "/dice.zip\na.txt\nRolls dice\n\n" + integrity +
                  "\n\n\n\n");
    return TCommands(TCommandContext{app, data, baseUrl + "/software.zip", lines, window, shell,
                                     prompt, *fileSystem, host, download, std::move(extract),
                                     repositoryKey});
  }

  void Run(TCommands& commands, bool install) {
    window.selected = "Dice";
    install ? commands.Install() : commands.UpdateRepository();
  }

  TempDir root;
  const std::string app = root.Path();
  const std::string data = app + "data/";
  const std::string staging = data + ".varnel-staging/";
  TRepositoryLines lines;
  TJournal journal;
  TRecorderWindow window{journal};
  TRecordingShell shell{journal};
  ScriptedPrompt prompt;
  TRecordingHost host;
  IFileSystem* fileSystem = &SystemFileSystem();
  TDownloadFunction download;  // empty: the real one
  std::string integrity;       // the record's integrity line
  std::string repositoryKey;   // base64; empty: catalogues are not checked
};

std::string ManyEntries(int count) {
  std::vector<TestEntry> entries;
  for (int i = 0; i < count; ++i)
    entries.push_back({.name = std::to_string(i) + ".txt", .data = "x"});
  return BuildZip(entries);
}

struct CancelRow {
  const char* step;
  bool install;
  std::string response;   // what the server sends; empty: a connect that never completes
  int pauseMs;            // how long it then waits before closing
  bool duringExtraction;  // cancel once the first entry is unpacked, not after 200 ms
};

class CancelTest : public BackgroundTest, public ::testing::WithParamInterface<CancelRow> {};

TEST_P(CancelTest, ReturnsAtOnceAndLeavesDataDirAsItWas) {
  const CancelRow& row = GetParam();
  std::unique_ptr<FullListener> full;
  std::unique_ptr<ScriptServer> server;
  std::string baseUrl;
  if (row.response.empty() && row.pauseMs == 0) {
    full = std::make_unique<FullListener>();
    baseUrl = full->BaseUrl();
  } else {
    server = std::make_unique<ScriptServer>(
        std::vector<ConnectionScript>{{{{row.response, row.pauseMs}}, false}});
    baseUrl = server->BaseUrl();
  }
  TCommands commands = Commands(baseUrl);
  const auto before = Tree(data);
  const auto start = Clock::now();
  std::optional<Clock::time_point> cancelledAt;
  host.onEvents = [&](const std::function<void()>& cancel) {
    if (cancelledAt) return;
    bool extracting = !host.shown.empty() && host.shown.back().Kind == pkExtract;
    if (row.duringExtraction ? extracting : Clock::now() - start > std::chrono::milliseconds(200)) {
      cancelledAt = Clock::now();
      cancel();
    }
  };
  Run(commands, row.install);
  ASSERT_TRUE(cancelledAt);
  EXPECT_LT(Clock::now() - *cancelledAt, std::chrono::seconds(1));
  EXPECT_EQ(window.panel, " Cancelled");
  EXPECT_EQ(Tree(data), before);
  EXPECT_TRUE(!fs::exists(staging) || fs::is_empty(staging));
  for (const std::string& entry : journal) EXPECT_NE(entry, "load");
}

const std::string kStalledHead =
    "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Steps, CancelTest,
    ::testing::Values(CancelRow{"connect_hangs", true, "", 0, false},
                      CancelRow{"server_never_answers", true, "", 30000, false},
                      CancelRow{"body_stalls", true, kStalledHead, 30000, false},
                      CancelRow{"catalogue_body_stalls", false, kStalledHead, 30000, false},
                      CancelRow{"mid_extraction", true, Ok(ManyEntries(3000)), 0, true},
                      CancelRow{"catalogue_mid_extraction", false, Ok(ManyEntries(3000)), 0, true}),
    [](const auto& info) { return std::string(info.param.step); });

TEST_F(BackgroundTest, AFailedUpdateLeavesTheOldVersionIntact) {
  const auto before = Tree(data);
  // A damaged second entry answered with Abort: the failure is reported like any other, and
  // nothing of the new version is kept.
  ScriptServer damaged(Ok(BuildZip(
      {{.name = "a.txt", .data = "new a"}, {.name = "b.txt", .data = "new b", .crc = 1}})));
  TCommands commands = Commands(damaged.BaseUrl());
  try {
    Run(commands, true);
    ADD_FAILURE() << "Abort ended without an error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(),
              "Unpacking was aborted at a failed entry: Invalid size or check sum of file or "
              "unsupported compression format - Native error: 00008");
  }
  ASSERT_EQ(prompt.texts.size(), 1u);
  EXPECT_EQ(window.panel, " Extracting b.txt (100%)");
  EXPECT_EQ(Tree(data), before);

  // A connection cut in the middle of the body is tried again, and the retry's failure raised.
  ScriptServer cut(std::vector<ConnectionScript>{
      {{{"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(100, 'x'), 50}}, true},
      {{{"HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n", 0}}, false}});
  TCommands again = Commands(cut.BaseUrl());
  EXPECT_THROW(Run(again, true), EHttpProtocolException);
  EXPECT_EQ(window.panel, " Downloading archive...");
  EXPECT_TRUE(std::any_of(host.shown.begin(), host.shown.end(), [](const TProgress& shown) {
    return ProgressLabel(shown) == "Reconnecting (1 of 3)...";
  }));
  EXPECT_EQ(Tree(data), before);
  EXPECT_TRUE(fs::is_empty(staging));  // no partial download left behind
}

TEST_F(BackgroundTest, AnUpdateKeepsTheOldFilesTheArchiveLacksAndReportsItsProgress) {
  ScriptServer server(Ok(
      BuildZip({{.name = "a.txt", .data = "new a"}, {.name = "docs/new.txt", .data = "new doc"}})));
  TCommands commands = Commands(server.BaseUrl());
  Run(commands, true);
  EXPECT_EQ(window.panel, " Installation completed");
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "new a");
  EXPECT_EQ(ReadFile(data + "Dice/docs/new.txt"), "new doc");
  EXPECT_EQ(ReadFile(data + "Dice/docs/notes.txt"), "the user's notes");
  EXPECT_TRUE(fs::is_empty(staging));
  EXPECT_EQ(journal.back(), "repaint");
  // The window thread was shown the download against its length, then the two entries.
  ASSERT_FALSE(host.shown.empty());
  EXPECT_EQ(host.shown.back().Kind, pkExtract);
  EXPECT_EQ(host.shown.back().Done, 2);
  EXPECT_EQ(host.shown.back().Total, 2);
  EXPECT_EQ(host.cancellable, (std::vector<bool>{false}));
}

TEST_F(BackgroundTest, ACatalogueUpdateReplacesOnlyTheFilesOfItsArchive) {
  ScriptServer server(Ok(BuildZip({{.name = "software.dat", .data = "new catalogue"},
                                   {.name = "icons/new.ico", .data = "new icon"}})));
  TCommands commands = Commands(server.BaseUrl());
  Run(commands, false);
  EXPECT_EQ(ReadFile(data + "software.dat"), "new catalogue");
  EXPECT_EQ(ReadFile(data + "icons/new.ico"), "new icon");
  EXPECT_EQ(ReadFile(data + "dice.ico"), "the old icon");
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "old a");
  EXPECT_EQ(journal.back(), "load");
}

// With a repository key, a catalogue is unpacked, and its serial kept, only when its signature
// file signs it with that key, has not expired and has no lower serial; any refusal leaves
// DataDir exactly as it was, and a signature file too long is not read on.
TEST_F(BackgroundTest, ASignedCatalogueIsTakenOnlyWhenItsSignatureHolds) {
  const TEd25519PrivateKey key = TEd25519PrivateKey::Generate();
  const TEd25519PrivateKey foreign = TEd25519PrivateKey::Generate();
  repositoryKey = EncodeBase64(key.PublicKey());
  WriteFile(data + ".varnel-serial", "100");
  const std::string archive = BuildZip({{.name = "software.dat", .data = "signed catalogue"}});
  TSha256 sha;
  sha.Update(archive.data(), archive.size());
  const std::string digest = sha.HexDigest();
  const int64_t later = UnixTimeNow() + 86400;
  auto signed_ = [&](const TEd25519PrivateKey& by, int64_t serial, int64_t expires,
                     const std::string& of) {
    return Ok(WriteCatalogueSignature(by, serial, expires, of));
  };
  const std::string notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
  const struct {
    const char* name;
    std::string signature;  // the answer to the request for software.zip.sig
    const char* refusal;    // empty: taken
  } cases[] = {
      {"good", signed_(key, 200, later, digest), ""},
      {"equal serial", signed_(key, 100, later, digest), ""},
      {"lower serial", signed_(key, 99, later, digest),
       "The repository offers an older catalogue (serial 99) than the one in use (serial 100)"},
      {"another archive", signed_(key, 200, later, std::string(64, 'a')),
       "The repository's catalogue is not the one its signature describes"},
      {"foreign key", signed_(foreign, 200, later, digest),
       "The catalogue's signature does not match this program's repository key"},
      {"expired", signed_(key, 200, UnixTimeNow() - 86400, digest),
       "The repository's catalogue expired on"},
      {"not signed", notFound, "The repository's catalogue is not signed"},
      {"garbage", Ok("not a signature\n"), "The repository's catalogue signature is malformed"},
      {"too long", Ok(std::string(64 << 20, 's')),
       "The repository's catalogue signature is malformed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(data + ".varnel-serial", "100");
    WriteFile(data + "software.dat", "the old catalogue");
    journal.clear();
    const auto before = Tree(data);
    ScriptServer server(
        std::vector<ConnectionScript>{{{{c.signature, 0}}, false}, {{{Ok(archive), 0}}, false}});
    TCommands commands = Commands(server.BaseUrl());
    std::string refusal;
    try {
      Run(commands, false);
    } catch (const ECatalogueSignatureError& e) {
      refusal = e.Message();
    }
    EXPECT_EQ(RequestLine(server.Requests().at(0)), "GET /software.zip.sig HTTP/1.1");
    if (*c.refusal) {
      EXPECT_TRUE(refusal.starts_with(c.refusal)) << refusal;
      EXPECT_EQ(Tree(data), before);
      EXPECT_EQ(std::count(journal.begin(), journal.end(), "load"), 0);
    } else {
      EXPECT_EQ(refusal, "");
      EXPECT_EQ(ReadFile(data + "software.dat"), "signed catalogue");
      EXPECT_EQ(ReadFile(data + ".varnel-serial"), c.name == std::string("good") ? "200" : "100");
    }
  }
}

TEST_F(BackgroundTest, StagingLeftoversAreRemovedAtStart) {
  fs::create_directories(staging + "job-left/tree/sub");
  WriteFile(staging + "job-left/tree/sub/half.txt", "half written");
  WriteFile(staging + "job-left/archive.zip", "half downloaded");
  // What an older version left beside data/, and what a failed rollback had to keep.
  fs::create_directories(app + ".staging/job-old/tree");
  WriteFile(app + "temp.zip", "213 MB, cut short by a kill");
  fs::create_directories(staging + "kept-x");
  WriteFile(staging + "kept-x/settings.ini", "the user's settings");
  Commands("http://127.0.0.1:1").FirstStart();
  EXPECT_FALSE(fs::exists(staging + "job-left"));
  EXPECT_FALSE(fs::exists(app + ".staging"));
  EXPECT_FALSE(fs::exists(app + "temp.zip"));
  EXPECT_EQ(ReadFile(staging + "kept-x/settings.ini"), "the user's settings");
  EXPECT_TRUE(journal.empty());
}

// A failure (or a power cut) between the swap and the write of the state file: the swapped
// folder carries its digest, so the list is not told the old one, and the next start takes
// the digest into the state file.
TEST_F(BackgroundTest, AnInstallCutBetweenTheSwapAndTheStateWriteShowsNoWrongMark) {
  class TStateWriteFails : public TForwardingFileSystem {
   public:
    using TForwardingFileSystem::TForwardingFileSystem;
    void Rename(const std::string& from, const std::string& to) override {
      if (to.ends_with(kInstalledDigestsFile)) throw EInOutError(5);
      TForwardingFileSystem::Rename(from, to);
    }
  } stateWriteFails(SystemFileSystem());
  const std::string archive = BuildZip({{.name = "a.txt", .data = "new a"}});
  TSha256 sha;
  sha.Update(archive.data(), archive.size());
  const std::string digest = sha.HexDigest();
  integrity = "sha256:" + digest;
  WriteInstalledDigests(SystemFileSystem(), data, {{"Dice", std::string(64, 'a')}});
  fileSystem = &stateWriteFails;
  ScriptServer server(Ok(archive));
  {
    TCommands commands = Commands(server.BaseUrl());
    EXPECT_THROW(Run(commands, true), EInOutError);
  }
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "new a");
  EXPECT_EQ(ReadInstalledDigests(SystemFileSystem(), data).at("Dice"), std::string(64, 'a'));
  EXPECT_FALSE(IsOutdated(SystemFileSystem(), data, ReadInstalledDigests(SystemFileSystem(), data),
                          lines, "Dice"));

  fileSystem = &SystemFileSystem();
  Commands(server.BaseUrl()).FirstStart();
  EXPECT_EQ(ReadInstalledDigests(SystemFileSystem(), data), (TInstalledDigests{{"Dice", digest}}));
  EXPECT_FALSE(fs::exists(data + "Dice/.varnel-installing"));
}

TEST_F(BackgroundTest, AnArchiveReplacedByNameAfterItsCheckIsNotWhatIsUnpacked) {
  const std::string genuine = BuildZip({{.name = "a.txt", .data = "genuine a"}});
  TSha256 sha;
  sha.Update(genuine.data(), genuine.size());
  integrity = "sha256:" + sha.HexDigest();
  // The real download, then another archive put in its place by name, as a second instance
  // downloading to the same path would.
  download = [this](const std::string& url, TStream& target, TJob&, TSha256* digest) {
    TDownloadHooks hooks;
    hooks.digest = digest;
    DownloadToFile(url, target, hooks);
    for (const auto& job : fs::directory_iterator(staging)) {
      fs::remove(job.path() / "archive.zip");
      WriteFile(job.path() / "archive.zip", BuildZip({{.name = "a.txt", .data = "swapped a"}}));
    }
  };
  ScriptServer server(Ok(genuine));
  TCommands commands = Commands(server.BaseUrl());
  Run(commands, true);
  EXPECT_EQ(window.panel, " Installation completed");
  EXPECT_EQ(ReadFile(data + "Dice/a.txt"), "genuine a");
}

TEST_F(BackgroundTest, ADiskThatRefusesModesInstallsAndSaysSoOnce) {
  TFaultyFileSystem noModes(SystemFileSystem());
  noModes.FailAlways(TFileOperation::SetMode, 5);
  fileSystem = &noModes;
  const uint32_t executable = 0100755u << 16;
  ScriptServer server(Ok(BuildZip({{.name = "run.sh",
                                    .data = "#!/bin/sh\n",
                                    .versionMadeBy = 0x031E,
                                    .externalAttr = executable},
                                   {.name = "b.sh",
                                    .data = "#!/bin/sh\n",
                                    .versionMadeBy = 0x031E,
                                    .externalAttr = executable}})));
  TCommands commands = Commands(server.BaseUrl());
  Run(commands, true);
  EXPECT_EQ(window.panel,
            " Installation completed (file modes not kept on this disk: Access is denied)");
  EXPECT_EQ(ReadFile(data + "Dice/run.sh"), "#!/bin/sh\n");
  EXPECT_EQ(ReadFile(data + "Dice/b.sh"), "#!/bin/sh\n");
  EXPECT_TRUE(prompt.texts.empty());
}

// An Abort that the cancelled job answers for itself is the user's Cancel: it ends silently.
TEST_F(BackgroundTest, AFailureQuestionAfterACancelEndsSilently) {
  std::atomic<bool> extracting = false;
  host.onEvents = [&](const std::function<void()>& cancel) {
    if (extracting) cancel();
  };
  ScriptServer server(Ok("PK"));
  TCommands commands = Commands(
      server.BaseUrl(),
      [&](IFileSystem&, const std::string&, const std::string&, IPrompt& failures, TJob& job) {
        extracting = true;
        while (!job.CancelSignal().Cancelled()) std::this_thread::yield();
        EXPECT_EQ(failures.FileFailureDlg("b.txt failed", mbAbort | mbRetry | mbIgnore, 8, ""),
                  mrAbort);
      });
  Run(commands, true);
  EXPECT_EQ(window.panel, " Cancelled");
  EXPECT_TRUE(prompt.texts.empty());
}

// The seam itself: of the status texts queued one after another only the newest, in order
// with the other items; questions answered on the window thread; no question shown once the
// work is cancelled; and what the work raised raised again on the window thread.
TEST_F(BackgroundTest, TheWindowThreadGetsTheNewestTextsInOrderAndAnswersTheQuestions) {
  TScriptedPrompt logged(journal);  // answers Abort
  TWorker worker(host, logged, window);
  std::atomic<bool> queued = false;
  // The window thread takes nothing before the worker has queued everything up to the question.
  host.onEvents = [&](const std::function<void()>&) {
    while (!queued) std::this_thread::yield();
  };
  std::vector<TModalResult> answers;  // the worker's, read once Run has joined it
  worker.Run("caption", [&](TJob& job) {
    for (int i = 0; i < 500; ++i) job.WriteStatusPanel(std::to_string(i));
    job.Post([&] { journal.push_back("posted after" + window.panel); });
    job.SetStatus("replaced");
    job.WriteStatusPanel(" before the question");
    queued = true;
    answers.push_back(job.Prompt().MessageDlg("first?", mtConfirmation, mbAbort | mbRetry));
    job.SetStatus("answered");
  });
  EXPECT_EQ(journal, (TJournal{"panel:499", "posted after499", "panel: before the question",
                               "prompt:first?", "status: answered"}));
  EXPECT_EQ(answers, (std::vector<TModalResult>{mrAbort}));

  host.onEvents = [](const std::function<void()>& cancel) { cancel(); };
  EXPECT_THROW(worker.Run("caption",
                          [&](TJob& job) {
                            while (!job.CancelSignal().Cancelled()) std::this_thread::yield();
                            answers.push_back(job.Prompt().FileFailureDlg(
                                "second?", mbAbort | mbRetry | mbIgnore, 0, ""));
                            job.SetCancellable(false);  // the cancel came first
                          }),
               EOperationCancelled);
  EXPECT_EQ(journal.size(), 5u) << "the second question was shown";
  EXPECT_EQ(answers.back(), mrAbort);
}

// However the window's events end, the worker is not left waiting for them. An item that
// raises is shown in the error box and the items after it still come. Events ended from
// outside (as by the application's exit) answer the questions as for a cancelled command
// without showing them, cancel the work, and show what it queued meanwhile.
TEST_F(BackgroundTest, TheWorkerIsNeverLeftWaitingForTheWindow) {
  THangWatch watch(std::chrono::seconds(20));
  TWorker worker(host, prompt, window);
  prompt.answers = {mrRetry};
  TModalResult answer = mrNone;
  worker.Run("caption", [&](TJob& job) {
    job.Post([] { throw EStringListError(7); });
    job.SetStatus("after the failure");
    answer = job.Prompt().MessageDlg("still asked?", mtConfirmation, mbAbort | mbRetry);
  });
  EXPECT_EQ(host.errors, (std::vector<std::string>{"List index out of bounds (7)"}));
  EXPECT_EQ(window.panel, " after the failure");
  EXPECT_EQ(answer, mrRetry);

  std::atomic<bool> asking = false;
  host.onEvents = [&](const std::function<void()>&) {
    if (asking) host.Quit();
  };
  std::vector<TModalResult> answers;
  bool cancelled = false;
  worker.Run("caption", [&](TJob& job) {
    asking = true;
    answers.push_back(job.Prompt().FileFailureDlg("first?", mbAbort | mbRetry | mbIgnore, 8, ""));
    answers.push_back(job.Prompt().MessageDlg("second?", mtConfirmation, mbYes | mbNo));
    cancelled = job.CancelSignal().Cancelled();
    job.SetStatus("stopped");
  });
  EXPECT_EQ(prompt.texts, (std::vector<std::string>{"still asked?"}));
  EXPECT_EQ(answers, (std::vector<TModalResult>{mrAbort, mrNo}));
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(window.panel, " stopped");
}

}  // namespace
}  // namespace varnel::test

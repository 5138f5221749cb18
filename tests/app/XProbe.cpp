// The program as its main() builds it (real dialogs, real event loop), on a folder and a
// scripted server of its own, for the checks under a real X server (x11_checks.sh). It starts
// one command once its window shows and logs, one line each, what the script waits on.
// Usage: app_x11_probe stalled|damaged|reload FOLDER
//   stalled  installs "Slow", whose download stalls after its first kilobyte
//   damaged  installs "Damaged", whose second entry fails its CRC-32 check
//   reload   updates the catalogue; its reload waits until the window is sent a mark message
#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/DownloadProgressForm.h"
#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "app/QtWorkerHost.h"
#include "app/StatusBar.h"
#include "tests/http/ScriptServer.h"
#include "tests/support/TempDir.h"
#include "tests/zip/ZipTestSupport.h"

namespace varnel::test {
namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();

void Log(const std::string& line) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - kStart);
  std::printf("%6lld %s\n", static_cast<long long>(ms.count()), line.c_str());
  std::fflush(stdout);
}

class TProbeDialogs : public TQtDialogs {
 public:
  // The install question is not what is checked here.
  bool Confirm(const std::string&, const std::string&) override { return true; }
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override {
    Log("question: " + text);
    return TQtDialogs::MessageDlg(text, type, buttons);
  }
  void ShowError(const std::string& title, const std::string& text) override {
    Log("error: " + text);
    TQtDialogs::ShowError(title, text);
  }
};

// Sees the X events before Qt does: the mark message a script sends after its keys arrives
// after them, so once it is seen the keys wait in the program's queue.
class TMarkWatch : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    static constexpr int kClientMessage = 33;
    const auto* bytes = static_cast<const unsigned char*>(message);
    // A client message of format 8 carries its 20 data bytes from byte 12 on.
    if (type == "xcb_generic_event_t" && (bytes[0] & 0x7F) == kClientMessage && bytes[1] == 8 &&
        std::memcmp(bytes + 12, "varnel-mark", 11) == 0) {
      Log("mark seen");
      seen = true;
    }
    return false;
  }
  bool seen = false;
};

class TProbeForm : public TForm1 {
 public:
  using TForm1::TForm1;

  void SetStatus(const std::string& text) override {
    Log("status:  " + text);
    TForm1::SetStatus(text);
  }
  void WriteStatusPanel(const std::string& panelText) override {
    Log("status: " + panelText);
    TForm1::WriteStatusPanel(panelText);
  }
  // A long reload: keys pressed now reach the program while the command still runs.
  void LoadRepository() override {
    if (markWatch) {
      Log("reload waiting for the mark");
      while (!markWatch->seen) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
      }
    }
    TForm1::LoadRepository();
  }

  TMarkWatch* markWatch = nullptr;
};

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// One catalogue record naming program, with its archive at url.
std::string Catalogue(const std::string& program, const std::string& url) {
  return "none.ico\n" + program + "\n" + url + "\nrun.sh" + std::string(7, '\n');
}

int Probe(const std::string& scenario, const std::string& folder, QApplication& application) {
  const bool reload = scenario == "reload";
  const std::string name = scenario == "stalled" ? "Slow" : "Damaged";
  ConnectionScript script;
  if (scenario == "stalled") {
    script.steps = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + std::string(1000, 'x'), 60000}};
  } else if (scenario == "damaged") {
    script.steps = {{Ok(BuildZip({{.name = "a.txt", .data = "first entry"},
                                  {.name = "b.txt", .data = "second entry", .crc = 1}}))}};
  } else if (reload) {
    const std::string catalogue = Catalogue(name, "http://127.0.0.1:1/program.zip");
    script.steps = {{Ok(BuildZip({{.name = "software.dat", .data = catalogue}}))}};
  } else {
    std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
    return 2;
  }
  ScriptServer server(std::vector<ConnectionScript>{script});
  std::filesystem::create_directories(folder + "data");
  WriteFile(folder + "data/software.dat", Catalogue(name, server.BaseUrl() + "/program.zip"));

  TProbeDialogs dialogs;
  TPosixShell shell;
  TProbeForm window(folder, server.BaseUrl() + "/software.zip", "", dialogs, shell, "Probe");
  TMarkWatch markWatch;
  application.installNativeEventFilter(&markWatch);
  QAction* command = reload ? window.Updatesoftwarelist1 : window.Install2;
  // Runs after the command, each time it ran.
  QObject::connect(command, &QAction::triggered,
                   [&] { Log("triggered: " + command->text().toStdString()); });
  if (reload) window.markWatch = &markWatch;
  struct TShowWatch : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Show) Log("progress window shown");
      return false;
    }
  } showWatch;
  window.Form2->installEventFilter(&showWatch);
  window.show();
  QTimer::singleShot(0, [&] {
    window.L1->SetItemIndex(0);
    // Fires inside whatever runs by then, a question included.
    QTimer::singleShot(3 * TQtWorkerHost::kShowAfterMs, [] { Log("show delay passed"); });
    Log("command start");
    command->trigger();
    Log("command end, panel \"" + window.Status->PanelText(0).toStdString() + "\"");
  });
  const int status = application.exec();
  Log("exit " + std::to_string(status));
  return status;
}

}  // namespace
}  // namespace varnel::test

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: app_x11_probe stalled|damaged|reload FOLDER\n");
    return 2;
  }
  return varnel::test::Probe(argv[1], std::string(argv[2]) + "/", application);
}

// Makes the README's screenshot: the window started from an empty folder against a served
// repository (so its first start fetches the catalogue), one program installed through the
// menu and selected, grabbed offscreen into a PNG file. With --run the program is then run from
// the list through the real shell, so its own window opens on the display (scripts/screenshot
// grabs that one).
// Usage: app_screenshot FOLDER REPOSITORY_URL PROGRAM OUTPUT.png [--run]
#include <QAction>
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstring>

#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "tests/app/AppTestSupport.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const bool run = argc == 6 && std::strcmp(argv[5], "--run") == 0;
  if (argc != 5 && !run) {
    std::fprintf(stderr,
                 "usage: app_screenshot FOLDER REPOSITORY_URL PROGRAM OUTPUT.png [--run]\n");
    return 2;
  }
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + "/";
  QDir().mkpath(folder);

  varnel::test::TRecordingDialogs dialogs;  // answers Yes to the install question
  varnel::test::TJournal journal;
  varnel::test::TRecordingShell recorder(journal);
  varnel::TPosixShell desktop;
  varnel::IShell& shell = run ? static_cast<varnel::IShell&>(desktop) : recorder;
  varnel::TForm1 window(folder.toStdString(), argv[2], dialogs, shell, "Varneltools");
  window.show();
  const QString program = QString::fromLocal8Bit(argv[3]);
  for (int i = 0; i < window.L1->count(); ++i) {
    if (window.L1->item(i)->text() == program) window.L1->SetItemIndex(i);
  }
  if (window.L1->ItemIndex() < 0) {
    std::fprintf(stderr, "%s is not in the catalogue\n", argv[3]);
    return 1;
  }
  window.Install2->trigger();
  window.L1->setFocus();
  window.Timer1Timer();
  QApplication::processEvents();
  if (!dialogs.errors.empty()) {
    std::fprintf(stderr, "error box: %s\n", dialogs.errors.front().second.c_str());
    return 1;
  }
  if (!window.grab().save(QString::fromLocal8Bit(argv[4]), "PNG")) return 1;
  if (run) window.Run1->trigger();
  return 0;
}

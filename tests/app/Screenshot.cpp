// Makes the README's screenshot: the window started from an empty folder against a served
// repository (so its first start fetches the catalogue), one program installed through the
// menu and selected, grabbed offscreen into a PNG file. With --run the program is then run from
// the list through the real shell, so its own window opens on the display (scripts/screenshot
// grabs that one). With --progress the program is not installed first: its install is started
// and, two seconds into the download, the progress window is drawn over the list, then the
// install is cancelled. With --filter TEXT the filter field is opened over the list and holds
// TEXT. With --outdated OTHER, OTHER is installed too and then recorded as unpacked from an
// older archive than the catalogue's, so it shows the update mark.
// Usage: app_screenshot FOLDER REPOSITORY_URL PROGRAM OUTPUT.png
//        [--run|--progress|--filter TEXT|--outdated OTHER]
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/DownloadProgressForm.h"
#include "app/FilterEdit.h"
#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "app/StatusBar.h"
#include "catalog/InstalledDigests.h"
#include "tests/app/AppTestSupport.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const bool run = argc == 6 && std::strcmp(argv[5], "--run") == 0;
  const bool progress = argc == 6 && std::strcmp(argv[5], "--progress") == 0;
  const bool filter = argc == 7 && std::strcmp(argv[5], "--filter") == 0;
  const bool outdated = argc == 7 && std::strcmp(argv[5], "--outdated") == 0;
  if (argc != 5 && !run && !progress && !filter && !outdated) {
    std::fprintf(stderr,
                 "usage: app_screenshot FOLDER REPOSITORY_URL PROGRAM OUTPUT.png "
                 "[--run|--progress|--filter TEXT|--outdated OTHER]\n");
    return 2;
  }
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + "/";
  QDir().mkpath(folder);

  varnel::test::TRecordingDialogs dialogs;  // answers Yes to the install question
  varnel::test::TJournal journal;
  varnel::test::TRecordingShell recorder(journal);
  varnel::TPosixShell desktop;
  varnel::IShell& shell = run ? static_cast<varnel::IShell&>(desktop) : recorder;
  varnel::TForm1 window(folder.toStdString(), argv[2], "", dialogs, shell, "Varneltools");
  window.show();
  auto select = [&window](const char* name) {
    window.L1->SetItemIndex(-1);
    for (int i = 0; i < window.L1->count(); ++i) {
      if (window.L1->Item(i)->text() == QString::fromLocal8Bit(name)) window.L1->SetItemIndex(i);
    }
    if (window.L1->ItemIndex() < 0) std::fprintf(stderr, "%s is not in the catalogue\n", name);
    return window.L1->ItemIndex() >= 0;
  };
  if (outdated) {
    if (!select(argv[6])) return 1;
    window.Install2->trigger();
    varnel::TInstalledDigests digests =
        varnel::ReadInstalledDigests(varnel::SystemFileSystem(), window.DataDir());
    digests[argv[6]] = std::string(64, '0');
    varnel::WriteInstalledDigests(varnel::SystemFileSystem(), window.DataDir(), digests);
  }
  if (!select(argv[3])) return 1;
  bool saved = false;
  if (progress) {
    // The progress window is a window of its own: it is drawn where it stands, with a frame
    // and its caption, as a window manager would show it.
    QTimer::singleShot(2000, [&] {
      window.Timer1Timer();
      // A margin around the list's window, as the progress window is the wider of the two.
      const QPoint margin(16, 16);
      QPixmap shot(window.size() + QSize(2 * margin.x(), 2 * margin.y()));
      shot.fill(Qt::darkGray);
      QPainter painter(&shot);
      painter.drawPixmap(margin, window.grab());
      const QRect form(window.Form2->pos() - window.pos() + margin + QPoint(0, 10),
                       window.Form2->size());
      const QRect title(form.left() - 1, form.top() - 20, form.width() + 2, 20);
      painter.fillRect(title, window.palette().color(QPalette::Highlight));
      painter.setPen(window.palette().color(QPalette::HighlightedText));
      painter.drawText(title.adjusted(6, 0, 0, 0), Qt::AlignVCenter, window.Form2->windowTitle());
      painter.drawPixmap(form.topLeft(), window.Form2->grab());
      painter.setPen(window.palette().color(QPalette::Dark));
      painter.drawRect(form.adjusted(-1, -21, 0, 0));
      painter.end();
      saved = shot.save(QString::fromLocal8Bit(argv[4]), "PNG");
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(window.Form2, &escape);
    });
    window.Install2->trigger();
    return saved && window.Status->PanelText(0) == " Cancelled" ? 0 : 1;
  }
  window.Install2->trigger();
  window.L1->setFocus();
  if (filter) {
    window.Showfilter1->trigger();
    window.Filter->setText(QString::fromLocal8Bit(argv[6]));
  }
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

#include "app/ErrorBox.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

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

// What a dialog showed: how its label read the text, its parent and where its centre was.
struct TSeenDialog {
  Qt::TextFormat format = Qt::AutoText;
  QWidget* parent = nullptr;
  QPoint centre;
};

// Closes the next modal dialog with result, noting what it showed.
void CloseNextDialog(std::vector<TSeenDialog>& seen, const QString& text, int result) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, &seen, text, result] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    for (const QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text() == text) {
        seen.push_back(
            {label->textFormat(), dialog->parentWidget(), dialog->frameGeometry().center()});
      }
    }
    timer->stop();
    timer->deleteLater();
    dialog->done(result);
  });
  timer->start();
}

// Each kind of box and question, answered by closing it with the given result.
void AskEveryKind(TQtDialogs& dialogs, std::vector<TSeenDialog>& seen, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  CloseNextDialog(seen, shown, QMessageBox::Ok);
  dialogs.ShowError("Tool", text);
  CloseNextDialog(seen, shown, QMessageBox::Yes);
  EXPECT_TRUE(dialogs.Confirm(text, "Dice"));
  CloseNextDialog(seen, shown, QMessageBox::Ignore);
  EXPECT_EQ(dialogs.MessageDlg(text, mtConfirmation, mbAbort | mbIgnore), mrIgnore);
  std::string password;
  CloseNextDialog(seen, shown, QDialog::Rejected);
  EXPECT_FALSE(dialogs.PasswordQuery("Password", text, password));
}

// Server replies, archive entry names and catalogue names reach these boxes: markup in them
// is shown as written, never rendered.
TEST(ErrorBoxTest, DialogsShowTheirTextsAsPlainText) {
  TQtDialogs dialogs;
  std::vector<TSeenDialog> seen;
  AskEveryKind(dialogs, seen, "<b>Entry</b> <img src=\"/tmp/x.png\"> failed");
  ASSERT_EQ(seen.size(), 4u);
  for (const TSeenDialog& dialog : seen) EXPECT_EQ(dialog.format, Qt::PlainText);
}

// Boxes raised by a context-menu command came up in the middle of the screen: every kind is
// owned by the window it is given and centred over it, while that window is shown.
TEST(ErrorBoxTest, DialogsAreCentredOverTheirOwner) {
  QWidget owner;
  owner.setGeometry(40, 30, 700, 500);
  TQtDialogs dialogs;
  dialogs.SetOwner(&owner);
  std::vector<TSeenDialog> seen;
  AskEveryKind(dialogs, seen, "hidden owner");
  owner.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
  QWidget elsewhere;  // the active window, as a closing context menu leaves it
  elsewhere.setGeometry(800, 600, 100, 100);
  elsewhere.show();
  elsewhere.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
  AskEveryKind(dialogs, seen, "shown owner");
  ASSERT_EQ(seen.size(), 8u);
  for (size_t i = 0; i < seen.size(); ++i) {
    const bool shown = i >= 4;
    EXPECT_EQ(seen[i].parent, shown ? &owner : nullptr) << i;
    if (!shown) continue;
    const QPoint offset = seen[i].centre - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << i << ": off by " << offset.x() << "," << offset.y();
  }
}

}  // namespace
}  // namespace varnel

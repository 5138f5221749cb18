#include "app/ErrorBox.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
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

// Closes the next modal dialog with result, noting how its label shows text.
void CloseNextDialog(std::vector<Qt::TextFormat>& formats, const QString& text, int result) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, &formats, text, result] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    for (const QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text() == text) formats.push_back(label->textFormat());
    }
    timer->stop();
    timer->deleteLater();
    dialog->done(result);
  });
  timer->start();
}

// Server replies, archive entry names and catalogue names reach these boxes: markup in them
// is shown as written, never rendered.
TEST(ErrorBoxTest, DialogsShowTheirTextsAsPlainText) {
  const std::string hostile = "<b>Entry</b> <img src=\"/tmp/x.png\"> failed";
  const QString shown = QString::fromStdString(hostile);
  TQtDialogs dialogs;
  std::vector<Qt::TextFormat> formats;
  CloseNextDialog(formats, shown, QMessageBox::Ok);
  dialogs.ShowError("Tool", hostile);
  CloseNextDialog(formats, shown, QMessageBox::Yes);
  EXPECT_TRUE(dialogs.Confirm(hostile, "Dice"));
  CloseNextDialog(formats, shown, QMessageBox::Ignore);
  EXPECT_EQ(dialogs.MessageDlg(hostile, mtConfirmation, mbAbort | mbIgnore), mrIgnore);
  std::string password;
  CloseNextDialog(formats, shown, QDialog::Rejected);
  EXPECT_FALSE(dialogs.PasswordQuery("Password", hostile, password));
  EXPECT_EQ(formats, std::vector<Qt::TextFormat>(4, Qt::PlainText));
}

}  // namespace
}  // namespace varnel

// Helpers of the window tests: a recorder for the dialogs, a program folder with a catalogue
// and icons, and icon files made with Qt's own icon writer.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/ErrorBox.h"
#include "app/MainUnit.h"
#include "app/Pictures.h"
#include "tests/actions/CommandFakes.h"
#include "tests/support/TempDir.h"

namespace varnel::test {

class TRecordingDialogs : public IDialogs {
 public:
  void SetOwner(QWidget* window) override { owner = window; }
  void ShowError(const std::string& title, const std::string& text) override {
    errors.emplace_back(title, text);
    if (whileOpen) whileOpen();
  }
  bool Confirm(const std::string& text, const std::string& caption) override {
    questions.emplace_back(text, caption);
    return answer;
  }
  // The ZIP reader's questions: answered with promptAnswer, and recorded.
  TModalResult MessageDlg(const std::string& text, TMsgDlgType, unsigned) override {
    prompts.push_back(text);
    if (whileOpen) whileOpen();
    return promptAnswer;
  }
  bool PasswordQuery(const std::string&, const std::string&, std::string&) override {
    return false;
  }
  std::vector<std::pair<std::string, std::string>> errors;  // title, text
  std::vector<std::pair<std::string, std::string>> questions;
  std::vector<std::string> prompts;
  QWidget* owner = nullptr;
  bool answer = true;
  TModalResult promptAnswer = mrAbort;
  // Runs while an error box or a question of the ZIP reader is open.
  std::function<void()> whileOpen;
};

// The bytes of an icon file holding one image per size given, each filled with color.
std::string MakeIconFile(const std::vector<int>& sizes, QColor color = Qt::blue);

// One catalogue record: icon line, name, archive URL, executable, description, web page and
// four unused lines.
std::string Record(const std::string& icon, const std::string& name, const std::string& archive,
                   const std::string& description);

// A program folder with data/software.dat (and optional files beside it) and a window on it.
class TWindowFixture {
 public:
  TWindowFixture() = default;
  void WriteData(const std::string& name, const std::string& bytes);
  TForm1& Open();

  TempDir appDir;
  TRecordingDialogs dialogs;
  TJournal journal;  // what the shell was asked to do
  TRecordingShell shell{journal};
  std::string repositoryUrl = "http://127.0.0.1:1/tools/software.zip";
  std::string repositoryKey;  // base64; empty: catalogues are not checked
  std::unique_ptr<TForm1> window;
};

// Paints item index of the window's list into an image of the item's size.
QImage PaintItem(TForm1& window, int index, int width = 300, bool selected = false);
// True when the painted item shows the installed badge: the tick's opaque pixels unchanged
// where the drawing code places the badge.
// picture is the badge looked for: the installed tick, or the update mark.
bool HasBadge(TForm1& window, int index, const QPixmap& picture = InstalledBadge());

// True when some pixel in the area is clearly red (text edges blend into the background).
bool HasRed(const QImage& image, const QRect& area);

}  // namespace varnel::test

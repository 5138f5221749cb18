#include "app/ErrorBox.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>

#include "platform/Exception.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

// A modal box over parent. Its text may come from a server, an archive or the catalogue, so it
// is shown as written, never read as markup.
int ExecMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                   const std::string& text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, QString(), buttons, parent);
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  return box.exec();
}

}  // namespace

// The owner, whichever menu or key started the command; the active window changes while a
// context menu closes, which put boxes in the middle of the screen.
QWidget* TQtDialogs::Parent() const {
  return owner_ && owner_->isVisible() ? owner_.data() : nullptr;
}

void TQtDialogs::ShowError(const std::string& title, const std::string& text) {
  ExecMessageBox(Parent(), QMessageBox::Critical, QString::fromStdString(title), text,
                 QMessageBox::Ok);
}

bool TQtDialogs::Confirm(const std::string& text, const std::string& caption) {
  return ExecMessageBox(Parent(), QMessageBox::Question, QString::fromStdString(caption), text,
                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::No;
}

TModalResult TQtDialogs::MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) {
  static constexpr std::pair<unsigned, QMessageBox::StandardButton> kButtons[] = {
      {mbYes, QMessageBox::Yes},
      {mbNo, QMessageBox::No},
      {mbOK, QMessageBox::Ok},
      {mbCancel, QMessageBox::Cancel},
      {mbAbort, QMessageBox::Abort},
      {mbRetry, QMessageBox::Retry},
      {mbIgnore, QMessageBox::Ignore},
      {mbNoToAll, QMessageBox::NoToAll},
      {mbYesToAll, QMessageBox::YesToAll}};
  static constexpr std::pair<QMessageBox::StandardButton, TModalResult> kResults[] = {
      {QMessageBox::Yes, mrYes},
      {QMessageBox::No, mrNo},
      {QMessageBox::Ok, mrOk},
      {QMessageBox::Cancel, mrCancel},
      {QMessageBox::Abort, mrAbort},
      {QMessageBox::Retry, mrRetry},
      {QMessageBox::Ignore, mrIgnore},
      {QMessageBox::NoToAll, mrNoToAll},
      {QMessageBox::YesToAll, mrYesToAll}};
  QMessageBox::StandardButtons shown;
  for (auto [bit, button] : kButtons) {
    if (buttons & bit) shown |= button;
  }
  const QMessageBox::Icon icon = type == mtError         ? QMessageBox::Critical
                                 : type == mtWarning     ? QMessageBox::Warning
                                 : type == mtInformation ? QMessageBox::Information
                                                         : QMessageBox::Question;
  const auto chosen = static_cast<QMessageBox::StandardButton>(
      ExecMessageBox(Parent(), icon, QApplication::applicationDisplayName(), text, shown));
  for (auto [button, result] : kResults) {
    if (button == chosen) return result;
  }
  return mrCancel;
}

bool TQtDialogs::PasswordQuery(const std::string& caption, const std::string& label,
                               std::string& value) {
  QInputDialog dialog(Parent());
  dialog.setWindowTitle(QString::fromStdString(caption));
  dialog.setLabelText(QString::fromStdString(label));
  // Like the boxes' texts, the label is shown as written, never read as markup.
  if (auto* text = dialog.findChild<QLabel*>()) text->setTextFormat(Qt::PlainText);
  dialog.setTextEchoMode(QLineEdit::Password);
  dialog.setTextValue(QString());
  if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(255);
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.textValue().toStdString();
  return true;
}

std::string ApplicationTitle(std::string_view executablePath) {
  std::string name = ExtractFileName(executablePath);
  QString title = QString::fromStdString(name.substr(0, name.find('.')));
  if (title.size() > 1) title = title.left(1) + title.mid(1).toLower();
  return title.toStdString();
}

namespace {

// The message of the innermost exception that error wraps.
std::string InnermostMessage(const std::exception& error) {
  try {
    std::rethrow_if_nested(error);
  } catch (const std::exception& inner) {
    return InnermostMessage(inner);
  } catch (...) {
  }
  if (auto* own = dynamic_cast<const Exception*>(&error)) return own->Message();
  return error.what();
}

bool IsSilentAbort(const std::exception& error) {
  try {
    std::rethrow_if_nested(error);
  } catch (const std::exception& inner) {
    return IsSilentAbort(inner);
  } catch (...) {
  }
  return dynamic_cast<const EAbort*>(&error) != nullptr;
}

}  // namespace

std::string ErrorBoxText(const std::exception& error) {
  std::string text = InnermostMessage(error);
  // Bytes of multi-byte UTF-8 characters are all above "." as well.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

void TErrorGuard::Report(std::exception_ptr error) noexcept {
  try {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      if (IsSilentAbort(e)) return;
      dialogs_.ShowError(title_, ErrorBoxText(e));
    } catch (...) {
      dialogs_.ShowError(title_, "Unknown exception.");
    }
  } catch (...) {
    // Showing the box failed as well; the program goes on all the same.
  }
}

}  // namespace varnel

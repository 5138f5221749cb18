#include "app/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "platform/Exception.h"
#include "platform/Paths.h"

namespace varnel {

void TQtDialogs::ShowError(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(title),
                  QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

bool TQtDialogs::Confirm(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                  QApplication::activeWindow());
  return box.exec() != QMessageBox::No;
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

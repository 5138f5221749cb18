// How an exception that leaves an event handler reaches the user: one guard around every
// handler shows it in the default error box, so no exception crosses Qt's event loop. The
// boxes go through IDialogs, which the program fills with Qt message boxes and tests with a
// recorder. IDialogs also answers the questions the ZIP reader asks (IPrompt). Window thread
// only.
#pragma once

#include <QPointer>
#include <QWidget>

#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Prompt.h"

namespace varnel {

class IDialogs : public IPrompt {
 public:
  // The window that owns every box and question from now on, which centres them over itself;
  // null (or a window not yet shown) leaves them to the screen. The dialogs do not own it.
  virtual void SetOwner(QWidget* owner) = 0;
  // An error box: stop icon, one OK button.
  virtual void ShowError(const std::string& title, const std::string& text) = 0;
  // A Yes/No question with a question icon; true unless the answer is No.
  virtual bool Confirm(const std::string& text, const std::string& caption) = 0;
};

class TQtDialogs : public IDialogs {
 public:
  void SetOwner(QWidget* owner) override { owner_ = owner; }
  void ShowError(const std::string& title, const std::string& text) override;
  bool Confirm(const std::string& text, const std::string& caption) override;
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override;
  bool PasswordQuery(const std::string& caption, const std::string& label,
                     std::string& value) override;

 private:
  QWidget* Parent() const;

  QPointer<QWidget> owner_;  // cleared by Qt when the window goes
};

// The title of the error boxes: the executable's file name cut before its first ".", every
// character after the first in lower case ("/x/Tool.new.EXE" gives "Tool").
std::string ApplicationTitle(std::string_view executablePath);

// The text of the error box for an exception: the innermost nested exception's message, with
// a "." appended when its last character comes after "." in the character table.
std::string ErrorBoxText(const std::exception& error);

class TErrorGuard {
 public:
  // The dialogs must outlive the guard.
  TErrorGuard(IDialogs& dialogs, std::string title) : dialogs_(dialogs), title_(std::move(title)) {}

  // Runs one event handler; whatever it raises is shown and the handler is abandoned.
  template <typename Handler>
  void Run(Handler&& handler) noexcept {
    try {
      std::forward<Handler>(handler)();
    } catch (...) {
      Report(std::current_exception());
    }
  }

  void Report(std::exception_ptr error) noexcept;

 private:
  IDialogs& dialogs_;
  std::string title_;
};

}  // namespace varnel

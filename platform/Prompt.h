// Modal questions raised deep inside the engines (per-file failure, overwrite, password).
// The app fills this with Qt dialogs, tests with scripted answers, the tools with flags.
// The caller keeps ownership of the prompt; it must outlive every engine that holds it.
#pragma once

#include <string>

namespace varnel {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

// Buttons of a message box, combined as a bit set.
enum TMsgDlgBtn : unsigned {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
  mbAbort = 1u << 4,
  mbRetry = 1u << 5,
  mbIgnore = 1u << 6,
  mbNoToAll = 1u << 7,
  mbYesToAll = 1u << 8,
};

// What the user chose; the numbers are the system's modal results.
enum TModalResult {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrNoToAll = 9,
  mrYesToAll = 10,
};

class IPrompt {
 public:
  virtual ~IPrompt() = default;
  // A modal message box; returns the modal result of the button chosen.
  virtual TModalResult MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) = 0;
  // A modal text query with a masked edit field; false when cancelled.
  virtual bool PasswordQuery(const std::string& caption, const std::string& label,
                             std::string& value) = 0;
  // The question after one archive entry failed: text is the whole box text, errorMessage the
  // failure's own message and nativeError its code, for prompts that answer by policy.
  virtual TModalResult FileFailureDlg(const std::string& text, unsigned buttons, int nativeError,
                                      const std::string& errorMessage) {
    (void)nativeError;
    (void)errorMessage;
    return MessageDlg(text, mtConfirmation, buttons);
  }
};

}  // namespace varnel

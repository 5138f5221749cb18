// The progress window of a command running in the background: what is being done, a bar, and
// Cancel. The main window owns it; it is shown over the main window and centred on it, or on
// its own while the main window is not yet visible. It is not modal: the main window's input
// is dropped meanwhile, and a window manager's close of the main window still reaches it.
// Window thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "actions/WorkerHost.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace varnel {

class TForm2 : public QDialog {
 public:
  explicit TForm2(QWidget* owner);

  // Ready for a new command: caption, "Downloading files...", an idle bar, Cancel offered.
  // onCancel runs for the button, Escape and closing the window.
  void Prepare(const QString& caption, std::function<void()> onCancel);
  // Shows the window over its owner without waiting for it.
  void ShowOverOwner();
  void ShowProgress(const TProgress& progress);
  void SetCancellable(bool cancellable);

  QLabel* Label2 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* BitBtn1 = nullptr;

 protected:
  void reject() override;  // Escape
  void closeEvent(QCloseEvent* event) override;

 private:
  void RequestCancel();

  std::function<void()> onCancel_;
};

}  // namespace varnel

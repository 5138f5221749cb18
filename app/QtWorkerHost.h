// The window's side of the background work, with Qt: a nested event loop keeps painting and
// the clock going while a command's long steps run on the worker, input to the main window is
// dropped meanwhile (never queued for later), and the progress window appears once a command
// has run for a moment, though never over an open question. Wake may be called from any
// thread; the rest on the window thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "actions/WorkerHost.h"

class QEventLoop;
class QWidget;

namespace varnel {

class IDialogs;
class TErrorGuard;
class TForm2;

class TQtWorkerHost : public QObject, public IWorkerHost {
 public:
  // Quick commands finish before the progress window would show and never flash it.
  static constexpr int kShowAfterMs = 300;

  // mainWindow, form, dialogs and errorGuard belong to the window thread and must outlive the
  // host. The dialogs are owned by the progress window while it is visible, by the main
  // window otherwise; errorGuard shows what a delivered item raises.
  TQtWorkerHost(QWidget& mainWindow, TForm2& form, IDialogs& dialogs, TErrorGuard& errorGuard);

  void Wake() override;
  void RunEvents(const std::string& caption, const std::function<void()>& deliver,
                 const std::function<void()>& cancel) override;
  void Quit() override;
  bool LoopRunning() const override;
  void ShowQuestion(const std::function<void()>& ask) override;
  void ReportError(std::exception_ptr error) override;
  void ShowProgress(const TProgress& progress) override;
  void SetCancellable(bool cancellable) override;

 private:
  QWidget& mainWindow_;
  TForm2& form_;
  IDialogs& dialogs_;
  TErrorGuard& errorGuard_;
  QTimer showTimer_;
  QEventLoop* loop_ = nullptr;
  bool quit_ = false;
  std::function<void()> deliver_;
};

}  // namespace varnel

#include "app/QtWorkerHost.h"

#include <QEventLoop>
#include <QWidget>

#include "app/DownloadProgressForm.h"
#include "app/ErrorBox.h"
#include "app/InputBlock.h"

namespace varnel {

namespace {

// Holds the progress window back while a box is open, and lets it come once the box has
// closed with the time that was left. A box opened inside another leaves it to the outer one.
class TShowPause {
 public:
  explicit TShowPause(QTimer& timer)
      : timer_(timer), remainingMs_(timer.isActive() ? timer.remainingTime() : -1) {
    timer_.stop();
  }
  ~TShowPause() {
    if (remainingMs_ >= 0) timer_.start(remainingMs_);
  }
  TShowPause(const TShowPause&) = delete;
  TShowPause& operator=(const TShowPause&) = delete;

 private:
  QTimer& timer_;
  int remainingMs_;
};

}  // namespace

TQtWorkerHost::TQtWorkerHost(QWidget& mainWindow, TForm2& form, IDialogs& dialogs,
                             TErrorGuard& errorGuard)
    : mainWindow_(mainWindow), form_(form), dialogs_(dialogs), errorGuard_(errorGuard) {
  showTimer_.setSingleShot(true);
  showTimer_.setInterval(kShowAfterMs);
  connect(&showTimer_, &QTimer::timeout, this, [this] {
    form_.ShowOverOwner();
    dialogs_.SetOwner(&form_);
  });
}

void TQtWorkerHost::Wake() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (deliver_) deliver_();
      },
      Qt::QueuedConnection);
}

void TQtWorkerHost::RunEvents(const std::string& caption, const std::function<void()>& deliver,
                              const std::function<void()>& cancel) {
  deliver_ = deliver;
  quit_ = false;
  form_.Prepare(QString::fromStdString(caption), cancel);
  TInputBlock block(mainWindow_);
  showTimer_.start();
  QEventLoop loop;
  loop_ = &loop;
  if (!quit_) loop.exec();
  loop_ = nullptr;
  showTimer_.stop();
  form_.hide();
  dialogs_.SetOwner(&mainWindow_);
  deliver_ = nullptr;
}

void TQtWorkerHost::Quit() {
  quit_ = true;
  if (loop_) loop_->quit();
}

// An application's exit ends every running event loop, this one included.
bool TQtWorkerHost::LoopRunning() const {
  return loop_ != nullptr && loop_->isRunning();
}

void TQtWorkerHost::ShowQuestion(const std::function<void()>& ask) {
  TShowPause pause(showTimer_);
  ask();
}

void TQtWorkerHost::ReportError(std::exception_ptr error) {
  TShowPause pause(showTimer_);
  errorGuard_.Report(std::move(error));
}

void TQtWorkerHost::ShowProgress(const TProgress& progress) {
  form_.ShowProgress(progress);
}

void TQtWorkerHost::SetCancellable(bool cancellable) {
  form_.SetCancellable(cancellable);
}

}  // namespace varnel

#include "app/QtWorkerHost.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QWidget>

#include "app/DownloadProgressForm.h"
#include "app/ErrorBox.h"

namespace varnel {

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

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
  qApp->installEventFilter(this);
  showTimer_.start();
  QEventLoop loop;
  loop_ = &loop;
  if (!quit_) loop.exec();
  loop_ = nullptr;
  showTimer_.stop();
  form_.hide();
  dialogs_.SetOwner(&mainWindow_);
  qApp->removeEventFilter(this);
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

// Input meant for the main window (its list, menus and their shortcuts) is dropped, so
// nothing the user does there meanwhile starts a command now or later. The progress window
// and the questions are windows of their own and get their input.
bool TQtWorkerHost::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(event->type())) return false;
  if (auto* widget = qobject_cast<QWidget*>(watched)) return widget->window() == &mainWindow_;
  return qobject_cast<QAction*>(watched) != nullptr;
}

}  // namespace varnel

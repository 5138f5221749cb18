#include "actions/Worker.h"

#include <future>

namespace varnel {

class TWorker::TForwardingPrompt : public IPrompt {
 public:
  explicit TForwardingPrompt(TWorker& worker) : worker_(worker) {}

  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override {
    if (Cancelled()) return AnswerWhenCancelled(buttons);
    return worker_.Ask<TModalResult>(
        [&] { return worker_.prompt_.MessageDlg(text, type, buttons); });
  }

  bool PasswordQuery(const std::string& caption, const std::string& label,
                     std::string& value) override {
    if (Cancelled()) return false;
    return worker_.Ask<bool>([&] { return worker_.prompt_.PasswordQuery(caption, label, value); });
  }

  TModalResult FileFailureDlg(const std::string& text, unsigned buttons, int nativeError,
                              const std::string& errorMessage) override {
    if (Cancelled()) return AnswerWhenCancelled(buttons);
    return worker_.Ask<TModalResult>(
        [&] { return worker_.prompt_.FileFailureDlg(text, buttons, nativeError, errorMessage); });
  }

 private:
  bool Cancelled() const { return worker_.cancel_->Cancelled(); }

  static TModalResult AnswerWhenCancelled(unsigned buttons) {
    if (buttons & mbAbort) return mrAbort;
    if (buttons & mbCancel) return mrCancel;
    return mrNo;
  }

  TWorker& worker_;
};

void TJob::SetStatus(const std::string& text) {
  IWindow& window = worker_.window_;
  worker_.Post([&window, text] { window.SetStatus(text); });
}

void TJob::WriteStatusPanel(const std::string& panelText) {
  IWindow& window = worker_.window_;
  worker_.Post([&window, panelText] { window.WriteStatusPanel(panelText); });
}

void TJob::Post(std::function<void()> action) {
  worker_.Post(std::move(action));
}

IPrompt& TJob::Prompt() {
  return *worker_.forwardingPrompt_;
}

const TCancelSignal& TJob::CancelSignal() const {
  return *worker_.cancel_;
}

void TJob::ReportProgress(const TProgress& progress) {
  worker_.ReportProgress(progress);
}

void TJob::SetCancellable(bool cancellable) {
  worker_.SetCancellable(cancellable);
}

TWorker::TWorker(IWorkerHost& host, IPrompt& prompt, IWindow& window)
    : host_(host),
      prompt_(prompt),
      window_(window),
      forwardingPrompt_(std::make_unique<TForwardingPrompt>(*this)) {}

TWorker::~TWorker() {
  if (thread_.joinable()) thread_.join();
}

void TWorker::Run(const std::string& caption, const std::function<void(TJob&)>& work) {
  cancel_ = std::make_unique<TCancelSignal>();
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    progress_.reset();
    wakePending_ = false;
    finished_ = false;
    cancellable_ = true;
    error_ = nullptr;
  }
  running_ = true;
  thread_ = std::thread([this, &work] {
    TJob job(*this);
    std::exception_ptr error;
    try {
      work(job);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      error_ = error;
      finished_ = true;
      wakePending_ = true;
    }
    host_.Wake();
  });
  host_.RunEvents(
      caption, [this] { Deliver(); }, [this] { Cancel(); });
  thread_.join();
  running_ = false;
  std::exception_ptr error;
  {
    std::lock_guard lock(mutex_);
    error = error_;
  }
  if (error) std::rethrow_exception(error);
}

void TWorker::Cancel() {
  std::lock_guard lock(mutex_);
  if (running_ && cancellable_) cancel_->Cancel();
}

void TWorker::Post(std::function<void()> action) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(action));
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake) host_.Wake();
}

void TWorker::ReportProgress(const TProgress& progress) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    progress_ = progress;
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake) host_.Wake();
}

void TWorker::SetCancellable(bool cancellable) {
  {
    std::lock_guard lock(mutex_);
    cancellable_ = cancellable;
  }
  if (!cancellable) cancel_->ThrowIfCancelled();
  Post([this, cancellable] { host_.SetCancellable(cancellable); });
}

// A question shown inside an action runs a nested event loop, which may call Deliver again:
// that inner call returns at once and the outer one picks up what was queued meanwhile.
void TWorker::Deliver() {
  if (delivering_ || !running_) return;
  delivering_ = true;
  for (;;) {
    std::deque<std::function<void()>> batch;
    std::optional<TProgress> progress;
    bool finished = false;
    {
      std::lock_guard lock(mutex_);
      batch.swap(queue_);
      progress.swap(progress_);
      wakePending_ = false;
      finished = finished_;
    }
    if (batch.empty() && !progress) {
      if (finished) host_.Quit();
      break;
    }
    for (std::function<void()>& action : batch) action();
    if (progress) host_.ShowProgress(*progress);
  }
  delivering_ = false;
}

template <typename Result>
Result TWorker::Ask(const std::function<Result()>& question) {
  std::promise<Result> answer;
  std::future<Result> future = answer.get_future();
  Post([&] {
    try {
      answer.set_value(question());
    } catch (...) {
      answer.set_exception(std::current_exception());
    }
  });
  return future.get();
}

}  // namespace varnel

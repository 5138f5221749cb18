#include "actions/Worker.h"

#include <future>
#include <vector>

namespace varnel {

class TWorker::TForwardingPrompt : public IPrompt {
 public:
  explicit TForwardingPrompt(TWorker& worker) : worker_(worker) {}

  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override {
    const TModalResult whenCancelled = AnswerWhenCancelled(buttons);
    if (Cancelled()) return whenCancelled;
    return worker_.Ask<TModalResult>(
        [&] { return worker_.prompt_.MessageDlg(text, type, buttons); }, whenCancelled);
  }

  bool PasswordQuery(const std::string& caption, const std::string& label,
                     std::string& value) override {
    if (Cancelled()) return false;
    return worker_.Ask<bool>([&] { return worker_.prompt_.PasswordQuery(caption, label, value); },
                             false);
  }

  TModalResult FileFailureDlg(const std::string& text, unsigned buttons, int nativeError,
                              const std::string& errorMessage) override {
    const TModalResult whenCancelled = AnswerWhenCancelled(buttons);
    if (Cancelled()) return whenCancelled;
    return worker_.Ask<TModalResult>(
        [&] { return worker_.prompt_.FileFailureDlg(text, buttons, nativeError, errorMessage); },
        whenCancelled);
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
  worker_.Queue({[&window, text] { window.SetStatus(text); }, {}, true});
}

void TJob::WriteStatusPanel(const std::string& panelText) {
  IWindow& window = worker_.window_;
  worker_.Queue({[&window, panelText] { window.WriteStatusPanel(panelText); }, {}, true});
}

void TJob::Post(std::function<void()> action) {
  worker_.Queue({std::move(action), {}, false});
}

IPrompt& TJob::Prompt() {
  return *worker_.forwardingPrompt_;
}

const TCancelSignal& TJob::CancelSignal() const {
  return *worker_.cancel_;
}

void TJob::ReportProgress(const TProgress& progress) {
  TProgress report = progress;
  report.Item = item_;
  worker_.ReportProgress(report);
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
    stopped_ = false;
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
  try {
    host_.RunEvents(
        caption, [this] { Deliver(); }, [this] { Cancel(); });
  } catch (...) {
    StopWork();
    throw;
  }
  StopWork();
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

void TWorker::Queue(TQueued item) {
  bool wake = false;
  bool refused = false;
  {
    std::lock_guard lock(mutex_);
    if (stopped_ && item.refuse) {
      refused = true;
    } else if (item.status && !queue_.empty() && queue_.back().status) {
      // Only the newest status text matters; one after another item still comes after it.
      queue_.back() = std::move(item);
    } else {
      queue_.push_back(std::move(item));
    }
    wake = !wakePending_ && !stopped_;
    wakePending_ = true;
  }
  if (refused) item.refuse();
  if (wake) host_.Wake();
}

void TWorker::ReportProgress(const TProgress& progress) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    progress_ = progress;
    wake = !wakePending_ && !stopped_;
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
  Queue({[this, cancellable] { host_.SetCancellable(cancellable); }, {}, false});
}

// A question shown inside an item runs a nested event loop, which may call Deliver again:
// that inner call returns at once and the outer one picks up what was queued meanwhile. Once
// the events have been told to end, nothing more is shown here; Run takes care of the rest.
void TWorker::Deliver() {
  if (delivering_ || !running_) return;
  delivering_ = true;
  while (host_.LoopRunning()) {
    std::optional<TQueued> item;
    std::optional<TProgress> progress;
    bool finished = false;
    {
      std::lock_guard lock(mutex_);
      if (!queue_.empty()) {
        item.emplace(std::move(queue_.front()));
        queue_.pop_front();
      } else if (progress_) {
        progress.swap(progress_);
      } else {
        wakePending_ = false;
        finished = finished_;
      }
    }
    if (item) {
      Perform(*item);
    } else if (progress) {
      host_.ShowProgress(*progress);
    } else {
      if (finished) host_.Quit();
      break;
    }
  }
  delivering_ = false;
}

void TWorker::Perform(TQueued& item) {
  try {
    item.show();
  } catch (...) {
    host_.ReportError(std::current_exception());
  }
}

// The worker may be waiting for an answer that no event loop will bring: its questions are
// answered here, and it is asked to stop, before it is joined.
void TWorker::StopWork() {
  std::vector<TQueued> questions;
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    if (!finished_ && cancellable_) cancel_->Cancel();
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (it->refuse) {
        questions.push_back(std::move(*it));
        it = queue_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (TQueued& question : questions) question.refuse();
  thread_.join();
  running_ = false;
  std::deque<TQueued> rest;
  {
    std::lock_guard lock(mutex_);
    rest.swap(queue_);
  }
  for (TQueued& item : rest) Perform(item);
}

template <typename Result>
Result TWorker::Ask(const std::function<Result()>& question, Result whenStopped) {
  std::promise<Result> answer;
  std::future<Result> future = answer.get_future();
  Queue({[&] {
           try {
             Result result{};
             host_.ShowQuestion([&] { result = question(); });
             answer.set_value(result);
           } catch (...) {
             answer.set_exception(std::current_exception());
           }
         },
         [&] { answer.set_value(whenStopped); }});
  return future.get();
}

}  // namespace varnel

// Runs the long steps of one command (download, extraction, deletion) on a thread of its own
// while the window thread goes on with its events. Everything the window must see (status
// texts, progress, questions) is queued by the worker and handed to the window thread in the
// order it was queued; Cancel travels the other way. The window thread owns the TWorker and
// calls Run and Cancel; the work it runs gets a TJob, which only the worker thread uses.
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "actions/Window.h"
#include "actions/WorkerHost.h"
#include "platform/CancelSignal.h"
#include "platform/Prompt.h"

namespace varnel {

class TWorker;

class TJob {
 public:
  explicit TJob(TWorker& worker) : worker_(worker) {}
  TJob(const TJob&) = delete;
  TJob& operator=(const TJob&) = delete;

  // The window's SetStatus, on the window thread.
  void SetStatus(const std::string& text);
  // Panel 0 := panelText exactly, on the window thread.
  void WriteStatusPanel(const std::string& panelText);
  // Runs action on the window thread after everything queued before it.
  void Post(std::function<void()> action);
  // Questions shown on the window thread while the worker waits for the answer. Once the
  // work is cancelled they are not shown: a failure question is answered Abort, a password
  // query is cancelled, any other question answered Cancel or No.
  IPrompt& Prompt();
  const TCancelSignal& CancelSignal() const;
  // Only the newest report not yet shown is shown: reports never pile up.
  void ReportProgress(const TProgress& progress);
  // With false, the steps that follow can't be undone: a cancel that came before raises
  // EOperationCancelled here, and later ones are refused. Cancel is offered again with true.
  void SetCancellable(bool cancellable);

 private:
  TWorker& worker_;
};

class TWorker {
 public:
  // host, prompt and window belong to the window thread and must outlive the worker.
  TWorker(IWorkerHost& host, IPrompt& prompt, IWindow& window);
  ~TWorker();
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  // Runs work on the worker thread and the window's events until work has returned and
  // everything it queued has been delivered, then raises what work raised.
  void Run(const std::string& caption, const std::function<void(TJob&)>& work);
  // Asks the running work to stop, unless it has entered steps that can't be undone.
  void Cancel();
  bool Running() const { return running_; }

 private:
  friend class TJob;
  class TForwardingPrompt;

  void Post(std::function<void()> action);
  void Deliver();
  void ReportProgress(const TProgress& progress);
  void SetCancellable(bool cancellable);
  // Queues question for the window thread and waits for its answer.
  template <typename Result>
  Result Ask(const std::function<Result()>& question);

  IWorkerHost& host_;
  IPrompt& prompt_;
  IWindow& window_;
  std::unique_ptr<TForwardingPrompt> forwardingPrompt_;
  std::unique_ptr<TCancelSignal> cancel_;
  std::thread thread_;
  bool running_ = false;     // window thread only
  bool delivering_ = false;  // window thread only

  std::mutex mutex_;  // guards everything below
  std::deque<std::function<void()>> queue_;
  std::optional<TProgress> progress_;
  bool wakePending_ = false;
  bool finished_ = false;
  bool cancellable_ = true;
  std::exception_ptr error_;
};

}  // namespace varnel

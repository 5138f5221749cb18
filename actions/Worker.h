// Runs the long steps of one command (download, extraction, deletion) on a thread of its own
// while the window thread goes on with its events. Everything the window must see (status
// texts, progress, questions) is queued by the worker and handed to the window thread in the
// order it was queued, a status text replaced by a newer one while it waits; Cancel travels
// the other way. The window thread owns the TWorker and calls Run and Cancel; the work it runs
// gets a TJob, which only the worker thread uses.
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

  // The window's SetStatus, on the window thread. Status texts (this and WriteStatusPanel)
  // that follow each other keep only the newest while they wait for the window thread.
  void SetStatus(const std::string& text);
  // Panel 0 := panelText exactly, on the window thread.
  void WriteStatusPanel(const std::string& panelText);
  // Runs action on the window thread after everything queued before it. What it raises is
  // shown in the window's error box, and the items after it are delivered all the same.
  void Post(std::function<void()> action);
  // Questions shown on the window thread while the worker waits for the answer. Once the
  // work is cancelled, or the window's events have ended, they are not shown: a failure
  // question is answered Abort, a password query is cancelled, any other question answered
  // Cancel or No.
  IPrompt& Prompt();
  const TCancelSignal& CancelSignal() const;
  // Only the newest report not yet shown is shown: reports never pile up.
  void ReportProgress(const TProgress& progress);
  // What the reports from now on are about, when the job works through several (a program and
  // its place, "Dice (1 of 2)"); "" for none.
  void SetItem(std::string item) { item_ = std::move(item); }
  // With false, the steps that follow can't be undone: a cancel that came before raises
  // EOperationCancelled here, and later ones are refused. Cancel is offered again with true.
  void SetCancellable(bool cancellable);

 private:
  TWorker& worker_;
  std::string item_;
};

class TWorker {
 public:
  // host, prompt and window belong to the window thread and must outlive the worker.
  TWorker(IWorkerHost& host, IPrompt& prompt, IWindow& window);
  ~TWorker();
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  // Runs work on the worker thread and the window's events until work has returned and
  // everything it queued has been delivered, then raises what work raised. When the events
  // end before that (the application exits, or they raised), the work is stopped first: its
  // questions are answered as for a cancelled command and it is cancelled where it still can
  // be; Run waits for it, then shows what it queued meanwhile.
  void Run(const std::string& caption, const std::function<void(TJob&)>& work);
  // Asks the running work to stop, unless it has entered steps that can't be undone.
  void Cancel();
  bool Running() const { return running_; }

 private:
  friend class TJob;
  class TForwardingPrompt;

  // One item for the window thread. refuse is set for questions only: it answers in place of
  // the window once the window's events have ended.
  struct TQueued {
    std::function<void()> show;
    std::function<void()> refuse;
    bool status = false;  // a status text: the next one replaces it while it waits
  };

  void Queue(TQueued item);
  void Deliver();
  void Perform(TQueued& item);
  void StopWork();
  void ReportProgress(const TProgress& progress);
  void SetCancellable(bool cancellable);
  // Queues question for the window thread and waits for its answer; whenStopped is the answer
  // once the window's events have ended.
  template <typename Result>
  Result Ask(const std::function<Result()>& question, Result whenStopped);

  IWorkerHost& host_;
  IPrompt& prompt_;
  IWindow& window_;
  std::unique_ptr<TForwardingPrompt> forwardingPrompt_;
  std::unique_ptr<TCancelSignal> cancel_;
  std::thread thread_;
  bool running_ = false;     // window thread only
  bool delivering_ = false;  // window thread only

  std::mutex mutex_;  // guards everything below
  std::deque<TQueued> queue_;
  std::optional<TProgress> progress_;
  bool wakePending_ = false;
  bool finished_ = false;
  bool stopped_ = false;  // the window's events have ended: questions are refused
  bool cancellable_ = true;
  std::exception_ptr error_;
};

}  // namespace varnel

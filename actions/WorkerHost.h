// The window's side of a command's background work: it wakes the window thread for the
// worker, keeps the window's events going while the long steps run, and shows their progress.
// The app implements it with the progress window; tests with a recorder that runs the event
// loop on the test's own thread. Wake may be called from any thread; everything else only on
// the window thread.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace varnel {

enum TProgressKind { pkDownload, pkExtract, pkDelete, pkReconnect };

struct TProgress {
  TProgressKind Kind = pkDownload;
  int64_t Done = 0;           // bytes received, entries unpacked, the retry under way
  int64_t Total = -1;         // below 0 when not known (a busy bar); retries in all
  double BytesPerSecond = 0;  // downloads only; 0 until a rate is known
  std::string Item{};         // what the command is at, when it works through several
};

class IWorkerHost {
 public:
  virtual ~IWorkerHost() = default;
  // Asks the window thread to call the deliver function of the running RunEvents soon.
  virtual void Wake() = 0;
  // Runs the window's events until Quit: painting and the clock go on, input to the main
  // window does nothing. deliver runs after each Wake; cancel when the user asks to stop.
  // caption names the command (the program, or "Update repository").
  virtual void RunEvents(const std::string& caption, const std::function<void()>& deliver,
                         const std::function<void()>& cancel) = 0;
  // Ends the running RunEvents once the current event has been handled.
  virtual void Quit() = 0;
  // True while the running RunEvents goes on; false once it was told to end, by Quit or by the
  // application's exit.
  virtual bool LoopRunning() const = 0;
  // Runs ask, which shows a question and waits for its answer. The progress window does not
  // come up meanwhile: over the question, it would take the question's input.
  virtual void ShowQuestion(const std::function<void()>& ask) = 0;
  // An item delivered to the window thread raised error: it is shown as the window shows the
  // failure of any of its handlers, in its default error box. Never raises.
  virtual void ReportError(std::exception_ptr error) = 0;
  virtual void ShowProgress(const TProgress& progress) = 0;
  // Whether Cancel is offered from now on.
  virtual void SetCancellable(bool cancellable) = 0;
};

// The progress window's label for a report: "Downloading files... 12.3 of 48.0 MB, 5.1 MB/s",
// "Reconnecting (2 of 3)...", "Dice (1 of 2): Unpacking files... 3 of 7".
std::string ProgressLabel(const TProgress& progress);

}  // namespace varnel

// Recorders and fakes the command tests run TCommands with: the window, the shell and the
// prompt log what they are asked into one shared journal, so tests check the order of events.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "actions/Window.h"
#include "actions/WorkerHost.h"
#include "platform/Exception.h"
#include "platform/Prompt.h"
#include "platform/Shell.h"

namespace varnel::test {

using TJournal = std::vector<std::string>;

class TRecorderWindow : public IWindow {
 public:
  explicit TRecorderWindow(TJournal& journal) : journal_(journal) {}

  std::optional<std::string> selected;
  bool answer = true;                 // what Confirm answers
  std::function<void()> onSetStatus;  // runs inside SetStatus, as queued input would
  std::function<void()> onLoadRepository;

  std::optional<std::string> SelectedItemText() override { return selected; }
  void SetStatus(const std::string& text) override {
    panel = " " + text;
    journal_.push_back("status:" + panel);
    if (onSetStatus) onSetStatus();
  }
  void WriteStatusPanel(const std::string& panelText) override {
    panel = panelText;
    journal_.push_back("panel:" + panel);
  }
  bool Confirm(const std::string& text, const std::string& caption) override {
    journal_.push_back("confirm:" + text + "|" + caption);
    return answer;
  }
  void Inform(const std::string& text) override { journal_.push_back("inform:" + text); }
  void RepaintList() override { journal_.push_back("repaint"); }
  void LoadRepository() override {
    journal_.push_back("load");
    if (onLoadRepository) onLoadRepository();
  }

  std::string panel;

 private:
  TJournal& journal_;
};

class TRecordingShell : public IShell {
 public:
  explicit TRecordingShell(TJournal& journal) : journal_(journal) {}
  void Open(const std::string& path) override { journal_.push_back("open:" + path); }
  void Explore(const std::string& folder) override { journal_.push_back("explore:" + folder); }
  void OpenUrl(const std::string& url) override { journal_.push_back("url:" + url); }

 private:
  TJournal& journal_;
};

// Answers every question with one fixed result and logs it.
class TScriptedPrompt : public IPrompt {
 public:
  explicit TScriptedPrompt(TJournal& journal) : journal_(journal) {}
  TModalResult MessageDlg(const std::string& text, TMsgDlgType, unsigned) override {
    journal_.push_back("prompt:" + text);
    return mrAbort;
  }
  bool PasswordQuery(const std::string&, const std::string&, std::string&) override {
    return false;
  }

 private:
  TJournal& journal_;
};

// The window's side of the background work, on the test's own thread: RunEvents delivers what
// the worker queued until it is told to quit, and the progress window's part is recorded.
class TRecordingHost : public IWorkerHost {
 public:
  void Wake() override {
    std::lock_guard lock(mutex_);
    woken_ = true;
    wake_.notify_one();
  }
  void RunEvents(const std::string& caption, const std::function<void()>& deliver,
                 const std::function<void()>& cancel) override {
    captions.push_back(caption);
    quit_ = false;
    while (!quit_) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(5), [this] { return woken_; });
        woken_ = false;
      }
      if (onEvents) onEvents(cancel);
      deliver();
    }
  }
  void Quit() override { quit_ = true; }
  bool LoopRunning() const override { return !quit_; }
  void ShowQuestion(const std::function<void()>& ask) override {
    ++questions;
    ask();
  }
  void ReportError(std::exception_ptr error) override {
    try {
      std::rethrow_exception(error);
    } catch (const Exception& e) {
      errors.push_back(e.Message());
    }
  }
  void ShowProgress(const TProgress& progress) override { shown.push_back(progress); }
  void SetCancellable(bool cancellable) override { this->cancellable.push_back(cancellable); }

  // Runs at every turn of the event loop, as a user's click would; cancel is the Cancel button.
  std::function<void(const std::function<void()>& cancel)> onEvents;
  std::vector<std::string> captions;
  std::vector<TProgress> shown;
  std::vector<bool> cancellable;
  int questions = 0;                // shown through ShowQuestion
  std::vector<std::string> errors;  // what delivered items raised

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  bool quit_ = false;
};

// Ends the test program when it is still in the watch's scope after limit: a test of code
// that could wait forever fails at once instead of at CTest's timeout.
class THangWatch {
 public:
  explicit THangWatch(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!left_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "still waiting after %lld s\n",
                         static_cast<long long>(limit.count()));
            std::abort();
          }
        }) {}
  ~THangWatch() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    left_.notify_one();
    thread_.join();
  }
  THangWatch(const THangWatch&) = delete;
  THangWatch& operator=(const THangWatch&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable left_;
  bool done_ = false;
  std::thread thread_;
};

// Sets environment variables for one test and puts the old values back afterwards.
class TEnvironment {
 public:
  TEnvironment(std::initializer_list<std::pair<std::string, std::string>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name.c_str());
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~TEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  TEnvironment(const TEnvironment&) = delete;
  TEnvironment& operator=(const TEnvironment&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace varnel::test

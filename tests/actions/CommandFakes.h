// Recorders and fakes the command tests run TCommands with: the window, the shell and the
// prompt log what they are asked into one shared journal, so tests check the order of events.
#pragma once

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "actions/Window.h"
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

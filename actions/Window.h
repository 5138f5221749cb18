// What the commands need of the main window. TForm1 implements it; tests implement it with
// a recorder. The window outlives every command it starts.
#pragma once

#include <optional>
#include <string>

namespace varnel {

class IWindow {
 public:
  virtual ~IWindow() = default;
  // The text of the selected list item, or nothing when no item is selected.
  virtual std::optional<std::string> SelectedItemText() = 0;
  // Panel 0 := " " + text, then pending events are processed (user input to the window is
  // dropped).
  virtual void SetStatus(const std::string& text) = 0;
  // Panel 0 := panelText exactly, without processing events.
  virtual void WriteStatusPanel(const std::string& panelText) = 0;
  // A Yes/No question with a question icon, owned by the window; true unless the answer is No.
  virtual bool Confirm(const std::string& text, const std::string& caption) = 0;
  // An information box with one OK button, owned by the window.
  virtual void Inform(const std::string& text) = 0;
  // Repaints the whole list.
  virtual void RepaintList() = 0;
  // Reloads the catalogue into the list.
  virtual void LoadRepository() = 0;
};

}  // namespace varnel

// Drops the user's input to one window (its list, its menus and their shortcuts) while it
// lives, so nothing done there meanwhile starts a command, then or later. Other windows (the
// progress window, questions, error boxes) keep their input. The window must outlive the
// block. Window thread only.
#pragma once

#include <QObject>

class QWidget;

namespace varnel {

class TInputBlock : public QObject {
 public:
  explicit TInputBlock(QWidget& window);
  ~TInputBlock() override;
  TInputBlock(const TInputBlock&) = delete;
  TInputBlock& operator=(const TInputBlock&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget& window_;
};

}  // namespace varnel

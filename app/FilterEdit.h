// The list's filter field, hidden until the user opens it. What it holds narrows the list
// through the window's textChanged connection. Escape, in the field or in the list, clears
// and hides it and gives the list the focus; the arrow and page keys and Enter move on to the
// list. Its parent owns it and the list. Window thread only.
#pragma once

#include <QLineEdit>

class QAbstractItemView;

namespace varnel {

class TFilterEdit : public QLineEdit {
 public:
  // parent holds both the field and list.
  TFilterEdit(QWidget* parent, QAbstractItemView& list);

  // Shows the field with its text selected and takes the focus.
  void Open();
  // Clears and hides the field; the list takes the focus.
  void Dismiss();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QAbstractItemView& list_;
};

}  // namespace varnel

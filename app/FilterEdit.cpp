#include "app/FilterEdit.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QShortcut>

namespace varnel {

TFilterEdit::TFilterEdit(QWidget* parent, QAbstractItemView& list)
    : QLineEdit(parent), list_(list) {
  setPlaceholderText("Filter by name or description");
  setClearButtonEnabled(true);
  hide();
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), parent, [this] { Dismiss(); });
  escape->setContext(Qt::WidgetWithChildrenShortcut);
}

void TFilterEdit::Open() {
  show();
  setFocus(Qt::ShortcutFocusReason);
  selectAll();
}

void TFilterEdit::Dismiss() {
  if (isHidden()) return;
  clear();
  hide();
  list_.setFocus(Qt::OtherFocusReason);
}

void TFilterEdit::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      list_.setFocus(Qt::OtherFocusReason);
      QCoreApplication::sendEvent(&list_, event);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      list_.setFocus(Qt::OtherFocusReason);
      return;
    default:
      QLineEdit::keyPressEvent(event);
  }
}

}  // namespace varnel

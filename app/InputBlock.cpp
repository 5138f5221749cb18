#include "app/InputBlock.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace varnel {

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

}  // namespace

TInputBlock::TInputBlock(QWidget& window) : window_(window) {
  qApp->installEventFilter(this);
}

TInputBlock::~TInputBlock() {
  qApp->removeEventFilter(this);
}

bool TInputBlock::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(event->type())) return false;
  if (auto* widget = qobject_cast<QWidget*>(watched)) return widget->window() == &window_;
  return qobject_cast<QAction*>(watched) != nullptr;
}

}  // namespace varnel

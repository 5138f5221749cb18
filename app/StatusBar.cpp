#include "app/StatusBar.h"

#include <QLabel>
#include <algorithm>

namespace varnel {

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
  setFixedHeight(kStatusBarHeight);
  for (QLabel*& panel : panels_) {
    panel = new QLabel(this);
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The texts bring their own leading blank; a further indent would cut the clock's digits.
    panel->setIndent(0);
  }
}

void TStatusBar::resizeEvent(QResizeEvent*) {
  Arrange();
}

// The clock keeps its width first, then the last panel the width its text needs; the status
// panel takes what is left up to its own width, and the last panel the rest to the right edge.
void TStatusBar::Arrange() {
  const int w = width();
  const int h = height();
  const int clock = std::min(kClockPanelWidth, w);
  const int last = panels_[2]->text().isEmpty() ? 0 : panels_[2]->sizeHint().width();
  const int status = std::clamp(w - clock - last, 0, kStatusPanelWidth);
  panels_[0]->setGeometry(0, 0, status, h);
  panels_[1]->setGeometry(status, 0, clock, h);
  panels_[2]->setGeometry(status + clock, 0, std::max(0, w - status - clock), h);
}

QString TStatusBar::PanelText(int panel) const {
  return panels_.at(static_cast<size_t>(panel))->text();
}

void TStatusBar::SetPanelText(int panel, const QString& text) {
  panels_.at(static_cast<size_t>(panel))->setText(text);
  if (panel == 2) Arrange();
}

int TStatusBar::PanelWidth(int panel) const {
  return panels_.at(static_cast<size_t>(panel))->width();
}

QString LongTimeFormat(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString result;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == u'\'') quoted = !quoted;
    if (quoted || c != u't') result += c;
  }
  // Removing the zone leaves the blank that stood before or after it.
  return result.simplified();
}

QString ClockPanelText(const QLocale& locale, const QTime& time) {
  return " " + locale.toString(time, LongTimeFormat(locale)) + " ";
}

}  // namespace varnel

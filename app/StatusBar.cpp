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

// Panels 0 and 1 keep their widths; the last one takes what is left up to the right edge.
void TStatusBar::resizeEvent(QResizeEvent*) {
  const int h = height();
  panels_[0]->setGeometry(0, 0, kStatusPanelWidth, h);
  panels_[1]->setGeometry(kStatusPanelWidth, 0, kClockPanelWidth, h);
  const int rest = kStatusPanelWidth + kClockPanelWidth;
  panels_[2]->setGeometry(rest, 0, std::max(0, width() - rest), h);
}

QString TStatusBar::PanelText(int panel) const {
  return panels_.at(static_cast<size_t>(panel))->text();
}

void TStatusBar::SetPanelText(int panel, const QString& text) {
  panels_.at(static_cast<size_t>(panel))->setText(text);
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

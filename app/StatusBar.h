// The three-panel status bar at the bottom of the main window: status text (panel 0), clock
// (panel 1), and a last panel that reaches to the right edge. Panels clip their text. On a
// narrow window the status panel gives up width first, so the clock and the last panel's text
// stay whole.
#pragma once

#include <QLocale>
#include <QString>
#include <QTime>
#include <QWidget>
#include <array>

class QLabel;

namespace varnel {

inline constexpr int kStatusBarHeight = 19;
inline constexpr int kStatusPanelWidth = 250;
inline constexpr int kClockPanelWidth = 55;

class TStatusBar : public QWidget {
 public:
  explicit TStatusBar(QWidget* parent);

  QString PanelText(int panel) const;
  void SetPanelText(int panel, const QString& text);
  int PanelWidth(int panel) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Arrange();

  std::array<QLabel*, 3> panels_{};
};

// The locale's long time format without its time zone: hours, minutes, seconds and, for a
// 12-hour clock, the AM/PM designator where the locale places it.
QString LongTimeFormat(const QLocale& locale);
// What the clock panel shows: " " + time + " ".
QString ClockPanelText(const QLocale& locale, const QTime& time);

}  // namespace varnel

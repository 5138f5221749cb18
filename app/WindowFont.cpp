#include "app/WindowFont.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

namespace varnel {

namespace {

constexpr int kFontPixelHeight = 11;

// The family name the built-in faces register under.
QString BuiltInFamily() {
  static const QString family = [] {
    QString name;
    for (const char* face : {":/fonts/tahoma.ttf", ":/fonts/tahomabd.ttf"}) {
      const QStringList families =
          QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(face));
      if (name.isEmpty() && !families.isEmpty()) name = families.first();
    }
    return name.isEmpty() ? QString("Tahoma") : name;
  }();
  return family;
}

}  // namespace

QFont WindowFont() {
  QFont font;
  font.setFamily(BuiltInFamily());
  // Pixels, not points: the panels and items are laid out in pixels whatever the screen's
  // dots per inch.
  font.setPixelSize(kFontPixelHeight);
  return font;
}

}  // namespace varnel

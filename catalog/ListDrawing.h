// How one entry of the software list is measured and painted: icon, bold name, one line of
// description and the installed badge. Each list item owns its TItemIcon; painting only
// reads it. The numbers below are the layout; tests check geometry through them.
#pragma once

#include <QFont>
#include <QPalette>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <string>

class QPainter;

namespace varnel {

inline constexpr int kItemHeight = 36;
// The width an icon object without a picture reports: the standard icon size.
inline constexpr int kStandardIconSize = 32;
inline constexpr int kIconLeft = 1;
inline constexpr int kIconTop = 2;
// Text starts this far right of the icon's width, or at kIndentWithoutIcon with no icon object.
inline constexpr int kIconTextGap = 9;
inline constexpr int kIndentWithoutIcon = 2;
inline constexpr int kNameTop = 2;
inline constexpr int kDescriptionTop = 16;
// The badge is placed from the item's right edge so that it follows the list's width.
inline constexpr int kBadgeFromRight = 30;
inline constexpr int kBadgeTop = 10;
inline constexpr int kBadgeSize = 16;

// A program's icon: the icon file's bytes, read at load and decoded on first use. The image
// that fits kStandardIconSize best is drawn at its own size; an empty icon (or one that does
// not decode) draws nothing and is kStandardIconSize wide.
class TItemIcon {
 public:
  TItemIcon() = default;
  explicit TItemIcon(std::string fileBytes) : bytes_(std::move(fileBytes)) {}

  int Width() const;
  bool HasPicture() const { return !Picture().isNull(); }
  void Draw(QPainter& painter, QPoint topLeft) const;

 private:
  const QPixmap& Picture() const;

  mutable std::string bytes_;  // released once decoded
  mutable bool decoded_ = false;
  mutable QPixmap picture_;
};

// The largest image an icon file can describe, and a decoding budget that fits it.
inline constexpr int kMaxIconSize = 256;
inline constexpr int kMaxIconDecodeMegabytes = 1;

// The image of an icon file closest to wantedSize (larger preferred on a tie, then more
// colours); images above kMaxIconSize are ignored. A null pixmap when no image decodes.
QPixmap DecodeIcon(const std::string& fileBytes, int wantedSize);

// Where the parts of an entry go inside its item rectangle.
struct TItemGeometry {
  QPoint icon;
  int indent = kIndentWithoutIcon;
  QPoint name;
  QPoint description;
  QPoint badge;
};
TItemGeometry ListItemGeometry(const QRect& itemRect, const TItemIcon* icon);

// Everything one paint of an entry shows.
struct TItemPaint {
  QString name;
  const TItemIcon* icon = nullptr;
  bool installed = false;
  QString description;     // empty: nothing drawn under the name
  bool noArchive = false;  // the description is drawn in red
  bool selected = false;
  bool focused = false;
};

inline const QColor kNoArchiveColor{255, 0, 0};
// The contrast of a description to its ground, as the grey-text colour of the list's design
// has it on white (a mid grey); above the 4.5 : 1 that small text needs to be read easily.
inline constexpr double kDescriptionContrast = 5.0;
// The contrast of a selected name to the highlight, enough to leave a description on it room
// for kDescriptionContrast and a colour of its own.
inline constexpr double kSelectedNameContrast = 6.0;

// The ground of a selected item: the palette's highlight, moved away from the highlight text
// (darker under light text) just as far as kSelectedNameContrast needs. A mid-blue highlight
// gives white text only 3.7 : 1.
QColor SelectionColor(const QPalette& palette);

// The colour of a description: red for a program without an archive, lightened on the
// selection as far as kDescriptionContrast needs; otherwise the item's text colour moved toward
// its ground (the list's background, or SelectionColor when selected) as far as
// kDescriptionContrast allows.
QColor DescriptionColor(const QPalette& palette, bool selected, bool noArchive);

// Paints the entry into itemRect, clipped to it: background (SelectionColor when selected),
// icon, badge (its transparent ground lets the background through), name in the font's bold
// face, description, and a dotted focus rectangle around the whole item.
void DrawListItem(QPainter& painter, const QRect& itemRect, const TItemPaint& item,
                  const QFont& listFont, const QPalette& palette, const QPixmap& badge);

}  // namespace varnel

#include "catalog/ListDrawing.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace varnel {

QPixmap DecodeIcon(const std::string& fileBytes, int wantedSize) {
  QByteArray data(fileBytes.data(), static_cast<qsizetype>(fileBytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  // An image stored as PNG states its own size; one larger than an icon can be is refused
  // before it is decoded, so a small file never costs megabytes of picture per item.
  reader.setAllocationLimit(kMaxIconDecodeMegabytes);
  QImage best;
  auto better = [wantedSize](const QImage& a, const QImage& b) {
    int distanceA = std::abs(a.width() - wantedSize);
    int distanceB = std::abs(b.width() - wantedSize);
    if (distanceA != distanceB) return distanceA < distanceB;
    if (a.width() != b.width()) return a.width() > b.width();
    return a.depth() > b.depth();
  };
  const int count = reader.imageCount();
  for (int i = 0; i < count; ++i) {
    if (!reader.jumpToImage(i)) break;
    QImage image = reader.read();
    if (image.isNull() || image.width() > kMaxIconSize || image.height() > kMaxIconSize) continue;
    if (best.isNull() || better(image, best)) best = std::move(image);
  }
  return best.isNull() ? QPixmap() : QPixmap::fromImage(best);
}

const QPixmap& TItemIcon::Picture() const {
  if (!decoded_) {
    decoded_ = true;
    if (!bytes_.empty()) picture_ = DecodeIcon(bytes_, kStandardIconSize);
    std::string().swap(bytes_);
  }
  return picture_;
}

int TItemIcon::Width() const {
  const QPixmap& picture = Picture();
  return picture.isNull() ? kStandardIconSize : picture.width();
}

void TItemIcon::Draw(QPainter& painter, QPoint topLeft) const {
  const QPixmap& picture = Picture();
  if (!picture.isNull()) painter.drawPixmap(topLeft, picture);
}

TItemGeometry ListItemGeometry(const QRect& itemRect, const TItemIcon* icon) {
  TItemGeometry g;
  const int left = itemRect.left();
  const int top = itemRect.top();
  const int right = itemRect.left() + itemRect.width();  // one past the last pixel
  g.icon = QPoint(left + kIconLeft, top + kIconTop);
  g.indent = icon != nullptr ? icon->Width() + kIconTextGap : kIndentWithoutIcon;
  g.name = QPoint(left + g.indent, top + kNameTop);
  g.description = QPoint(left + g.indent, top + kDescriptionTop);
  g.badge = QPoint(right - kBadgeFromRight, top + kBadgeTop);
  return g;
}

namespace {

double RelativeLuminance(const QColor& color) {
  auto linear = [](double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
         0.0722 * linear(color.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Mix(const QColor& from, const QColor& to, double share) {
  auto channel = [share](int a, int b) {
    return static_cast<int>(std::lround(a + (b - a) * share));
  };
  return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                channel(from.blue(), to.blue()));
}

constexpr int kMixSteps = 64;

// The first colour on the way from `from` to `to` that has at least `least` contrast to
// ground; `to` when none has.
QColor FirstContrasting(const QColor& from, const QColor& to, const QColor& ground, double least) {
  for (int step = 0; step < kMixSteps; ++step) {
    const QColor mixed = Mix(from, to, static_cast<double>(step) / kMixSteps);
    if (Contrast(mixed, ground) >= least) return mixed;
  }
  return to;
}

}  // namespace

QColor SelectionColor(const QPalette& palette) {
  const QColor text = palette.color(QPalette::HighlightedText);
  const QColor away = RelativeLuminance(text) > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
  return FirstContrasting(palette.color(QPalette::Highlight), away, text, kSelectedNameContrast);
}

QColor DescriptionColor(const QPalette& palette, bool selected, bool noArchive) {
  const QColor ground = selected ? SelectionColor(palette) : palette.color(QPalette::Base);
  const QColor text =
      selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
  if (noArchive) {
    return selected ? FirstContrasting(kNoArchiveColor, text, ground, kDescriptionContrast)
                    : kNoArchiveColor;
  }
  QColor grey = text;
  for (int step = 1; step < kMixSteps; ++step) {
    const QColor lighter = Mix(text, ground, static_cast<double>(step) / kMixSteps);
    if (Contrast(lighter, ground) < kDescriptionContrast) break;
    grey = lighter;
  }
  return grey;
}

namespace {

// Text with an opaque ground in the current background, cut at the item's right edge.
void DrawItemText(QPainter& painter, QPoint at, const QRect& itemRect, const QString& text) {
  QRect area(at, QPoint(itemRect.right(), itemRect.bottom()));
  painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

}  // namespace

void DrawListItem(QPainter& painter, const QRect& itemRect, const TItemPaint& item,
                  const QFont& listFont, const QPalette& palette, const QPixmap& badge) {
  painter.save();
  painter.setClipRect(itemRect);
  const QColor ground = item.selected ? SelectionColor(palette) : palette.color(QPalette::Base);
  const QColor nameColor =
      item.selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
  painter.fillRect(itemRect, ground);
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(ground);

  const TItemGeometry g = ListItemGeometry(itemRect, item.icon);
  if (item.icon != nullptr) item.icon->Draw(painter, g.icon);
  if (item.installed) painter.drawPixmap(g.badge, badge);

  QFont font = listFont;
  font.setBold(true);
  // The bold face's stems are hinted to whole pixels, two at this size; smoothing drops that
  // hinting and leaves them one pixel and a shade, like the regular face's.
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  painter.setFont(font);
  painter.setPen(nameColor);
  DrawItemText(painter, g.name, itemRect, item.name);

  if (!item.description.isEmpty()) {
    painter.setFont(listFont);
    painter.setPen(DescriptionColor(palette, item.selected, item.noArchive));
    DrawItemText(painter, g.description, itemRect, item.description);
  }

  if (item.focused) {
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(QPen(nameColor, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(itemRect.adjusted(0, 0, -1, -1));
  }
  painter.restore();
}

}  // namespace varnel

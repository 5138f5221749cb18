#include "tests/app/AppTestSupport.h"

#include <QBuffer>
#include <QByteArray>
#include <QPainter>

#include "app/ListBox.h"
#include "app/Pictures.h"
#include "catalog/ListDrawing.h"
#include "platform/Files.h"

namespace varnel::test {

std::string MakeIconFile(const std::vector<int>& sizes, QColor color) {
  // Qt writes one image per icon file; the entries of several such files are joined here.
  std::vector<QByteArray> singles;
  for (int size : sizes) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ico");
    singles.push_back(bytes);
  }
  auto put16 = [](std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  };
  auto put32 = [&](std::string& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
  };
  std::string header;
  put16(header, 0);
  put16(header, 1);
  put16(header, static_cast<unsigned>(singles.size()));
  std::string entries;
  std::string images;
  unsigned offset = static_cast<unsigned>(6 + 16 * singles.size());
  for (const QByteArray& single : singles) {
    const std::string entry(single.constData() + 6, 16);
    const unsigned dataOffset = static_cast<uint8_t>(entry[12]) | static_cast<uint8_t>(entry[13])
                                                                      << 8;
    const std::string data(single.constData() + dataOffset, single.size() - dataOffset);
    entries += entry.substr(0, 12);
    put32(entries, offset);
    images += data;
    offset += static_cast<unsigned>(data.size());
  }
  return header + entries + images;
}

std::string Record(const std::string& icon, const std::string& name, const std::string& archive,
                   const std::string& description) {
  return icon + "\r\n" + name + "\r\n" + archive + "\r\n" + name + ".exe\r\n" + description +
         "\r\nhttp://example.test/" + name + "\r\n\r\n\r\n\r\n\r\n";
}

void TWindowFixture::WriteData(const std::string& name, const std::string& bytes) {
  if (!DirectoryExists(SystemFileSystem(), appDir / "data"))
    CreateDir(SystemFileSystem(), appDir / "data");
  WriteFile(appDir / ("data/" + name), bytes);
}

TForm1& TWindowFixture::Open() {
  window.reset();  // one window per folder at a time: a second would find the folder locked
  window = std::make_unique<TForm1>(appDir.Path(), repositoryUrl, repositoryKey, dialogs, shell,
                                    "Varneltools");
  return *window;
}

QImage PaintItem(TForm1& window, int index, int width, bool selected) {
  QImage image(width, kItemHeight, QImage::Format_ARGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  window.L1DrawItem(painter, index, QRect(0, 0, width, kItemHeight),
                    selected ? QStyle::State_Selected : QStyle::State_None);
  return image;
}

bool HasBadge(TForm1& window, int index, const QPixmap& picture) {
  const QImage image = PaintItem(window, index);
  const TItemGeometry g = ListItemGeometry(image.rect(), window.L1->Item(index)->Icon());
  const QImage badge = picture.toImage();
  for (int y = 0; y < kBadgeSize; ++y) {
    for (int x = 0; x < kBadgeSize; ++x) {
      QColor c = badge.pixelColor(x, y);
      if (c.alpha() == 255 && image.pixelColor(g.badge + QPoint(x, y)) == c) return true;
    }
  }
  return false;
}

bool HasRed(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 160 && c.green() < 90 && c.blue() < 90) return true;
    }
  }
  return false;
}

}  // namespace varnel::test

#include "app/Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace varnel {

namespace {

const QColor kTickGreen{0, 150, 40};
const QColor kUpdateBlue{30, 100, 200};
const QColor kOutline{60, 60, 60};

QPixmap Blank(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void DrawTick(QPainter& p, qreal scale) {
  p.setPen(QPen(kTickGreen, 2.6 * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(
      QPolygonF({QPointF(3, 8.5) * scale, QPointF(6.5, 12) * scale, QPointF(13, 4) * scale}));
}

// A circle open at its top right, its end an arrowhead: renewal.
void DrawCircularArrow(QPainter& p) {
  p.setPen(QPen(kUpdateBlue, 2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(kUpdateBlue);
  p.drawPolygon(QPolygonF({QPointF(9.5, 1), QPointF(15, 3), QPointF(11, 7.5)}));
}

void DrawFolder(QPainter& p) {
  p.setPen(QPen(QColor(150, 110, 20), 1));
  p.setBrush(QColor(240, 200, 80));
  p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5), QPointF(14.5, 5),
                           QPointF(14.5, 13.5), QPointF(1.5, 13.5)}));
}

void DrawArrowDown(QPainter& p, QColor color) {
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPolygon(QPolygonF({QPointF(6, 1), QPointF(10, 1), QPointF(10, 7), QPointF(13.5, 7),
                           QPointF(8, 13), QPointF(2.5, 7), QPointF(6, 7)}));
  p.fillRect(QRectF(2, 14, 12, 1.5), kOutline);
}

void Paint(QPainter& p, TMenuPicture which) {
  switch (which) {
    case TMenuPicture::Settings:
      p.setPen(QPen(kOutline, 3, Qt::DotLine));
      p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
      p.setPen(QPen(kOutline, 1.5));
      p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
      break;
    case TMenuPicture::Exit:
      p.setPen(QPen(kOutline, 1));
      p.setBrush(QColor(170, 120, 70));
      p.drawRect(QRectF(2.5, 1.5, 7, 13));
      p.setPen(QPen(QColor(200, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 8), QPointF(14, 8));
      p.drawLine(QPointF(11.5, 5.5), QPointF(14, 8));
      p.drawLine(QPointF(11.5, 10.5), QPointF(14, 8));
      break;
    case TMenuPicture::UpdateRepository:
      DrawCircularArrow(p);
      break;
    case TMenuPicture::Run:
      p.setPen(QPen(QColor(20, 110, 30), 1));
      p.setBrush(QColor(60, 180, 70));
      p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(13.5, 8), QPointF(4, 14)}));
      break;
    case TMenuPicture::WebPage:
      p.setPen(QPen(QColor(30, 90, 170), 1.2));
      p.setBrush(QColor(170, 210, 250));
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(5, 1.5, 6, 13));
      p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
      break;
    case TMenuPicture::LocateFolder:
      DrawFolder(p);
      break;
    case TMenuPicture::Install:
      DrawArrowDown(p, QColor(40, 150, 60));
      break;
    case TMenuPicture::Uninstall:
      p.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
      p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
      break;
    case TMenuPicture::SendToDesktop:
      p.setPen(QPen(kOutline, 1));
      p.setBrush(QColor(90, 160, 230));
      p.drawRect(QRectF(1.5, 2.5, 13, 9));
      p.fillRect(QRectF(6, 12, 4, 2), kOutline);
      p.fillRect(QRectF(4, 14, 8, 1), kOutline);
      break;
  }
}

QPixmap ProgramIconImage(int size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal scale = size / 16.0;
  p.setPen(QPen(QColor(30, 70, 140), scale));
  p.setBrush(QColor(70, 130, 210));
  p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), 3 * scale, 3 * scale);
  p.setBrush(Qt::white);
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(3 * scale, 3 * scale, 10 * scale, 10 * scale));
  DrawTick(p, scale);
  return pixmap;
}

}  // namespace

QIcon MenuPicture(TMenuPicture which) {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  Paint(p, which);
  p.end();
  return QIcon(pixmap);
}

QPixmap InstalledBadge() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawTick(p, 1.0);
  return pixmap;
}

QPixmap UpdateBadge() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawCircularArrow(p);
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(ProgramIconImage(16));
  icon.addPixmap(ProgramIconImage(32));
  return icon;
}

}  // namespace varnel

// Makes the README's screenshot: a small catalogue with icons in the folder given, two of its
// programs installed, the window on it offscreen, grabbed into a PNG file.
// Usage: app_screenshot FOLDER OUTPUT.png
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "tests/app/AppTestSupport.h"

namespace {

struct Program {
  const char* name;
  const char* archive;
  const char* description;
  QColor color;
  bool installed;
};

const Program kPrograms[] = {
    {"PixelPaint", "http://127.0.0.1:8731/p/pixelpaint.zip", "Small raster image editor",
     QColor(220, 80, 60), true},
    {"TextPad", "http://127.0.0.1:8731/p/textpad.zip", "Plain text editor with tabs",
     QColor(60, 120, 200), false},
    {"Unpacker", "http://127.0.0.1:8731/p/unpacker.zip", "Opens ZIP, 7z and TAR archives",
     QColor(230, 170, 40), true},
    {"ClockSync", "http://127.0.0.1:8731/p/clocksync.zip", "Sets the clock from a time server",
     QColor(70, 160, 90), false},
    {"TinyTerm", "http://127.0.0.1:8731/p/tinyterm.zip", "Serial and SSH terminal",
     QColor(90, 90, 100), false},
    {"RetroMaze", "none", "Maze game (no download available)", QColor(150, 70, 170), false},
};

std::string IconFor(const Program& program) {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(program.color);
  p.setPen(program.color.darker(140));
  p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
  p.setPen(Qt::white);
  QFont font("DejaVu Sans", 15, QFont::Bold);
  p.setFont(font);
  p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString(QChar(program.name[0])));
  p.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "ico");
  return bytes.toStdString();
}

void Write(const QString& path, const std::string& bytes) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: app_screenshot FOLDER OUTPUT.png\n");
    return 2;
  }
  const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + "/";
  QDir().mkpath(folder + "data");
  std::string catalogue;
  for (const Program& program : kPrograms) {
    const std::string icon = std::string(program.name) + ".ico";
    Write(folder + "data/" + QString::fromStdString(icon), IconFor(program));
    catalogue += varnel::test::Record(icon, program.name, program.archive, program.description);
    if (program.installed) QDir().mkpath(folder + "data/" + program.name);
  }
  Write(folder + "data/software.dat", catalogue);

  varnel::test::TRecordingDialogs dialogs;
  varnel::test::TJournal journal;
  varnel::test::TRecordingShell shell(journal);
  varnel::TForm1 window(folder.toStdString(), "http://127.0.0.1:8731/tools/software.zip", dialogs,
                        shell, "Varneltools");
  window.show();
  window.L1->setFocus();
  window.L1->SetItemIndex(2);
  window.Timer1Timer();
  QApplication::processEvents();
  if (!dialogs.errors.empty()) {
    std::fprintf(stderr, "error box: %s\n", dialogs.errors.front().second.c_str());
    return 1;
  }
  return window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}

#include "app/DownloadProgressForm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <limits>

namespace varnel {

namespace {

constexpr int kClientWidth = 331;
constexpr int kClientHeight = 71;
constexpr int kBarRange = 1000;  // bar steps: byte counts don't fit the bar's int range

}  // namespace

TForm2::TForm2(QWidget* owner) : QDialog(owner) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  Label2 = new QLabel("Downloading files...", this);
  Label2->setGeometry(8, 3, 315, 15);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setGeometry(8, 18, 315, 16);
  ProgressBar1->setTextVisible(false);
  BitBtn1 = new QPushButton("Cancel", this);
  BitBtn1->setGeometry(128, 40, 75, 25);
  BitBtn1->setAutoDefault(false);
  connect(BitBtn1, &QPushButton::clicked, this, [this] { RequestCancel(); });
}

void TForm2::Prepare(const QString& caption, std::function<void()> onCancel) {
  setWindowTitle(caption);
  onCancel_ = std::move(onCancel);
  Label2->setText("Downloading files...");
  ProgressBar1->setRange(0, kBarRange);
  ProgressBar1->setValue(0);
  BitBtn1->setEnabled(true);
}

void TForm2::ShowOverOwner() {
  const QWidget* owner = parentWidget();
  QRect area = owner && owner->isVisible() ? owner->frameGeometry()
                                           : QGuiApplication::primaryScreen()->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
  show();
  // Not modal, so not made active by showing: Escape must reach it all the same.
  activateWindow();
}

void TForm2::ShowProgress(const TProgress& progress) {
  Label2->setText(QString::fromStdString(ProgressLabel(progress)));
  if (progress.Total <= 0 || progress.Kind == pkReconnect) {
    ProgressBar1->setRange(0, 0);  // busy
    return;
  }
  ProgressBar1->setRange(0, kBarRange);
  const double part = static_cast<double>(progress.Done) / static_cast<double>(progress.Total);
  ProgressBar1->setValue(static_cast<int>(std::min(part, 1.0) * kBarRange));
}

void TForm2::SetCancellable(bool cancellable) {
  BitBtn1->setEnabled(cancellable);
}

void TForm2::RequestCancel() {
  if (BitBtn1->isEnabled() && onCancel_) onCancel_();
}

// The window stays until the command has stopped; closing or Escape only ask it to.
void TForm2::reject() {
  RequestCancel();
}

void TForm2::closeEvent(QCloseEvent* event) {
  event->ignore();
  RequestCancel();
}

}  // namespace varnel

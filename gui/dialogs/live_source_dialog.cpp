#include "gui/dialogs/live_source_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/ui_sink.h"
#include "video/capture_address.h"

namespace fw {

namespace {

constexpr const char* kSimulatedPrefix = "sim:";

}  // namespace

LiveSourceDialog::LiveSourceDialog(const QList<QPair<QString, QString>>& devices, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Video on line"));
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);

  simulated_ = new QRadioButton(QStringLiteral("Simulated card"), this);
  file_ = new QLineEdit(this);
  file_->setPlaceholderText(QStringLiteral("a video file to replay; empty: the test pattern"));
  file_->setMinimumWidth(320);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  grid->addWidget(simulated_, 0, 0);
  grid->addWidget(file_, 0, 1);
  grid->addWidget(browse, 0, 2);

  device_ = new QRadioButton(QStringLiteral("Camera or capture card"), this);
  devices_ = new QComboBox(this);
  for (const auto& [path, label] : devices) devices_->addItem(label, path);
  if (devices.isEmpty()) {
    devices_->addItem(QStringLiteral("(no capture device found)"));
    device_->setEnabled(false);
  }
  grid->addWidget(device_, 1, 0);
  grid->addWidget(devices_, 1, 1, 1, 2);

  stream_ = new QRadioButton(QStringLiteral("Network stream"), this);
  url_ = new QLineEdit(this);
  url_->setPlaceholderText(QStringLiteral("rtsp://, http(s)://, tcp:// or udp:// URL"));
  grid->addWidget(stream_, 2, 0);
  grid->addWidget(url_, 2, 1, 1, 2);

  reconnect_ = new QCheckBox(QStringLiteral("Open a dropped stream again"), this);
  grid->addWidget(reconnect_, 3, 1, 1, 2);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &LiveSourceDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &LiveSourceDialog::reject);
  connect(browse, &QPushButton::clicked, this, &LiveSourceDialog::chooseFile);
  for (QRadioButton* b : {simulated_, device_, stream_}) {
    connect(b, &QRadioButton::toggled, this, &LiveSourceDialog::enableFields);
  }
  simulated_->setChecked(true);
  enableFields();
}

void LiveSourceDialog::setChoice(const Choice& choice) {
  CaptureAddress address;
  if (!ParseCaptureAddress(choice.address.toStdString(), address)) address = {};
  const QString location = QString::fromStdString(address.location);
  switch (address.kind) {
    case CaptureKind::Simulated:
      simulated_->setChecked(true);
      file_->setText(location);
      break;
    case CaptureKind::Device:
      if (device_->isEnabled()) {
        device_->setChecked(true);
        devices_->setCurrentIndex(std::max(devices_->findData(location), 0));
      }
      break;
    case CaptureKind::Stream:
      stream_->setChecked(true);
      url_->setText(location);
      break;
  }
  reconnect_->setChecked(choice.reconnect);
}

LiveSourceDialog::Choice LiveSourceDialog::choice() const {
  Choice c;
  c.reconnect = reconnect_->isChecked();
  if (device_->isChecked()) {
    c.address = devices_->currentData().toString();
  } else if (stream_->isChecked()) {
    c.address = url_->text().trimmed();
  } else {
    c.address = QString::fromLatin1(kSimulatedPrefix) + file_->text().trimmed();
  }
  return c;
}

void LiveSourceDialog::accept() {
  CaptureAddress address;
  if (const Result parsed = ParseCaptureAddress(choice().address.toStdString(), address); !parsed) {
    CurrentUiSink().Message(parsed.message(), "Video on line", MessageButtons::Ok);
    return;
  }
  QDialog::accept();
}

void LiveSourceDialog::chooseFile() {
  const QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("A video for the simulated card"), file_->text(),
      QStringLiteral("Videos (*.avi *.mp4 *.mkv *.mov *.mpg *.mpeg *.ts *.webm);;All files (*)"));
  if (!path.isEmpty()) file_->setText(path);
}

void LiveSourceDialog::enableFields() {
  file_->setEnabled(simulated_->isChecked());
  devices_->setEnabled(device_->isChecked());
  url_->setEnabled(stream_->isChecked());
  reconnect_->setEnabled(stream_->isChecked());
}

}  // namespace fw

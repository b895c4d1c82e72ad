#include "gui/dialogs/lbp_var_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui_sink.h"
#include "gui/controls/entry_fields.h"

namespace fw {

LbpVarDialog::LbpVarDialog(QWidget* parent) : QDialog(parent) {
  setModal(false);
  setWindowTitle(QStringLiteral("Set parameters for LBP-VAR method"));

  positioning_ = new QCheckBox(QStringLiteral("Positioning"), this);
  topmost_ = new QCheckBox(QStringLiteral("Topmost display"), this);
  windowSize_ = new QLineEdit(this);
  displayRectangle_ = new QCheckBox(QStringLiteral("Display rectangle"), this);
  viewLbpHist_ = new QCheckBox(QStringLiteral("View LBP Hist"), this);
  positioning_->setObjectName(QStringLiteral("positioningCheck"));
  topmost_->setObjectName(QStringLiteral("topmostCheck"));
  windowSize_->setObjectName(QStringLiteral("windowSizeEdit"));
  displayRectangle_->setObjectName(QStringLiteral("displayRectangleCheck"));
  viewLbpHist_->setObjectName(QStringLiteral("viewLbpHistCheck"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);

  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(new QLabel(QStringLiteral("Window size:"), this));
  sizeRow->addWidget(windowSize_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(positioning_);
  layout->addWidget(topmost_);
  layout->addLayout(sizeRow);
  layout->addWidget(displayRectangle_);
  layout->addWidget(viewLbpHist_);
  layout->addWidget(ok, 0, Qt::AlignRight);

  // OK reads and shows the options; the dialog stays open.
  connect(ok, &QPushButton::clicked, this, &LbpVarDialog::onOk);
  connect(positioning_, &QCheckBox::clicked, this, &LbpVarDialog::onPositioning);
  connect(viewLbpHist_, &QCheckBox::clicked, this, &LbpVarDialog::onViewLbpHist);
  writeControls();
}

void LbpVarDialog::writeControls() {
  positioning_->setChecked(options_.positioning);
  topmost_->setChecked(options_.topmostDisplay);
  windowSize_->setText(QString::number(options_.windowSize));
  displayRectangle_->setChecked(options_.displayRectangle);
  viewLbpHist_->setChecked(options_.viewLbpHist);
}

bool LbpVarDialog::readControls() {
  QString message;
  const std::optional<int> size = ReadIntField(windowSize_->text(), 1, 1000, &message);
  if (!size) {
    CurrentUiSink().Message(message.toStdString(), "Fumewatch", MessageButtons::Ok);
    windowSize_->setFocus();
    windowSize_->selectAll();
    return false;
  }
  options_.positioning = positioning_->isChecked();
  options_.topmostDisplay = topmost_->isChecked();
  options_.windowSize = *size;
  options_.displayRectangle = displayRectangle_->isChecked();
  options_.viewLbpHist = viewLbpHist_->isChecked();
  return true;
}

void LbpVarDialog::onOk() {
  onPositioning();
}

void LbpVarDialog::onPositioning() {
  if (!readControls()) return;
  // A window that is being positioned is also drawn.
  if (options_.positioning) options_.displayRectangle = true;
  writeControls();
  emit optionsChanged();
}

void LbpVarDialog::onViewLbpHist() {
  if (!readControls()) return;
  emit optionsChanged();
  if (options_.viewLbpHist) {
    cachedFrame_ = -1;
    emit lbpHistRequested();
  }
}

void LbpVarDialog::setPositioning(bool on) {
  options_.positioning = on;
  positioning_->setChecked(on);
  emit optionsChanged();
}

void LbpVarDialog::setShown(bool shown) {
  if (!shown) {
    hide();
    return;
  }
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != options_.topmostDisplay) {
    const QRect place = geometry();
    const bool placed = testAttribute(Qt::WA_Moved);
    setWindowFlag(Qt::WindowStaysOnTopHint, options_.topmostDisplay);
    if (placed) setGeometry(place);
  }
  show();
  raise();
}

}  // namespace fw

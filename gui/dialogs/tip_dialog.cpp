#include "gui/dialogs/tip_dialog.h"

#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace fw {

TipDialog::TipDialog(QWidget* parent) : QDialog(parent) {
  setModal(false);
  setWindowTitle(QStringLiteral("训练Adaboost"));
  firstText_ = new QLabel(this);
  secondText_ = new QLabel(this);
  firstBar_ = new QProgressBar(this);
  secondBar_ = new QProgressBar(this);
  status_ = new QLabel(this);
  for (QProgressBar* bar : {firstBar_, secondBar_}) {
    bar->setRange(0, 100);
    bar->setValue(0);
  }
  QFont large = status_->font();
  large.setPointSizeF(large.pointSizeF() * 2);
  large.setBold(true);
  status_->setFont(large);
  status_->setAlignment(Qt::AlignCenter);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(firstText_);
  layout->addWidget(firstBar_);
  layout->addWidget(secondText_);
  layout->addWidget(secondBar_);
  layout->addWidget(status_);
  resize(360, 200);
}

void TipDialog::setFirstText(const QString& text) {
  firstText_->setText(text);
}
void TipDialog::setSecondText(const QString& text) {
  secondText_->setText(text);
}
void TipDialog::setFirstRange(int minimum, int maximum) {
  firstBar_->setRange(minimum, maximum);
}
void TipDialog::setSecondRange(int minimum, int maximum) {
  secondBar_->setRange(minimum, maximum);
}
void TipDialog::setFirstProgress(int position) {
  firstBar_->setValue(position);
}
void TipDialog::setSecondProgress(int position) {
  secondBar_->setValue(position);
}
void TipDialog::setStatusText(const QString& text) {
  status_->setText(text);
}

QString TipDialog::firstText() const {
  return firstText_->text();
}
QString TipDialog::secondText() const {
  return secondText_->text();
}
int TipDialog::firstProgress() const {
  return firstBar_->value();
}
int TipDialog::secondProgress() const {
  return secondBar_->value();
}
QString TipDialog::statusText() const {
  return status_->text();
}

}  // namespace fw

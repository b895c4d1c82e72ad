#include "gui/dialogs/learning_progress_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace fw {

LearningProgressDialog::LearningProgressDialog(QWidget* parent)
    : QDialog(parent),
      status_(new QLabel(this)),
      firstText_(new QLabel(this)),
      firstBar_(new QProgressBar(this)),
      secondText_(new QLabel(this)),
      secondBar_(new QProgressBar(this)),
      stopButton_(new QPushButton(QStringLiteral("Stop"), this)) {
  setWindowTitle(QStringLiteral("训练Adaboost"));
  setModal(false);
  status_->setWordWrap(true);
  status_->setMinimumWidth(420);
  auto* layout = new QVBoxLayout(this);
  for (QWidget* w : {static_cast<QWidget*>(status_), static_cast<QWidget*>(firstText_),
                     static_cast<QWidget*>(firstBar_), static_cast<QWidget*>(secondText_),
                     static_cast<QWidget*>(secondBar_), static_cast<QWidget*>(stopButton_)}) {
    layout->addWidget(w);
  }
  connect(stopButton_, &QPushButton::clicked, this, [this] {
    if (stop_) stop_();
    stopButton_->setEnabled(false);
  });
}

void LearningProgressDialog::begin(std::function<void()> stop) {
  stop_ = std::move(stop);
  showState(ProgressState{});
  stopButton_->setEnabled(true);
  show();
  raise();
}

void LearningProgressDialog::showState(const ProgressState& state) {
  status_->setText(QString::fromStdString(state.status));
  firstText_->setText(QString::fromStdString(state.firstText));
  secondText_->setText(QString::fromStdString(state.secondText));
  firstBar_->setRange(0, std::max(state.firstMaximum, 1));
  firstBar_->setValue(std::clamp(state.firstPosition, 0, std::max(state.firstMaximum, 1)));
  secondBar_->setRange(0, std::max(state.secondMaximum, 1));
  secondBar_->setValue(std::clamp(state.secondPosition, 0, std::max(state.secondMaximum, 1)));
}

void LearningProgressDialog::end() {
  stop_ = nullptr;
  hide();
}

void LearningProgressDialog::reject() {
  if (stop_) stop_();
  stopButton_->setEnabled(false);
}

}  // namespace fw

#include "gui/dialogs/ptz_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace fw {

PtzDialog::PtzDialog(QWidget* parent) : QDialog(parent) {
  setModal(false);
  setWindowTitle(QStringLiteral("云台控制"));

  // The direction pad. No pan-tilt device is attached, so the buttons are not connected.
  auto* group = new QGroupBox(QStringLiteral("PELCO-P_2协议"), this);
  auto* pad = new QGridLayout(group);
  pad->addWidget(new QPushButton(QStringLiteral("Up"), group), 0, 1);
  pad->addWidget(new QPushButton(QStringLiteral("Left"), group), 1, 0);
  pad->addWidget(new QPushButton(QStringLiteral("Auto"), group), 1, 1);
  pad->addWidget(new QPushButton(QStringLiteral("Right"), group), 1, 2);
  pad->addWidget(new QPushButton(QStringLiteral("Down"), group), 2, 1);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
}

}  // namespace fw

// "云台控制": the pan-tilt panel. No pan-tilt device is driven, so the direction buttons and
// "Auto" do nothing; OK and Cancel close it.
#pragma once

#include <QDialog>

namespace fw {

class PtzDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PtzDialog(QWidget* parent = nullptr);
};

}  // namespace fw

// "设置红外图像火焰探测参数": the infrared detection parameters of mode 7008. The dialog shows the
// values it is given (the global settings) and hands back what OK accepted; each edit is checked
// against its parameter's range, so an alarm window of 0 seconds is refused. A changed interval or
// window takes effect at the next selection of the mode; the method is not edited here.
#pragma once

#include <QDialog>

#include <array>

#include "detect/flame/infrared_detector.h"

class QLineEdit;

namespace fw {

class InfraredSetupDialog : public QDialog {
  Q_OBJECT

 public:
  explicit InfraredSetupDialog(QWidget* parent = nullptr);

  // The edits show these values (the alarm window in seconds).
  void setValues(const InfraredParams& params);
  // The values OK accepted; the method is the one given to setValues.
  const InfraredParams& values() const { return params_; }

  // The edits, in the order of their labels.
  enum Edit { Grey, Interval, Seconds, Shape, Probability, Noise, kEdits };
  QLineEdit* edit(Edit e) const { return edits_[e]; }

 private:
  // Reads every edit; the first one that does not hold a number in its range gets the range
  // message and the focus, and nothing is taken.
  bool readEdits();
  void onOk();

  InfraredParams params_;
  std::array<QLineEdit*, kEdits> edits_{};
};

}  // namespace fw

// The progress window of the long learning and sample runs, "训练Adaboost": the large status
// text, a text above each of two bars, and a Stop button that asks the run to stop. Hidden (not
// destroyed) when the run ends.
#pragma once

#include <QDialog>
#include <functional>

#include "learn/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace fw {

class LearningProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LearningProgressDialog(QWidget* parent);
  // Shows the window for a new run; `stop` is called (on the GUI thread) by the Stop button.
  void begin(std::function<void()> stop);
  void showState(const ProgressState& state);
  // The run ended.
  void end();

 protected:
  void reject() override;  // Escape and the close button stop the run too

 private:
  QLabel* status_;
  QLabel* firstText_;
  QProgressBar* firstBar_;
  QLabel* secondText_;
  QProgressBar* secondBar_;
  QPushButton* stopButton_;
  std::function<void()> stop_;
};

}  // namespace fw

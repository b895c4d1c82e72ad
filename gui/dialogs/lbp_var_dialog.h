// "Set parameters for LBP-VAR method": where and how large the analysis window of the LBP-VAR
// texture preview is, whether the top-left pane draws it and whether moving it refreshes the
// preview.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace fw {

struct LbpVarOptions {
  bool positioning = false;       // clicks in the top-left pane move the analysis window
  bool topmostDisplay = false;    // the dialog stays above other windows
  int windowSize = 40;            // side of the square analysis window, 1..1000 pixels
  bool displayRectangle = false;  // the top-left pane draws the analysis window
  bool viewLbpHist = false;       // the preview follows the window
};

class LbpVarDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LbpVarDialog(QWidget* parent = nullptr);

  const LbpVarOptions& options() const { return options_; }
  // The top-left pane's double-click switches "Positioning" off.
  void setPositioning(bool on);
  // Shows the dialog placed topmost or not by "Topmost display", or hides it.
  void setShown(bool shown);
  // Frame number of the preview last computed; -1 forces the next refresh.
  int cachedFrameNumber() const { return cachedFrame_; }
  void setCachedFrameNumber(int frame) { cachedFrame_ = frame; }

 signals:
  // The options were read from the controls (OK, "Positioning", "View LBP Hist").
  void optionsChanged();
  // "View LBP Hist" was set: refresh the LBP-VAR preview now.
  void lbpHistRequested();

 private:
  // Reads the controls into the options; a window size outside 1..1000 is refused with the
  // range message and nothing is taken.
  bool readControls();
  void writeControls();
  void onOk();
  void onPositioning();
  void onViewLbpHist();

  LbpVarOptions options_;
  int cachedFrame_ = -1;
  QCheckBox* positioning_ = nullptr;
  QCheckBox* topmost_ = nullptr;
  QLineEdit* windowSize_ = nullptr;
  QCheckBox* displayRectangle_ = nullptr;
  QCheckBox* viewLbpHist_ = nullptr;
};

}  // namespace fw

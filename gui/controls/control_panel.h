// The control panel beside the panes: which panes show their pictures, the hue, saturation and
// value shift of the current frame into the bottom-right pane, the colour picker in five colour
// spaces with the colour wheel, the strip charts of the picked colour, the options of the
// background models, the values the modes produce and the animated alarm picture.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

#include "core/colour.h"
#include "core/dib.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSlider;

namespace fw {

class AlarmPictureWidget;
class ColourWheelWidget;
class EngineBridge;
class WorkbenchDocument;
struct Snapshot;

// The values bound to the panel's controls.
struct ControlPanelValues {
  std::array<int, 3> trackbar{100, 100, 100};  // hue, saturation, value positions 0..200
  float hueShift = 0.0f;
  float saturationShift = 0.0f;
  float valueShift = 0.0f;
  uint8_t red = 255;
  uint8_t green = 0;
  uint8_t blue = 0;
  Hsv hsv;
  Triple yiq;
  Triple yuv;
  uint32_t interval = 1;
  float growthRate = 0.0f;
  float asymmetry = 0.0f;
  float fluctuation = 0.0f;
  float energy = 0.0f;
  bool postProcessing = false;
  bool colourTrim = false;
  uint32_t pickerFrames = 0;  // frames picked since start
  int plotColumn = 0;         // next column of the strip charts
};

class ControlPanel : public QWidget {
  Q_OBJECT

 public:
  ControlPanel(EngineBridge& bridge, WorkbenchDocument& doc, QWidget* parent = nullptr);

  // Per-frame refresh from a snapshot. A snapshot whose frame number differs from the last one
  // seen counts as a processed frame: the mode values are shown, the alarm picture takes its next
  // step and, with "Picker color" on, the colour under the last mouse point of the top-left
  // picture is picked and plotted.
  void onSnapshot(const Snapshot& s);
  // The colour under the mouse in a pane, shown in all five colour spaces and on the wheel.
  void setPickedColour(uint8_t red, uint8_t green, uint8_t blue);
  // After every mode command: the three colour trackbars back to 100, the picked colour shown
  // again.
  void reinitialise();

  const ControlPanelValues& values() const { return v_; }
  AlarmPictureWidget& alarmPicture() { return *alarm_; }
  ColourWheelWidget& colourWheel() { return *wheel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void writeControls();
  // Data exchange of one edit losing the focus; false when its entry was refused.
  bool commitEdit(QLineEdit* edit);
  void refuse(QLineEdit* edit, const QString& message);

  void onTrackbar(int index, int position);
  void postShift();
  void onWheelDragged(float hue, float saturation, float value);
  // The colour message: the wheel's colour in all spaces; from the frame pick also the wheel, the
  // counter and the strip charts.
  void takeWheelColour(const Hsv& hsv, bool fromFramePick);
  void computeColourSpaces();
  void pickFromFrame(const Dib& topLeft);
  void plotColumn();
  void onPickerColour(bool on);
  void onDisplay(int pane);

  EngineBridge& bridge_;
  WorkbenchDocument& doc_;
  ControlPanelValues v_;
  uint64_t lastSequence_ = 0;
  uint64_t lastFramesProcessed_ = 0;
  bool inExchange_ = false;  // a refused entry's message is open

  std::array<QCheckBox*, 4> display_{};  // indexed by pane
  std::array<QSlider*, 3> trackbar_{};
  QLineEdit* hueShift_ = nullptr;
  QLineEdit* saturationShift_ = nullptr;
  QLineEdit* valueShift_ = nullptr;
  std::array<QLineEdit*, 3> rgb_{};
  std::array<QLineEdit*, 3> hsvEdit_{};
  std::array<QLineEdit*, 3> yiq_{};
  std::array<QLineEdit*, 3> yuv_{};
  ColourWheelWidget* wheel_ = nullptr;
  QCheckBox* picker_ = nullptr;
  QCheckBox* drawRgb_ = nullptr;
  QCheckBox* postProcessing_ = nullptr;
  QLineEdit* interval_ = nullptr;
  std::array<QLineEdit*, 4> modeValues_{};  // growth rate, asymmetry, fluctuation, energy
  QCheckBox* colourTrim_ = nullptr;
  QRadioButton* colourKey_ = nullptr;
  AlarmPictureWidget* alarm_ = nullptr;
};

}  // namespace fw

// The control bar below the panes: the video (Open, Start, Stop, the frame slider, the frame
// number and the frame rate) and the object-detection controls (difference modes with their
// threshold, the Gauss-model buttons with theirs, the foreground/background display choice).
// Its state lives in the Session; the bar posts commands and shows the newest snapshot.
#pragma once

#include <QWidget>

#include <optional>

#include "detect/mode_id.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace fw {

class EngineBridge;
struct Snapshot;

class ControlBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSpinMinimum = 1;
  static constexpr int kSpinMaximum = 200;
  static constexpr int kSpinStart = 25;

  explicit ControlBar(EngineBridge& bridge, QWidget* parent = nullptr);

  // Shows a snapshot: slider, frame number, caption, rate, thresholds and choices. A value the
  // user is editing is left alone.
  void onSnapshot(const Snapshot& s);
  // The re-initialisation after every mode command: the values go into the controls again and
  // the up-down control returns to 25 (the frame rate itself stays).
  void reinitialise(const Snapshot& s);
  // The submenu the bar pops up on a right click ("Bottom View").
  void setContextMenu(QMenu* menu) { contextMenu_ = menu; }

  QGroupBox* sourceGroup() const { return source_; }
  QSlider* frameSlider() const { return slider_; }
  // The frame field: "n / N (time)"; a number typed there and Enter go to that frame.
  QLineEdit* frameNumberEdit() const { return frameNumber_; }
  QLineEdit* frameRateEdit() const { return frameRate_; }
  QSpinBox* frameRateSpin() const { return spin_; }
  QLineEdit* thresholdEdit() const { return threshold_; }
  QLineEdit* gaussThresholdEdit() const { return gaussThreshold_; }
  QPushButton* button(int controlId) const;

 signals:
  // The Open button: the window asks for a video.
  void openClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void build();
  void selectMode(ModeId mode);
  void onThresholdEdited(const QString& text);
  // The edits' data exchange when they lose the focus; a refused entry keeps the focus.
  void commitThreshold();
  void commitGaussThreshold();
  void refuse(QLineEdit* edit, const QString& message);
  void showModeChoice(ModeId mode);
  // The slider and the frame field: go to a frame (shown at once while no frames run). While one
  // such request is with the engine, later ones wait and only the newest is sent.
  void goToFrame(int frame);
  void sendFrameRequest();
  void showFrameField(const Snapshot& s);

  EngineBridge& bridge_;
  QMenu* contextMenu_ = nullptr;
  bool refusing_ = false;  // a refused entry's message is open

  QGroupBox* source_ = nullptr;
  QSlider* slider_ = nullptr;
  QLineEdit* frameNumber_ = nullptr;
  QLineEdit* frameRate_ = nullptr;
  QSpinBox* spin_ = nullptr;
  QButtonGroup* difference_ = nullptr;
  QLineEdit* threshold_ = nullptr;
  QLineEdit* gaussThreshold_ = nullptr;
  QRadioButton* foreground_ = nullptr;
  QRadioButton* background_ = nullptr;

  // Last values shown, so that only changes reach the controls.
  int shownFrameCount_ = -1;
  int shownCaption_ = -2;
  int shownFrame_ = -1;
  int wantedFrame_ = -1;       // the newest frame asked for by the slider or the field
  bool framePending_ = false;  // a request is with the engine
  float shownRate_ = -1.0f;
  int shownThreshold_ = -1;
  float shownGauss_ = -1.0f;
  std::optional<ModeId> shownMode_;
  int shownChoice_ = -1;
};

}  // namespace fw

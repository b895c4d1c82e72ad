// Everything the per-frame detection steps read and write: the pane images, the current mode and
// the control values, one member per detector family (its objects and settings), the per-frame
// flags and the alarm state. The session owns one DetectionState and touches it only on the
// engine thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "core/dib.h"
#include "detect/background/background_state.h"
#include "detect/engines/engines_state.h"
#include "detect/flame/flame_state.h"
#include "detect/mode_info.h"
#include "detect/motion/motion_state.h"
#include "detect/param_field.h"
#include "detect/smoke/smoke_state.h"
#include "detect/wavelet_view.h"

namespace fw {

class AlarmSound;
// The learned classifier modes' objects (learn/modes/classifier_modes_state.h).
struct ClassifierModesState;
struct HaarState;  // learn/haar/haar_state.h

// The four image panes, in the order the desktop numbers its views.
enum class PaneId { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };
inline constexpr int kPaneCount = 4;

struct Panes {
  std::array<Dib, kPaneCount> image;  // indexed by PaneId
  Dib display;                        // the floating display dialog's picture

  Dib& operator[](PaneId id) { return image[static_cast<int>(id)]; }
  const Dib& operator[](PaneId id) const { return image[static_cast<int>(id)]; }
  Dib& topLeft() { return image[0]; }
  Dib& topRight() { return image[1]; }
  Dib& bottomLeft() { return image[2]; }
  Dib& bottomRight() { return image[3]; }
};

// One closed alarm interval: first alarm frame and the first frame after it.
struct AlarmInterval {
  int start = 0;
  int end = 0;
  bool logged = false;  // the line reached the alarm log
  std::string problem;  // why it did not (the log and the reason), when logging was on
};

struct DetectionState {
  DetectionState() = default;
  DetectionState(const DetectionState&) = delete;
  DetectionState& operator=(const DetectionState&) = delete;

  // The current mode, 0 when none.
  ModeId Mode() const { return mode != nullptr ? mode->id : ModeId::None; }

  Panes panes;

  // --- what the control bar holds ---
  const ModeInfo* mode = nullptr;  // the mode table's row of the current mode, set at selection
  int threshold = 5;               // "Threshold:" edit, 0..1000
  float gaussThreshold = 25.0f;    // Gauss group "Threshold" edit
  int displayChoice = kDisplayBackground;
  int frameNumber = 0;    // number of the frame being processed
  std::string videoPath;  // the open video; the alarm log is named after it
  std::string alarmLog;   // where the alarm lines go instead, when set
  bool online = false;    // live capture delivers the frames
  // Online: the capture frame the top-left pane was converted from (planar 4:2:0 of the frame
  // size, its luminance plane first); it stays at this address for the session's life.
  const uint8_t* captureFrame = nullptr;

  // --- the detector families: each object lives from the selection of a mode that builds it
  //     until the next such selection ---
  BackgroundState background;
  MotionState motion;
  SmokeState smoke;
  EnginesState engines;
  FlameState flame;
  // The classifier modes (7020-7024): cascade, scan planes and evidence over frames, built at
  // their selection. Shared ownership lets this layer hold the type without its definition.
  std::shared_ptr<ClassifierModesState> classifierModes;
  // The Haar detector of "Detecting" and "Adaboost+Motion" (null until one is selected).
  std::shared_ptr<HaarState> haar;
  // "View Wavelet and zero crossing", beside any mode.
  WaveletViewState waveletView;

  // --- per-frame flags reset at the start of every frame ---
  uint8_t modelDisplayFlag = 1;
  std::array<uint8_t, 3> keyColour{};  // blue, green, red
  uint8_t regionFlag = 0;

  // --- alarm ---
  uint8_t alarmFlag = 0;
  uint8_t soundLooping = 0;
  int alarmStartFrame = 0;
  bool alarmLogging = false;
  AlarmSound* sound = nullptr;  // not owned; null plays nothing
  bool alarmLogEnabled = true;  // benchmarks on frames in memory write no log
  // Called after each alarm log line is written (the command-line tool prints it).
  std::function<void(const AlarmInterval&)> onAlarmInterval;
};

// The control bar's values as parameters: "threshold" (0..1000) and "gaussThreshold".
std::span<const ParamField> ControlFields();

}  // namespace fw

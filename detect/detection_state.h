// Everything the per-frame detection steps read and write: the pane images, the current mode and
// its settings, the detector objects, the alarm state. The session owns one DetectionState and
// touches it only on the engine thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/dib.h"

namespace fw {

class AlarmSound;
class BackgroundModel;
class SmokeFlameDetector;

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

// Display choice of the background models ("Foreground" / "Background" radio buttons).
inline constexpr int kDisplayForeground = 1025;
inline constexpr int kDisplayBackground = 1026;

// One closed alarm interval: first alarm frame and the first frame after it.
struct AlarmInterval {
  int start = 0;
  int end = 0;
  bool logged = false;  // the line reached the alarm log
};

struct DetectionState {
  DetectionState();
  ~DetectionState();  // out of line: the detector types are complete there
  DetectionState(const DetectionState&) = delete;
  DetectionState& operator=(const DetectionState&) = delete;

  Panes panes;

  // --- what the control bar holds ---
  int mode = 0;
  int threshold = 5;             // "Threshold:" edit, 0..1000
  float gaussThreshold = 25.0f;  // Gauss group "Threshold" edit
  int displayChoice = kDisplayBackground;
  int frameNumber = 0;  // number of the frame being processed
  std::string videoPath;  // the open video; the alarm log is named after it
  bool online = false;    // live capture delivers the frames

  Dib previousFrame;  // the prior frame, exchanged with the frame pane
  Dib greyWork;       // second previous frame, grey frame or filtered frame, by mode
  Dib modelBackground;

  // --- detector objects: each lives from the selection of a mode that builds it until the next
  //     such selection ---
  // background models
  std::unique_ptr<BackgroundModel> backgroundModel;
  // Parameters every background model shares; they outlive the model, as the control bar's
  // settings do.
  struct BackgroundParams {
    float probabilityThreshold = 0.9f;  // kernel density: background at or above it
    int kernelIndex = 5;                // kernel density: row of the kernel table, 0..127
    uint8_t frameDifferenceLimit = 5;   // accurate time background
    uint8_t backgroundDistanceLimit = 8;  // time and accurate time background
    int sampleRingIndex = 0;  // kernel density: sample slot replaced next, never reset
    bool postProcessing = false;  // "Post processing": clean the mask, paint only afterwards
    bool colourTrim = false;      // "Color Trim": rejected colours are painted blue
    bool colourTesting = false;   // "Enable color testing"
  } backgroundParams;
  // smoke detector
  std::unique_ptr<SmokeFlameDetector> smokeDetector;
  int smokeBlockColumn = 0;  // block whose edge strengths the block mode plots, clicked in the
  int smokeBlockRow = 0;     // top-left pane (clamped to the block grid when used)
  Dib smokeGreyDisplay;      // the block mode's frame in grey, quantised to the degrade level
  bool smokeSizeReported = false;  // a changed frame size was reported for this detector

  // --- per-frame flags reset at the start of every frame ---
  uint8_t modelDisplayFlag = 1;
  std::array<uint8_t, 3> keyColour{};  // blue, green, red
  uint8_t regionFlag = 0;

  // --- frame-flag ring of the block smoke mode ---
  std::array<uint8_t, 125> frameFlags{};
  int frameFlagIndex = 0;

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

}  // namespace fw

// What the desktop shows of the session after a frame or a command: copies of the pane images
// and the display dialog's picture, and the values of the controls. The engine thread fills a
// back buffer and publishes it; the GUI takes the newest one. Buffers are exchanged, never
// re-allocated, once their pictures have the frame's size.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/dib.h"
#include "detect/detection_state.h"

namespace fw {

enum class LoopState : int { Run = 0, Stop = 1, Pause = 2 };

struct Snapshot {
  uint64_t sequence = 0;  // grows with every publication
  std::array<Dib, kPaneCount> panes;
  Dib display;

  int frameNumber = 0;           // index of the frame last read (slider position, "Frame No")
  uint64_t framesProcessed = 0;  // frames run through the pipeline since start-up
  int frameCount = 0;
  int videoWidth = 0;
  int videoHeight = 0;
  std::string videoPath;
  ModeId mode = ModeId::None;
  uint8_t alarmFlag = 0;
  LoopState loopState = LoopState::Stop;
  bool loopExists = false;
  float frameRate = 25.0f;
  int threshold = 5;
  float gaussThreshold = 25.0f;
  int displayChoice = kDisplayBackground;
  // Frames named by the "Source Video" caption (set by the Open button only); -1 before.
  int captionFrameCount = -1;
  bool online = false;
  // Live capture ("Video on line"): the source, whether it streams, frames per second reaching
  // the pipeline and frames dropped in this run of the stream.
  std::string captureSource;
  bool captureStreaming = false;
  double captureRate = 0.0;
  int64_t captureDropped = 0;
  double fileFrameRate = 0.0;  // the video file's own rate (0: none)
  bool looping = true;         // "Loop"
  bool paused = false;         // the loop exists and Space paused it

  // Alarm intervals of this run, copied only when the list changed (the version tells), and the
  // start of the interval still open (-1: none).
  std::vector<AlarmInterval> alarmIntervals;
  uint64_t alarmIntervalsVersion = 0;
  int openAlarmStart = -1;

  // Selections and switches that the menus show as check marks.
  int bottomRightOperation = 0;
  bool topLeftGrad = false;      // "Grad of View00"
  bool bottomLeftGrads = false;  // "Grads"
  bool colourTesting = false;    // "Enable color testing"
  bool postProcessing = false;   // "Post processing" of the background models
  bool colourTrim = false;       // "Color Trim"
  bool waveletView = false;      // "View Wavelet and zero crossing": the top-left pane's point
  int topLeftOperation = 0;      // the selected entry of "Top left"
  int auxiliaryOperation = 0;    // "Snake model" or "Histogram"
  bool logDisplay = false;       // "Display in log mode"
  bool fftCircle = false;        // "Display 2D FFT Circle Intensity"
  bool colourKey = false;        // the control panel's "Color Key"
  bool networkTraining = true;   // the texture recognisers' network is still to be trained
  int waveletX = 0;              // the point it looks at (x right, y up from the bottom row)
  int waveletY = 0;
  float motionEnergy = 0.0f;  // the control panel's "Energy"

  // What the current mode draws over the top-left pane.
  Overlays overlays;
};

// Triple buffer between the engine thread (writer) and the GUI thread (reader).
class SnapshotExchange {
 public:
  // The writer's buffer; only the engine thread touches it.
  Snapshot& Back() { return back_; }
  // Makes the back buffer the newest published snapshot.
  void Publish();
  // Swaps the newest snapshot into `front` when one was published since the last take.
  bool TakeLatest(Snapshot& front);

 private:
  std::mutex mutex_;
  Snapshot back_;
  Snapshot middle_;
  bool fresh_ = false;
  uint64_t sequence_ = 0;
};

}  // namespace fw

#include "detect/flame/flame_modes.h"

#include <chrono>
#include <memory>
#include <string>

#include "core/charts.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "detect/alarm.h"
#include "detect/dispatch.h"
#include "detect/smoke/smoke_modes.h"

namespace fw {

int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// Zero pixels of the infrared panes show blue.
void BlueZero(Dib& image) {
  image.GetPalette()[0] = RgbQuad{255, 0, 0, 0};
}

// An 8-bit pane of the frame's size; re-created (zero pixels blue) only when it is not one, as
// after another display wrote it.
void EnsureInfraredPane(Dib& pane, const Dib& frame) {
  if (pane.SameFormat(frame.Width(), frame.Height(), 8) && pane.HeaderHeight() == frame.Height())
    return;
  EnsureFrameFormat(pane, frame.Width(), frame.Height(), 8);
  BlueZero(pane);
}

void PlayOneShot(DetectionState& state) {
  FlameState& flame = state.flame;
  const int64_t now = flame.clock();
  if (flame.oneShotPlayed && now - flame.lastOneShot < kOneShotInterval) return;
  if (state.sound) state.sound->PlayOnce(FindDataFile(kAlarmSoundFile));
  flame.oneShotPlayed = true;
  flame.lastOneShot = now;
}

}  // namespace

// --- infrared ------------------------------------------------------------------------------------

void BuildInfraredMode(DetectionState& state) {
  FlameState& flame = state.flame;
  flame.infraredDetector = std::make_unique<InfraredDetector>();
  flame.sizeReported = false;
  flame.infraredDetector->Initialise(state.panes.topLeft(), flame.infrared);
  BlueZero(state.panes.bottomLeft());
}

void InfraredModeStep(DetectionState& state) {
  FlameState& flame = state.flame;
  InfraredDetector* detector = flame.infraredDetector.get();
  if (detector == nullptr) return;
  Panes& panes = state.panes;
  const Dib& frame = panes.topLeft();
  if (!detector->FrameMatches(frame)) {
    state.alarmFlag = 0;
    if (!flame.sizeReported) {
      flame.sizeReported = true;
      CurrentUiSink().Message(
          detector->Width() == 0
              ? std::string("Infrared detection: the mode was selected without a colour frame; "
                            "open a video and select the mode again.")
              : "Infrared detection: the frame is now " + std::to_string(frame.Width()) + " x " +
                    std::to_string(frame.Height()) + " (" + std::to_string(frame.GetBitCount()) +
                    "-bit) but the ring was built for " + std::to_string(detector->Width()) +
                    " x " + std::to_string(detector->Height()) +
                    " (24-bit); select the mode again.",
          "Fumewatch", MessageButtons::Ok);
    }
    return;
  }
  EnsureInfraredPane(panes.topRight(), frame);
  EnsureInfraredPane(panes.bottomLeft(), frame);
  state.alarmFlag = detector->Step(frame, panes.topRight(), panes.bottomLeft(), panes.bottomRight(),
                                   flame.infrared);
  if (state.alarmFlag == 1 && flame.infrared.method == InfraredParams::kShapeChange) {
    PlayOneShot(state);
  }
}

// --- four-stage flame ----------------------------------------------------------------------------

void BuildFlameMode(DetectionState& state) {
  SmokeFlameDetector& detector = NewSmokeDetector(state, false);
  if (detector.FrameMatches()) state.panes.display.CopyFrom(detector.Background(), false);
}

void FlameModeStep(DetectionState& state) {
  SmokeFlameDetector* detector = UsableSmokeDetector(state, false);
  if (detector == nullptr) return;
  FollowLiveSource(state, *detector);
  Panes& panes = state.panes;
  detector->DetectMotion(SmokeFlameDetector::kMotionToBackground);
  detector->TestFlameColour(kFlameRedLimit, kFlameSaturation);
  detector->TestOscillation();
  MaskToColour(panes.topRight(), detector->MotionMask().data(), detector->Width(),
               detector->Height());
  // Every oscillating pixel passed the colour test: the final mask is the temporal mask.
  detector->CombineMasks();
  state.alarmFlag = detector->ShowAndCount(panes.bottomLeft());
  const Dib& background = detector->Background();
  if (panes.display.SameFormat(background) && panes.display.Stride() == background.Stride()) {
    panes.display.CopyFrom(background, true);
  }
}

void FlameModeEndOfFrame(DetectionState& state) {
  SmokeFlameDetector* detector = UsableSmokeDetector(state, false);
  if (detector != nullptr) detector->EndOfFrame();
}

// --- parameters ----------------------------------------------------------------------------------

namespace {

// A field of InfraredParams: its value read and written as a double.
#define FW_INFRARED_FIELD(member, type)                                                 \
  [](const DetectionState& s) { return static_cast<double>(s.flame.infrared.member); }, \
      [](DetectionState& s, double v) { s.flame.infrared.member = static_cast<type>(v); }

constexpr int kSecond = InfraredParams::kFramesPerSecond;

const ParamField kInfraredFields[] = {
    {"greyThreshold", "Infrared: grey level at which a pixel is hot", 0, 255, 128, true,
     FW_INFRARED_FIELD(greyThreshold, uint8_t)},
    {"frameInterval",
     "Infrared: frames between the two compared pictures (takes effect at the next selection)", 1,
     250, 1, true, FW_INFRARED_FIELD(frameInterval, int)},
    {"alarmSeconds",
     "Infrared: alarm window in seconds of 25 frames (takes effect at the next selection)", 1, 3600,
     5, true,
     [](const DetectionState& s) {
       return static_cast<double>(s.flame.infrared.alarmWindow / kSecond);
     },
     [](DetectionState& s, double v) {
       s.flame.infrared.alarmWindow = static_cast<int>(v) * kSecond;
     }},
    {"shapeThreshold", "Infrared: shape change at which a frame votes fire", 0, 1, 0.1f, false,
     FW_INFRARED_FIELD(shapeThreshold, float)},
    {"fireProbability", "Infrared: fraction of fire votes in the window that raises the alarm", 0,
     1, 0.8f, false, FW_INFRARED_FIELD(fireProbability, float)},
    {"noiseSize",
     "Infrared: hot pixels a picture needs for a shape change; the size of a hot region", 0,
     1 << 24, 225, true, FW_INFRARED_FIELD(noiseSize, int)},
    {"method", "Infrared: 1 shape-change vote, 2 hot-region size", 1, 2, 1, true,
     FW_INFRARED_FIELD(method, int)},
};

#undef FW_INFRARED_FIELD

}  // namespace

std::span<const ParamField> InfraredFields() {
  return kInfraredFields;
}

// --- memory --------------------------------------------------------------------------------------

uint64_t InfraredModeMemory(const DetectionState& state, int width, int height) {
  return InfraredDetectorBytes(width, height, state.flame.infrared);
}

uint64_t FlameModeMemory(const DetectionState& state, int width, int height) {
  // The detector with the smoke parameters that size its ring, and its background in the display
  // dialog.
  return SmokeFlameDetector::PixelModeBytes(width, height, state.smoke.params) +
         static_cast<uint64_t>(DibStride(width, 24)) * static_cast<uint64_t>(height);
}

}  // namespace fw

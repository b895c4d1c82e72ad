#include "learn/haar/haar_modes.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "core/data_files.h"
#include "core/text_stamp.h"
#include "core/ui_sink.h"
#include "detect/engines/engines_modes.h"
#include "learn/haar/haar_state.h"

namespace fw {

namespace {

using engines::SmokeEngine;
static_assert(SmokeEngine::kBlockSize == HaarDetector::kBlock,
              "the persistence map is handed to the engine block for block");

const char* LabelOf(const DetectionState& state) {
  return state.mode != nullptr ? state.mode->label : "Haar detector";
}

// Loads the detector for the frame pane. When the file is missing or cannot be used the message
// says which file and where it was looked for, and no mode is selected.
bool BuildDetector(DetectionState& state, HaarReading reading) {
  state.haar.reset();  // what an earlier selection built goes before the new one is built
  const std::string label = LabelOf(state);
  const std::string path = FindDataFile(kHaarFile);
  std::error_code ec;
  Result loaded = Result::Ok();
  auto haar = std::make_shared<HaarState>();
  if (!std::filesystem::exists(path, ec)) {
    loaded =
        Result::Error(std::string(kHaarFile) + " is neither in the start directory (" +
                      StartDirectory() + ") nor in the data directory (" + DataDirectory() + ")");
  } else {
    loaded = haar->detector.SetUp(state.panes.topLeft(), path, reading);
  }
  if (!loaded) {
    const std::string text = loaded.message() + "; the mode stays off.";
    CurrentUiSink().Status(StatusField::Message, label + ": " + text);
    CurrentUiSink().Message(text, label, MessageButtons::Ok);
    state.mode = nullptr;
    return false;
  }
  state.haar = std::move(haar);
  return true;
}

// The detector when it takes the frame pane, else null (reported once per selection).
HaarDetector* UsableDetector(DetectionState& state) {
  HaarState* haar = state.haar.get();
  const Dib& frame = state.panes.topLeft();
  if (haar == nullptr) return nullptr;
  if (haar->detector.FrameMatches(frame)) return &haar->detector;
  if (!haar->formatReported) {
    haar->formatReported = true;
    const std::string label = LabelOf(state);
    const HaarDetector& d = haar->detector;
    const std::string built = d.Width() == 0 ? std::string("without a colour frame")
                                             : "for " + std::to_string(d.Width()) + " x " +
                                                   std::to_string(d.Height()) + " (24-bit)";
    CurrentUiSink().Message(
        "The frame is now " + std::to_string(frame.Width()) + " x " +
            std::to_string(frame.Height()) + " (" + std::to_string(frame.GetBitCount()) +
            "-bit) but the detector was built " + built + "; select the mode again.",
        label, MessageButtons::Ok);
  }
  return nullptr;
}

uint64_t FileBytes() {
  std::error_code ec;
  const auto size = std::filesystem::file_size(FindDataFile(kHaarFile), ec);
  return ec ? 0 : static_cast<uint64_t>(size);
}

}  // namespace

void BuildDetectingMode(DetectionState& state) {
  BuildDetector(state, HaarReading::Interval);
}

void DetectingModeStep(DetectionState& state) {
  HaarDetector* d = UsableDetector(state);
  if (d == nullptr) return;
  Panes& panes = state.panes;
  const Dib& frame = panes.topLeft();
  d->Scan(frame);
  d->RotateRings();
  d->BlockChange();
  d->DrawChange(panes.bottomLeft(), frame);
  d->ConfirmRects();
  d->UpdatePersistence(false);
  d->DrawPersistence(panes.bottomRight());
  d->DrawRects(panes.topRight(), frame, true);
}

void BuildAdaboostMotionMode(DetectionState& state) {
  if (!BuildDetector(state, HaarReading::Polarity)) return;
  state.engines.formatReported = false;
  state.engines.smokeEngine.emplace<std::monostate>();  // the old engine goes first
  state.engines.smokeEngine.emplace<SmokeEngine>().InitialiseEngineering(state.panes.topLeft());
  state.alarmFlag = 0;
  EnsureGlyphAtlas(state.panes.bottomRight());
}

void AdaboostMotionModeStep(DetectionState& state) {
  SmokeEngine* engine = std::get_if<SmokeEngine>(&state.engines.smokeEngine);
  HaarDetector* d = UsableDetector(state);
  if (engine == nullptr || !engine->FrameMatches() || d == nullptr) {
    state.alarmFlag = 0;
    return;
  }
  Panes& panes = state.panes;
  const Dib& frame = panes.topLeft();
  d->Scan(frame);
  engine->EstimateBlockMotion();
  d->UpdatePersistence(true);
  engine->LabelRegions(2, engine->DirectionMap());
  engine->TrackRegions();
  engine->TestRegionColour(panes.topRight(), engines::RegionColourTest{20, 150, 250, 50, 150});
  const std::span<uint8_t> labels = engine->LabelMap();
  const std::span<const uint8_t> persistence = d->Persistence();
  for (size_t b = 0; b < labels.size(); ++b) {
    const bool inRegion = labels[b] >= 10 && labels[b] < 10 + SmokeEngine::kMaxRegions;
    if (inRegion && persistence[b] == 0) labels[b] = kNoDetectorEvidence;
  }
  d->DrawRects(panes.bottomLeft(), frame, false);
  engine->AccumulateDirections();
  engine->FindDominantDirections(25, 30);
  engine->LabelRegions(3, engine->DominantMap());
  state.alarmFlag = engine->DecideAlarm();
  engine->DrawDominantDirections(panes.bottomRight());
  engine->AdvanceFrame();
}

uint64_t DetectingModeMemory(const DetectionState&, int width, int height) {
  return HaarDetector::Bytes(width, height, FileBytes()) + sizeof(HaarState);
}

uint64_t AdaboostMotionModeMemory(const DetectionState& state, int width, int height) {
  return DetectingModeMemory(state, width, height) + EngineeringModeBytes(width, height);
}

}  // namespace fw

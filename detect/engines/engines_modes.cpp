#include "detect/engines/engines_modes.h"

#include <algorithm>
#include <string>

#include "core/text_stamp.h"
#include "core/ui_sink.h"
#include "detect/dispatch.h"

namespace fw {

namespace {

using engines::FuzzyMatEngine;
using engines::LosingFramesEngine;
using engines::SmokeEngine;
using engines::SpringMouthEngine;

// Says once per selection why the engine does not take the frame pane.
template <typename Engine>
void ReportUnusable(DetectionState& state, const Engine* engine) {
  if (state.engines.formatReported) return;
  state.engines.formatReported = true;
  const char* label = state.mode != nullptr ? state.mode->label : "Engine";
  const Dib& frame = state.panes.topLeft();
  std::string text = label;
  if (engine == nullptr) {
    text += ": the engine was rebuilt for another mode; select the mode again.";
  } else if (engine->Width() == 0) {
    text +=
        ": the engine was selected without a colour frame; open a video and select the mode "
        "again.";
  } else {
    text += ": the frame is now " + std::to_string(frame.Width()) + " x " +
            std::to_string(frame.Height()) + " (" + std::to_string(frame.GetBitCount()) +
            "-bit) but the engine was built for " + std::to_string(engine->Width()) + " x " +
            std::to_string(engine->Height()) + " (24-bit); select the mode again.";
  }
  CurrentUiSink().Message(text, label, MessageButtons::Ok);
}

// The smoke engine when it is of the kind the mode built and takes the frame pane, else null
// (reported once).
template <typename Engine>
Engine* UsableEngine(DetectionState& state) {
  Engine* engine = std::get_if<Engine>(&state.engines.smokeEngine);
  if (engine != nullptr && engine->FrameMatches()) return engine;
  ReportUnusable(state, engine);
  return nullptr;
}

template <typename Engine>
Engine& NewEngine(DetectionState& state) {
  state.engines.formatReported = false;
  return state.engines.smokeEngine.emplace<Engine>();
}

// Outlines of blocks `size` pixels wide: block (c, r) covers picture columns size c .. size c +
// size - 1 and rows size r .. from the bottom.
void Outline(Overlays& overlays, int c, int r, int size, int inset, Rgb8 colour) {
  overlays.push_back({c * size + inset, r * size + inset, (c + 1) * size - 1 - inset,
                      (r + 1) * size - 1 - inset, colour.red, colour.green, colour.blue});
}

void OutlineClickedBlock(const DetectionState& state, Overlays& overlays, int size) {
  const Dib& picture = state.panes[PaneId::TopLeft];
  const int x = std::clamp(state.engines.blockClickX, 0, std::max(picture.Width() - 1, 0));
  const int y = std::clamp(state.engines.blockClickY, 0, std::max(picture.Height() - 1, 0));
  Outline(overlays, x / size, y / size, size, 1, {255, 255, 0});
}

constexpr Rgb8 kGreen{0, 255, 0};
constexpr Rgb8 kRed{255, 0, 0};

// The allocator's rounding of an engine's blocks, and the pages of its largest ones.
constexpr size_t kRounding = 16384;

size_t PaneBytes(int width, int height, int bitCount) {
  return static_cast<size_t>(DibStride(width, bitCount)) * std::max(height, 0);
}

}  // namespace

// --- selection -----------------------------------------------------------------------------

void BuildFuzzyMatMode(DetectionState& state) {
  NewEngine<FuzzyMatEngine>(state).InitialiseMat(state.panes.topLeft());
  state.alarmFlag = 0;
  EnsureGlyphAtlas(state.panes.topRight());
}

void BuildLosingFramesMode(DetectionState& state) {
  state.engines.formatReported = false;
  state.engines.losingFrames = std::make_unique<LosingFramesEngine>();
  Dib& frame = state.panes.topLeft();
  state.engines.losingFrames->Prepare(frame);
  EnsureFrameFormat(state.panes.display, frame.Width(), frame.Height(), 8);
}

void BuildEngineeringMode(DetectionState& state) {
  NewEngine<SmokeEngine>(state).InitialiseEngineering(state.panes.topLeft());
  state.alarmFlag = 0;
  EnsureGlyphAtlas(state.panes.bottomRight());
}

void BuildFuzzyEngineeringMode(DetectionState& state) {
  NewEngine<SmokeEngine>(state).InitialiseFuzzy(state.panes.topLeft());
  state.alarmFlag = 0;
  EnsureGlyphAtlas(state.panes.bottomRight());
}

void BuildSpringMouthMode(DetectionState& state) {
  NewEngine<SpringMouthEngine>(state).InitialiseSpringMouth(state.panes.topLeft());
  EnsureGlyphAtlas(state.panes.bottomRight());
}

// --- per frame -----------------------------------------------------------------------------

void FuzzyMatModeStep(DetectionState& state) {
  FuzzyMatEngine* engine = UsableEngine<FuzzyMatEngine>(state);
  if (engine == nullptr) {
    state.alarmFlag = 0;
    return;
  }
  Panes& panes = state.panes;
  engine->EstimateBlockDirections();
  engine->DrawBlockDirections(panes.bottomLeft());
  engine->DrawBlockDominants(panes.bottomRight());
  state.alarmFlag = engine->VoteDirections(panes.topRight());
  engine->EndMatFrame();
}

void LosingFramesModeStep(DetectionState& state) {
  LosingFramesEngine* engine = state.engines.losingFrames.get();
  if (engine == nullptr || !engine->FrameMatches()) {
    ReportUnusable(state, engine);
    return;
  }
  Panes& panes = state.panes;
  const int threshold = state.threshold & 0xFF;  // the low byte
  engine->AddFrame(state.frameNumber, panes.topLeft());
  engine->ShowMean(panes.topRight());
  engine->CombineDifferences(1, threshold);
  engine->ShowDifference(0, panes.bottomLeft(), threshold);
  engine->ShowDifference(1, panes.bottomRight(), threshold);
  engine->ShowPlane(3, panes.display);
}

void EngineeringModeStep(DetectionState& state) {
  SmokeEngine* engine = UsableEngine<SmokeEngine>(state);
  if (engine == nullptr) {
    state.alarmFlag = 0;
    return;
  }
  Panes& panes = state.panes;
  engine->EstimateBlockMotion();
  engine->LabelRegions(2, engine->DirectionMap());
  engine->TrackRegions();
  engine->TestRegionColour(panes.topRight(), engines::RegionColourTest{20, 150, 250, 50, 150});
  engine->DrawMotion(panes.bottomLeft());
  engine->DrawTracks(panes.bottomLeft());
  engine->AccumulateDirections();
  engine->FindDominantDirections(25, 30);
  engine->LabelRegions(3, engine->DominantMap());
  state.alarmFlag = engine->DecideAlarm();
  engine->DrawDominantDirections(panes.bottomRight());
  engine->AdvanceFrame();
}

void FuzzyEngineeringModeStep(DetectionState& state) {
  SmokeEngine* engine = UsableEngine<SmokeEngine>(state);
  if (engine == nullptr || !engine->Fuzzy()) {
    state.alarmFlag = 0;
    return;
  }
  Panes& panes = state.panes;
  engine->EstimateFuzzyMotion();
  engine->LabelRegions(2, engine->DirectionMap());
  engine->TrackRegions();
  engine->DrawMotion(panes.bottomLeft());
  engine->AccumulateDirections();
  engine->FindDominantDirections(25, 30);
  engine->LabelRegions(3, engine->DominantMap());
  engine->ComputeRegionStatistics();
  engine->DrawRegionStatistics(panes.topRight());
  state.alarmFlag = engine->DecideAlarm();
  engine->DrawDominantDirections(panes.bottomRight());
  engine->AdvanceFrame();
}

void SpringMouthModeStep(DetectionState& state) {
  SpringMouthEngine* engine = UsableEngine<SpringMouthEngine>(state);
  if (engine == nullptr) return;
  Panes& panes = state.panes;
  engine->ComputeIntegralImages();
  engine->SearchBlockMotion();
  engine->DrawBlockVectors(panes.bottomLeft());
  engine->ClassifyAndAccumulate();
  engine->LabelMovingRegions(3);
  engine->DrawRegionMotion(panes.bottomRight());
  engine->BuildAngleHistograms();
  engine->DrawAngleSpectra(panes.topRight());
  engine->AdvanceSlot();
}

// --- the top-left pane ------------------------------------------------------------------------

void FuzzyMatOverlays(const DetectionState& state, Overlays& overlays) {
  const auto* engine = std::get_if<FuzzyMatEngine>(&state.engines.smokeEngine);
  if (engine == nullptr || !engine->FrameMatches()) return;
  constexpr int kSize = FuzzyMatEngine::kBlockSize;
  const int columns = engine->Columns();
  for (int i = 0; i < engine->BlockCount(); ++i) {
    if (engine->ChangeMap()[i] == FuzzyMatEngine::kChanged) {
      Outline(overlays, i % columns, i / columns, kSize, 0, kGreen);
    }
  }
  for (int i = 0; i < engine->BlockCount(); ++i) {
    if (engines::IsUpwardCode(engine->DominantMap()[i])) {
      Outline(overlays, i % columns, i / columns, kSize, 0, kRed);
    }
  }
  OutlineClickedBlock(state, overlays, kSize);
}

void EngineeringOverlays(const DetectionState& state, Overlays& overlays) {
  const auto* engine = std::get_if<SmokeEngine>(&state.engines.smokeEngine);
  if (engine == nullptr || !engine->FrameMatches()) return;
  constexpr int kSize = SmokeEngine::kBlockSize;
  const int columns = engine->Columns();
  for (int i = 0; i < engine->BlockCount(); ++i) {
    if (engine->MovingMap()[i] != 0) Outline(overlays, i % columns, i / columns, kSize, 0, kGreen);
  }
  for (int i = 0; i < engine->BlockCount(); ++i) {
    if (engines::IsRegionLabel(engine->LabelMap()[i], engine->RegionCount()) &&
        engines::IsUpwardCode(engine->DominantMap()[i])) {
      Outline(overlays, i % columns, i / columns, kSize, 0, kRed);
    }
  }
  OutlineClickedBlock(state, overlays, kSize);
}

void PickEngineBlock(DetectionState& state, int x, int y) {
  state.engines.blockClickX = x;
  state.engines.blockClickY = y;
}

// --- memory ------------------------------------------------------------------------------------

size_t FuzzyMatModeBytes(int width, int height) {
  return FuzzyMatEngine::Bytes(width, height) + GlyphAtlasBytes() + kRounding;
}

size_t LosingFramesModeBytes(int width, int height) {
  // The engine and the display dialog's 8-bit picture; no text.
  return sizeof(LosingFramesEngine) + LosingFramesEngine::Bytes(width, height) +
         PaneBytes(width, height, 8) + kRounding;
}

size_t EngineeringModeBytes(int width, int height) {
  return SmokeEngine::EngineeringBytes(width, height) + GlyphAtlasBytes() + kRounding;
}

size_t FuzzyEngineeringModeBytes(int width, int height) {
  return SmokeEngine::FuzzyBytes(width, height) + GlyphAtlasBytes() + kRounding;
}

size_t SpringMouthModeBytes(int width, int height) {
  return SpringMouthEngine::Bytes(width, height) + GlyphAtlasBytes() + kRounding;
}

}  // namespace fw

#include "app/evaluation/evidence.h"

#include <algorithm>
#include <variant>

#include "detect/engines/fuzzy_mat_engine.h"
#include "detect/engines/smoke_engine.h"
#include "detect/engines/spring_mouth_engine.h"
#include "detect/flame/infrared_detector.h"
#include "detect/smoke/smoke_flame_detector.h"
#include "learn/haar/haar_state.h"
#include "learn/modes/classifier_modes_state.h"

namespace fw {

namespace {

using Reader = std::optional<double> (*)(const DetectionState&);

std::optional<double> MotionPixels(const DetectionState& state) {
  return state.motion.featureCount;
}

std::optional<double> InfraredVotes(const DetectionState& state) {
  if (!state.flame.infraredDetector) return std::nullopt;
  return state.flame.infraredDetector->Votes();
}

std::optional<double> FinalMaskPixels(const DetectionState& state) {
  if (!state.smoke.detector) return std::nullopt;
  const auto mask = state.smoke.detector->FinalMask();
  return static_cast<double>(std::count_if(mask.begin(), mask.end(), [](uint8_t b) { return b; }));
}

std::optional<double> FrameFlagVotes(const DetectionState& state) {
  const auto& flags = state.smoke.frameFlags;
  return static_cast<double>(
      std::count_if(flags.begin(), flags.end(), [](uint8_t b) { return b; }));
}

std::optional<double> FuzzyMatVotes(const DetectionState& state) {
  const auto* engine = std::get_if<engines::FuzzyMatEngine>(&state.engines.smokeEngine);
  if (!engine) return std::nullopt;
  return engine->YesVotes();
}

std::optional<double> FlaggedFrames(const DetectionState& state) {
  const auto* engine = std::get_if<engines::SmokeEngine>(&state.engines.smokeEngine);
  if (!engine) return std::nullopt;
  return engine->FlaggedFrames();
}

std::optional<double> SpringMouthRegions(const DetectionState& state) {
  const auto* engine = std::get_if<engines::SpringMouthEngine>(&state.engines.smokeEngine);
  if (!engine) return std::nullopt;
  return engine->RegionCount();
}

std::optional<double> ClassifierWindows(const DetectionState& state) {
  if (!state.classifierModes) return std::nullopt;
  return state.classifierModes->windows.Count();
}

std::optional<double> HaarWindows(const DetectionState& state) {
  if (!state.haar) return std::nullopt;
  return static_cast<double>(state.haar->detector.Rects().size());
}

struct EvidenceRow {
  ModeId mode;
  const char* name;
  Reader read;
};

const EvidenceRow kEvidence[] = {
    {ModeId::GaussGrad, "motion pixels", MotionPixels},
    {ModeId::HighOrderMoment, "motion pixels", MotionPixels},
    {ModeId::DifferenceAccumulation, "motion pixels", MotionPixels},
    {ModeId::Infrared, "fire votes of the window", InfraredVotes},
    {ModeId::FourStageFlame, "flame pixels", FinalMaskPixels},
    {ModeId::Smoke, "smoke pixels", FinalMaskPixels},
    {ModeId::BlockSmoke, "smoke frame votes of 125", FrameFlagVotes},
    {ModeId::FuzzyMat, "upward votes of the window", FuzzyMatVotes},
    {ModeId::Engineering, "flagged frames of the window", FlaggedFrames},
    {ModeId::FuzzyEngineering, "flagged frames of the window", FlaggedFrames},
    {ModeId::SpringMouth, "moving regions", SpringMouthRegions},
    {ModeId::Detecting, "accepted windows", HaarWindows},
    {ModeId::AdaboostMotion, "flagged frames of the window", FlaggedFrames},
    {ModeId::RealAdaBoost, "accepted windows", ClassifierWindows},
    {ModeId::NeuralNetwork, "accepted windows", ClassifierWindows},
    {ModeId::BoostedLbp, "accepted windows", ClassifierWindows},
    {ModeId::Pltp, "accepted windows", ClassifierWindows},
    {ModeId::Pldp, "accepted windows", ClassifierWindows},
};

const EvidenceRow* Find(ModeId mode) {
  const auto it = std::find_if(std::begin(kEvidence), std::end(kEvidence),
                               [mode](const EvidenceRow& row) { return row.mode == mode; });
  return it == std::end(kEvidence) ? nullptr : &*it;
}

}  // namespace

std::optional<double> ModeEvidence(const DetectionState& state) {
  const EvidenceRow* row = Find(state.Mode());
  return row ? row->read(state) : std::nullopt;
}

const char* EvidenceName(ModeId mode) {
  const EvidenceRow* row = Find(mode);
  return row ? row->name : nullptr;
}

}  // namespace fw

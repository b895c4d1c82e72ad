#include "app/mode_table.h"

#include <algorithm>

#include "detect/background/background_modes.h"
#include "detect/smoke/smoke_modes.h"

namespace fw {

namespace {

constexpr PaneFormat kSame = PaneFormat::Unchanged;
constexpr PaneFormat kGrey = PaneFormat::Grey;
constexpr PaneFormat kColour = PaneFormat::Colour;
using M = ModeId;

// Mode 0 builds nothing.
uint64_t NoMemory(const DetectionState&, int, int) {
  return 0;
}

// clang-format off
const ModeInfo kModes[] = {
    {M::None, "Null", 1011, ModeCommand::Button, {kSame, kSame, kSame},
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}, NoMemory},
    // background models: difference and Gauss-model buttons, background-model menu modes
    {M::BackwardDifference, "Backward", 1009, ModeCommand::Button, {kSame, kColour, kSame},
     BuildBackwardMode, BackwardModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     DifferenceModeMemory},
    {M::CentreDifference, "Center", 1010, ModeCommand::Button, {kSame, kColour, kSame},
     BuildCentreMode, CentreModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     DifferenceModeMemory},
    {M::Mixture, "Mix Gauss", 1013, ModeCommand::Button, {kSame, kColour, kSame},
     BuildMixtureMode, MixtureModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     MixtureModeMemory},
    {M::Gauss, "Single Gauss", 1014, ModeCommand::Button, {kSame, kColour, kSame},
     BuildGaussMode, GaussModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     GaussModeMemory},
    {M::Density, "Nonparameter", 1018, ModeCommand::Button, {kSame, kColour, kSame},
     BuildDensityMode, DensityModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     DensityModeMemory},
    {M::Mixture2, "Mix2", 1041, ModeCommand::Button, {kSame, kColour, kSame},
     BuildMixture2Mode, Mixture2ModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     Mixture2ModeMemory},
    {M::TimeBackground, "Time and background Model", 7001, ModeCommand::Menu,
     {kColour, kColour, kSame}, BuildTimeBackgroundMode, TimeBackgroundModeStep, nullptr, nullptr,
     nullptr, nullptr, BackgroundFields(), TimeBackgroundModeMemory},
    {M::SimpleBackground, "Simple Background Model", 7002, ModeCommand::Menu,
     {kGrey, kColour, kSame}, BuildSimpleBackgroundMode, SimpleBackgroundModeStep, nullptr, nullptr,
     nullptr, nullptr, BackgroundFields(), SimpleBackgroundModeMemory},
    {M::AccurateBackground, "Accurate Time Background Model", 7004, ModeCommand::Menu,
     {kColour, kColour, kColour}, BuildAccurateBackgroundMode, AccurateBackgroundModeStep, nullptr,
     nullptr, nullptr, nullptr, BackgroundFields(), TimeBackgroundModeMemory},
    // smoke detector
    {M::Smoke, "Fumewatch", 7010, ModeCommand::Menu, {kGrey, kGrey, kColour},
     BuildSmokeMode, SmokeModeStep, nullptr, SmokeModeEndOfFrame, nullptr, nullptr, SmokeFields(),
     SmokeModeMemory},
    {M::BlockSmoke, "Fumewatch(Block)", 7011, ModeCommand::Menu, {kGrey, kGrey, kColour},
     BuildBlockSmokeMode, BlockSmokeModeStep, nullptr, BlockSmokeModeEndOfFrame,
     BlockSmokeOverlays, PickSmokeBlock, SmokeFields(), BlockSmokeModeMemory},
};
// clang-format on

// The menus' labels of the modes not built yet; a mode leaves this list when its row comes.
struct MenuMode {
  ModeId id;
  const char* label;
};
const MenuMode kMenuOnlyModes[] = {
    {M::GaussGrad, "Differ [Single Gauss (grad)]"},
    {M::HighOrderMoment, "High order moment"},
    {M::DifferenceAccumulation, "Frame difference accumulation"},
    {M::Infrared, "Infrared detection"},
    {M::FourStageFlame, "Four stage flame detection"},
    {M::FuzzyMat, "Fuzzy MAT"},
    {M::LosingFrames, "Losing Frames FWX"},
    {M::Engineering, "Engineering FWX"},
    {M::FuzzyEngineering, "Fuzzy Engineering FWX"},
    {M::SpringMouth, "MSEA FWX (Spring mouth)"},
    {M::Training, "Training"},
    {M::Detecting, "Detecting"},
    {M::AdaboostMotion, "Adaboost+Motion"},
    {M::RealAdaBoost, "RealAdaBoost Detectiong"},
    {M::BoostedLbp, "Boosted LBP"},
    {M::Pltp, "PLTP"},
    {M::Pldp, "PLDP"},
    {M::NeuralNetwork, "Neural Network based on LBP"},
};

}  // namespace

std::span<const ModeInfo> Modes() {
  return kModes;
}

const ModeInfo* FindMode(ModeId id) {
  const auto it = std::find_if(std::begin(kModes), std::end(kModes),
                               [id](const ModeInfo& m) { return m.id == id; });
  return it == std::end(kModes) ? nullptr : &*it;
}

const ModeInfo* FindMode(int number) {
  return FindMode(static_cast<ModeId>(number));
}

const char* ModeLabel(ModeId id) {
  if (const ModeInfo* mode = FindMode(id)) return mode->label;
  for (const MenuMode& m : kMenuOnlyModes) {
    if (m.id == id) return m.label;
  }
  return nullptr;
}

}  // namespace fw

#include "app/mode_table.h"

#include <algorithm>

#include "detect/background/background_modes.h"
#include "detect/engines/engines_modes.h"
#include "detect/flame/flame_modes.h"
#include "detect/motion/motion_modes.h"
#include "detect/smoke/smoke_modes.h"
#include "learn/modes/classifier_modes.h"
#include "learn/haar/haar_modes.h"

namespace fw {

namespace {

constexpr PaneFormat kSame = PaneFormat::Unchanged;
constexpr PaneFormat kGrey = PaneFormat::Grey;
constexpr PaneFormat kColour = PaneFormat::Colour;
using M = ModeId;

// Captions of the panes the background models display into.
constexpr const char* kModelDisplay = "Model display (Foreground/Background choice)";
constexpr bool kBuildsModel = true;

// Mode 0 builds nothing.
uint64_t NoMemory(const DetectionState&, int, int) {
  return 0;
}

// The estimate of a mode whose buffers depend on the frame size alone.
template <size_t (*ModeBytes)(int, int)>
uint64_t Bytes(const DetectionState&, int width, int height) {
  return ModeBytes(width, height);
}

// clang-format off
const ModeInfo kModes[] = {
    {M::None, "Null", 1011, ModeCommand::Button, {kSame, kSame, kSame},
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}, false, {}, NoMemory},
    // background models: difference and Gauss-model buttons, background-model menu modes
    {M::BackwardDifference, "Backward", 1009, ModeCommand::Button, {kSame, kColour, kSame},
     BuildBackwardMode, BackwardModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, "Backward frame difference", kModelDisplay, nullptr},
     DifferenceModeMemory},
    {M::CentreDifference, "Center", 1010, ModeCommand::Button, {kSame, kColour, kSame},
     BuildCentreMode, CentreModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, "Centre frame difference", kModelDisplay, nullptr},
     DifferenceModeMemory},
    {M::Mixture, "Mix Gauss", 1013, ModeCommand::Button, {kSame, kColour, kSame},
     BuildMixtureMode, MixtureModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, nullptr, kModelDisplay, nullptr}, MixtureModeMemory},
    {M::Gauss, "Single Gauss", 1014, ModeCommand::Button, {kSame, kColour, kSame},
     BuildGaussMode, GaussModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, nullptr, "Model display, after 60 learning frames", nullptr},
     GaussModeMemory},
    {M::Density, "Nonparameter", 1018, ModeCommand::Button, {kSame, kColour, kSame},
     BuildDensityMode, DensityModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, nullptr, kModelDisplay, nullptr}, DensityModeMemory},
    {M::Mixture2, "Mix2", 1041, ModeCommand::Button, {kSame, kColour, kSame},
     BuildMixture2Mode, Mixture2ModeStep, nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, nullptr, kModelDisplay, nullptr}, Mixture2ModeMemory},
    {M::TimeBackground, "Time and background Model", 7001, ModeCommand::Menu,
     {kColour, kColour, kSame}, BuildTimeBackgroundMode, TimeBackgroundModeStep, nullptr, nullptr,
     nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {"Previous frame", "Background", kModelDisplay, nullptr},
     TimeBackgroundModeMemory},
    {M::SimpleBackground, "Simple Background Model", 7002, ModeCommand::Menu,
     {kGrey, kColour, kSame}, BuildSimpleBackgroundMode, SimpleBackgroundModeStep, nullptr, nullptr,
     nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, "Previous median-filtered grey frame", kModelDisplay, nullptr},
     SimpleBackgroundModeMemory},
    {M::AccurateBackground, "Accurate Time Background Model", 7004, ModeCommand::Menu,
     {kColour, kColour, kColour}, BuildAccurateBackgroundMode, AccurateBackgroundModeStep, nullptr,
     nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {"Previous denoised frame", "Background", kModelDisplay, nullptr},
     TimeBackgroundModeMemory},
    // motion features (their masks are a background model)
    {M::GaussGrad, "Differ [Single Gauss (grad)]", 7005, ModeCommand::Menu,
     {kColour, kColour, kSame}, BuildGaussGradMode, GaussGradModeStep, nullptr, nullptr, nullptr,
     nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, "Frame difference", kModelDisplay, "Moment plot"},
     Bytes<GaussGradModeBytes>},
    {M::HighOrderMoment, "High order moment", 7006, ModeCommand::Menu,
     {kColour, kColour, kColour}, BuildHighOrderMomentMode, HighOrderMomentModeStep, nullptr,
     nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, "Frame difference", kModelDisplay, "Regions at selection"},
     Bytes<HighOrderMomentModeBytes>},
    {M::DifferenceAccumulation, "Frame difference accumulation", 7007, ModeCommand::Menu,
     {kColour, kColour, kColour}, BuildDifferenceAccumulationMode, DifferenceAccumulationModeStep,
     nullptr, nullptr, nullptr, nullptr, BackgroundFields(),
     kBuildsModel, {nullptr, "Frame difference", kModelDisplay, nullptr},
     Bytes<DifferenceAccumulationModeBytes>},
    // flame and infrared
    {M::Infrared, "Infrared detection", 7008, ModeCommand::Menu, {kGrey, kGrey, kColour},
     BuildInfraredMode, InfraredModeStep, nullptr, nullptr, nullptr, nullptr, InfraredFields(),
     false, {nullptr, nullptr, "Hot areas, zero pixels blue", "Shape change and its limit (red)"},
     InfraredModeMemory},
    {M::FourStageFlame, "Four stage flame detection", 7009, ModeCommand::Menu,
     {kGrey, kGrey, kColour}, BuildFlameMode, FlameModeStep, nullptr, FlameModeEndOfFrame,
     nullptr, nullptr, SmokeFields(),
     false, {nullptr, "Motion mask", "Flame pixels tinted green", nullptr}, FlameModeMemory},
    // smoke detector
    {M::Smoke, "Fumewatch", 7010, ModeCommand::Menu, {kGrey, kGrey, kColour},
     BuildSmokeMode, SmokeModeStep, nullptr, SmokeModeEndOfFrame, nullptr, nullptr, SmokeFields(),
     false, {nullptr, "Motion mask", "Smoke pixels tinted green", nullptr}, SmokeModeMemory},
    {M::BlockSmoke, "Fumewatch(Block)", 7011, ModeCommand::Menu, {kGrey, kGrey, kColour},
     BuildBlockSmokeMode, BlockSmokeModeStep, nullptr, BlockSmokeModeEndOfFrame,
     BlockSmokeOverlays, PickSmokeBlock, SmokeFields(),
     false, {"Frame: motion blocks green, smoke red, plotted yellow",
             "Block motion: moving blocks yellow, others blue",
             "Edges of the yellow block: current yellow, background blue",
             "Motion count per block (blue)"}, BlockSmokeModeMemory},
    // block-motion smoke engines: 7012 runs inside RunDetectionStep, the others after the panes
    {M::FuzzyMat, "Fuzzy MAT", 7012, ModeCommand::Menu, {kColour, kColour, kColour},
     BuildFuzzyMatMode, FuzzyMatModeStep, nullptr, nullptr, FuzzyMatOverlays, PickEngineBlock, {},
     false, {"Previous frame: changed blocks green, upward blocks red",
             "Direction votes of 100 frames", "Block directions", "Dominant directions"},
     Bytes<FuzzyMatModeBytes>},
    {M::LosingFrames, "Losing Frames FWX", 7013, ModeCommand::Menu, {kGrey, kGrey, kGrey},
     BuildLosingFramesMode, nullptr, LosingFramesModeStep, nullptr, nullptr, nullptr, {},
     false, {nullptr, "Mean of seven frames", "Change over four frames", "Change over two frames"},
     Bytes<LosingFramesModeBytes>},
    {M::Engineering, "Engineering FWX", 7014, ModeCommand::Menu, {kColour, kColour, kColour},
     BuildEngineeringMode, nullptr, EngineeringModeStep, nullptr, EngineeringOverlays, nullptr,
     {}, false, {"Frame: moving blocks green, upward regions red", "Colour test of the regions",
                 "Block motion and region tracks", "Dominant directions"},
     Bytes<EngineeringModeBytes>},
    {M::FuzzyEngineering, "Fuzzy Engineering FWX", 7015, ModeCommand::Menu,
     {kColour, kColour, kColour}, BuildFuzzyEngineeringMode, nullptr, FuzzyEngineeringModeStep,
     nullptr, nullptr, nullptr, {},
     false, {nullptr, "Region covariances", "Block motion", "Dominant directions"},
     Bytes<FuzzyEngineeringModeBytes>},
    {M::SpringMouth, "MSEA FWX (Spring mouth)", 7016, ModeCommand::Menu,
     {kColour, kColour, kColour}, BuildSpringMouthMode, nullptr, SpringMouthModeStep, nullptr,
     nullptr, nullptr, {},
     false, {nullptr, "Angle histogram (red) and its spectrum (green)", "Block vectors",
             "Region motion"}, Bytes<SpringMouthModeBytes>},
    // classifier modes: cascades over windows of every frame, evidence over frames
    {M::RealAdaBoost, "RealAdaBoost Detectiong", 7020, ModeCommand::Menu,
     {kColour, kColour, kColour}, BuildRealAdaBoostMode, nullptr, RealAdaBoostModeStep, nullptr,
     ClassifierOverlays, nullptr, {},
     false, {nullptr, "Byte cascade windows: confirmed red, unconfirmed green, refused blue",
             "Colour change over three frames (red by count, green just ended)",
             "Motion mask and the smoky-frame rate"}, RealAdaBoostModeMemory},
    {M::NeuralNetwork, "Neural Network based on LBP", 7021, ModeCommand::Menu,
     {kColour, kGrey, kColour}, BuildNeuralNetworkMode, nullptr, NeuralNetworkModeStep, nullptr,
     ClassifierOverlays, nullptr, {},
     false, {nullptr, "Network windows (their central squares): confirmed red, unconfirmed green",
             nullptr, "Block persistence, regions (red kept, blue too small) and the rate"},
     NeuralNetworkModeMemory},
    {M::BoostedLbp, "Boosted LBP", 7022, ModeCommand::Menu, {kColour, kGrey, kColour},
     BuildBoostedLbpMode, nullptr, BoostedLbpModeStep, nullptr, ClassifierOverlays, nullptr, {},
     false, {nullptr, "BLBP cascade windows: confirmed red, unconfirmed green", nullptr,
             "Block persistence, regions (red kept, blue too small) and the rate"},
     BoostedLbpModeMemory},
    {M::Pltp, "PLTP", 7023, ModeCommand::Menu, {kColour, kGrey, kColour},
     BuildPltpMode, nullptr, PltpModeStep, nullptr, ClassifierOverlays, nullptr, {},
     false, {nullptr, "PLTP cascade windows: confirmed red, unconfirmed green", nullptr,
             "Block persistence, regions (red kept, blue too small) and the rate"},
     PltpModeMemory},
    {M::Pldp, "PLDP", 7024, ModeCommand::Menu, {kColour, kColour, kColour},
     BuildPldpMode, nullptr, PldpModeStep, nullptr, ClassifierOverlays, nullptr, {},
     false, {nullptr, "EOH cascade windows: confirmed red, unconfirmed green",
             "Colour-changed blocks (blue)", "Raised blocks of the last 100 frames"},
     PldpModeMemory},
    // the Haar detector of the "Adaboost" submenu: alone, and with the engineering smoke engine
    {M::Detecting, "Detecting", 7017, ModeCommand::Menu, {kColour, kColour, kColour},
     BuildDetectingMode, nullptr, DetectingModeStep, nullptr, nullptr, nullptr, {},
     false, {nullptr, "Detections: confirmed red, others green",
             "Block change: grey red, range green, both blue", "Persistence (yellow from 30)"},
     DetectingModeMemory},
    {M::AdaboostMotion, "Adaboost+Motion", 7019, ModeCommand::Menu, {kColour, kColour, kColour},
     BuildAdaboostMotionMode, nullptr, AdaboostMotionModeStep, nullptr, nullptr, nullptr, {},
     false, {nullptr, "Colour test of the regions", "Detections (red)", "Dominant directions"},
     AdaboostMotionModeMemory},
};
// clang-format on

// The menus' labels of the modes not built yet; a mode leaves this list when its row comes.
struct MenuMode {
  ModeId id;
  const char* label;
};
const MenuMode kMenuOnlyModes[] = {
    {M::Training, "Training"},
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

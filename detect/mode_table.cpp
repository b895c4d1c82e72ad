#include "detect/mode_table.h"

#include <algorithm>

#include "detect/background_modes.h"

#include "detect/smoke_modes.h"

namespace fw {

namespace {

constexpr PaneFormat kSame = PaneFormat::Unchanged;
constexpr PaneFormat kGrey = PaneFormat::Grey;
constexpr PaneFormat kColour = PaneFormat::Colour;

const ModeInfo kModes[] = {
    {0, "Null", 1011, ModeCommand::Button, {kSame, kSame, kSame}, nullptr, nullptr, nullptr,
     nullptr},
    // background models: difference and Gauss-model buttons, background-model menu modes
    {1, "Backward", 1009, ModeCommand::Button, {kSame, kColour, kSame}, BuildBackwardMode,
     BackwardModeStep, nullptr, nullptr},
    {2, "Center", 1010, ModeCommand::Button, {kSame, kColour, kSame}, BuildCentreMode,
     CentreModeStep, nullptr, nullptr},
    {257, "Mix Gauss", 1013, ModeCommand::Button, {kSame, kColour, kSame}, BuildMixtureMode,
     MixtureModeStep, nullptr, nullptr},
    {258, "Single Gauss", 1014, ModeCommand::Button, {kSame, kColour, kSame}, BuildGaussMode,
     GaussModeStep, nullptr, nullptr},
    {260, "Nonparameter", 1018, ModeCommand::Button, {kSame, kColour, kSame}, BuildDensityMode,
     DensityModeStep, nullptr, nullptr},
    {264, "Mix2", 1041, ModeCommand::Button, {kSame, kColour, kSame}, BuildMixture2Mode,
     Mixture2ModeStep, nullptr, nullptr},
    {7001, "Time and background Model", 7001, ModeCommand::Menu, {kColour, kColour, kSame},
     BuildTimeBackgroundMode, TimeBackgroundModeStep, nullptr, nullptr},
    {7002, "Simple Background Model", 7002, ModeCommand::Menu, {kGrey, kColour, kSame},
     BuildSimpleBackgroundMode, SimpleBackgroundModeStep, nullptr, nullptr},
    {7004, "Accurate Time Background Model", 7004, ModeCommand::Menu, {kColour, kColour, kColour},
     BuildAccurateBackgroundMode, AccurateBackgroundModeStep, nullptr, nullptr},
    // smoke detector
    {kModeSmoke, "Fumewatch", kModeSmoke, ModeCommand::Menu,
     {PaneFormat::Grey, PaneFormat::Grey, PaneFormat::Colour}, BuildSmokeMode, SmokeModeStep,
     nullptr, SmokeModeEndOfFrame},
    {kModeBlockSmoke, "Fumewatch(Block)", kModeBlockSmoke, ModeCommand::Menu,
     {PaneFormat::Grey, PaneFormat::Grey, PaneFormat::Colour}, BuildBlockSmokeMode,
     BlockSmokeModeStep, nullptr, BlockSmokeModeEndOfFrame},
};

}  // namespace

std::span<const ModeInfo> Modes() { return kModes; }

const ModeInfo* FindMode(int number) {
  const auto it = std::find_if(std::begin(kModes), std::end(kModes),
                               [number](const ModeInfo& m) { return m.number == number; });
  return it == std::end(kModes) ? nullptr : &*it;
}

}  // namespace fw

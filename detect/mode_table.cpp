#include "detect/mode_table.h"

#include <algorithm>

#include "detect/smoke_modes.h"

namespace fw {

namespace {

constexpr PaneFormat kSame = PaneFormat::Unchanged;

const ModeInfo kModes[] = {
    {0, "Null", 1011, ModeCommand::Button, {kSame, kSame, kSame}, nullptr, nullptr, nullptr,
     nullptr},
    // background models: difference and Gauss-model buttons, background-model menu modes
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

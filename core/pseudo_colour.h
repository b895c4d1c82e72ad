// Pseudo-colour: twelve colour tables that turn an 8-bit picture into a false-colour one by
// replacing its palette, and the green palette of the mask displays.
#pragma once

#include <array>
#include <string_view>

#include "core/colour.h"
#include "core/dib.h"

namespace fw {

inline constexpr int kPseudoColourSchemeCount = 12;
// The scheme the chooser starts with (hot metal 1).
inline constexpr int kDefaultPseudoColourScheme = 11;

using PseudoColourTable = std::array<Rgb8, 256>;

// Table of scheme 1..12 (entries red, green, blue). Requires a scheme in 1..12.
const PseudoColourTable& PseudoColourTableFor(int scheme);
// The scheme's name as the chooser lists it, leading spaces included; empty outside 1..12.
std::string_view PseudoColourName(int scheme);

// Palette entry i of an 8-bit image becomes the scheme's entry i. Other schemes or depths: nothing.
void ApplyPseudoColour(Dib& image, int scheme);
// Palette entries start..255 of an 8-bit image become (blue 0, green i, red 0).
void SetGreenPalette(Dib& image, int start);

}  // namespace fw

#include "core/pseudo_colour.h"

#include <algorithm>
#include <cassert>

namespace fw {

namespace {

using Tables = std::array<PseudoColourTable, kPseudoColourSchemeCount>;

constexpr uint8_t Clamp(int v) {
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
constexpr Rgb8 Entry(int red, int green, int blue) {
  return Rgb8{Clamp(red), Clamp(green), Clamp(blue)};
}

// Rainbow from black: blue rises, then green, blue falls, red rises, green falls, white returns.
constexpr Rgb8 RainbowEntry(int i) {
  if (i == 0) return Entry(0, 0, 0);
  if (i <= 32) return Entry(0, 0, 8 * i - 1);
  if (i <= 64) return Entry(0, 8 * (i - 32), 255);
  if (i <= 96) return Entry(0, 255, 255 - 8 * (i - 64));
  if (i <= 128) return Entry(8 * (i - 96), 255, 0);
  if (i <= 192) return Entry(255, 255 - 4 * (i - 128), 0);
  return Entry(255, 4 * (i - 192), 4 * (i - 192));
}

constexpr Rgb8 HotMetalEntry(int i) {
  if (i <= 64) return Entry(0, 0, 4 * i);
  if (i <= 95) return Entry(4 * (i - 64), 0, 255);
  if (i <= 127) return Entry(4 * (i - 64), 0, 255 - 8 * (i - 95));
  if (i <= 191) return Entry(255, 4 * (i - 128), 0);
  return Entry(255, 255, 4 * (i - 192));
}

// Smooth hot metal: black through violet and crimson, orange and yellow to white, interpolated
// linearly (rounded) between these entries.
struct Knot {
  int index;
  int red, green, blue;
};
constexpr Knot kSmoothHotMetal[] = {
    {0, 0, 0, 0},         {1, 0, 0, 30},        {8, 0, 0, 60},        {16, 0, 0, 94},
    {24, 24, 0, 128},     {32, 48, 0, 162},     {40, 72, 0, 190},     {48, 96, 0, 217},
    {56, 120, 0, 227},    {64, 144, 0, 212},    {72, 162, 0, 183},    {80, 173, 0, 153},
    {88, 184, 0, 124},    {96, 195, 0, 94},     {104, 206, 8, 66},    {112, 217, 30, 37},
    {120, 228, 52, 7},    {128, 239, 74, 0},    {136, 250, 96, 0},    {144, 255, 114, 0},
    {152, 255, 128, 0},   {160, 255, 142, 0},   {168, 255, 156, 0},   {176, 255, 170, 0},
    {184, 255, 184, 0},   {192, 255, 198, 0},   {200, 255, 212, 0},   {208, 255, 226, 0},
    {216, 255, 240, 13},  {224, 255, 255, 65},  {232, 255, 255, 114}, {240, 255, 255, 162},
    {248, 255, 255, 213}, {255, 255, 255, 255},
};

// Linear interpolation between two knots, rounded half up (all values are non-negative).
constexpr int Lerp(int a, int b, int t, int span) {
  return (a * (span - t) + b * t + span / 2) / span;
}

constexpr Tables BuildTables() {
  Tables tables{};
  for (int i = 0; i < 256; ++i) {
    tables[0][i] = Entry(i, i, i);
    tables[1][i] = Entry(255 - i, 255 - i, 255 - i);
    tables[2][i] = Entry(i, 0, 0);
    tables[3][i] = Entry(0, i, 0);
    tables[4][i] = Entry(0, 0, i);
    tables[5][i] = Entry(i, i, 0);
    tables[6][i] = Entry(0, i, i);
    tables[7][i] = Entry(i, 0, i);
    tables[8][i] = RainbowEntry(i);
    // Rainbow from blue: green rises from the start, then as the rainbow from black.
    tables[9][i] =
        i == 0 ? Entry(0, 0, 255) : (i <= 64 ? Entry(0, 4 * i - 1, 255) : RainbowEntry(i));
    tables[10][i] = HotMetalEntry(i);
  }
  for (size_t k = 0; k + 1 < std::size(kSmoothHotMetal); ++k) {
    const Knot& a = kSmoothHotMetal[k];
    const Knot& b = kSmoothHotMetal[k + 1];
    const int span = b.index - a.index;
    for (int t = 0; t <= span; ++t) {
      tables[11][a.index + t] = Entry(Lerp(a.red, b.red, t, span), Lerp(a.green, b.green, t, span),
                                      Lerp(a.blue, b.blue, t, span));
    }
  }
  return tables;
}

constexpr Tables kTables = BuildTables();

constexpr std::string_view kNames[kPseudoColourSchemeCount] = {
    "  1   常规灰度编码",   "  2   逆灰度编码",     "  3   红色饱和度编码", "  4   绿色饱和度编码",
    "  5   蓝色饱和度编码", "  6   黄色饱和度编码", "  7   青色饱和度编码", "  8   紫色饱和度编码",
    "  9   彩虹编码 1",     "10   彩虹编码 2",      "11   热金属编码 1",    "12   热金属编码 2",
};

}  // namespace

const PseudoColourTable& PseudoColourTableFor(int scheme) {
  assert(scheme >= 1 && scheme <= kPseudoColourSchemeCount);
  return kTables[std::clamp(scheme, 1, kPseudoColourSchemeCount) - 1];
}

std::string_view PseudoColourName(int scheme) {
  if (scheme < 1 || scheme > kPseudoColourSchemeCount) return {};
  return kNames[scheme - 1];
}

void ApplyPseudoColour(Dib& image, int scheme) {
  if (scheme < 1 || scheme > kPseudoColourSchemeCount || image.GetBitCount() != 8) return;
  const PseudoColourTable& table = kTables[scheme - 1];
  auto& palette = image.GetPalette();
  for (int i = 0; i < 256; ++i)
    palette[i] = RgbQuad{table[i].blue, table[i].green, table[i].red, 0};
}

void SetGreenPalette(Dib& image, int start) {
  if (image.GetBitCount() != 8) return;
  auto& palette = image.GetPalette();
  for (int i = std::max(start, 0); i < 256; ++i) {
    palette[i] = RgbQuad{0, static_cast<uint8_t>(i), 0, 0};
  }
}

}  // namespace fw

// The window family of texture features: Haar-like rectangle patterns over the integral planes of
// grey level and colour range of a 24-bit picture, in a float form (the Float cascade, online
// learning) and a byte form (the Byte cascade). Codes up to 1000 read the grey planes, codes 1001
// to 1044 the range planes (the code less 1000 is the pattern).
//
// A feature is resolved once against a plane's row length (and a window scale) into box offsets;
// evaluating it at a window is then a handful of lookups. Sample planes (24 x 24) and frame
// planes go through the same resolution and the same value functions, so a cascade decides a
// window of a frame exactly as it decided the same pixels as a training sample.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "learn/integral.h"

namespace fw {

inline constexpr int kWindowBase = 24;  // side of the base window
inline constexpr int kRangeCodeOffset = 1000;

// Grey (B + G + R) / 3 and colour range max - min of every pixel, and their squares. The squared
// planes are 64-bit so that a variance over any window of any frame is exact.
struct WindowPlanes {
  IntegralPlane<uint32_t> grey;
  IntegralPlane<uint64_t> greySquare;
  IntegralPlane<uint32_t> range;
  IntegralPlane<uint64_t> rangeSquare;
  int Width() const { return grey.width; }
  int Height() const { return grey.height; }
};

// Fills the four planes from a 24-bit picture, resizing them only when its size differs from
// theirs. Other depths leave the planes as they were and return false.
bool BuildWindowPlanes(const Dib& image, WindowPlanes& planes);

enum class WindowForm { Float, Byte };

// True when the code (grey or range) has a value in the form: float 1, 2, 3, 11, 12, 13, 21, 22,
// 23, 31, 32, 41, 42, 43, 44; byte the same and 14 and 24.
bool IsWindowCode(int code, WindowForm form);

// A feature resolved against a plane row length: which planes, how its boxes combine, and the
// boxes as corner offsets from the window origin.
struct ResolvedWindowFeature {
  enum class Combine : uint8_t { Mean, Variance, StdDev, Difference, Thirds, Checker, Ring, Rings };
  Combine combine = Combine::Mean;
  bool range = false;    // range planes instead of grey
  bool squared = false;  // the squared plane (variance codes read both)
  bool byteForm = false;
  float factor = 1.0f;     // byte form: half the variance, four times the deviation
  float byteScale = 1.0f;  // byte form: 5 for the difference patterns
  std::array<BoxOffsets, 4> boxes{};
};

// Resolves feature (code, x, y, w, h) of the 24 x 24 base window, scaled to a window of side
// `side` (x * side / 24 and so on, integer), against planes of row length `stride`. The code must
// satisfy IsWindowCode and the scaled rectangle must lie inside the window.
ResolvedWindowFeature ResolveWindowFeature(int code, int x, int y, int w, int h, int side,
                                           int stride, WindowForm form);

// The value of a resolved feature at the window whose top-left plane position is `origin`
// (y * row length + x). Float form: the absolute value; byte form: 0..255.
float WindowValueFloat(const WindowPlanes& planes, const ResolvedWindowFeature& f, size_t origin);
uint8_t WindowValueByte(const WindowPlanes& planes, const ResolvedWindowFeature& f, size_t origin);

// One feature of a pool or a sample set: code and rectangle in the base window, and the range of
// values seen in training (starting empty at 100000 / -100000).
struct FeatureDesc {
  int32_t featureCode = 0;
  uint8_t x = 0;
  uint8_t y = 0;
  uint8_t w = 0;
  uint8_t h = 0;
  float minValue = 100000.0f;
  float maxValue = -100000.0f;
};

// The eight patterns of the pools, in the order their counters are reported:
// 2, 11, 12, 21, 22, 31, 41, 43.
inline constexpr std::array<int, 8> kPoolPatterns = {2, 11, 12, 21, 22, 31, 41, 43};

struct WindowPool {
  std::vector<FeatureDesc> features;  // each shape twice: grey code, then range code
  std::array<int, 8> shapeCounts{};   // shapes per pattern of kPoolPatterns
};

// Every pattern centred in the base window at every size of its range (3172 shapes, 6344
// features), pattern by pattern, heights outside, widths inside.
WindowPool CentredPool();
// The patterns at sizes stepping by 2 and positions sliding by a third of the size (13644
// shapes, 27288 features).
WindowPool SlidingPool();

}  // namespace fw

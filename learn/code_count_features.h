// The code-count family of texture features: local binary pattern codes of a luminance picture,
// mapped to classes, counted per class in integral planes, and a feature is the count of one
// class in a rectangle (pattern 1) or the difference of the counts in two rectangles (pattern
// 41). BLBP codes compare neighbours along the neighbour chain and keep 10 rotation-invariant
// uniform classes; PLTP codes compare neighbours with the centre and keep, on a three-level
// pyramid, 59 + 36 + 10 classes at full size, 36 + 10 at half size and 10 at quarter size.
//
// The base window is 48 x 48. Frame planes and sample planes go through the same code, count and
// feature functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "learn/integral.h"

namespace fw {

inline constexpr int kCountBase = 48;

// (dx, dy) of the eight radius-1 neighbours; dy counts memory rows.
inline constexpr std::array<std::array<int, 2>, 8> kLbpNeighbours = {
    {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}}};

// The three code-to-class tables and the bit-count / transition table, built once.
class LbpMapper {
 public:
  LbpMapper();
  static constexpr int kUniformClasses = 59;
  static constexpr int kRotationClasses = 36;
  static constexpr int kRotationUniformClasses = 10;

  // Circular bit transitions of a code: the 1 bits of code XOR (code rotated left by one).
  static int Transitions(uint8_t code);

  const std::array<uint8_t, 256>& Uniform() const { return uniform_; }
  const std::array<uint8_t, 256>& RotationInvariant() const { return rotation_; }
  const std::array<uint8_t, 256>& RotationInvariantUniform() const { return rotationUniform_; }
  // Entries 0..255: 1 bits of the index; 256..511: transitions of the index.
  const std::array<uint8_t, 512>& BitsAndTransitions() const { return bits_; }

 private:
  std::array<uint8_t, 256> uniform_{};
  std::array<uint8_t, 256> rotation_{};
  std::array<uint8_t, 256> rotationUniform_{};
  std::array<uint8_t, 512> bits_{};
};

// The process-wide tables.
const LbpMapper& LbpTables();

enum class CodeFamily { Blbp, Pltp };

// Class planes of one pyramid level: `classes` counts per plane position, interleaved (the count
// of class k at (x, y) is counts[(y * width + x) * classes + k]), with the level's luminance and
// code images beside them.
struct CountLevel {
  int width = 0;
  int height = 0;
  int classes = 0;
  std::vector<uint8_t> luminance;             // packed width x height
  std::array<std::vector<uint8_t>, 3> codes;  // class images, border pixels hold their table size
  std::vector<uint32_t> counts;
};

struct CodeCountPlanes {
  CodeFamily family = CodeFamily::Blbp;
  int levels = 0;  // 1 (BLBP) or 3 (PLTP)
  std::array<CountLevel, 3> level;
};

// Luminance (299 R + 587 G + 114 B) / 1000 of a 24-bit picture, its codes and class counts at
// every level of the family. Buffers are reused while the picture size stays the same. Other
// depths leave the planes as they were and return false.
bool BuildCodeCountPlanes(const Dib& image, CodeFamily family, CodeCountPlanes& planes);

// Code images of a packed 8-bit plane; border pixels get the table's class count.
// BLBP: bit k (0..6) set when neighbour k + 1 >= neighbour k, bit 7 when neighbour 0 >=
// neighbour 7, mapped to the 10 rotation-invariant uniform classes.
void BlbpCodes(const uint8_t* luminance, int width, int height, uint8_t* classes);
// PLTP: bit k set when neighbour k >= centre, mapped through each table whose output is given.
void PltpCodes(const uint8_t* luminance, int width, int height, uint8_t* uniform, uint8_t* rotation,
               uint8_t* rotationUniform);

// Plane index of a class: for PLTP level 0 uniform 0..58, rotation-invariant 59..94,
// rotation-invariant uniform 95..104; level 1 rotation-invariant 0..35, uniform 36..45;
// level 2 rotation-invariant uniform 0..9. BLBP: 0..9.
int CountClasses(CodeFamily family, int level);

// A feature code of this family: byte 0 the class plane, byte 1 the level (PLTP), bytes 2..3
// the pattern. For pattern 41 the second rectangle is given separately (it is stored in the
// weak record's minValue bytes).
inline int32_t CountFeatureCode(int plane, int level, int pattern) {
  return static_cast<int32_t>(static_cast<uint32_t>(plane) | (static_cast<uint32_t>(level) << 8) |
                              (static_cast<uint32_t>(pattern) << 16));
}

struct CountRect {
  uint8_t x = 0, y = 0, w = 0, h = 0;
};

// True when the code, rectangles and level describe a feature the family can count inside the
// 48 x 48 window (a BLBP code with a level byte is the constant 1 and always valid).
bool IsCountFeature(CodeFamily family, int32_t code, CountRect first, CountRect second);

struct ResolvedCountFeature {
  int level = 0;
  int plane = 0;
  int pattern = 1;
  int constant = -1;  // >= 0: the feature always has this value
  int divisor = 1;    // n x n for windows of side 48 n
  BoxOffsets first;
  BoxOffsets second;
};

// Resolves a valid feature for windows of side 48 n against the planes' level sizes: rectangle
// coordinates times n divided by 2^level.
ResolvedCountFeature ResolveCountFeature(const CodeCountPlanes& planes, int32_t code,
                                         CountRect first, CountRect second, int n);

// Plane positions of a window's top-left corner (x, y of level 0) at every level.
struct CountOrigin {
  std::array<size_t, 3> offset{};
};
CountOrigin CountWindowOrigin(const CodeCountPlanes& planes, int x, int y);

// The count (pattern 1) or count difference (pattern 41), divided by n x n.
int CountValue(const CodeCountPlanes& planes, const ResolvedCountFeature& f,
               const CountOrigin& origin);

}  // namespace fw

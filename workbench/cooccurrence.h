// Grey-level co-occurrence of a texture: four direction matrices of 32 x 32 counts (M0 left and
// right neighbours, M45 up-left and down-right, M90 up and down, M135 up-right and down-left;
// "up" is the previous memory row), the texture scores that combine their energy, contrast,
// entropy and correlation, and the picture that shows the four matrices.
#pragma once

#include <array>
#include <cstdint>

#include "core/dib.h"
#include "core/draw.h"

namespace fw {

inline constexpr int kGreyLevels = 32;  // levels of the quantised image and sides of the matrices
inline constexpr int kDirections = 4;   // M0, M45, M90, M135
inline constexpr int kTextureMeasures = 4 * kDirections;  // (E, C, H, R) of each direction

struct CooccurrenceMatrices {
  // m[d][i * kGreyLevels + j]: pairs of level i and level j in direction d.
  std::array<std::array<int32_t, kGreyLevels * kGreyLevels>, kDirections> m{};

  void Clear();
  int32_t At(int direction, int i, int j) const { return m[direction][i * kGreyLevels + j]; }
};

// Pairs of 8-neighbours of a level plane (rows `stride` bytes apart, levels below kGreyLevels).
// With a mask (packed rows of `width` bytes), only pixels whose mask byte is non-zero take part.
// Every pixel p with level a and neighbour q with level b adds 1 to M[min(a, b)][max(a, b)] of the
// pair's direction; then each matrix is made symmetric from its upper triangle. The matrices are
// cleared first.
void AccumulateSymmetric(const uint8_t* levels, int stride, const uint8_t* mask, int width,
                         int height, CooccurrenceMatrices& matrices);
// The same with the pixels whose byte in `labels` (packed rows of `width` bytes) equals `label`.
void AccumulateSymmetricLabel(const uint8_t* levels, int stride, const uint8_t* labels,
                              uint8_t label, int width, int height, CooccurrenceMatrices& matrices);
// The same over the rectangle (x1, y1 excluded, clamped to the plane) of the level plane, without
// a mask, neighbours outside the rectangle left out.
void AccumulateSymmetricRect(const uint8_t* levels, int stride, int width, int height,
                             const IntRect& rect, CooccurrenceMatrices& matrices);
// Pairs inside the rectangle (x1, y1 excluded, clamped to the plane): every pixel with level a and
// neighbour inside the rectangle with level b adds 1 to M[b][a] of the pair's direction, without
// symmetrising. The matrices are cleared first.
void AccumulateBlock(const uint8_t* levels, int stride, int width, int height, const IntRect& rect,
                     CooccurrenceMatrices& matrices);

struct TextureScores {
  std::array<float, kDirections> scores{};         // M0, M45, M90, M135
  std::array<float, kTextureMeasures> measures{};  // (E, C, H, R) of M0, then M45, M90, M135
};

// Energy E, contrast C, entropy H and correlation R of each matrix, and the score 0.45 (1 - E) +
// 0.4 C + 0.09 H + 0.06 R. False (and `out` unchanged) when a matrix holds one count or none.
// A matrix whose rows or columns do not vary has no correlation: R is 0 there.
bool ComputeTextureScores(const CooccurrenceMatrices& matrices, TextureScores& out);

// The four matrices as a 24-bit picture of (2L + 10) x (2L + 10) pixels: M0 top left, M45 top
// right, M90 bottom left, M135 bottom right (as shown), row i of a matrix i rows from its top,
// 10-pixel bands between them in the band colour (236, 233, 216). An entry c is shown yellow with
// intensity min(c x 255 / 40, 255), or with logScale min(ln c x 255 / ln 40, 255) for c > 1 and 0
// otherwise. The display is re-created (top-down) when its format differs.
void ShowCooccurrence(const CooccurrenceMatrices& matrices, Dib& display, bool logScale);

}  // namespace fw

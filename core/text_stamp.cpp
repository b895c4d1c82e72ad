#include "core/text_stamp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/data_files.h"
#include "core/input_file.h"
#include "core/size_limits.h"

namespace fw {

bool EnsureGlyphAtlas(Dib& image) {
  if (!image.GlyphAtlas().empty()) return true;
  Dib charset;
  if (!charset.LoadBmp(FindDataFile(kGlyphAtlasFile)).ok() || charset.GetBitCount() != 8) {
    return false;
  }
  charset.ToAlphaPlane(image.GlyphAtlas());
  image.GlyphAtlasWidth() = charset.Width();
  image.GlyphAtlasHeight() = charset.Height();
  return !image.GlyphAtlas().empty();
}

namespace {

uint32_t Le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The atlas picture's width, height and depth from the BMP file and information (or 12-byte core)
// headers at the start of the file; false when the file has none.
bool ReadAtlasHeader(const std::string& path, int64_t& width, int64_t& height, int& bitCount) {
  if (!CheckInputFile(path)) return false;
  std::ifstream in(path, std::ios::binary);
  uint8_t head[30];  // file header, header size, and the fields up to the bit count
  if (!in.read(reinterpret_cast<char*>(head), sizeof head) || head[0] != 'B' || head[1] != 'M') {
    return false;
  }
  if (Le(head + 14, 4) == 12) {
    width = Le(head + 18, 2);
    height = Le(head + 20, 2);
    bitCount = static_cast<int>(Le(head + 24, 2));
  } else {
    width = static_cast<int32_t>(Le(head + 18, 4));
    height = std::abs(static_cast<int64_t>(static_cast<int32_t>(Le(head + 22, 4))));
    bitCount = static_cast<int>(Le(head + 28, 2));
  }
  return true;
}

}  // namespace

uint64_t GlyphAtlasBytes() {
  // The picture's first image, the file's stream buffer (freed before the atlas is made) and the
  // allocator's rounding of the two blocks, a page each.
  constexpr uint64_t kReading = 8192;
  int64_t width = 0;
  int64_t height = 0;
  int bitCount = 0;
  if (!ReadAtlasHeader(FindDataFile(kGlyphAtlasFile), width, height, bitCount) || bitCount != 8 ||
      width <= 0 || height <= 0 || !WithinSizeLimits(width, height)) {
    return 0;
  }
  const auto pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const auto picture =
      static_cast<uint64_t>(DibStride(static_cast<int>(width), 8)) * static_cast<uint64_t>(height);
  return 4 * pixels + picture + kReading;
}

void DrawText(Dib& image, std::string_view text, int x, int y, int charWidth, int charHeight,
              uint8_t red, uint8_t green, uint8_t blue) {
  if (image.GetBitCount() != 24 || !EnsureGlyphAtlas(image)) return;
  const int w = image.GlyphAtlasWidth();
  const int h = image.GlyphAtlasHeight();
  int px = x;
  int py = y;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 128) continue;  // each byte of a two-byte character on its own
    if (c == '\n') {
      px = x;
      py -= charHeight;
      continue;
    }
    // The atlas is bottom-up: the top row of cells is the last band of memory rows.
    const int column = c % 8;
    const int band = 15 - c / 8;
    const IntRect source{static_cast<int>((0.025 + 0.125 * column) * w),
                         static_cast<int>(0.0625 * band * h),
                         static_cast<int>((0.125 * (column + 1) - 0.025) * w),
                         static_cast<int>(0.0625 * (band + 1) * h)};
    const IntRect destination{px, py, px + charWidth, py + charHeight};
    BlendGlyph(image, source, destination, image.GlyphAtlas().data(), w, h, red, green, blue);
    px += charWidth;
  }
}

void BlendGlyph(Dib& image, const IntRect& source, const IntRect& destination, const uint8_t* atlas,
                int atlasWidth, int atlasHeight, uint8_t red, uint8_t green, uint8_t blue) {
  if (image.GetBitCount() != 24 || !atlas || atlasWidth <= 0 || atlasHeight <= 0) return;
  const int dw = destination.x1 - destination.x0;
  const int dh = destination.y1 - destination.y0;
  if (dw <= 0 || dh <= 0) return;
  const int width = image.Width();
  const int height = image.Height();
  const auto spanX = static_cast<float>(source.x1 - source.x0);
  const auto spanY = static_cast<float>(source.y1 - source.y0);
  const size_t atlasStride = static_cast<size_t>(atlasWidth) * 4;
  const int y0 = std::max(destination.y0, 0);
  const int y1 = std::min(destination.y1, height);
  const int x0 = std::max(destination.x0, 0);
  const int x1 = std::min(destination.x1, width);
  for (int y = y0; y < y1; ++y) {
    const int k = y - destination.y0;
    const float ay =
        static_cast<float>(source.y0) + static_cast<float>(k) * spanY / static_cast<float>(dh);
    const int top = std::clamp(static_cast<int>(std::floor(ay)), 0, atlasHeight - 1);
    const int next = std::min(top + 1, atlasHeight - 1);
    const float fy = ay - std::floor(ay);
    const uint8_t* rowA = atlas + top * atlasStride;
    const uint8_t* rowB = atlas + next * atlasStride;
    uint8_t* p = image.Row(y) + 3 * x0;
    for (int x = x0; x < x1; ++x, p += 3) {
      const int j = x - destination.x0;
      const float ax =
          static_cast<float>(source.x0) + static_cast<float>(j) * spanX / static_cast<float>(dw);
      const int left = std::clamp(static_cast<int>(std::floor(ax)), 0, atlasWidth - 1);
      const int right = std::min(left + 1, atlasWidth - 1);
      const float fx = ax - std::floor(ax);
      const float coverage = (1 - fy) * (1 - fx) * rowA[4 * left] +
                             (1 - fy) * fx * rowA[4 * right] + fy * (1 - fx) * rowB[4 * left] +
                             fy * fx * rowB[4 * right];
      const float alpha = coverage / 255;
      p[0] = static_cast<uint8_t>(blue * alpha + p[0] * (1 - alpha));
      p[1] = static_cast<uint8_t>(green * alpha + p[1] * (1 - alpha));
      p[2] = static_cast<uint8_t>(red * alpha + p[2] * (1 - alpha));
    }
  }
}

}  // namespace fw

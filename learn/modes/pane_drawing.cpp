#include "learn/modes/pane_drawing.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/draw.h"
#include "core/text_stamp.h"
#include "learn/modes/detection_windows.h"

namespace fw {

void ReleaseGlyphAtlas(Dib& pane) {
  std::vector<uint8_t>().swap(pane.GlyphAtlas());
  pane.GlyphAtlasWidth() = 0;
  pane.GlyphAtlasHeight() = 0;
}

void CopyFramePixels(const Dib& frame, Dib& pane) {
  if (!pane.SameFormat(frame.Width(), frame.Height(), frame.GetBitCount()) ||
      pane.PixelBytes() != frame.PixelBytes()) {
    return;
  }
  std::memcpy(pane.Pixels(), frame.Pixels(), frame.PixelBytes());
}

void OutlineBlock(Dib& pane, int column, int row, uint8_t red, uint8_t green, uint8_t blue) {
  constexpr int k = BlockFlags::kBlock;
  DrawRect(pane, column * k, row * k, (column + 1) * k - 1, (row + 1) * k - 1, red, green, blue);
}

void StampAlarm(Dib& pane, int frameNumber) {
  char text[48];
  std::snprintf(text, sizeof text, "Alarm at # %d!", frameNumber);
  DrawText(pane, text, 10, pane.Height() - 34, 12, 24, 255, 0, 0);
}

void StampRate(Dib& pane, int percent) {
  char text[32];
  std::snprintf(text, sizeof text, "Rate: %i%%", percent);
  DrawText(pane, text, 10, 10, 12, 24, 0, 0, 255);
}

}  // namespace fw

// Shapes a mode draws over a pane's picture without changing it (the desktop paints them; saved
// panes do not show them). Picture coordinates run from the picture's bottom row upwards.
#pragma once

#include <cstdint>
#include <vector>

namespace fw {

struct Overlay {
  // A one-pixel outline through the picture points (x0, y0) and (x1, y1), inclusive.
  int x0 = 0;
  int y0 = 0;
  int x1 = 0;
  int y1 = 0;
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

using Overlays = std::vector<Overlay>;

}  // namespace fw

// Pictures and sample folders for the learning tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/dib.h"
#include "learn/progress.h"

namespace fw::test {

// A 24-bit picture painted by paint(x, y) -> grey level (memory rows).
template <typename Paint>
Dib GreyPicture(int width, int height, Paint paint) {
  Dib image;
  image.Create(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t v = static_cast<uint8_t>(paint(x, y));
      uint8_t* p = image.Row(y) + 3 * x;
      p[0] = p[1] = p[2] = v;
    }
  }
  return image;
}

// A smoke-like sample: soft grey blobs with fine noise; a non-smoke one: saturated colour
// blocks with sharp edges. The same for the same seed.
Dib SmokeLike(int width, int height, uint32_t seed);
Dib ClearLike(int width, int height, uint32_t seed);

// The whole content of a file.
std::string ReadAll(const std::string& path);

// Writes `count` pictures of each kind as BMP files into folder/positives and folder/negatives.
void WriteSampleFolders(const std::string& folder, int count, int width, int height);

// Remembers every progress state shown and whether the window was hidden.
class RecordingProgress : public ProgressSink {
 public:
  void Show(const ProgressState& state) override { states.push_back(state); }
  void Hide() override { hidden = true; }
  std::vector<ProgressState> states;
  bool hidden = false;
};

}  // namespace fw::test

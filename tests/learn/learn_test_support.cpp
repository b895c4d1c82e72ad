#include "tests/learn/learn_test_support.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fw::test {

Dib SmokeLike(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  const double cx = width * (0.3 + 0.4 * (rng() % 100) / 100.0);
  const double cy = height * (0.3 + 0.4 * (rng() % 100) / 100.0);
  const int base = 120 + static_cast<int>(rng() % 60);
  return GreyPicture(width, height, [&](int x, int y) {
    const double d = std::hypot(x - cx, y - cy) / width;
    return std::clamp(
        base + static_cast<int>(60 * std::exp(-8 * d * d)) + static_cast<int>(rng() % 9) - 4, 0,
        255);
  });
}

Dib ClearLike(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  Dib image;
  image.Create(width, height, 24, false);
  const int split = width / 4 + static_cast<int>(rng() % (width / 2));
  const uint8_t a[3] = {static_cast<uint8_t>(rng() % 64), static_cast<uint8_t>(rng() % 256),
                        static_cast<uint8_t>(192 + rng() % 64)};
  const uint8_t b[3] = {static_cast<uint8_t>(192 + rng() % 64), static_cast<uint8_t>(rng() % 64),
                        static_cast<uint8_t>(rng() % 256)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* c = x < split ? a : b;
      std::copy(c, c + 3, image.Row(y) + 3 * x);
    }
  }
  return image;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteSampleFolders(const std::string& folder, int count, int width, int height) {
  std::filesystem::create_directories(folder + "/positives");
  std::filesystem::create_directories(folder + "/negatives");
  for (int k = 0; k < count; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "%03d.bmp", k);
    SmokeLike(width, height, 1000 + k).SaveBmp(folder + "/positives/" + name, "", "");
    ClearLike(width, height, 2000 + k).SaveBmp(folder + "/negatives/" + name, "", "");
  }
}

}  // namespace fw::test

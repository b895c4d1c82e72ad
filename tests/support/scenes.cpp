#include "tests/support/scenes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace fw::test {

namespace {

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

uint32_t Hash(int a, int b, int c = 0) {
  return Hash(static_cast<uint32_t>(a) * 73856093U ^
              Hash(static_cast<uint32_t>(b) * 19349663U ^ static_cast<uint32_t>(c) * 83492791U));
}

// Smooth noise in [0, 1]: random values on an integer grid, interpolated.
float ValueNoise(float u, float v, int seed) {
  const float fu = std::floor(u);
  const float fv = std::floor(v);
  const int iu = static_cast<int>(fu);
  const int iv = static_cast<int>(fv);
  const auto at = [seed](int a, int b) {
    return static_cast<float>(Hash(a, b, seed) & 1023) / 1023.0f;
  };
  const float su = (u - fu) * (u - fu) * (3 - 2 * (u - fu));
  const float sv = (v - fv) * (v - fv) * (3 - 2 * (v - fv));
  const float bottom = at(iu, iv) + su * (at(iu + 1, iv) - at(iu, iv));
  const float top = at(iu, iv + 1) + su * (at(iu + 1, iv + 1) - at(iu, iv + 1));
  return bottom + sv * (top - bottom);
}

struct Colour {
  float b = 0;
  float g = 0;
  float r = 0;
};

// Blue, green, red planes of floats, rows from the bottom.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), pixels_(width * height) {}
  Colour& At(int x, int y) { return pixels_[y * width_ + x]; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // The picture with sensor noise of -1..1 per channel.
  Dib ToFrame(int index) const {
    Dib frame;
    frame.CreateSigned(width_, height_, 24, false);
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = frame.Row(y);
      for (int x = 0; x < width_; ++x) {
        const Colour& c = pixels_[y * width_ + x];
        const uint32_t h = Hash(x, y, index);
        const float channel[3] = {c.b, c.g, c.r};
        for (int k = 0; k < 3; ++k) {
          const float noisy =
              channel[k] + static_cast<float>(static_cast<int>((h >> (4 * k)) % 3) - 1);
          row[3 * x + k] = static_cast<uint8_t>(std::clamp(noisy, 0.0f, 255.0f));
        }
      }
    }
    return frame;
  }

 private:
  int width_;
  int height_;
  std::vector<Colour> pixels_;
};

// Grey-blue sky with cloud texture over a grey-brown ground with a road.
Canvas Background(int width, int height) {
  Canvas canvas(width, height);
  const int horizon = height * 3 / 10;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float n = ValueNoise(x / 6.0f, y / 6.0f, 1) - 0.5f;
      Colour& c = canvas.At(x, y);
      if (y >= horizon) {
        const float fade = 0.1f * static_cast<float>(y - horizon);
        c = {205 - fade + 26 * n, 185 - fade + 22 * n, 165 - fade + 20 * n};
      } else {
        c = {82 + 30 * n, 88 + 30 * n, 92 + 30 * n};
      }
    }
  }
  return canvas;
}

void Blend(Colour& c, const Colour& over, float alpha) {
  c.b += alpha * (over.b - c.b);
  c.g += alpha * (over.g - c.g);
  c.r += alpha * (over.r - c.r);
}

// Translucent grey puffs born every three frames at the source, rising and widening; each carries
// its own texture, so that its blocks are seen to move.
void DrawPlume(Canvas& canvas, int index) {
  constexpr int kEvery = 8;
  constexpr float kLife = 200.0f;
  const int w = canvas.Width();
  const int h = canvas.Height();
  const float sourceX = 0.5f * w;
  const float sourceY = 0.22f * h;
  std::vector<float> clear(static_cast<size_t>(w) * h, 1.0f);  // transparency left
  for (int k = std::max(0, (index - static_cast<int>(kLife)) / kEvery); kEvery * k <= index; ++k) {
    const float age = static_cast<float>(index - kEvery * k);
    const float cx = sourceX + 0.03f * w * std::sin(0.7f * k) + 0.05f * age * std::sin(1.3f * k);
    const float cy = sourceY + 2.0f * age;
    const float radius = 0.05f * w + 0.15f * age;
    // Puffs of uneven density, so that the plume's brightness changes as it rises.
    const float density = 0.5f + 0.5f * static_cast<float>(Hash(k, 7) % 1000) / 1000.0f;
    const float alpha = density * std::max(0.0f, 1.0f - age / kLife);
    if (cy - 2.5f * radius >= h || alpha <= 0.0f) continue;
    const int x0 = std::max(0, static_cast<int>(cx - 2.5f * radius));
    const int x1 = std::min(w - 1, static_cast<int>(cx + 2.5f * radius));
    const int y0 = std::max(0, static_cast<int>(cy - 2.5f * radius));
    const int y1 = std::min(h - 1, static_cast<int>(cy + 2.5f * radius));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        const float dx = (x - cx) / radius;
        const float dy = (y - cy) / radius;
        const float d2 = dx * dx + dy * dy;
        if (d2 > 6.0f) continue;
        // Clumps of about a block and fine grain, both carried along with the puff.
        const float clumps = ValueNoise((x - cx) / 7.0f + 17 * k, (y - cy) / 7.0f + 31 * k, 2);
        const float grain = ValueNoise((x - cx) / 2.5f + 11 * k, (y - cy) / 2.5f + 5 * k, 8);
        const float texture =
            std::clamp((clumps - 0.25f) * 2.0f, 0.0f, 1.0f) * (0.7f + 0.3f * grain);
        const float a = alpha * std::exp(-d2 * d2 * d2) * texture;
        clear[static_cast<size_t>(y) * w + x] *= 1.0f - a;
      }
    }
  }
  const Colour grey{64, 62, 60};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Blend(canvas.At(x, y), grey, 1.0f - clear[static_cast<size_t>(y) * w + x]);
    }
  }
}

// A car 48 x 20 pixels: body with texture, two dark windows, black wheels.
void DrawCar(Canvas& canvas, int left, int bottom, Colour body) {
  for (int y = bottom; y < bottom + 20; ++y) {
    for (int x = left; x < left + 48; ++x) {
      if (x < 0 || x >= canvas.Width() || y < 0 || y >= canvas.Height()) continue;
      const int u = x - left;
      const int v = y - bottom;
      Colour c = body;
      const float n = ValueNoise(u / 2.0f, v / 2.0f, 3) - 0.5f;
      c = {c.b + 40 * n, c.g + 40 * n, c.r + 40 * n};
      if (v >= 12 && v < 18 && ((u >= 8 && u < 21) || (u >= 25 && u < 40))) c = {60, 55, 50};
      const int wheel = std::min(std::abs(u - 10), std::abs(u - 38));
      if (v < 6 && wheel * wheel + (v - 3) * (v - 3) < 20) c = {15, 15, 15};
      if (v >= 18 && (u < 8 || u >= 40)) continue;  // the roof is narrower
      canvas.At(x, y) = c;
    }
  }
}

// Leaves over an ellipse, the crown bending sideways with the height above its foot.
void DrawTree(Canvas& canvas, float cx, float cy, float rx, float ry, float sway, int seed) {
  const int w = canvas.Width();
  const int h = canvas.Height();
  const float foot = cy - ry;
  for (int y = std::max(0, static_cast<int>(cy - ry));
       y < std::min(h, static_cast<int>(cy + ry) + 1); ++y) {
    const float bend = sway * std::clamp((y - foot) / (2 * ry), 0.0f, 1.0f);
    for (int x = std::max(0, static_cast<int>(cx - rx - 6));
         x < std::min(w, static_cast<int>(cx + rx + 6)); ++x) {
      const float u = x - bend;
      const float e = (u - cx) * (u - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry);
      const float leaves = ValueNoise(u / 3.0f, y / 3.0f, seed);
      if (e > 0.8f + 0.4f * leaves) continue;
      canvas.At(x, y) = {25 + 40 * leaves, 90 + 90 * leaves, 30 + 45 * leaves};
    }
  }
}

void DrawTrunk(Canvas& canvas, int x0, int x1, int y0, int y1) {
  for (int y = std::max(0, y0); y < std::min(canvas.Height(), y1); ++y) {
    for (int x = std::max(0, x0); x < std::min(canvas.Width(), x1); ++x) {
      const float n = ValueNoise(x / 2.0f, y / 4.0f, 4);
      canvas.At(x, y) = {30 + 20 * n, 50 + 25 * n, 80 + 30 * n};
    }
  }
}

}  // namespace

const char* SceneName(Scene scene) {
  switch (scene) {
    case Scene::RisingPlume:
      return "rising-plume";
    case Scene::CarCrossing:
      return "car-crossing";
    case Scene::SwayingFoliage:
      return "swaying-foliage";
    case Scene::Static:
      return "static";
  }
  return "";
}

std::vector<Dib> SceneFrames(Scene scene, int width, int height, int count) {
  const Canvas background = Background(width, height);
  std::vector<Dib> frames;
  frames.reserve(count);
  for (int t = 0; t < count; ++t) {
    Canvas canvas = background;
    switch (scene) {
      case Scene::RisingPlume:
        DrawPlume(canvas, t);
        break;
      case Scene::CarCrossing: {
        const int road = height / 8;
        if (t >= 20 && t < 80) DrawCar(canvas, -48 + 8 * (t - 20), road, {40, 40, 190});
        if (t >= 100 && t < 160) DrawCar(canvas, width - 8 * (t - 100), road + 24, {170, 90, 40});
        break;
      }
      case Scene::SwayingFoliage: {
        const float phase = 2.0f * 3.14159265f * static_cast<float>(t) / 30.0f;
        DrawTrunk(canvas, width / 2 - 5, width / 2 + 5, height / 10, height / 2);
        DrawTree(canvas, 0.5f * width, 0.62f * height, 0.28f * width, 0.25f * height,
                 6.0f * std::sin(phase), 5);
        DrawTree(canvas, 0.15f * width, 0.22f * height, 0.1f * width, 0.12f * height,
                 4.0f * std::sin(phase + 1.1f), 6);
        break;
      }
      case Scene::Static:
        break;
    }
    frames.push_back(canvas.ToFrame(t));
  }
  return frames;
}

}  // namespace fw::test

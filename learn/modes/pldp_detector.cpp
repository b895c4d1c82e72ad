#include "learn/modes/pldp_detector.h"

#include "core/colour.h"
#include "core/resample.h"

namespace fw {

void PldpDetector::Build(const ClassifierSet& model, int width, int height) {
  int w = width, h = height;
  for (int k = 0; k < kLevels; ++k) {
    levels_[k] = Dib();
    levels_[k].CreateSigned(w, h, 24, false);
    cascades_[k].Compile(model, {w});
    w /= 2;
    h /= 2;
  }
  planes_ = TexturePlanes();
  planes_.Compute(levels_[0]);  // sizes the planes once, for the largest level
}

uint64_t PldpDetector::Bytes(int width, int height) {
  uint64_t levels = 0;
  int w = width, h = height;
  for (int k = 0; k < kLevels; ++k, w /= 2, h /= 2) {
    levels += static_cast<uint64_t>(DibStride(w, 24)) * h;
  }
  // Per pixel of the largest level: two gradients, the bin, the magnitude, the code and the
  // 30 integral planes.
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  return levels +
         pixels * (2 * sizeof(int16_t) + 1 + sizeof(float) + 1 + kTexturePlanes * sizeof(uint32_t));
}

void PldpDetector::Scan(const Dib& frame, WindowList& windows) {
  ToIntensitySaturation(frame, levels_[0]);
  for (int k = 1; k < kLevels; ++k) HalveTwoBytes(levels_[k - 1], levels_[k]);
  for (int k = 0; k < kLevels; ++k) {
    const Dib& level = levels_[k];
    if (level.Width() < kTextureBase || level.Height() < kTextureBase) break;
    planes_.Compute(level);
    for (int y = 0; y <= level.Height() - kTextureBase; y += kStep) {
      for (int x = 0; x <= level.Width() - kTextureBase; x += kStep) {
        if (!cascades_[k].Decide(planes_, {x, y}).accepted) continue;
        windows.Add({x << k, y << k, (x + kTextureBase) << k, (y + kTextureBase) << k});
        if (windows.Full()) return;
      }
    }
  }
}

}  // namespace fw

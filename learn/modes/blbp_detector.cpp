#include "learn/modes/blbp_detector.h"

namespace fw {

void BlbpDetector::Build(const ClassifierSet& model, const Dib& frame) {
  planes_ = CodeCountPlanes();
  BuildCodeCountPlanes(frame, CodeFamily::Blbp, planes_);
  cascade_.Compile(model, {&planes_, 1});
}

uint64_t BlbpDetector::Bytes(int width, int height) {
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  // Luminance, one class image and the ten interleaved 32-bit count planes.
  return pixels * (2 + 10 * sizeof(uint32_t));
}

void BlbpDetector::Scan(const Dib& frame, WindowList& windows) {
  BuildCodeCountPlanes(frame, CodeFamily::Blbp, planes_);
  const int w = frame.Width(), h = frame.Height();
  for (int y = 0; y <= h - kCountBase; y += kStep) {
    for (int x = 0; x <= w - kCountBase; x += kStep) {
      if (windows.Overlaps(x, y, kCountBase, kCountBase)) continue;
      if (!cascade_.Decide(planes_, CountWindowOrigin(planes_, x, y)).accepted) continue;
      windows.Add({x, y, x + kCountBase, y + kCountBase});
      if (windows.Full()) return;
    }
  }
}

}  // namespace fw

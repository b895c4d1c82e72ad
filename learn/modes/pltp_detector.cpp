#include "learn/modes/pltp_detector.h"

namespace fw {

void PltpDetector::Build(const ClassifierSet& model, const Dib& frame) {
  planes_ = CodeCountPlanes();
  BuildCodeCountPlanes(frame, CodeFamily::Pltp, planes_);
  const int sizes = frame.Height() / kCountBase;
  cascades_.clear();
  cascades_.resize(static_cast<size_t>(sizes));
  for (int n = 1; n <= sizes; ++n) cascades_[n - 1].Compile(model, {&planes_, n});
}

uint64_t PltpDetector::Bytes(int width, int height) {
  // Per level: luminance, three class images and the interleaved 32-bit count planes
  // (105 classes at full size, 46 at half, 10 at quarter size).
  uint64_t bytes = 0;
  const int classes[3] = {105, 46, 10};
  for (int level = 0; level < 3; ++level) {
    const uint64_t pixels = static_cast<uint64_t>(width >> level) * (height >> level);
    bytes += pixels * (4 + classes[level] * sizeof(uint32_t));
  }
  return bytes;
}

void PltpDetector::Scan(const Dib& frame, WindowList& windows) {
  BuildCodeCountPlanes(frame, CodeFamily::Pltp, planes_);
  const int w = frame.Width(), h = frame.Height();
  for (int n = static_cast<int>(cascades_.size()); n >= 1; --n) {
    const int side = kCountBase * n, step = kStep * n;
    const CompiledCascade<CodeCountFamily>& cascade = cascades_[n - 1];
    for (int y = 0; y <= h - side; y += step) {
      for (int x = 0; x <= w - side; x += step) {
        if (!cascade.Decide(planes_, CountWindowOrigin(planes_, x, y)).accepted) continue;
        windows.Add({x, y, x + side, y + side});
        if (windows.Full()) return;
      }
    }
  }
}

}  // namespace fw

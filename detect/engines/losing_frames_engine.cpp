#include "detect/engines/losing_frames_engine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "detect/dispatch.h"

namespace fw::engines {

size_t LosingFramesEngine::Bytes(int width, int height) {
  const size_t pixels = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
  return kRingLength * static_cast<size_t>(DibStride(width, 24)) * std::max(height, 0) +
         kPlanes * pixels * sizeof(int16_t) + kOutputs * pixels;
}

void LosingFramesEngine::Prepare(Dib& frame) {
  *this = LosingFramesEngine();  // what an earlier preparation allocated goes
  frame_ = &frame;
  if (frame.GetBitCount() != 24) return;
  width_ = frame.Width();
  height_ = frame.Height();
  pixels_ = static_cast<size_t>(width_) * height_;
  for (Dib& slot : ring_) slot.CreateSigned(width_, frame.HeaderHeight(), 24, false);
  sums_.assign(kPlanes * pixels_, 0);
  outputs_.assign(kOutputs * pixels_, 0);
  ready_ = true;
}

bool LosingFramesEngine::FrameMatches() const {
  return ready_ && frame_->SameFormat(width_, height_, 24) && frame_->Stride() == ring_[0].Stride();
}

std::span<const int16_t> LosingFramesEngine::SumPlane(int index) const {
  return {Plane(index), pixels_};
}

std::span<const uint8_t> LosingFramesEngine::Output(int j) const {
  return std::span<const uint8_t>(outputs_).subspan(static_cast<size_t>(j) * pixels_, pixels_);
}

void LosingFramesEngine::AddFrame(int frameNumber, Dib& frame) {
  if (&frame != frame_ || !FrameMatches() || frameNumber % step_ != 0) return;
  ++processed_;
  ringIndex_ = (ringIndex_ + 1) % kRingLength;
  const int previous = sumIndex_;
  sumIndex_ = (sumIndex_ + 1) % kPlanes;
  frame.SwapPixels(ring_[ringIndex_]);
  const Dib& entering = ring_[ringIndex_];
  const Dib& leaving = ring_[(ringIndex_ + 1) % kRingLength];  // seven frames back
  const int16_t* before = Plane(previous);
  int16_t* sum = Plane(sumIndex_);
  for (int y = 0; y < height_; ++y) {
    const uint8_t* in = entering.Row(y);
    const uint8_t* out = leaving.Row(y);
    const int16_t* b = before + static_cast<size_t>(y) * width_;
    int16_t* s = sum + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      const int added = in[3 * x] + in[3 * x + 1] + in[3 * x + 2];
      const int dropped = out[3 * x] + out[3 * x + 1] + out[3 * x + 2];
      s[x] = static_cast<int16_t>(b[x] + added - dropped);
    }
  }
}

void LosingFramesEngine::ShowMean(Dib& image) const {
  if (!ready_) return;
  EnsureFrameFormat(image, width_, height_, 8);
  const int16_t* sum = Plane(sumIndex_);
  for (int y = 0; y < height_; ++y) {
    const int16_t* s = sum + static_cast<size_t>(y) * width_;
    uint8_t* row = image.Row(y);
    for (int x = 0; x < width_; ++x) row[x] = static_cast<uint8_t>(s[x] / kDivisor);
  }
}

void LosingFramesEngine::CombineDifferences(int a, int threshold) {
  if (!ready_) return;
  const int16_t* now = Plane(sumIndex_);
  const int distances[3] = {4 * a, 2 * a, a};
  for (int j = 0; j < 3; ++j) {
    const int16_t* then = Plane(((sumIndex_ - distances[j]) % kPlanes + kPlanes) % kPlanes);
    uint8_t* d = outputs_.data() + j * pixels_;
    for (size_t i = 0; i < pixels_; ++i) {
      d[i] = static_cast<uint8_t>(std::abs((then[i] - now[i]) / kDivisor));
    }
  }
  const uint8_t* d0 = outputs_.data();
  const uint8_t* d1 = d0 + pixels_;
  const uint8_t* d2 = d1 + pixels_;
  uint8_t* d3 = outputs_.data() + 3 * pixels_;
  for (size_t i = 0; i < pixels_; ++i) {
    d3[i] = d0[i] + d1[i] + d2[i] < threshold ? 0 : 255;
  }
}

void LosingFramesEngine::ShowDifference(int j, Dib& image, int threshold) const {
  if (!ready_) return;
  EnsureFrameFormat(image, width_, height_, 8);
  const uint8_t* plane = outputs_.data() + static_cast<size_t>(j) * pixels_;
  if (threshold != 0) {
    image.SetFromThreshold(plane, width_, height_, static_cast<uint8_t>(threshold));
  } else {
    image.SetFromBytes(plane, width_, height_);
  }
}

void LosingFramesEngine::ShowPlane(int j, Dib& image) const {
  if (!ready_) return;
  EnsureFrameFormat(image, width_, height_, 8);
  image.SetFromBytes(outputs_.data() + static_cast<size_t>(j) * pixels_, width_, height_);
}

}  // namespace fw::engines

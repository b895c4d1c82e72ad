// Where ProcessFrame reads its frames: a video file, or frames already decoded into memory
// (benchmarks measure the pipeline on those, so decoding stays out of the timing).
#pragma once

#include <vector>

#include "core/dib.h"

namespace fw {

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual int FrameCount() const = 0;
  // Copies frame `index` into a 24-bit image of the source's size; false when there is none.
  virtual bool GetFrame(int index, Dib& image) = 0;
};

// Decoded frames held in memory, all 24-bit and of one size.
class FrameList : public FrameSource {
 public:
  // Takes the frames; they must all have the first frame's format.
  explicit FrameList(std::vector<Dib> frames);
  int Width() const override { return frames_.empty() ? 0 : frames_[0].Width(); }
  int Height() const override { return frames_.empty() ? 0 : frames_[0].Height(); }
  int FrameCount() const override { return static_cast<int>(frames_.size()); }
  bool GetFrame(int index, Dib& image) override;
  const Dib& Frame(int index) const { return frames_[index]; }

 private:
  std::vector<Dib> frames_;
};

}  // namespace fw

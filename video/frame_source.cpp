#include "video/frame_source.h"

#include <cassert>

namespace fw {

FrameList::FrameList(std::vector<Dib> frames) : frames_(std::move(frames)) {
  for ([[maybe_unused]] const Dib& f : frames_) assert(f.SameFormat(frames_[0]));
}

bool FrameList::GetFrame(int index, Dib& image) {
  if (index < 0 || index >= FrameCount()) return false;
  const Dib& frame = frames_[index];
  if (!image.SameFormat(frame) || image.Stride() != frame.Stride()) return false;
  image.CopyFrom(frame, true);
  return true;
}

}  // namespace fw

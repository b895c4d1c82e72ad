// What the mode benchmarks share: the sample clip's frames decoded before the timing, and a frame
// host that hands them to the pipeline one after the other (a copy into the frame pane, as
// decoding would write it).
#pragma once

#include <string>
#include <vector>

#include "app/mode_table.h"
#include "detect/dispatch.h"
#include "detect/pipeline.h"
#include "video/avi_reader.h"

namespace fw::bench {

inline const std::string kSample =
    std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";

// The first `count` frames of the sample clip (all of them for a count of 0).
inline std::vector<Dib> DecodeSample(int count) {
  std::vector<Dib> decoded;
  AviReader reader;
  Dib frame;
  if (!reader.OpenInto(kSample, frame, OpenReport::Quiet)) return decoded;
  const int n = count > 0 ? count : reader.FrameCount();
  for (int i = 0; i < n && reader.GetFrame(i, frame); ++i)
    decoded.emplace_back().CopyFrom(frame, false);
  return decoded;
}

class FrameFeed : public FrameHost {
 public:
  explicit FrameFeed(const std::vector<Dib>& frames, size_t next = 0)
      : frames_(frames), next_(next) {}
  void ReadFrame(DetectionState& state) override {
    state.panes.topLeft().CopyFrom(frames_[next_], true);
    state.frameNumber = static_cast<int>(next_);
    next_ = next_ + 1 == frames_.size() ? 0 : next_ + 1;
  }

 private:
  const std::vector<Dib>& frames_;
  size_t next_;
};

// A detection state on the first frame with the mode selected; no alarm log is written.
inline void SelectOnFirstFrame(DetectionState& state, const std::vector<Dib>& frames, ModeId mode) {
  state.alarmLogEnabled = false;
  state.panes.topLeft().CopyFrom(frames[0], false);
  SelectMode(state, *FindMode(mode));
}

}  // namespace fw::bench

// Trajectories of the engineering engine's block regions over the last 40 frames, shown in the
// bottom-left pane of "Engineering FWX". Each frame's regions are described by their bounding
// box, size and dominant direction, and each is matched with the region of an earlier frame it
// overlaps most; the matches chain into tracks. The tracks are a display only: the alarm does not
// depend on them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/colour.h"
#include "core/dib.h"

namespace fw::engines {

class RegionTracks {
 public:
  static constexpr int kFrames = 40;        // frames of region records kept
  static constexpr int kMaxRegions = 50;    // regions recorded per frame
  static constexpr int kScoredLength = 24;  // tracks shorter than this are not scored
  static constexpr float kUnscored = 1e6f;  // their score
  static constexpr float kMinOverlap = 0.3f;
  static constexpr float kMinAgreement = 0.5f;  // direction agreement must exceed this
  static constexpr float kMinSizeRatio = 0.7f;
  static constexpr float kScoredSizeRatio = 0.4f;

  struct Entry {
    int c0 = 0;  // bounding box in blocks, inclusive
    int r0 = 0;
    int c1 = 0;
    int r1 = 0;
    int size = 0;       // blocks
    int code = 0;       // dominant direction: the largest bin of its codes (lowest on ties)
    int back = 0;       // frames back to the entry this one extends; 0 starts a track
    int previous = -1;  // that entry's index in its frame
    int length = 1;     // entries in the track up to this one
  };

  // Forgets every record (and allocates the records when they do not exist).
  void Reset();
  // Records the regions of the current frame (labels 10 .. 10 + regionCount - 1 in the label map,
  // their blocks' direction codes in the code map), extends the tracks they continue and scores
  // the tracks ending in them.
  void Add(std::span<const uint8_t> labels, std::span<const uint8_t> codes, int columns, int rows,
           int regionCount);
  // The boxes of the current regions and the lines of their tracks (the highlighted one in
  // white) over a picture of blocks `blockSize` pixels wide, in the colours of the region labels.
  void Draw(Dib& image, int blockSize, std::span<const Rgb8, 256> labelColours) const;

  int Count() const { return counts_[current_]; }
  const Entry& Current(int region) const { return At(current_, region); }
  // Region whose track scores lowest among the scored ones, or -1.
  int Highlighted() const { return highlighted_; }
  float Score(int region) const { return scores_[region]; }

  // How well two direction codes agree: equal 1.0, one apart 0.8, two 0.2, three 0.1, opposite 0.
  static float Agreement(int a, int b);
  // Intersection over union of two bounding boxes.
  static float Overlap(const Entry& a, const Entry& b);

 private:
  Entry& At(int frame, int region) { return entries_[frame * kMaxRegions + region]; }
  const Entry& At(int frame, int region) const { return entries_[frame * kMaxRegions + region]; }
  void Link(Entry& entry) const;
  float TrackScore(int region) const;

  std::vector<Entry> entries_;  // kMaxRegions per frame record
  std::array<int, kFrames> counts_{};
  int current_ = 0;
  int recorded_ = 0;  // frames recorded, at most kFrames
  std::array<float, kMaxRegions> scores_{};
  int highlighted_ = -1;
};

}  // namespace fw::engines

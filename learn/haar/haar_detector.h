// The Haar detector of "Detecting" (7017) and "Adaboost+Motion" (7019): a boosted cascade of
// 32-byte weak classifiers over the window features (float form, the rectangle patterns 11..44 on
// grey and on colour range), scanned over the frame in square windows whose side starts at the
// frame height and shrinks by 0.8 while it is above 23, a stage passing when its yes-weights
// reach 0.6 of its weights. Beside the scan it keeps the frame planes of the last three frames,
// the change of every 8 x 8 block between two frames and a persistence score per block.
//
// Everything is sized at SetUp; the per-frame calls allocate nothing and do nothing for a frame
// whose size or depth differs from the set-up frame (FrameMatches).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/dib.h"
#include "core/result.h"
#include "learn/integral.h"
#include "learn/window_features.h"

namespace fw {

inline constexpr const char* kHaarFile = "Adaboost.kdz";

// One weak classifier, byte for byte as in the file.
struct HaarRecord {
  int32_t featureCode = 0;  // 11..44 grey, 1011..1044 colour range
  int32_t x = 0;            // rectangle in the 24 x 24 base window
  int32_t y = 0;
  int32_t w = 0;
  int32_t h = 0;
  // Read as the float lower threshold T2 ("Detecting") or as a signed 32-bit polarity
  // ("Adaboost+Motion").
  std::array<uint8_t, 4> lower{};
  float threshold = 0.0f;  // T1
  float alpha = 0.0f;
};
static_assert(sizeof(HaarRecord) == 32);

// How a record's lower field is read.
enum class HaarReading {
  Interval,  // float T2: with T2 <= T1 yes when T2 <= v < T1, else yes when v < T1 or v >= T2
  Polarity,  // int32 p: yes when p v < p T1 (p > 0: v < T1; p < 0: v > T1; p = 0: never)
};

float LowerAsFloat(const HaarRecord& r);
int32_t LowerAsPolarity(const HaarRecord& r);
bool HaarWeakYes(HaarReading reading, const HaarRecord& r, float v);

// The cascade as the file holds it, its stage list rebuilt by growth from the first entry (10,
// then 4/3 of the previous, the last stage cut to the total).
struct HaarModel {
  static constexpr int kMaxStages = 20;
  static constexpr int kMaxRecords = 1000;
  std::array<int32_t, kMaxStages> stageSizes{};
  std::vector<HaarRecord> records;
  int StageCount() const;
  int RecordsInStages() const;
};

// The file: S, N (int32), S stage sizes, N records; no stage thresholds follow. Every count,
// size and record the stages use is checked; the message names the file and the problem.
Result LoadHaarFile(const std::string& path, HaarModel& model);
Result ParseHaarFile(std::string_view bytes, const std::string& path, HaarModel& model);
// The bytes of a file with one stage size (the number of records).
std::string HaarFileBytes(std::span<const HaarRecord> records);

// A detection: the square window, in memory columns and rows, right and bottom exclusive.
struct HaarRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Window sides of a scan over frames `height` rows high: height, then trunc(0.8 side) while the
// side is above 23. Returns how many were written (at most out.size()).
int HaarWindowSides(int height, std::span<int> out);

class HaarDetector {
 public:
  static constexpr int kMaxRects = 200;
  static constexpr int kBlock = 8;  // the change and persistence blocks of "Detecting"
  static constexpr float kStageRatio = 0.6f;
  static constexpr int kMaxScales = 32;
  static constexpr int kRing = 3;
  static constexpr uint8_t kGreyChanged = 0x01;
  static constexpr uint8_t kRangeChanged = 0x10;
  static constexpr uint8_t kShownPersistence = 30;  // blocks at or above it show yellow

  // Loads the cascade from the file and sizes every buffer for the frame; rings, maps and the
  // ring position start empty. A file that cannot be used is refused (the detector as it was);
  // a frame that is not 24-bit leaves the detector without a frame (FrameMatches is false).
  Result SetUp(const Dib& frame, const std::string& path, HaarReading reading);
  void SetUp(const Dib& frame, HaarModel model, HaarReading reading);
  // Bytes SetUp and the frames allocate for frames of this size and a file of this many bytes.
  static size_t Bytes(int width, int height, uint64_t fileBytes);

  bool FrameMatches(const Dib& frame) const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  int BlockColumns(int block) const { return width_ / block; }
  int BlockRows(int block) const { return height_ / block; }
  const HaarModel& Model() const { return model_; }

  // Builds the frame's planes and scans it: windows that overlap an accepted one are skipped,
  // the scan stops at kMaxRects. Returns the number of rectangles.
  int Scan(const Dib& frame);
  std::span<const HaarRect> Rects() const { return {rects_.data(), static_cast<size_t>(count_)}; }
  std::span<const int> Sides() const { return {sides_.data(), static_cast<size_t>(scales_)}; }
  // The planes of a frame that FrameMatches, and the cascade's decision on the window of side
  // Sides()[scale] at (x, y) of them.
  void BuildPlanes(const Dib& frame);
  bool Accepts(int scale, int x, int y);

  // The current grey and range planes change places with the ring slot at the ring position,
  // which then advances (so the slot before it holds this frame's planes).
  void RotateRings();
  // Change bits of every 8 x 8 block between this frame's planes and the previous frame's in the
  // ring (after RotateRings): kGreyChanged when the grey sums differ by 39 or more, kRangeChanged
  // when the range sums differ by 14 or more.
  void BlockChange();
  std::span<const uint8_t> ChangeMap() const { return changeMap_; }
  // A rectangle is confirmed when at least two of the 8 x 8 blocks it covers changed.
  void ConfirmRects();
  std::span<const uint8_t> Confirmed() const {
    return {confirmed_.data(), static_cast<size_t>(count_)};
  }
  // p <- (255 [block centre inside a counted rectangle] + 99 p) / 100 for every 8 x 8 block: the
  // counted rectangles are the confirmed ones or, with `all`, every one.
  void UpdatePersistence(bool all);
  std::span<const uint8_t> Persistence() const { return persistence_; }

  // Drawing into 24-bit panes of the frame size: the change blocks (red grey change, green range
  // change, blue both), the persistence map (yellow from kShownPersistence, a white-to-green
  // tint below), the rectangles (confirmed red, others green; or all red).
  void DrawChange(Dib& view, const Dib& frame) const;
  void DrawPersistence(Dib& view) const;
  void DrawRects(Dib& view, const Dib& frame, bool byConfirmation) const;

 private:
  // The records of the stages up to `stage` resolved for the scale (on first use).
  void ResolveUpTo(int scale, int stage);
  bool Overlaps(int x, int y, int side) const;
  template <HaarReading R>
  bool AcceptsAs(int scale, size_t origin);

  // Per record of the stages: thresholds, polarity and weight as the decisions read them, and the
  // weights after it in its stage.
  struct Weak {
    float t1 = 0.0f;
    float t2 = 0.0f;
    int32_t polarity = 0;
    float alpha = 0.0f;
    double rest = 0.0;
  };

  HaarReading reading_ = HaarReading::Interval;
  HaarModel model_;
  int width_ = 0;
  int height_ = 0;
  int stages_ = 0;
  std::array<int, HaarModel::kMaxStages + 1> firstRecord_{};  // first record of each stage
  std::array<float, HaarModel::kMaxStages> bar_{};            // 0.6 x the stage's weights
  std::array<bool, HaarModel::kMaxStages> early_{};           // no negative weight: stop early
  std::vector<Weak> weak_;

  std::array<int, kMaxScales> sides_{};
  int scales_ = 0;
  // Per scale, the resolved features of the records (model_.RecordsInStages() per scale) and
  // how many stages of them are resolved so far.
  std::vector<ResolvedWindowFeature> resolved_;
  std::array<int, kMaxScales> resolvedStages_{};

  WindowPlanes planes_;
  std::array<IntegralPlane<uint32_t>, kRing> greyRing_;
  std::array<IntegralPlane<uint32_t>, kRing> rangeRing_;
  int ringPosition_ = 0;

  std::array<HaarRect, kMaxRects> rects_{};
  std::array<uint8_t, kMaxRects> confirmed_{};
  int count_ = 0;
  std::vector<uint8_t> changeMap_;    // 8 x 8 blocks
  std::vector<uint8_t> persistence_;  // 8 x 8 blocks
  std::vector<uint8_t> inside_;       // scratch: block centre inside a counted rectangle
};

}  // namespace fw

// Mode 7020 "RealAdaBoost Detectiong": the Byte cascade over square windows of every side
// 24 x 2^k up to the frame height, a quarter side apart; rectangles confirmed by colour change
// over the last three frames, refused at the frame border or where the motion mask inside them
// moves as a rigid whole (or not at all); the alarm when more than 3 of the last 5 frames had
// confirmed rectangles covering more than two base windows.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "learn/modes/detection_windows.h"
#include "learn/modes/frame_history.h"

namespace fw {

class RealAdaBoostDetector {
 public:
  static constexpr int kChangeThreshold = 25;
  static constexpr int kSmokyArea = 2 * kWindowBase * kWindowBase;  // 1152 pixels
  static constexpr int kDarkFrame = 85;    // mean intensity below which nothing is confirmed
  static constexpr int kMotionStep = 90;   // |D(t) - D(t - 1)| of a moving pixel
  static constexpr int kRigidMatch = 100;  // best mask match below this: rigid or no motion
  static constexpr int kVoteFrames = 5;
  static constexpr int kAlarmVotes = 4;  // more than 3 of the last 5

  // Window sides of the scan for a frame height: the largest 24 x 2^k not above it, halved while
  // above 23 (none below 24).
  static int Sides(int height, std::array<int, 16>& sides);

  // Compiles the loaded Byte cascade for every side and sizes every buffer for the frame.
  void Build(const ClassifierSet& model, int width, int height);
  // What Build allocates, and what the first frame's planes add.
  static uint64_t Bytes(int width, int height);
  static uint64_t PlaneBytes(int width, int height);

  // Builds the frame's planes and scans every side; stops at 200 rectangles.
  void Scan(const Dib& frame, WindowList& windows);
  // The steps after the scan: the colour-change blocks (bottom-left pane: the frame, blocks
  // outlined by their count over three frames), the motion mask (bottom-right), the rectangle
  // checks, the rectangles over the frame (top-right) and the vote. Returns the alarm flag.
  bool AfterScan(const Dib& frame, const FrameHistory& history, WindowList& windows,
                 bool alarmShown, int frameNumber, Dib& topRight, Dib& bottomLeft,
                 Dib& bottomRight);

  int SmokyFrames() const;

 private:
  void CountChanges(const FrameHistory& history, Dib& bottomLeft);
  void MotionMask(const FrameHistory& history, Dib& bottomRight);
  void CheckRectangles(const FrameHistory& history, WindowList& windows) const;
  int BestMotionMatch(const WindowRect& r) const;

  int width_ = 0;
  int height_ = 0;
  int sideCount_ = 0;
  std::array<int, 16> sides_{};
  std::vector<CompiledCascade<WindowByteFamily>> cascades_;  // one per side
  WindowPlanes planes_;
  // Colour-change maps of the last three frames and the changed count of every block over them.
  std::array<std::vector<uint8_t>, 3> changeRing_;
  std::vector<uint8_t> changeCount_;
  int changePosition_ = 0;
  // Channel-sum differences D of this and the previous frame, and their motion masks (0 or 1).
  std::array<std::vector<int32_t>, 2> difference_;
  std::array<std::vector<uint8_t>, 2> mask_;
  int current_ = 0;
  std::array<uint8_t, kVoteFrames> smoky_{};
  int smokyPosition_ = 0;
};

}  // namespace fw

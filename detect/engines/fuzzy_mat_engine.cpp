#include "detect/engines/fuzzy_mat_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/draw.h"
#include "detect/dispatch.h"

namespace fw::engines {

namespace {

size_t Blocks(int width, int height) {
  return static_cast<size_t>(std::max(width, 0) / FuzzyMatEngine::kBlockSize) *
         static_cast<size_t>(std::max(height, 0) / FuzzyMatEngine::kBlockSize);
}

}  // namespace

size_t FuzzyMatEngine::Bytes(int width, int height) {
  const size_t n = Blocks(width, height);
  const size_t pixels = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
  return 2 * pixels * sizeof(uint32_t) + n * (3 + 8 + kWindow) + kWindow * sizeof(int32_t) +
         static_cast<size_t>(DibStride(width, 24)) * std::max(height, 0);
}

void FuzzyMatEngine::InitialiseMat(Dib& frame) {
  *this = FuzzyMatEngine();  // what an earlier initialisation allocated goes
  frame_ = &frame;
  if (frame.GetBitCount() != 24) return;
  width_ = frame.Width();
  height_ = frame.Height();
  columns_ = width_ / kBlockSize;
  rows_ = height_ / kBlockSize;
  const size_t n = static_cast<size_t>(columns_) * rows_;
  frameCopy_.CopyFrom(frame, false);
  current_.Allocate(width_, height_, 1);
  previous_.Allocate(width_, height_, 1);
  changeMap_.assign(n, 0);
  codeMap_.assign(n, 0);
  dominantMap_.assign(n, 0);
  codeCounts_.assign(8 * n, 0);
  codeRing_.assign(kWindow * n, 0);
  ringCoded_.assign(kWindow, 0);
  ready_ = true;
}

bool FuzzyMatEngine::FrameMatches() const {
  return ready_ && frame_->SameFormat(width_, height_, 24) &&
         frame_->Stride() == frameCopy_.Stride();
}

int FuzzyMatEngine::BlockCode(int x0, int y0) const {
  // Steps in the order tried, and the code each gives: the content moved against the step.
  constexpr int kSteps[8][3] = {{1, 0, 5},  {1, 1, 6},   {0, 1, 7},  {-1, 1, 8},
                                {-1, 0, 1}, {-1, -1, 2}, {0, -1, 3}, {1, -1, 4}};
  const int64_t s = current_.SignedWindow(x0, y0, x0 + 15, y0 + 15);
  int64_t smallest = 0;
  int code = 0;
  for (const auto& step : kSteps) {
    int64_t largest = 0;
    for (int d = 1; d <= 3; ++d) {
      const int dx = d * step[0];
      const int dy = d * step[1];
      const int64_t p = previous_.SignedWindow(x0 + dx, y0 + dy, x0 + 15 + dx, y0 + 15 + dy);
      largest = std::max(largest, std::abs(s - p));
    }
    if (code == 0 || largest <= smallest) {
      smallest = largest;
      code = step[2];
    }
  }
  return code;
}

void FuzzyMatEngine::RecordCode(int block, uint8_t code) {
  uint8_t& entry = codeRing_[static_cast<size_t>(ringIndex_) * BlockCount() + block];
  if (entry != 0) {
    --codeCounts_[8 * static_cast<size_t>(block) + entry - 1];
    --ringCoded_[ringIndex_];
  }
  if (code != 0) {
    ++codeCounts_[8 * static_cast<size_t>(block) + code - 1];
    ++ringCoded_[ringIndex_];
  }
  entry = code;
}

void FuzzyMatEngine::RecordCodes(std::span<const uint8_t> codes) {
  if (!ready_) return;
  const int n = BlockCount();
  for (int block = 0; block < n; ++block) RecordCode(block, codes[block]);
  // A frame whose coded blocks suddenly triple (a light switched, the camera moved) is taken
  // back out of the histograms.
  const int before = ringCoded_[(ringIndex_ + kWindow - 1) % kWindow];
  if (before >= 9 && ringCoded_[ringIndex_] >= 3 * before) {
    for (int block = 0; block < n; ++block) RecordCode(block, 0);
  }
  ComputeDominants();
}

void FuzzyMatEngine::ComputeDominants() {
  for (int block = 0; block < BlockCount(); ++block) {
    const uint8_t* k = codeCounts_.data() + 8 * static_cast<size_t>(block);
    int total = 0;
    int code = 1;
    for (int i = 0; i < kCodeCount; ++i) {
      total += k[i];
      if (k[i] >= k[code - 1]) code = i + 1;  // the higher code on ties
    }
    dominantMap_[block] = static_cast<uint8_t>(total < kDominantTotal ? 0 : code);
  }
}

void FuzzyMatEngine::EstimateBlockDirections() {
  if (!FrameMatches()) return;
  current_.ComputeMeanGrey(*frame_);
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < columns_; ++c) {
      const int block = r * columns_ + c;
      const int x0 = kBlockSize * c;
      const int y0 = kBlockSize * r;
      const int x1 = std::min(x0 + kBlockSize, width_ - 1);
      const int y1 = std::min(y0 + kBlockSize, height_ - 1);
      const int64_t change = static_cast<int64_t>(current_.SignedWindow(x0, y0, x1, y1)) -
                             previous_.SignedWindow(x0, y0, x1, y1);
      changeMap_[block] = std::abs(change) >= kChangeSum ? kChanged : 0;
      const bool border = c == 0 || r == 0 || c == columns_ - 1 || r == rows_ - 1;
      codeMap_[block] =
          border || changeMap_[block] == 0 ? 0 : static_cast<uint8_t>(BlockCode(x0, y0));
    }
  }
  RecordCodes(codeMap_);
}

void FuzzyMatEngine::DrawBlockDirections(Dib& image) const {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  image.CopyFrom(*frame_, true);
  for (int block = 0; block < BlockCount(); ++block) {
    DrawCodeArrow(image, codeMap_[block], kBlockSize * (block % columns_),
                  kBlockSize * (block / columns_), kBlockSize, {255, 0, 0}, 10);
  }
}

void FuzzyMatEngine::DrawBlockDominants(Dib& image) const {
  if (!FrameMatches()) return;
  EnsureFrameFormat(image, width_, height_, 24);
  image.Clear();
  for (int block = 0; block < BlockCount(); ++block) {
    DrawCodeArrow(image, dominantMap_[block], kBlockSize * (block % columns_),
                  kBlockSize * (block / columns_), kBlockSize, {0, 255, 0}, 10);
  }
}

uint8_t FuzzyMatEngine::VoteDirections(Dib& image) {
  if (!FrameMatches()) return 0;
  EnsureFrameFormat(image, width_, height_, 24);
  image.Clear();
  std::array<int64_t, 9> blocks{};
  for (const uint8_t code : dominantMap_) ++blocks[code];
  int64_t sum = 0;
  int64_t largest = 0;
  for (int k = 1; k <= kCodeCount; ++k) {
    sum += blocks[k];
    largest = std::max(largest, blocks[k]);
  }
  const int64_t up = blocks[2] + blocks[3] + blocks[4];
  uint8_t vote = 0;
  if (sum >= kVoteBlocks) {
    maximumProportion_ = static_cast<float>(largest) / static_cast<float>(sum);
    upwardRatio_ = static_cast<float>(up) / static_cast<float>(sum);
    // UMR >= 0.6 or MP > 0.45, decided exactly on the counts.
    vote = 5 * up >= 3 * sum || 20 * largest > 9 * sum ? 1 : 0;
    for (int k = 1; k <= kCodeCount; ++k) {
      const int x = width_ / 2 - 64 + 16 * (k - 1);
      FillRect(image, x, 0, x + 15, static_cast<int>((height_ - 1) * blocks[k] / sum), 0, 0, 255);
    }
  }
  yesVotes_ += vote - voteRing_[ringIndex_];
  voteRing_[ringIndex_] = vote;
  alarmRatio_ = static_cast<float>(yesVotes_) / static_cast<float>(kWindow);
  char text[64];
  std::snprintf(text, sizeof text, "UMR:%3.2f,AR:%3.2f,MP:%3.2f", upwardRatio_, alarmRatio_,
                maximumProportion_);
  StampText(image, text, 10, height_ - 25, {255, 255, 0});
  return yesVotes_ >= kAlarmVotes ? 1 : 0;
}

void FuzzyMatEngine::EndMatFrame() {
  if (!FrameMatches()) return;
  frame_->SwapPixels(frameCopy_);
  current_.Swap(previous_);
  ringIndex_ = (ringIndex_ + 1) % kWindow;
}

}  // namespace fw::engines

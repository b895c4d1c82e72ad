#include "detect/background/background_model.h"

#include <algorithm>
#include <array>

#include "detect/background/model_kernels.h"

namespace fw {

namespace background {

FW_ROW_KERNEL void SplitChannels(const uint8_t* src, int width, float* blue, float* green,
                                 float* red) {
  for (int x = 0; x < width; ++x) {
    blue[x] = src[3 * x];
    green[x] = src[3 * x + 1];
    red[x] = src[3 * x + 2];
  }
}

}  // namespace background

namespace {

// Mask cleaning marks.
constexpr uint8_t kForegroundVisit = 100;
constexpr uint8_t kBackgroundVisit = 150;
constexpr uint8_t kLargeBackground = 200;
constexpr uint8_t kKept = 255;

inline void PaintBlue(uint8_t* pixel) {
  pixel[0] = 255;
  pixel[1] = 0;
  pixel[2] = 0;
}

}  // namespace

// --- construction and settings -------------------------------------------------------------------

BackgroundModel::BackgroundModel(BackgroundKind kind, Dib& source, Dib& display)
    : source_(&source),
      display_(&display),
      width_(source.Width()),
      height_(source.Height()),
      pixels_(static_cast<size_t>(source.Width()) * static_cast<size_t>(source.Height())),
      kind_(kind) {
  mask_.assign(pixels_, 0);
}

void BackgroundModel::SetDisplayMode(int mode) {
  if (mode == kDisplayForeground || mode == kDisplayBackground) displayMode_ = mode;
}

bool BackgroundModel::FitsModel(const Dib& image, int bitCount) const {
  return image.GetBitCount() == bitCount && image.Width() == width_ && image.Height() == height_;
}

bool BackgroundModel::FrameFits() const {
  return FitsModel(*source_, 24) && FitsModel(*display_, 24);
}

bool BackgroundModel::ModelImageFits(int bitCount, bool needsFloatCopy) const {
  if (!modelImage_ || !FitsModel(*modelImage_, bitCount)) return false;
  return !needsFloatCopy || modelImage_->FloatCopy().size() == pixels_ * (bitCount / 8);
}

void BackgroundModel::WriteBackgroundImage() {
  if (!ModelImageFits(24, true)) return;
  const float* background = modelImage_->FloatCopy().data();
  const int rowBytes = width_ * 3;
  for (int y = 0; y < height_; ++y) {
    const float* bg = background + static_cast<size_t>(y) * rowBytes;
    uint8_t* row = modelImage_->Row(y);
    for (int i = 0; i < rowBytes; ++i) {
      row[i] = static_cast<uint8_t>(std::clamp(bg[i], 0.0f, 255.0f));
    }
  }
}

// --- display rule, cleaning, colour test ---------------------------------------------------------

namespace {

// Display "Background": background pixels take the frame's colour, foreground pixels keep theirs.
// Branch-free byte selects, so that the row vectorises.
FW_ROW_KERNEL void PaintBackgroundRow(const uint8_t* src, uint8_t* dst, const uint8_t* m,
                                      int width) {
  for (int x = 0; x < width; ++x) {
    const uint8_t keep = m[x] != 0 ? 0xFF : 0;
    for (int k = 0; k < 3; ++k) {
      dst[3 * x + k] = static_cast<uint8_t>((dst[3 * x + k] & keep) | (src[3 * x + k] & ~keep));
    }
  }
}

// Display "Foreground": foreground pixels take the frame's colour, background pixels turn blue.
// Returns the number of foreground pixels.
FW_ROW_KERNEL int PaintForegroundRow(const uint8_t* src, uint8_t* dst, const uint8_t* m,
                                     int width) {
  int painted = 0;
  for (int x = 0; x < width; ++x) {
    const uint8_t shown = m[x] != 0 ? 0xFF : 0;
    painted += m[x] != 0;
    dst[3 * x] = static_cast<uint8_t>((src[3 * x] & shown) | (255 & ~shown));
    dst[3 * x + 1] = static_cast<uint8_t>(src[3 * x + 1] & shown);
    dst[3 * x + 2] = static_cast<uint8_t>(src[3 * x + 2] & shown);
  }
  return painted;
}

}  // namespace

int BackgroundModel::Paint() {
  if (!FrameFits()) return 0;
  int painted = 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* dst = display_->Row(y);
    const uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    if (displayMode_ == kDisplayBackground) {
      PaintBackgroundRow(src, dst, m, width_);
    } else {
      painted += PaintForegroundRow(src, dst, m, width_);
    }
  }
  return displayMode_ == kDisplayForeground ? painted : 0;
}

void BackgroundModel::CleanMask() {
  uint8_t* mask = mask_.data();
  const int w = width_;
  const int h = height_;
  // A region search collects at most 17 pixels: the 17th decides that the region stays.
  std::array<int, kSmallRegion + 1> stack;
  std::array<int, kSmallRegion + 1> region;

  // Grows the 4-connected region of `start` through pixels accepted by `member`, marking them
  // `visit`. Returns true when the region is large (17 pixels) or touches a pixel marked `large`;
  // `collected` is the number of marked pixels.
  auto grow = [&](int start, auto member, uint8_t visit, uint8_t large, int& collected) {
    int top = 0;
    collected = 0;
    mask[start] = visit;
    region[collected++] = start;
    stack[top++] = start;
    while (top > 0) {
      const int p = stack[--top];
      const int x = p % w;
      const int y = p / w;
      // Right, up, left, down.
      const int neighbours[4] = {x + 1 < w ? p + 1 : -1, y > 0 ? p - w : -1, x > 0 ? p - 1 : -1,
                                 y + 1 < h ? p + w : -1};
      for (const int q : neighbours) {
        if (q < 0) continue;
        if (mask[q] == large) return true;
        if (!member(mask[q])) continue;
        mask[q] = visit;
        region[collected++] = q;
        if (collected > kSmallRegion) return true;
        stack[top++] = q;
      }
    }
    return false;
  };

  const int n = w * h;
  // Small foreground regions become background; the others become 255.
  auto unvisitedForeground = [](uint8_t v) {
    return v != 0 && v != kForegroundVisit && v != kKept;
  };
  for (int p = 0; p < n; ++p) {
    if (mask[p] == 0 || mask[p] == kKept) continue;
    int collected = 0;
    const bool large = grow(p, unvisitedForeground, kForegroundVisit, kKept, collected);
    const uint8_t result = large ? kKept : 0;
    for (int i = 0; i < collected; ++i) mask[region[i]] = result;
  }
  // Small background holes are filled; large background regions are marked and end as 0.
  auto unvisitedBackground = [](uint8_t v) { return v == 0; };
  for (int p = 0; p < n; ++p) {
    if (mask[p] != 0) continue;
    int collected = 0;
    const bool large = grow(p, unvisitedBackground, kBackgroundVisit, kLargeBackground, collected);
    const uint8_t result = large ? kLargeBackground : kKept;
    for (int i = 0; i < collected; ++i) mask[region[i]] = result;
  }
  for (int p = 0; p < n; ++p) {
    if (mask[p] == kLargeBackground) mask[p] = 0;
  }
}

void BackgroundModel::ColourTest(bool trim) {
  if (!FrameFits()) return;
  constexpr int kRedLimit = 125;
  constexpr int kSaturationLimit = 60;
  int kept = 0;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* dst = display_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      if (m[x] == 0) continue;
      const int blue = src[3 * x];
      const int green = src[3 * x + 1];
      const int red = src[3 * x + 2];
      const int hi = std::max({blue, green, red});
      const int lo = std::min({blue, green, red});
      const int saturation = hi == 0 ? 0 : 255 * (hi - lo) / hi;
      if (red > kRedLimit && red >= green && green > blue &&
          saturation >= (255 - red) * kSaturationLimit / kRedLimit) {
        ++kept;
        continue;
      }
      m[x] = 0;
      if (trim) {
        PaintBlue(dst + 3 * x);
      } else {
        dst[3 * x + 2] = static_cast<uint8_t>(dst[3 * x + 2] / 2 + 127);
      }
    }
  }
  colourCount_ = kept;
}

// --- post step -----------------------------------------------------------------------------------

void BackgroundModel::PostStep(bool ownMode, uint8_t modelDisplayFlag,
                               const BackgroundParams& params) {
  if (!FrameFits()) return;
  if (ownMode) PrepareMask();
  if (postProcessing_) CleanMask();
  if (ownMode && PaintsEveryFrame()) {
    previousCount_ = count_;
    count_ = Paint();
    AfterPaint();
  } else if (modelDisplayFlag == 1) {
    if (ownMode) BeforePaint();
    previousCount_ = count_;
    count_ = Paint();
  }
  if (params.colourTesting) ColourTest(params.colourTrim);
}

}  // namespace fw

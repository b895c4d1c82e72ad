// The shared base of the background models. Each model turns the frame pane into a foreground
// mask (one byte per pixel, 0 background, non-zero foreground) and paints a foreground or
// background view of the frame into the display pane; what they share lives here: the mask, the
// display rule, the mask cleaning, the colour test and the post step of the pipeline. The models
// themselves are one file each beside this one: frame differences (1, 2), the mixture of five
// Gaussians (257), the single Gaussian (258), kernel density (260), the second mixture (264) and
// the time-and-background (7001), simple (7002) and accurate time (7004) background models.
//
// A model is built for the size of the frame pane at selection and keeps pointers to the frame
// pane, the display pane and the model image; all of them belong to the detection state. Every
// step does nothing for a frame whose size or depth differs from the size at selection (the mode
// must be selected again), so a changed video can never be read or written out of bounds.
// Per-frame steps allocate nothing; the second mixture's learning frame is the one exception.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"
#include "detect/background/background_state.h"

namespace fw {

// Which model an object is; the mode steps check it (a wrong kind is a programming error).
enum class BackgroundKind {
  FrameDifference,     // 1, 2
  Mixture,             // 257
  Gauss,               // 258
  Density,             // 260
  Mixture2,            // 264
  TimeBackground,      // 7001
  SimpleBackground,    // 7002
  AccurateBackground,  // 7004
  MotionFeatures,      // 7005, 7006, 7007 (the motion family's masks)
};

inline constexpr int kLearningFrames = 60;  // frames learned by 257, 258, 260 and 264
inline constexpr int kDensitySamples = 60;  // samples per pixel kept by 260 and 264
inline constexpr int kMixtureComponents = 5;
// The mask cleaning removes foreground regions and fills background holes of at most this many
// pixels.
inline constexpr int kSmallRegion = 16;

class BackgroundModel {
 public:
  virtual ~BackgroundModel() = default;
  BackgroundModel(const BackgroundModel&) = delete;
  BackgroundModel& operator=(const BackgroundModel&) = delete;

  BackgroundKind Kind() const { return kind_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // True while the frame pane and the display are 24-bit images of the size at selection.
  bool FrameFits() const;
  // Whether a frame of another size has been reported for this model.
  bool SizeReported() const { return sizeReported_; }
  void SetSizeReported() { sizeReported_ = true; }

  // 1, 2: the top-right pane (difference written there, mask derived from it); 7001, 7004: the
  // top-right pane whose float copy is the background; 7002: the 8-bit model background image.
  void SetModelImage(Dib* image) { modelImage_ = image; }

  // --- settings ---
  // The Gauss threshold edit's value; the single Gaussian tests against it.
  void SetThreshold(float threshold) { threshold_ = threshold; }
  float Threshold() const { return threshold_; }
  // kDisplayForeground or kDisplayBackground; other values are ignored.
  void SetDisplayMode(int mode);
  int DisplayMode() const { return displayMode_; }
  void SetPostProcessing(bool on) { postProcessing_ = on; }
  bool PostProcessing() const { return postProcessing_; }

  // Later in the same frame: cleans the mask when post-processing is on, paints the display and
  // applies the colour test when colour testing is on. While the model's own mode is current
  // (`ownMode`) the model takes its part: the frame differences derive their mask first, 7001
  // and 7004 paint on every frame and refresh the top-right pixels from the background, 258
  // updates its Gaussians before painting. Otherwise the display is painted only while
  // modelDisplayFlag is 1.
  void PostStep(bool ownMode, uint8_t modelDisplayFlag, const BackgroundParams& params);

  // --- parts of the post step, callable on their own ---
  // The display rule: background pixels are copied (display "Background") or painted blue
  // ("Foreground"); foreground pixels are copied and counted ("Foreground") or left as they are.
  // Returns the number of foreground pixels painted (0 in display "Background").
  int Paint();
  // Foreground regions of at most 16 pixels become background, background holes of at most 16
  // pixels become foreground; afterwards the mask holds 0 and 255. Grows regions with a fixed
  // 17-entry stack, so it never recurses and never allocates.
  void CleanMask();
  // Keeps foreground pixels of flame colour (red above 125, red >= green > blue, saturation
  // enough for the red); the others become background and their display pixel turns blue
  // (trim) or redder.
  void ColourTest(bool trim);

  // --- results ---
  std::span<uint8_t> Mask() { return mask_; }
  std::span<const uint8_t> Mask() const { return mask_; }
  // Frames learned since selection (257, 260 and 264).
  int LearningCount() const { return learningCount_; }
  // Foreground pixels painted in display "Foreground" this frame and the frame before.
  int Count() const { return count_; }
  int PreviousCount() const { return previousCount_; }
  // Foreground pixels left by the last colour test.
  int ColourCount() const { return colourCount_; }

 protected:
  // source is the frame pane (24-bit), display the bottom-left pane (24-bit). May throw
  // std::bad_alloc for a frame too large for memory.
  BackgroundModel(BackgroundKind kind, Dib& source, Dib& display);

  bool FitsModel(const Dib& image, int bitCount) const;
  bool ModelImageFits(int bitCount, bool needsFloatCopy) const;
  // The model image's pixels from its float copy, clamped to 0..255 (7001, 7004).
  void WriteBackgroundImage();

  // The post step's parts of the model while its own mode is current.
  virtual void PrepareMask() {}
  virtual bool PaintsEveryFrame() const { return false; }
  virtual void BeforePaint() {}
  virtual void AfterPaint() {}

  Dib* source_;
  Dib* display_;
  Dib* modelImage_ = nullptr;
  int width_;
  int height_;
  size_t pixels_;
  float threshold_ = 6.25f;
  bool postProcessing_ = false;
  std::vector<uint8_t> mask_;
  int learningCount_ = 0;

 private:
  BackgroundKind kind_;
  int displayMode_ = kDisplayBackground;
  bool sizeReported_ = false;
  int count_ = 0;
  int previousCount_ = 0;
  int colourCount_ = 0;
};

}  // namespace fw

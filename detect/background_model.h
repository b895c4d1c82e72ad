// Background models: each turns the frame pane into a foreground mask (one byte per pixel, 0
// background, non-zero foreground) and paints a foreground or background view of the frame into
// the display pane. Ten ways of deciding foreground, one per mode: backward and centre frame
// differences (1, 2), a mixture of five Gaussians (257), a single Gaussian (258), kernel density
// over 60 stored samples (260), a second five-component mixture with per-channel variances (264),
// and the time-and-background (7001), simple (7002) and accurate time (7004) background models.
//
// A model is built for the size of the frame pane at selection and keeps pointers to the frame
// pane, the display pane and the model image; all of them belong to the detection state. Every
// step does nothing for a frame whose size or depth differs from the size at selection (the mode
// must be selected again), so a changed video can never be read or written out of bounds.
// Per-frame steps allocate nothing; the second mixture's learning frame is the one exception.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/dib.h"
#include "detect/detection_state.h"

namespace fw {

using BackgroundParams = DetectionState::BackgroundParams;

// What a model is built for; it decides which per-pixel records are allocated.
enum class BackgroundKind {
  MaskBuffers,         // the mask buffers only (motion features)
  Difference,          // 1, 2
  Mixture,             // 257
  Gauss,               // 258
  Density,             // 260
  Mixture2,            // 264
  TimeBackground,      // 7001
  SimpleBackground,    // 7002
  AccurateBackground,  // 7004
};

inline constexpr int kLearningFrames = 60;  // frames learned by 257, 258, 260 and 264
inline constexpr int kDensitySamples = 60;
// The kernel table has 128 rows (kernel indices) and 128 columns (colour differences 0..127).
// A colour difference of 128 or more contributes 0 to the density.
inline constexpr int kKernelRows = 128;
inline constexpr int kKernelColumns = 128;
inline constexpr int kMixtureComponents = 5;
// The first mixture keeps its records in blocks of this many neighbouring pixels of a row.
inline constexpr int kMixtureLanes = 16;
// The mask cleaning removes foreground regions and fills background holes of at most this many
// pixels.
inline constexpr int kSmallRegion = 16;

// Status-bar texts of the second mixture's learning.
inline constexpr const char* kLearningFrameText = "Current Learning Frame: %d";
inline constexpr const char* kLearningLinesText = "Current Learning Lines of DIB: %d";

// Component of the first mixture, for inspection.
struct MixtureComponent {
  float variance = 0.0f;        // one value for all channels
  std::array<float, 3> mean{};  // blue, green, red
  float weight = 0.2f;
};

// One field of one component for the kMixtureLanes pixels of a block, a cache line of floats.
struct alignas(64) MixtureLanes {
  float lane[kMixtureLanes] = {};
};

// Component of the second mixture, for inspection.
struct Mixture2Component {
  std::array<float, 3> variance{};  // blue, green, red
  std::array<float, 3> mean{};      // blue, green, red
  float weight = 0.2f;
  float rankKey = 0.0f;
};

// 3 x 3 median of each channel (8-bit and 24-bit images of equal format). The border rows and
// columns of the destination are left untouched; other depths or formats change nothing.
void Median3x3(const Dib& source, Dib& destination);
// (3 x centre + 2 x (left + right + up + down) + the four diagonals) / 15 per channel, integer
// division; border and format rules as Median3x3.
void Smooth3x3(const Dib& source, Dib& destination);

class BackgroundModel {
 public:
  // A model for frames of the source's size. source is the frame pane (24-bit), display the
  // bottom-left pane (24-bit). May throw std::bad_alloc for a frame too large for memory.
  BackgroundModel(BackgroundKind kind, Dib& source, Dib& display);
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
  void SetThreshold(float threshold) { threshold_ = threshold; }  // single-Gaussian threshold
  float Threshold() const { return threshold_; }
  // kDisplayForeground or kDisplayBackground; other values are ignored.
  void SetDisplayMode(int mode);
  int DisplayMode() const { return displayMode_; }
  void SetPostProcessing(bool on) { postProcessing_ = on; }
  bool PostProcessing() const { return postProcessing_; }
  // The second mixture's clustering draws its initial centres from a generator seeded from the
  // clock at the learning frame; a seed set here is used instead.
  void SetClusterSeed(uint32_t seed);

  // --- mode steps ---
  // Mode 1: top-right = backward difference of the frame and `previous`, then the frame pane and
  // `previous` exchange buffers. Mode 2: centre difference of `secondPrevious`, `previous` and
  // the frame, then secondPrevious <- previous <- frame pane <- former secondPrevious buffer.
  // threshold: the control bar's difference threshold.
  void DifferenceStep(int mode, int threshold, Dib& previous, Dib& secondPrevious);
  void MixtureStep();
  void GaussStep();
  // Reads the kernel index and probability threshold; advances the sample ring index per pixel.
  void DensityStep(BackgroundParams& params);
  void Mixture2Step();
  void TimeBackgroundStep(const Dib& previous, const BackgroundParams& params);
  // current: the median-filtered grey frame; previous: the grey frame before it (both 8-bit).
  void SimpleBackgroundStep(const Dib& current, const Dib& previous);
  // previous: the denoised frame before the (denoised) frame pane.
  void AccurateBackgroundStep(const Dib& previous, const BackgroundParams& params);

  // Later in the same frame: derives the mask of modes 1 and 2, cleans it when post-processing
  // is on, paints the display (7001, 7004 also refresh the top-right pixels from the background;
  // the other modes paint only while modelDisplayFlag is 1, 258 updating its Gaussians first),
  // then applies the colour test when colour testing is on. `mode` is the current mode.
  void ModelPostStep(int mode, uint8_t modelDisplayFlag, const BackgroundParams& params);

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

  // --- results and state ---
  std::span<uint8_t> Mask() { return mask_; }
  std::span<const uint8_t> Mask() const { return mask_; }
  std::span<uint8_t> SecondMask() { return secondMask_; }
  int LearningCount() const { return learningCount_; }
  int GaussLearningCount() const { return gaussCount_; }
  // Foreground pixels painted in display "Foreground" this frame and the frame before.
  int Count() const { return count_; }
  int PreviousCount() const { return previousCount_; }
  // Foreground pixels left by the last colour test.
  int ColourCount() const { return colourCount_; }
  std::span<const uint8_t> FrameDifferenceMap() const { return frameDifference_; }
  std::span<const uint8_t> BackgroundDifferenceMap() const { return backgroundDifference_; }
  std::span<const uint8_t> PersistenceCounters() const { return persistence_; }
  // Row i of the kernel table, 256 entries: columns 0..127 of the table, then zeros.
  std::span<const float> KernelRow(int index) const;
  // Component c (0..4, in weight order) of the first mixture at a pixel (row-major index), and
  // the index of its last background component.
  MixtureComponent MixtureComponentAt(int pixel, int c) const;
  int MixtureBackground(int pixel) const;
  // Component c (0..4, in rank order) of the second mixture at a pixel (row-major index).
  Mixture2Component Mixture2ComponentAt(int pixel, int c) const;
  int Mixture2Background(int pixel) const { return mixture2B_[pixel]; }

 private:
  void BuildKernelTable();
  void MixtureLearn();
  void MixtureTest();
  void GaussLearn();
  void GaussTest();
  void UpdateGaussians();
  void DensityLearn();
  void Mixture2Learn();
  void Mixture2Cluster();
  void Mixture2Test();
  void DeriveDifferenceMask();
  void WriteBackgroundImage();
  bool FitsModel(const Dib& image, int bitCount) const;
  bool ModelImageFits(int bitCount, bool needsFloatCopy) const;

  BackgroundKind kind_;
  Dib* source_;
  Dib* display_;
  Dib* modelImage_ = nullptr;
  int width_;
  int height_;
  size_t pixels_;

  float threshold_ = 6.25f;
  int displayMode_ = kDisplayBackground;
  bool postProcessing_ = false;
  bool seeded_ = false;
  bool sizeReported_ = false;
  uint32_t seed_ = 0;

  std::vector<uint8_t> mask_;
  std::vector<uint8_t> secondMask_;
  int count_ = 0;
  int previousCount_ = 0;
  int colourCount_ = 0;
  int learningCount_ = 0;
  int gaussCount_ = 0;

  // 7001 and 7004
  std::vector<uint8_t> frameDifference_;
  std::vector<uint8_t> backgroundDifference_;
  std::vector<uint8_t> persistence_;  // 7001
  std::vector<uint8_t> filterWork_;   // 7004

  // 258: structure of arrays, one plane per channel (blue, green, red). While learning, the means
  // hold sums and the variances sums of squares.
  std::array<std::vector<float>, 3> gaussMean_;
  std::array<std::vector<float>, 3> gaussDistance_;  // (value - mean)^2 of the last test
  std::array<std::vector<float>, 3> gaussVariance_;

  // 257: every frame row is cut into blocks of kMixtureLanes pixels (the last one padded); a
  // block holds the lanes of every field of its five component slots (slot 0 the heaviest), so
  // that all records of a block lie together. The index of the last background component per
  // pixel, rows padded to whole blocks.
  std::vector<MixtureLanes> mixture_;
  std::vector<int8_t> mixtureB_;
  int mixtureBlocks_ = 0;  // blocks per row
  // The frame row's blue, green and red as floats, for the row kernels (257, 258).
  std::vector<float> rowFloats_;

  // 260: 60 samples (blue, green, red) per pixel, and the kernel table with zero columns 128..255.
  std::vector<uint8_t> densitySamples_;
  std::vector<float> kernelTable_;

  // 264: five components per pixel in rank order, the index of the last background component,
  // and the 60 samples per pixel kept until the learning frame.
  std::vector<Mixture2Component> mixture2_;
  std::vector<int8_t> mixture2B_;
  std::vector<uint8_t> mixture2Samples_;

  // Snake contour: the snake model of the snake operation lives here with the model.
};

}  // namespace fw

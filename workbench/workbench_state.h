// What the analysis workbench keeps between frames: the analysis object of the top-left pane's
// operations, the Fourier component that draws their spectra, the snake, the selections (the
// top-left operation and the auxiliary operation) with the switches of the "Top left" submenu,
// and the state of the block co-occurrence view. The session owns one and uses it on the engine
// thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "core/dib.h"
#include "detect/fourier_analyzer.h"
#include "workbench/network_recognisers.h"
#include "workbench/snake.h"
#include "workbench/texture_analyzer.h"
#include "workbench/texture_network.h"

namespace fw {

// Command identifiers of the analysis workbench.
namespace analysis {
inline constexpr int kDegradeLevel = 20007;
inline constexpr int kLearnTextureByKey = 20008;
inline constexpr int kLearnTextureWhole = 140;
inline constexpr int kLearnTextureFeatures = 2013;
inline constexpr int kMaskByColourKey = 20009;
inline constexpr int kBoundaryPixels = 20011;
inline constexpr int kMaxRegionBoundary = 2017;
inline constexpr int kProjectionChart = 20012;
inline constexpr int kProjectionChange = 143;
inline constexpr int kRowSpaceTime = 20013;
inline constexpr int kRowSpaceTimeFft = 20014;
inline constexpr int kColumnSpaceTime = 2005;
inline constexpr int kRowProjectionFft = 2006;
inline constexpr int kNormalisedRowFft = 2008;
inline constexpr int kNormalisedColumnFft = 2009;
inline constexpr int kRecogniseTexture = 2014;
inline constexpr int kRecogniseTextureNetwork = 2015;
inline constexpr int kRecogniseRegionNetwork = 2016;
inline constexpr int kBlockCooccurrence = 2024;
inline constexpr int kShiftWavelet = 2023;
// Switches of the submenu.
inline constexpr int kLogDisplay = 20010;
inline constexpr int kFftCircle = 2010;
// The auxiliary operations of the Bottom View menu.
inline constexpr int kSnakeModel = 7003;
inline constexpr int kHistogram = 2020;
}  // namespace analysis

struct WorkbenchState {
  WorkbenchState() = default;
  WorkbenchState(const WorkbenchState&) = delete;
  WorkbenchState& operator=(const WorkbenchState&) = delete;

  TextureAnalyzer analyzer;
  FourierAnalyzer fourier;
  Snake snake;

  int topLeftOperation = 0;    // the selected entry of "Top left", 0 for none
  int auxiliaryOperation = 0;  // kSnakeModel, kHistogram or 0
  bool logDisplay = false;     // "Display in log mode"
  bool fftCircle = false;      // "Display 2D FFT Circle Intensity"
  bool colourKey = false;      // the control panel's "Color Key": the key mask on every frame
  bool sizeReported = false;   // a frame of another size than at selection was reported
  bool snakeFitted = false;    // the snake was fitted to this frame's largest region

  // "View Coocurrence of specified block": the block (16 x 16, column and row from the picture's
  // bottom-left corner), the number of grey levels and the previous frame.
  int blockColumn = 0;
  int blockRow = 0;
  int blockLevels = 16;
  Dib previousFrame;

  // The decision of the texture recognisers on the last frame.
  bool textureFound = false;

  // The network of "Recognize by texture and NN" and "Recognize By texture, region, NN ", its
  // training, and whether a smoke-free second source fills the display dialog's picture with
  // negative examples.
  std::unique_ptr<TextureNetwork> network = MakeTextureNetwork();
  NetworkTraining training;
  bool hasSecondSource = false;  // this frame's second-source picture was read
  int secondFrame = 0;           // the second source's next frame
};

}  // namespace fw

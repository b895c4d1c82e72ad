// What the background family keeps in the detection state: the model of the current or last
// background mode, the settings every model shares (they outlive the model, as the control bar's
// settings do) and the work images of the modes.
#pragma once

#include <cstdint>
#include <memory>

#include "core/dib.h"
#include "detect/mode_id.h"

namespace fw {

class BackgroundModel;

// Display choice of the background models ("Foreground" / "Background" radio buttons).
inline constexpr int kDisplayForeground = 1025;
inline constexpr int kDisplayBackground = 1026;

struct BackgroundParams {
  float probabilityThreshold = 0.9f;    // kernel density: background at or above it
  int kernelIndex = 5;                  // kernel density: row of the kernel table, 0..127
  uint8_t frameDifferenceLimit = 5;     // accurate time background
  uint8_t backgroundDistanceLimit = 8;  // time and accurate time background
  int sampleRingIndex = 0;              // kernel density: sample slot replaced next, never reset
  bool postProcessing = false;          // "Post processing": clean the mask, paint only afterwards
  bool colourTrim = false;              // "Color Trim": rejected colours are painted blue
  bool colourTesting = false;           // "Enable color testing"
  // Second mixture: the seed of its clustering; -1 takes it from the clock at the learning frame.
  int64_t clusterSeed = -1;
};

struct BackgroundState {
  BackgroundState();
  ~BackgroundState();  // out of line: the model type is complete there
  BackgroundState(const BackgroundState&) = delete;
  BackgroundState& operator=(const BackgroundState&) = delete;

  // Lives from the selection of a background mode until the next one.
  std::unique_ptr<BackgroundModel> model;
  BackgroundParams params;
  Dib previousFrame;  // the prior frame, exchanged with the frame pane
  Dib greyWork;       // second previous frame, grey frame or filtered frame, by mode
  Dib modelBackground;
  ModeId modelMode = ModeId::None;  // the mode that built the model
  // The model's mask has been handed to the region analysis (by its first post step).
  bool maskPublished = false;
};

}  // namespace fw

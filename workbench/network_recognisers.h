// The texture recognisers that classify with a small neural network: while the network is
// trained (at most 3000 frames), every frame's key texture is a positive example and, when a
// smoke-free second source is open, a random block of its picture a negative one; afterwards
// the texture of the frame, or of each of its largest regions, is classified. The training state
// is shared by both recognisers and survives their deselection.
#pragma once

#include "core/dib.h"
#include "workbench/texture_analyzer.h"
#include "workbench/texture_network.h"

namespace fw {

inline constexpr int kTrainingFrames = 3000;
// The training counter after the end-of-training message, so that it is shown once.
inline constexpr int kTrainingReported = 3100;
inline constexpr int kTextureInputs = kTextureMeasures;
inline constexpr int kTextureHidden = 48;
inline constexpr int kTextureClasses = 2;  // 0 the texture, 1 the smoke-free examples

struct NetworkTraining {
  int count = 0;         // frames trained; kTrainingReported once the training has ended
  bool trained = false;  // the mean error of a frame's two steps fell below 0.08
  float lastErrors[2] = {0, 0};
  bool Running() const { return count < kTrainingFrames && !trained; }
};

// One frame of "Recognize by texture and NN": a training frame (false) or the decision that the
// frame's key texture is class 0 with a confidence above 0.7. `second` is the second source's
// picture (null when none is open). The display shows the score chart.
bool RecogniseTextureNN(TextureAnalyzer& analyzer, TextureNetwork& network,
                        NetworkTraining& training, const Dib& source, Dib* second, Dib* display);
// "Recognize By texture, region, NN ": as RecogniseTextureNN, but the decision examines the
// largest regions of the mask (at most `maxRegions`, largest first), each region's own
// co-occurrence classified; the first of class 0 with a confidence above 0.7 decides.
bool RecogniseRegionTextureNN(TextureAnalyzer& analyzer, TextureNetwork& network,
                              NetworkTraining& training, const Dib& source, Dib* second,
                              int maxRegions, Dib* display);

}  // namespace fw

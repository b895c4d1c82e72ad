// The classifier detection modes as the mode table's rows call them: 7020 "RealAdaBoost
// Detectiong" (Byte cascade, multi-scale), 7021 "Neural Network based on LBP" (the network of
// "LBP_NeuralNet.kdz" on LBP-VAR vectors of 48 x 48 windows; the Byte cascade is loaded too), 7022
// "Boosted LBP" (BLBP cascade), 7023 "PLTP" (PLTP cascade on a code pyramid) and 7024 "PLDP" (EOH
// cascade on an intensity-saturation pyramid). Each frame the mode scans the frame with its
// cascade, checks the rectangles it found against each other and against colour change over the
// last three frames, and votes the alarm: 7020 on the last five frames, the others on persistent
// block regions (7024: on the raised-block counts) over the last 100 frames.
//
// Selection loads the mode's classifier file (start directory first, then the data directory).
// A missing or bad file is reported (a message box and the status text: which file, where it
// was looked for, what is wrong) and the mode stays off.
#pragma once

#include <cstdint>

#include "detect/detection_state.h"

namespace fw {

// Selection: loads the cascade, compiles it for the frame's size and builds empty rings.
void BuildRealAdaBoostMode(DetectionState& state);
void BuildNeuralNetworkMode(DetectionState& state);
void BuildBoostedLbpMode(DetectionState& state);
void BuildPltpMode(DetectionState& state);
void BuildPldpMode(DetectionState& state);

// Per frame, after the panes were shown: scan, checks, panes and the alarm flag. A frame of
// another size or depth than the mode was built for is reported once and not scanned.
void RealAdaBoostModeStep(DetectionState& state);
void NeuralNetworkModeStep(DetectionState& state);
void BoostedLbpModeStep(DetectionState& state);
void PltpModeStep(DetectionState& state);
void PldpModeStep(DetectionState& state);

// The rectangles of the last frame over the top-left pane, coloured by their status.
void ClassifierOverlays(const DetectionState& state, Overlays& overlays);

// Bytes each mode allocates at selection (the classifier file's load included) and on its first
// frames for a width x height frame.
uint64_t RealAdaBoostModeMemory(const DetectionState& state, int width, int height);
uint64_t NeuralNetworkModeMemory(const DetectionState& state, int width, int height);
uint64_t BoostedLbpModeMemory(const DetectionState& state, int width, int height);
uint64_t PltpModeMemory(const DetectionState& state, int width, int height);
uint64_t PldpModeMemory(const DetectionState& state, int width, int height);

}  // namespace fw

// The evidence a mode's decision rests on, read after each frame for per-frame scores and the
// timeline picture: the vote counts, the flagged pixel or block counts a mode keeps while it
// runs. Reading it changes nothing in the mode's results. A mode without such a value (the
// background models alone, a mode added later without an entry) has none.
#pragma once

#include <optional>

#include "detect/detection_state.h"

namespace fw {

// The current mode's evidence after the frame just run; none when the mode has no such value
// or its detector is not built.
std::optional<double> ModeEvidence(const DetectionState& state);
// What the value counts ("frame votes of 125", ...); null for a mode without evidence.
const char* EvidenceName(ModeId mode);

}  // namespace fw

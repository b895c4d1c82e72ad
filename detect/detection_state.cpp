#include "detect/detection_state.h"

#include "detect/background_model.h"
#include "detect/smoke_flame_detector.h"

namespace fw {

DetectionState::DetectionState() = default;
DetectionState::~DetectionState() = default;

}  // namespace fw

#include "detect/background/background_state.h"

#include "detect/background/background_model.h"

namespace fw {

BackgroundState::BackgroundState() = default;
BackgroundState::~BackgroundState() = default;

}  // namespace fw

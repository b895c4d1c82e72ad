// Generated outdoor scenes for the detectors' tests: a fixed camera over a textured sky and
// ground with a little sensor noise, and one event. Frames are 24-bit bottom-up pictures (memory
// row 0 is the bottom of the picture, so "up" is towards higher rows); the same arguments give the
// same bytes.
#pragma once

#include <vector>

#include "core/dib.h"

namespace fw::test {

enum class Scene {
  RisingPlume,     // grey puffs rise from a source near the ground, about 1.5 pixels a frame
  CarCrossing,     // two cars cross the road fast (8 pixels a frame), one each way
  SwayingFoliage,  // a tree and a bush sway from side to side
  Static,          // nothing moves
};

inline constexpr Scene kScenes[] = {Scene::RisingPlume, Scene::CarCrossing, Scene::SwayingFoliage,
                                    Scene::Static};

const char* SceneName(Scene scene);

// The first `count` frames of a scene.
std::vector<Dib> SceneFrames(Scene scene, int width, int height, int count);

}  // namespace fw::test

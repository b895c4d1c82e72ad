// Candidate negative windows for the later stages of a cascade: random regions of pictures
// without smoke, drawn from a seeded generator so that a training run is the same every time.
// Half the candidates come from the negative sample pictures (the whole picture or 60 to 100 %
// of it at a random place, mirrored or not, so they look like the samples), half from frames of
// a video without smoke (squares from the base window's side up to the frame's height, at
// sizes spread evenly on a log scale, at random places).
#pragma once

#include <cstdint>
#include <vector>

#include "core/dib.h"
#include "core/resample.h"

namespace fw {

// splitmix64: a small generator whose sequence is the same on every platform.
class SeededRandom {
 public:
  explicit SeededRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  // Uniform in [0, n) for n > 0.
  int Below(int n) { return static_cast<int>(Unit() * n); }

 private:
  uint64_t state_;
};

struct Candidate {
  const Dib* picture = nullptr;
  SampleRect region;  // inclusive
  bool mirror = false;
};

class NegativeMiner {
 public:
  // Pictures and frames are kept by pointer: they must outlive the miner.
  NegativeMiner(const std::vector<Dib>* pictures, const std::vector<Dib>* frames, int base,
                uint64_t seed);
  bool HasSources() const;
  Candidate Next();

 private:
  Candidate FromPicture(const Dib& picture);
  Candidate FromFrame(const Dib& frame);
  const std::vector<Dib>* pictures_;
  const std::vector<Dib>* frames_;
  int base_;
  SeededRandom random_;
};

}  // namespace fw

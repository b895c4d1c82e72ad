#include "detect/background/mixture2_model.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <utility>

#include "core/ui_sink.h"
#include "detect/background/model_kernels.h"

namespace fw {

namespace {

using background::kBackgroundWeight;
using background::kMinVariance;
using background::kMixtureAlpha;
using background::kOneSixtieth;

constexpr float kMixture2MatchDistance = 27.0f;
constexpr int kMaxClusterPasses = 300;  // ends a clustering that never settles

// Sorts the five components of a record, largest key first, by adjacent exchanges (stable; at
// most four passes), then finds the last background component: the smallest i in 0..3 whose
// cumulative weight reaches 0.95. When none does, b keeps its value.
template <typename Component, typename Key>
void SortComponents(Component* c, int8_t& b, Key key) {
  for (int pass = 0; pass < kMixtureComponents - 1; ++pass) {
    bool exchanged = false;
    for (int i = 0; i < kMixtureComponents - 1 - pass; ++i) {
      if (key(c[i]) < key(c[i + 1])) {
        std::swap(c[i], c[i + 1]);
        exchanged = true;
      }
    }
    if (!exchanged) break;
  }
  float sum = 0.0f;
  for (int i = 0; i < kMixtureComponents - 1; ++i) {
    sum += c[i].weight;
    if (sum >= kBackgroundWeight) {
      b = static_cast<int8_t>(i);
      return;
    }
  }
}

inline float RankKey(float weight, const std::array<float, 3>& variance) {
  return weight * weight / (variance[0] * variance[1] * variance[2]);
}

// The learning frame of the second mixture: the 60 samples of one pixel are clustered into five
// components. The fuzzy memberships of a sample depend only on its byte value within one pass and
// channel, so they are computed once per value that occurs (stamped), and the sums still run over
// the samples in order.
class PixelClusterer {
 public:
  explicit PixelClusterer(uint32_t seed) : random_(seed) {}

  // samples: 60 (blue, green, red) triples. Writes the five components in rank order and b.
  void Cluster(const uint8_t* samples, Mixture2Component* out, int8_t& b) {
    float centre[kMixtureComponents][3];
    for (int c = 0; c < kMixtureComponents; ++c) {
      const uint8_t* s = samples + 3 * (random_() % kDensitySamples);
      for (int ch = 0; ch < 3; ++ch) centre[c][ch] = s[ch];
    }
    for (int pass = 0; pass < kMaxClusterPasses; ++pass) {
      float change = 0.0f;
      float moved[kMixtureComponents][3];
      for (int ch = 0; ch < 3; ++ch) {
        NextStamp();
        float weighted[kMixtureComponents] = {};
        float total[kMixtureComponents] = {};
        for (int s = 0; s < kDensitySamples; ++s) {
          const int x = samples[3 * s + ch];
          const float* g = Memberships(x, centre, ch);
          const float value = static_cast<float>(x);
          for (int c = 0; c < kMixtureComponents; ++c) {
            weighted[c] += g[c] * value;
            total[c] += g[c];
          }
        }
        // A centre that no sample belongs to stays where it is (its quotient would be 0 / 0).
        for (int c = 0; c < kMixtureComponents; ++c) {
          moved[c][ch] = total[c] > 0.0f ? weighted[c] / total[c] : centre[c][ch];
        }
      }
      for (int c = 0; c < kMixtureComponents; ++c) {
        for (int ch = 0; ch < 3; ++ch) {
          change += std::fabs(centre[c][ch] - moved[c][ch]);
          centre[c][ch] = moved[c][ch];
        }
      }
      if (change <= 0.01f) break;
    }

    int count[kMixtureComponents] = {};
    float squares[kMixtureComponents][3] = {};
    for (int s = 0; s < kDensitySamples; ++s) {
      const uint8_t* x = samples + 3 * s;
      int best = 0;
      float bestDistance = 0.0f;
      for (int c = 0; c < kMixtureComponents; ++c) {
        const float db = x[0] - centre[c][0];
        const float dg = x[1] - centre[c][1];
        const float dr = x[2] - centre[c][2];
        const float distance = db * db + dg * dg + dr * dr;
        if (c == 0 || distance < bestDistance) {
          best = c;
          bestDistance = distance;
        }
      }
      ++count[best];
      for (int ch = 0; ch < 3; ++ch) {
        const float d = x[ch] - centre[best][ch];
        squares[best][ch] += d * d;
      }
    }
    for (int c = 0; c < kMixtureComponents; ++c) {
      Mixture2Component& m = out[c];
      for (int ch = 0; ch < 3; ++ch) {
        m.mean[ch] = centre[c][ch];
        m.variance[ch] =
            count[c] == 0 ? 1.0f : std::max(squares[c][ch] / static_cast<float>(count[c]), 1.0f);
      }
      m.weight = std::max(static_cast<float>(count[c]) * kOneSixtieth, kMinVariance);
      m.rankKey = RankKey(m.weight, m.variance);
    }
    SortComponents(out, b, [](const Mixture2Component& m) { return m.rankKey; });
  }

 private:
  void NextStamp() {
    if (++stamp_ == 0) {
      stamps_.fill(0);
      stamp_ = 1;
    }
  }

  // Normalised memberships of value x in the five centres of one channel. A sample far from
  // every centre (all five kernels vanish) is shared equally.
  const float* Memberships(int x, const float (*centre)[3], int ch) {
    float* g = memberships_[x].data();
    if (stamps_[x] == stamp_) return g;
    stamps_[x] = stamp_;
    float sum = 0.0f;
    for (int c = 0; c < kMixtureComponents; ++c) {
      const float d = static_cast<float>(x) - centre[c][ch];
      g[c] = std::exp(-0.02f * (d * d));
      sum += g[c];
    }
    for (int c = 0; c < kMixtureComponents; ++c) g[c] = sum > 0.0f ? g[c] / sum : 0.2f;
    return g;
  }

  std::minstd_rand random_;
  uint32_t stamp_ = 0;
  std::array<uint32_t, 256> stamps_{};
  std::array<std::array<float, kMixtureComponents>, 256> memberships_{};
};

}  // namespace

Mixture2Model::Mixture2Model(Dib& source, Dib& display) : BackgroundModel(kKind, source, display) {
  records_.assign(pixels_ * kMixtureComponents, Mixture2Component{});
  b_.assign(pixels_, 2);
  samples_.assign(pixels_ * 3 * kDensitySamples, 0);
}

void Mixture2Model::SetClusterSeed(uint32_t seed) {
  seed_ = seed;
  seeded_ = true;
}

Mixture2Component Mixture2Model::ComponentAt(int pixel, int c) const {
  return records_[static_cast<size_t>(pixel) * kMixtureComponents + c];
}

void Mixture2Model::Step() {
  if (!FrameFits()) return;
  if (learningCount_ < kLearningFrames) {
    Learn();
    return;
  }
  Test();
  if (!postProcessing_) Paint();
}

void Mixture2Model::Learn() {
  constexpr int kRecord = 3 * kDensitySamples;
  const int n = learningCount_;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* record = samples_.data() + static_cast<size_t>(y) * width_ * kRecord;
    for (int x = 0; x < width_; ++x, record += kRecord) std::copy_n(src + 3 * x, 3, record + 3 * n);
  }
  char text[64];
  if (n < kLearningFrames - 1) {
    std::snprintf(text, sizeof text, kLearningFrameText, n);
    CurrentUiSink().Status(StatusField::Learning, text);
    ++learningCount_;
    return;
  }
  Cluster();
  learningCount_ = kLearningFrames;
}

void Mixture2Model::Cluster() {
  constexpr int kRecord = 3 * kDensitySamples;
  uint32_t seed = seed_;
  if (!seeded_) {
    seed = static_cast<uint32_t>(
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
  }
  auto clusterer = std::make_unique<PixelClusterer>(seed);
  char text[64];
  for (int y = 0; y < height_; ++y) {
    std::snprintf(text, sizeof text, kLearningLinesText, y);
    CurrentUiSink().Status(StatusField::Learning, text);
    for (int x = 0; x < width_; ++x) {
      const size_t p = static_cast<size_t>(y) * width_ + x;
      clusterer->Cluster(samples_.data() + p * kRecord, records_.data() + p * kMixtureComponents,
                         b_[p]);
    }
  }
  // The samples are needed only for the clustering.
  std::vector<uint8_t>().swap(samples_);
}

void Mixture2Model::Test() {
  constexpr float alpha = kMixtureAlpha;
  constexpr float keep = 1.0f - kMixtureAlpha;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = source_->Row(y);
    uint8_t* m = mask_.data() + static_cast<size_t>(y) * width_;
    Mixture2Component* record =
        records_.data() + static_cast<size_t>(y) * width_ * kMixtureComponents;
    int8_t* bRow = b_.data() + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x, record += kMixtureComponents) {
      const float pixel[3] = {static_cast<float>(src[3 * x]), static_cast<float>(src[3 * x + 1]),
                              static_cast<float>(src[3 * x + 2])};
      const int last = std::clamp<int>(bRow[x], 0, kMixtureComponents - 2);
      int match = -1;
      float d[3] = {};
      for (int c = 0; c <= last && match < 0; ++c) {
        const Mixture2Component& s = record[c];
        for (int ch = 0; ch < 3; ++ch) d[ch] = pixel[ch] - s.mean[ch];
        const float distance =
            d[0] * d[0] / s.variance[0] + d[1] * d[1] / s.variance[1] + d[2] * d[2] / s.variance[2];
        if (distance <= kMixture2MatchDistance) match = c;
      }
      if (match >= 0) {
        for (int c = 0; c < kMixtureComponents; ++c) record[c].weight = keep * record[c].weight;
        Mixture2Component& s = record[match];
        s.weight += alpha;
        for (int ch = 0; ch < 3; ++ch) {
          s.mean[ch] = keep * s.mean[ch] + alpha * pixel[ch];
          s.variance[ch] = std::max(alpha * (d[ch] * d[ch]) + keep * s.variance[ch], 1.0f);
        }
        for (int c = 0; c < kMixtureComponents; ++c) {
          record[c].weight = std::max(record[c].weight, kMinVariance);
        }
        s.rankKey = RankKey(s.weight, s.variance);
        m[x] = 0;
      } else {
        Mixture2Component& s = record[4];
        s.mean = {pixel[0], pixel[1], pixel[2]};
        s.variance = {25.0f, 25.0f, 25.0f};
        s.rankKey = s.weight * s.weight / 15625.0f;
        m[x] = 1;
      }
      SortComponents(record, bRow[x], [](const Mixture2Component& s) { return s.rankKey; });
    }
  }
}

}  // namespace fw

// The AdaBoost step shared by the weak-classifier selection and the cascade trainer: from the
// weighted error of the chosen weak classifier, its update factor beta and weight alpha, the
// new error bound, and the weight update.
#pragma once

#include <cmath>
#include <cstdint>

namespace fw {

struct BoostStep {
  float beta = 1.0f;   // epsilon / (1 - epsilon), at least 0.000001
  float alpha = 0.0f;  // ln(1 / beta)
};

inline BoostStep BoostStepOf(double epsilon) {
  BoostStep s;
  float beta = static_cast<float>(epsilon / (1.0 - epsilon));
  if (!(beta > 0.000001f)) beta = 0.000001f;
  s.beta = beta;
  s.alpha = std::log(1.0f / beta);
  return s;
}

// E <- E x 2 sqrt(epsilon (1 - epsilon)).
inline double NextErrorBound(double bound, double epsilon) {
  return bound * 2.0 * std::sqrt(epsilon * (1.0 - epsilon));
}

// When beta >= 0.001 the weights of the samples the new weak classifier got right are
// multiplied by beta and all weights are divided by their sum; a smaller beta (a nearly perfect
// weak classifier) leaves the weights as they are. `weight(i)` is sample i's weight (a float
// reference) and `correct(i)` tells whether the sample was classified correctly.
template <typename Weight, typename Correct>
void UpdateWeights(size_t count, Weight weight, float beta, Correct correct) {
  if (beta < 0.001f) return;
  double sum = 0.0;
  for (size_t i = 0; i < count; ++i) {
    if (correct(i)) weight(i) *= beta;
    sum += weight(i);
  }
  if (!(sum > 0.0)) return;
  const float total = static_cast<float>(sum);
  for (size_t i = 0; i < count; ++i) weight(i) /= total;
}

}  // namespace fw

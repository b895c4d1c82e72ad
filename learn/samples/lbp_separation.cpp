#include "learn/samples/lbp_separation.h"

#include <cmath>
#include <cstdio>

#include "learn/classifier_set.h"
#include "learn/neural/lbp_var_features.h"
#include "learn/neural/network_trainer.h"

namespace fw {

namespace {

double Distance(const float* a, const float* b, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  return std::sqrt(sum);
}

// Sum of the distances from every sample of `a` to every sample of `b`.
double PairSum(std::span<const float> a, std::span<const float> b, int values, const StopFlag& stop) {
  double sum = 0.0;
  for (size_t i = 0; i < a.size() && !stop; i += values) {
    for (size_t j = 0; j < b.size(); j += values) sum += Distance(&a[i], &b[j], values);
  }
  return sum;
}

}  // namespace

SeparationDistances MeasureSeparation(std::span<const float> positives,
                                      std::span<const float> negatives, int values,
                                      const StopFlag& stop) {
  const double p = static_cast<double>(positives.size() / values);
  const double n = static_cast<double>(negatives.size() / values);
  SeparationDistances d;
  d.between = PairSum(negatives, positives, values, stop) / (p * n);
  d.positiveWithin = PairSum(positives, positives, values, stop) / (p * p);
  d.negativeWithin = PairSum(negatives, negatives, values, stop) / (n * n);
  return d;
}

SeparationOutcome RunGetVoc(const SeparationParams& params, const StopFlag& stop,
                            ProgressReporter& progress) {
  SeparationOutcome out;
  std::vector<float> vectors[2];
  const std::string* folders[2] = {&params.positives, &params.negatives};
  for (int f = 0; f < 2; ++f) {
    out.result = LbpVarVectorsOfFolder(*folders[f], false, 2, stop, vectors[f], out.unreadable);
    if (!out.result || stop) return out;
    const int count = static_cast<int>(vectors[f].size() / kLbpVarInputs);
    if (count == 0) {
      out.result = Result::Error(*folders[f] + ": no readable JPEG pictures");
      return out;
    }
    (f == 0 ? out.positives : out.negatives) = count;
    progress.State().status = "装载第" + std::to_string(out.positives + out.negatives) + "个样本图像...";
    progress.State().firstPosition = out.positives + out.negatives;
    progress.Publish(true);
  }
  // The constant last input is the same in every vector and adds nothing to a distance.
  out.distances = MeasureSeparation(vectors[0], vectors[1], kLbpVarInputs, stop);
  if (stop) return out;
  char line[256];
  std::snprintf(line, sizeof line, "类间距：%10f，正负样本类内距：%10f,%10f\r\n", out.distances.between,
                out.distances.positiveWithin, out.distances.negativeWithin);
  const std::string report = params.positives + "\r\n" + params.negatives + "\r\n" + "正样本个数：" +
                             std::to_string(out.positives) + "，负样本个数：" +
                             std::to_string(out.negatives) + "\r\n" + line;
  out.result = WriteFileAtomically(params.report, report);
  out.finished = out.result.ok();
  return out;
}

}  // namespace fw

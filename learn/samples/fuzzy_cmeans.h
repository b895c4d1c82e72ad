// "Fuzzy C-Means for smoke images": the JPEG pictures of a smoke sample folder become points
// (mean, variance) of their grey levels, two centres start at random places and move for 200
// iterations by fuzzy C-means (fuzzifier 2), and every picture is then copied into the output
// folder under the name of its nearer centre ("A00001.jpg", "B00001.jpg", ...). The report
// "FCM_Details.txt" gives the iterations, the last error, the centres and their counts.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/dib.h"
#include "core/result.h"
#include "learn/progress.h"

namespace fw {

struct FcmPoint {
  float mean = 0.0f;
  float variance = 0.0f;
};
using FcmCentres = std::array<FcmPoint, 2>;

// Mean and variance (mean of squares minus squared mean) of the grey (30 R + 59 G + 11 B) / 100
// of a 24-bit picture, or of the values of an 8-bit one.
FcmPoint GreyMeanVariance(const Dib& picture);

// Memberships of a point in the two clusters: u_j = 1 / (d_j^2 sum_k 1 / d_k^2). A point on a
// centre belongs to that centre alone (shared evenly when both centres lie on it), where the
// formula would divide by zero.
std::array<float, 2> FcmMemberships(const FcmPoint& point, const FcmCentres& centres);

// 0 unless the second centre is strictly nearer.
int NearerCentre(const FcmPoint& point, const FcmCentres& centres);

// One iteration: each centre moves to the mean of the points weighted by their squared
// memberships (a centre without any weight stays). Returns the sum over both centres of the
// squared distance moved.
float FcmIterate(std::span<const FcmPoint> points, FcmCentres& centres);

// Both coordinates of both centres as r * 255 / 32767, r the next value of the 15-bit linear
// congruential generator seeded with `seed` (the same as the network's weights).
FcmCentres RandomCentres(uint32_t seed);

inline constexpr int kFcmIterations = 200;

struct FcmParams {
  std::string input;   // the smoke sample folder ("*.jpg")
  std::string output;  // where the classified copies go (created when missing)
  std::string report;  // "FCM_Details.txt" in the start directory
  uint32_t seed = 1;
};

struct FcmOutcome {
  Result result;
  bool finished = false;  // false when stopped (no copies, no report)
  int iterations = 0;
  float error = 0.0f;     // of the last iteration
  FcmCentres centres{};
  std::array<int, 2> counts{};
  int copyFailures = 0;
  std::vector<std::string> unreadable;
};

// The whole run, with its progress texts; a failed copy says "复制文件失败！" through the UI sink
// and the run goes on.
FcmOutcome RunFuzzyCMeans(const FcmParams& params, const StopFlag& stop, ProgressReporter& progress);

}  // namespace fw

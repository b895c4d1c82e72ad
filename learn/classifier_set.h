// The boosted cascade model shared by every learned flavour: up to 20 stages, each a weighted
// vote of weak classifiers that read one feature and answer yes when it lies within (or, with
// the thresholds in the other order, outside) an interval. Classifier files hold the model as
// it is in memory: two counts, the stage sizes, the 400-byte weak records and the stage
// thresholds, little-endian, with no header.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "learn/flavour.h"

namespace fw {

static_assert(std::endian::native == std::endian::little,
              "weak records are the classifier files' bytes");

// One weak classifier, byte for byte as in the files.
struct WeakRecord {
  int32_t featureCode = 0;
  uint8_t x = 0;
  uint8_t y = 0;
  uint8_t w = 0;
  uint8_t h = 0;
  // Smallest and largest value seen in training; for a code-count pattern 41 the four bytes of
  // minValue are x, y, w, h of the second rectangle.
  float minValue = 100000.0f;
  float maxValue = -100000.0f;
  std::array<uint8_t, 4> bias{};  // the lower threshold T2, in the flavour's type
  std::array<uint8_t, 124> reserved1{};
  std::array<uint8_t, 4> threshold1{};  // the upper threshold T1
  std::array<uint8_t, 124> reserved2{};
  float alpha = 0.0f;
  std::array<uint8_t, 124> reserved3{};
};
static_assert(sizeof(WeakRecord) == 400);
static_assert(offsetof(WeakRecord, minValue) == 8 && offsetof(WeakRecord, bias) == 16 &&
              offsetof(WeakRecord, threshold1) == 144 && offsetof(WeakRecord, alpha) == 272);

// A threshold field read or written in a type (the first sizeof(T) bytes of the field).
template <typename T>
T ThresholdAs(const std::array<uint8_t, 4>& field) {
  T v;
  std::memcpy(&v, field.data(), sizeof(T));
  return v;
}
template <typename T>
void SetThreshold(std::array<uint8_t, 4>& field, T v) {
  field.fill(0);
  std::memcpy(field.data(), &v, sizeof(T));
}

// Both thresholds as the flavour compares them; integer types widen to int32 exactly.
struct Thresholds {
  double t1 = 0.0;
  double t2 = 0.0;
};
Thresholds ThresholdsOf(const WeakRecord& record, ThresholdType type);
void SetThresholds(WeakRecord& record, ThresholdType type, double t1, double t2);

// The weak decision: with T2 <= T1, yes when T2 <= v < T1; with T2 > T1, yes when v < T1 or
// v >= T2. Equal thresholds never say yes.
template <typename T>
inline bool WeakYes(T v, T t1, T t2) {
  return t2 <= t1 ? (t2 <= v && v < t1) : (v < t1 || v >= t2);
}

// The stage decision: W = sum of alpha, V = sum of alpha over the weak classifiers that said
// yes, in record order; the stage passes when V >= theta x W.
inline bool StagePasses(float v, float w, float theta) {
  return v >= theta * w;
}

struct CascadeResult {
  bool accepted = true;
  int stagesPassed = 0;
  int weakEvaluated = 0;
};

// Runs the stages in order; `alpha(record)` is a record's weight and `yes(record)` its weak
// decision. The first failing stage rejects.
template <typename Alpha, typename Yes>
CascadeResult RunStages(const int32_t* sizes, const float* thresholds, int stages, Alpha alpha,
                        Yes yes) {
  CascadeResult r;
  int record = 0;
  for (int s = 0; s < stages; ++s) {
    float w = 0.0f, v = 0.0f;
    for (int k = 0; k < sizes[s]; ++k, ++record) {
      w += alpha(record);
      if (yes(record)) v += alpha(record);
    }
    r.weakEvaluated += sizes[s];
    if (!StagePasses(v, w, thresholds[s])) {
      r.accepted = false;
      return r;
    }
    ++r.stagesPassed;
  }
  return r;
}

inline constexpr std::array<int32_t, 10> kDefaultSplit = {8, 10, 14, 18, 20, 22, 24, 26, 28, 30};
inline constexpr int kDefaultSplitRecords = 200;

// Whether a load writes its statistics reports (Byte and Float: the selected-feature counts;
// EOH: the weak-classifier report) into the start directory, as the detection modes do.
enum class LoadReports { None, Write };

class ClassifierSet {
 public:
  static constexpr int kMaxStages = 20;
  static constexpr int kMaxRecords = 1000;

  ClassifierSet();

  // Reads a classifier file of the flavour into the model and forms its stage list (growth,
  // as read, or the default split). A file that cannot be read, is short or long for its counts,
  // holds more than 20 stages or 1000 records, or whose stages use records that it lacks or
  // that the flavour cannot evaluate is refused with a message naming the file and the problem;
  // the model is then left as it was. The stage ratio becomes 0.01 (the mode sets its own).
  Result Load(Flavour flavour, const std::string& path, LoadReports reports = LoadReports::None);
  // The same from a file's bytes already read; `path` names the file in messages.
  Result LoadFromBytes(Flavour flavour, std::string_view bytes, const std::string& path,
                       LoadReports reports = LoadReports::None);

  // Writes S (the leading non-zero stage sizes), N (their sum), the sizes, the first N records
  // and S stage thresholds. Written under a temporary name and renamed when complete.
  Result Save(const std::string& path) const;

  // The threshold box: ratio = percent / 100, and every stage threshold the same.
  void SetStageRatio(float percent);
  // What the flavour's mode sets after loading: its ratio for every stage, except for EOH,
  // whose stages keep their own thresholds.
  void UseModeRatio();

  // Rebuilds the stage list from a total: 10, then 4/3 of the previous (integer), while the
  // running total is below it, the last cut to make the sum exact. Entries beyond the rebuilt
  // ones are left as they were.
  void RebuildByGrowth(int total);
  // The default split 8, 10, 14, ..., 30 (200 records), the rest of the list cleared.
  void UseDefaultSplit();

  // Number of leading non-zero stage sizes, and their sum.
  int StageCount() const;
  int RecordsInStages() const;
  // The threshold stage s is decided with: the stage's own (EOH) or the common ratio.
  float StageTheta(int s) const;
  // The cascade over one window: `yes(record)` is the weak decision of a record.
  template <typename Yes>
  CascadeResult Decide(Yes yes) const {
    std::array<float, kMaxStages> theta;
    const int stages = StageCount();
    for (int s = 0; s < stages; ++s) theta[s] = StageTheta(s);
    return RunStages(
        stageSizes.data(), theta.data(), stages, [this](int r) { return records[r].alpha; }, yes);
  }

  Flavour flavour = Flavour::Float;
  std::array<int32_t, kMaxStages> stageSizes{};
  std::array<float, kMaxStages> stageThresholds{};
  float stageRatio = 0.0f;
  std::vector<WeakRecord> records;  // kMaxRecords entries
};

// Whether a record's feature can be evaluated by the flavour inside its base window.
bool IsEvaluable(Flavour flavour, const WeakRecord& record);

// "Byte_StatisticSelectedFeature.txt": how many weak records of the stages use each window
// pattern, sixteen lines. Written anew in `folder` (ending in "/").
inline constexpr char kStatisticsReportFile[] = "Byte_StatisticSelectedFeature.txt";
Result WriteStatisticsReport(const ClassifierSet& model, const std::string& folder);

// "EOH_WeakClassifers.txt": plane codes, patterns and moment numbers of the weak records.
inline constexpr char kEohReportFile[] = "EOH_WeakClassifers.txt";
Result WriteEohReport(const ClassifierSet& model, const std::string& path);

// Writes a whole file under a temporary name beside it and renames it into place.
Result WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace fw

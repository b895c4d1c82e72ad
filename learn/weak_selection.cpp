#include "learn/weak_selection.h"

#include <chrono>
#include <vector>

#include "core/data_files.h"
#include "learn/boosting.h"
#include "learn/reports.h"

namespace fw {

SelectionFiles DefaultSelectionFiles() {
  return {FindDataFile(InfoOf(Flavour::Float).defaultFile),
          StartDirectory() + kSelectionReportFile};
}

namespace {

struct Candidate {
  int record = 0;   // index in the candidate cascade
  int feature = 0;  // index in the sample set's table
  float t1 = 0.0f;
  float t2 = 0.0f;
  bool used = false;
};

std::string PoolCounterText(const std::array<int, 8>& c, const char* format) {
  return Format(format, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
}

}  // namespace

SelectionOutcome SelectWeakClassifiers(SampleSet& set, ClassifierSet& model, int stage,
                                       const SelectionFiles& files, const StopFlag& stop,
                                       ProgressReporter& progress) {
  SelectionOutcome out;
  const auto start = std::chrono::steady_clock::now();
  int before = 0;
  for (int s = 0; s < stage && s < ClassifierSet::kMaxStages; ++s) before += model.stageSizes[s];
  std::fill(set.Chosen().begin(), set.Chosen().end(), 0);
  const int p = set.Positives(), n = set.Negatives(), f = set.FeatureCount();
  std::string report = Format("正样本个数：%5d，负样本个数：%5d, 特征总数：%6d", p, n, f) + "\r\n";
  if (Result r = WriteFileAtomically(files.report, report); !r) return {r};

  ClassifierSet candidates;
  if (Result r = candidates.Load(Flavour::Float, files.candidates); !r) return {r};
  const int t = candidates.RecordsInStages();
  std::vector<Candidate> pool;
  for (int k = 0; k < t; ++k) {
    const WeakRecord& r = candidates.records[k];
    for (int i = 0; i < f; ++i) {
      const FeatureDesc& d = set.Table()[i];
      if (d.featureCode == r.featureCode && d.x == r.x && d.y == r.y && d.w == r.w && d.h == r.h) {
        pool.push_back({k, i, ThresholdAs<float>(r.threshold1), ThresholdAs<float>(r.bias)});
        break;
      }
    }
  }
  const int target = std::max(t / 2, 1);
  if (before + target > ClassifierSet::kMaxRecords) {
    return {Result::Error("the selected weak classifiers do not fit the model")};
  }
  std::vector<TrainingSample>& samples = set.Samples();
  const std::array<int, 8>& counts = set.PoolCounts();
  ProgressState& ps = progress.State();
  ps.firstMaximum = 400;
  ps.secondMaximum = t;
  double bound = 1.0;
  const WeakRecord* last = nullptr;
  int selected = 0;
  std::string lines;
  auto decide = [&](const Candidate& c, int s) {
    return WeakYes(static_cast<float>(set.Value(s, c.feature)), c.t1, c.t2) ? 1 : 0;
  };
  while (selected < target) {
    double best = 1.0;
    int chosen = -1;
    for (size_t c = 0; c < pool.size(); ++c) {
      if (stop) return {Result::Ok(), false, selected, bound};
      if (pool[c].used) continue;
      double error = 0.0;
      for (int s = 0; s < set.Size(); ++s) {
        if (decide(pool[c], s) != samples[s].label) error += samples[s].weight;
      }
      if (error < best) {
        best = error;
        chosen = static_cast<int>(c);
      }
      if (progress.Due()) {
        ps.status =
            last ? Format(
                       "正在选择50%%弱分类器，总错误率上限：%9.8f  \n当前加权错误率：%9.8f\n"
                       "阈值1与偏置：(%10.5f,%10.5f)   特征参数：(%d,%d,%d,%d,%d)\n",
                       bound, best, ThresholdAs<float>(last->threshold1),
                       ThresholdAs<float>(last->bias), last->featureCode, last->x, last->y, last->w,
                       last->h) +
                       PoolCounterText(counts,
                                       "1矩形方差(02):%d;2矩形水平(11):%d;2矩形垂直(12):%d;\n"
                                       "3矩形水平(21):%d;3矩形垂直(22):%d;4矩形水平(31):%d;\n"
                                       "2环形水平(41):%d;3环形水平(43):%d")
                 : Format("总错误率上限：%6.5f 当前加权错误率：%6.5f ", bound, best);
        const int seconds = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                                 std::chrono::steady_clock::now() - start)
                                                 .count());
        ps.firstText = Format("已经耗时%d秒，正在学习第%d个弱分类器...", seconds, selected + 1);
        ps.secondText =
            Format("正在求解第%d个特征偏置系数、阈值等参数...", static_cast<int>(c) + 1);
        ps.firstPosition = selected + 1;
        ps.secondPosition = static_cast<int>(c) + 1;
        progress.Publish();
      }
    }
    if (chosen < 0) break;  // no candidate left with an error below 1
    Candidate& c = pool[chosen];
    c.used = true;
    set.Chosen()[c.feature] = 1;
    const FeatureDesc& d = set.Table()[c.feature];
    const WeakRecord& source = candidates.records[c.record];
    WeakRecord& r = model.records[before + selected];
    r = source;
    r.featureCode = d.featureCode;
    r.x = d.x;
    r.y = d.y;
    r.w = d.w;
    r.h = d.h;
    const BoostStep step = BoostStepOf(best);
    r.alpha = step.alpha;
    last = &r;
    if (selected == 0) {
      report = Format(
                   "正在选择50%%弱分类器，正样本个数:%6d, 存放目录: %s. \r\n负样本个数:%6d, "
                   "存放目录: %s. "
                   "\r\n特征总数: %6d\r\n",
                   p, set.positiveFolder.c_str(), n, set.negativeFolder.c_str(), f) +
               "\r\n" +
               PoolCounterText(counts,
                               "1矩形方差(02):%6d;  2矩形水平(11):%6d;  2矩形垂直(12):%6d;\r\n"
                               "3矩形水平(21):%6d;  3矩形垂直(22):%6d;  4矩形水平(31):%6d;\r\n"
                               "2环形水平(41):%6d;  3环形水平(43):%6d\r\n") +
               "\r\n";
    }
    report += Format(
                  "(%3d) 总错误率上限：%9.8f, 阈值1与偏置：(%10.5f,%10.5f)   "
                  "特征参数：(%4d,%3d,%3d,%3d,%3d),分类器系数:%10.5f,分类器更新系数:%10.5f,"
                  "弱分类器号:%4d",
                  selected + 1, bound, ThresholdAs<float>(r.threshold1), ThresholdAs<float>(r.bias),
                  r.featureCode, r.x, r.y, r.w, r.h, r.alpha, step.beta, c.record) +
              "\r\n";
    if (Result w = WriteFileAtomically(files.report, report); !w) return {w};
    bound = NextErrorBound(bound, best);
    UpdateWeights(
        samples.size(), [&](size_t i) -> float& { return samples[i].weight; }, step.beta,
        [&](size_t i) { return decide(c, static_cast<int>(i)) == samples[i].label; });
    ++selected;
    model.stageSizes[stage] = selected;
  }
  return {Result::Ok(), true, selected, bound};
}

}  // namespace fw

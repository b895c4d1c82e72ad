#include "learn/evaluation_run.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/data_files.h"
#include "core/image_file.h"
#include "learn/reports.h"

namespace fw {

Result ListPictures(const std::string& folder, bool allPictures, std::vector<std::string>& files) {
  files.clear();
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return Result::Error(folder + ": cannot read the folder (" + ec.message() + ")");
  for (const auto& entry : it) {
    if (!entry.is_regular_file(ec)) continue;
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool jpeg = ext == ".jpg" || ext == ".jpeg";
    if (jpeg || (allPictures && (ext == ".bmp" || ext == ".png"))) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return Result::Ok();
}

LoadedSamples LoadSampleFolders(const SampleFolders& folders, bool allPictures, int cropType,
                                const ClassifierSet& model, SampleSet& set, const StopFlag& stop,
                                ProgressReporter& progress) {
  LoadedSamples out;
  std::vector<std::string> positives, negatives;
  if (Result r = ListPictures(folders.positives, allPictures, positives); !r) return {r, false, {}};
  if (Result r = ListPictures(folders.negatives, allPictures, negatives); !r) return {r, false, {}};
  const int p = static_cast<int>(positives.size()), n = static_cast<int>(negatives.size());
  set.Prepare(p, n);
  set.positiveFolder = folders.positives;
  set.negativeFolder = folders.negatives;
  set.UseCascadeRecords(model);
  ProgressState& ps = progress.State();
  ps.firstMaximum = p + n;
  int good[2] = {0, 0};
  Dib picture;
  for (int k = 0; k < p + n; ++k) {
    if (stop) return out;
    const bool positive = k < p;
    const std::string& file = positive ? positives[k] : negatives[k - p];
    if (progress.Due()) {
      ps.status = Format(positive ? "装载第%d个正样本图像..." : "装载第%d个负样本图像...",
                         positive ? k + 1 : k - p + 1);
      ps.firstPosition = k + 1;
      progress.Publish();
    }
    const int index = positive ? good[0] : p + good[1];
    if (!LoadImageFile(picture, file) || !set.Add(picture, cropType, positive ? 1 : 0, index)) {
      out.unreadable.push_back(file);
      continue;
    }
    ++good[positive ? 0 : 1];
  }
  set.Shrink(good[0], good[1]);
  out.finished = true;
  return out;
}

namespace {

// V and W of every stage for every sample, from the stored values.
std::vector<StageVote> VotesOf(const SampleSet& set, const ClassifierSet& model,
                               const StopFlag& stop, ProgressReporter& progress) {
  const int stages = model.StageCount();
  const ThresholdType type = InfoOf(model.flavour).thresholds;
  std::vector<Thresholds> t;
  for (int k = 0; k < model.RecordsInStages(); ++k)
    t.push_back(ThresholdsOf(model.records[k], type));
  std::vector<StageVote> votes(static_cast<size_t>(set.Size()) * stages);
  ProgressState& ps = progress.State();
  ps.firstMaximum = set.Size();
  for (int s = 0; s < set.Size(); ++s) {
    if (stop) return {};
    if (progress.Due()) {
      ps.status = Format("检测第%d个样本图像...", s + 1);
      ps.firstPosition = s + 1;
      progress.Publish();
    }
    int record = 0;
    for (int g = 0; g < stages; ++g) {
      StageVote& v = votes[static_cast<size_t>(s) * stages + g];
      for (int k = 0; k < model.stageSizes[g]; ++k, ++record) {
        const float alpha = model.records[record].alpha;
        v.total += alpha;
        if (WeakYes(set.Value(s, record), t[record].t1, t[record].t2)) v.yes += alpha;
      }
    }
  }
  return votes;
}

template <typename Theta>
RocPoint Count(const SampleSet& set, const std::vector<StageVote>& votes, int stages, Theta theta) {
  RocPoint point;
  for (int s = 0; s < set.Size(); ++s) {
    bool accepted = true;
    for (int g = 0; g < stages && accepted; ++g) {
      const StageVote& v = votes[static_cast<size_t>(s) * stages + g];
      accepted = StagePasses(v.yes, v.total, theta(g));
    }
    if (!accepted) continue;
    if (set.Samples()[s].label == 1) {
      ++point.detected;
    } else {
      ++point.falseAlarms;
    }
  }
  return point;
}

}  // namespace

RocPoint EvaluateAtModeThresholds(const SampleSet& set, const ClassifierSet& model) {
  const StopFlag never{false};
  ProgressReporter silent(nullptr);
  const std::vector<StageVote> votes = VotesOf(set, model, never, silent);
  return Count(set, votes, model.StageCount(), [&](int g) { return model.StageTheta(g); });
}

std::vector<RocPoint> SweepRatios(const SampleSet& set, const ClassifierSet& model,
                                  const StopFlag& stop, ProgressReporter& progress,
                                  const std::function<void(const RocPoint&)>& onPoint) {
  const std::vector<StageVote> votes = VotesOf(set, model, stop, progress);
  std::vector<RocPoint> points;
  if (stop) return points;
  for (float r = 1.0f; r >= 0.0f; r -= 0.01f) {
    if (stop) break;
    RocPoint point = Count(set, votes, model.StageCount(), [r](int) { return r; });
    point.ratio = r;
    points.push_back(point);
    if (onPoint) onPoint(point);
  }
  return points;
}

std::string RocLine(const RocPoint& p, int positives, int negatives) {
  const double fa = negatives > 0 ? static_cast<double>(p.falseAlarms) / negatives : 0.0;
  const double hit = positives > 0 ? static_cast<double>(p.detected) / positives : 0.0;
  const int errors = positives - p.detected + p.falseAlarms;
  const int all = positives + negatives;
  return Format(
      "阈值：%9f，误报负样本数：%5d，检测正样本数：%5d，( %9f , %9f), 加权错误率:%9f, "
      "错误数:%5d,错误率:%9f",
      static_cast<double>(p.ratio), p.falseAlarms, p.detected, fa, hit,
      0.5 * (1.0 - hit) + 0.5 * fa, errors, all > 0 ? static_cast<double>(errors) / all : 0.0);
}

EohEvaluationParams DefaultEohEvaluation(const std::string& samplesRoot) {
  std::string root = samplesRoot;
  if (!root.empty() && root.back() != '/') root += '/';
  return {{root + kEohPositiveFolder, root + kEohNegativeFolder},
          FindDataFile(InfoOf(Flavour::Eoh).defaultFile),
          StartDirectory() + kEohRocReportFile};
}

EohEvaluationOutcome RunEohEvaluation(const EohEvaluationParams& params, const StopFlag& stop,
                                      ProgressSink* sink) {
  EohEvaluationOutcome out;
  ProgressReporter progress(sink);
  progress.State().status = "正在装载正负样本，请稍候...";
  progress.State().firstText = "现在正在学习第1个弱分类器...";
  progress.State().secondText = "特征";
  progress.Publish(true);
  auto end = [&](Result r) {
    progress.Hide();
    out.result = r;
    return out;
  };
  ClassifierSet model;
  if (Result r = model.Load(Flavour::Eoh, params.classifier); !r) return end(r);
  const int features = model.RecordsInStages();
  if (features < kDefaultSplitRecords) {
    return end(Result::Error(params.classifier + ": the evaluation run needs 200 weak records in " +
                             "its stages, the file holds " + std::to_string(features)));
  }
  SampleSet set;
  LoadedSamples loaded = LoadSampleFolders(params.folders, false, InfoOf(Flavour::Eoh).cropType,
                                           model, set, stop, progress);
  out.unreadable = loaded.unreadable;
  if (!loaded.result) return end(loaded.result);
  if (!loaded.finished) return end(Result::Ok());
  out.positives = set.Positives();
  out.negatives = set.Negatives();
  if (set.Positives() == 0) {
    return end(Result::Error(params.folders.positives + ": no readable JPEG pictures"));
  }
  if (set.Negatives() == 0) {
    return end(Result::Error(params.folders.negatives + ": no readable JPEG pictures"));
  }
  std::FILE* report = std::fopen(params.report.c_str(), "wb");
  if (!report) return end(Result::Error(params.report + ": cannot create the report"));
  const std::string header =
      Format(
          "正样本个数:%6d, 存放目录: %s. \r\n负样本个数:%6d, 存放目录: %s. \r\n规划特征个数:%d\r\n",
          out.positives, params.folders.positives.c_str(), out.negatives,
          params.folders.negatives.c_str(), features) +
      "\r\n";
  bool written = std::fputs(header.c_str(), report) >= 0;
  model.UseDefaultSplit();
  out.points = SweepRatios(set, model, stop, progress, [&](const RocPoint& p) {
    const std::string line = RocLine(p, out.positives, out.negatives) + "\r\n";
    written = std::fputs(line.c_str(), report) >= 0 && written;
    std::fflush(report);
  });
  written = std::fclose(report) == 0 && written;
  if (!written) return end(Result::Error(params.report + ": cannot write the report"));
  out.finished = !stop;
  return end(Result::Ok());
}

}  // namespace fw

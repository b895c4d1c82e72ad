// The learning runs: the AdaBoost step and error bound, the trainer's weak learner and its
// thresholds, the weak-classifier selection with its report, the EOH evaluation run with its
// report, and the stop flag.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "core/data_files.h"
#include "core/image_file.h"
#include "learn/boosting.h"
#include "learn/evaluation_run.h"
#include "learn/texture_features.h"
#include "learn/weak_learner.h"
#include "learn/weak_selection.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

using test::ReadAll;

using test::RecordingProgress;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  return lines;
}

// --- AdaBoost step ---------------------------------------------------------------------------

TEST(BoostStep, EdgeErrors) {
  const BoostStep half = BoostStepOf(0.5);
  EXPECT_FLOAT_EQ(half.beta, 1.0f);
  EXPECT_FLOAT_EQ(half.alpha, 0.0f);
  const BoostStep perfect = BoostStepOf(0.0);
  EXPECT_FLOAT_EQ(perfect.beta, 0.000001f);
  EXPECT_NEAR(perfect.alpha, 13.8155, 1e-4);
  EXPECT_NEAR(BoostStepOf(0.2).alpha, std::log(4.0), 1e-6);

  std::vector<float> w = {0.1f, 0.2f, 0.3f, 0.4f};
  auto weight = [&](size_t i) -> float& { return w[i]; };
  UpdateWeights(w.size(), weight, half.beta, [](size_t i) { return i < 2; });
  EXPECT_FLOAT_EQ(w[0], 0.1f);  // beta 1: normalised, unchanged
  EXPECT_FLOAT_EQ(w[3], 0.4f);
  UpdateWeights(w.size(), weight, perfect.beta, [](size_t) { return true; });
  EXPECT_FLOAT_EQ(w[3], 0.4f);  // beta below 0.001: no update
  UpdateWeights(w.size(), weight, 0.5f, [](size_t i) { return i == 3; });
  EXPECT_FLOAT_EQ(w[3], 0.2f / 0.8f);  // the correct one halved, all divided by 0.8
  EXPECT_FLOAT_EQ(w[0], 0.1f / 0.8f);
}

TEST(BoostStep, ErrorBoundShrinksByTwoRootEpsilonOneMinusEpsilon) {
  EXPECT_DOUBLE_EQ(NextErrorBound(1.0, 0.5), 1.0);
  EXPECT_DOUBLE_EQ(NextErrorBound(1.0, 0.1), 0.6);
  EXPECT_NEAR(NextErrorBound(NextErrorBound(1.0, 0.1), 0.2), 0.6 * 0.8, 1e-12);
  EXPECT_DOUBLE_EQ(NextErrorBound(0.3, 0.0), 0.0);
}

// --- the trainer's weak learner --------------------------------------------------------------

TEST(WeakLearner, FindsTheSeparatingFeatureWhicheverWayItSeparates) {
  std::mt19937 rng(4);
  constexpr int kSamples = 200, kFeatures = 9;
  std::vector<Cuts> cuts(kFeatures, CutsOf({}, ThresholdType::UInt8));
  for (bool inverted : {false, true}) {
    BinMatrix bins;
    bins.Resize(kFeatures, kSamples);
    std::vector<double> weights(kSamples);
    for (int i = 0; i < kSamples; ++i) {
      const bool positive = i < kSamples / 2;
      weights[i] = positive ? 1.0 / kSamples : -1.0 / kSamples;
      for (int f = 0; f < kFeatures; ++f) bins.Column(f)[i] = static_cast<uint8_t>(rng() % 256);
      // Feature 6: positives in 100..149 (or outside it), negatives the rest.
      const int inside = 100 + static_cast<int>(rng() % 50);
      const int outside =
          rng() % 2 ? static_cast<int>(rng() % 100) : 150 + static_cast<int>(rng() % 106);
      bins.Column(6)[i] = static_cast<uint8_t>(positive != inverted ? inside : outside);
    }
    for (int threads : {1, 2}) {
      const WeakChoice c = SelectWeak(bins, cuts, weights, 0.5, 0.5, threads);
      EXPECT_EQ(c.feature, 6);
      EXPECT_NEAR(c.error, 0.0, 1e-12);
      const std::vector<uint8_t> accept = AcceptTable(c, 256);
      for (int i = 0; i < kSamples; ++i) {
        ASSERT_EQ(accept[bins.Column(6)[i]] == 1, i < kSamples / 2) << inverted;
      }
    }
  }
}

TEST(WeakLearner, ThresholdsDecideValuesExactlyAsTheBins) {
  std::mt19937 rng(8);
  for (ThresholdType type :
       {ThresholdType::UInt8, ThresholdType::Float, ThresholdType::Int16, ThresholdType::Int32}) {
    std::vector<double> values;
    for (int k = 0; k < 600; ++k) {
      switch (type) {
        case ThresholdType::UInt8:
          values.push_back(rng() % 256);
          break;
        case ThresholdType::Float:
          values.push_back(static_cast<float>(rng() % 100000) / 7.0f);
          break;
        case ThresholdType::Int16:
          values.push_back(static_cast<int>(rng() % 4000) - 2000);
          break;
        case ThresholdType::Int32:
          values.push_back(static_cast<int>(rng() % 3000000));
          break;
      }
    }
    const Cuts cuts = CutsOf(values, type);
    const int bins = static_cast<int>(cuts.size()) + 1;
    ASSERT_LE(bins, 256);
    for (int trial = 0; trial < 300; ++trial) {
      WeakChoice c;
      c.feature = 0;
      c.a = static_cast<int>(rng() % bins);
      c.b = c.a + 1 + static_cast<int>(rng() % (bins - c.a));
      c.inverted = rng() % 2;
      if (c.a == 0 && c.b == bins) continue;  // accept everything / nothing is never chosen
      const std::vector<uint8_t> accept = AcceptTable(c, bins);
      const ThresholdPair t = ThresholdsOfChoice(c, cuts, type);
      WeakRecord r;
      SetThresholds(r, type, t.t1, t.t2);
      const Thresholds stored = ThresholdsOf(r, type);
      for (double v : values) {
        ASSERT_EQ(WeakYes(v, stored.t1, stored.t2), accept[BinOf(cuts, v)] == 1)
            << static_cast<int>(type) << " " << c.a << " " << c.b << " " << c.inverted << " " << v;
      }
    }
  }
}

// --- the weak-classifier selection ------------------------------------------------------------

class SelectionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempDir("weak_selection");
    previous_ = StartDirectory();
    SetStartDirectory(folder_ + "/");
    set_.Prepare(10, 10);
    set_.positiveFolder = "pos";
    set_.negativeFolder = "neg";
    set_.UseCentredPool();
    for (int k = 0; k < 10; ++k) {
      ASSERT_TRUE(set_.Add(test::SmokeLike(32, 24, 10 + k), 1, 1, k));
      ASSERT_TRUE(set_.Add(test::ClearLike(32, 24, 30 + k), 1, 0, 10 + k));
    }
    // A feature that separates: every positive below t, every negative from t up.
    for (int f = 0; f < set_.FeatureCount() && separating_ < 0; ++f) {
      double hiPos = -1e30, loNeg = 1e30;
      for (int s = 0; s < 20; ++s) {
        (s < 10 ? hiPos : loNeg) =
            s < 10 ? std::max(hiPos, set_.Value(s, f)) : std::min(loNeg, set_.Value(s, f));
      }
      if (hiPos < loNeg) {
        separating_ = f;
        threshold_ = static_cast<float>(0.5 * (hiPos + loNeg));
      }
    }
    ASSERT_GE(separating_, 0);
  }
  void TearDown() override { SetStartDirectory(previous_); }

  // A Float file of `t` candidates; candidate `good` is the separating feature, the others
  // accept nothing (T1 = T2).
  std::string Candidates(int t, int good) {
    ClassifierSet c;
    c.flavour = Flavour::Float;
    c.stageSizes[0] = t;
    for (int k = 0; k < t; ++k) {
      const FeatureDesc& d = set_.Table()[k == good ? separating_ : (separating_ + 1 + k) % 6344];
      WeakRecord& r = c.records[k];
      r.featureCode = d.featureCode;
      r.x = d.x;
      r.y = d.y;
      r.w = d.w;
      r.h = d.h;
      SetThresholds(r, ThresholdType::Float, k == good ? threshold_ : 1.0, k == good ? -1.0 : 1.0);
    }
    const std::string path = folder_ + "/Float_RealAdaboost.kdz";
    EXPECT_TRUE(c.Save(path));
    return path;
  }

  std::string folder_, previous_;
  SampleSet set_;
  int separating_ = -1;
  float threshold_ = 0.0f;
};

TEST_F(SelectionRun, ChoosesTheSeparatingCandidateFirstAndWritesTheReport) {
  ClassifierSet model;
  const SelectionFiles files{Candidates(6, 3), folder_ + "/" + kSelectionReportFile};
  const StopFlag stop{false};
  RecordingProgress progress;
  ProgressReporter reporter(&progress, std::chrono::milliseconds(0));
  const SelectionOutcome out = SelectWeakClassifiers(set_, model, 0, files, stop, reporter);
  ASSERT_TRUE(out.result) << out.result.message();
  EXPECT_TRUE(out.finished);
  EXPECT_EQ(out.selected, 3);
  EXPECT_EQ(model.stageSizes[0], 3);
  EXPECT_EQ(model.records[0].featureCode, set_.Table()[separating_].featureCode);
  EXPECT_NEAR(model.records[0].alpha, 13.8155, 1e-4);  // error 0
  EXPECT_EQ(set_.Chosen()[separating_], 1);
  const std::vector<std::string> lines = Lines(ReadAll(files.report));
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[0], "正在选择50%弱分类器，正样本个数:    10, 存放目录: pos. ");
  EXPECT_EQ(lines[1], "负样本个数:    10, 存放目录: neg. ");
  EXPECT_EQ(lines[2], "特征总数:   6344");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "1矩形方差(02):   484;  2矩形水平(11):   420;  2矩形垂直(12):   420;");
  EXPECT_EQ(lines[6], "2环形水平(41):   361;  3环形水平(43):   289");
  const FeatureDesc& d = set_.Table()[separating_];
  char expected[400];
  std::snprintf(expected, sizeof expected,
                "(  1) 总错误率上限：1.00000000, 阈值1与偏置：(%10.5f,  -1.00000)   "
                "特征参数：(%4d,%3d,%3d,%3d,%3d),分类器系数:  13.81551,分类器更新系数:   0.00000,"
                "弱分类器号:   3",
                threshold_, d.featureCode, d.x, d.y, d.w, d.h);
  EXPECT_EQ(lines[8], expected);
  EXPECT_FALSE(progress.states.empty());
  EXPECT_NE(progress.states.back().firstText.find("正在学习第"), std::string::npos);
}

TEST_F(SelectionRun, TakesHalfTheCandidatesAndAtLeastOne) {
  for (const auto& [t, selected] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{7, 3}}) {
    ClassifierSet model;
    const SelectionFiles files{Candidates(t, 0), folder_ + "/" + kSelectionReportFile};
    const StopFlag stop{false};
    ProgressReporter silent(nullptr);
    const SelectionOutcome out = SelectWeakClassifiers(set_, model, 0, files, stop, silent);
    ASSERT_TRUE(out.result);
    EXPECT_EQ(out.selected, selected) << t;
  }
}

TEST_F(SelectionRun, StopFlagEndsTheRunWithoutSelecting) {
  ClassifierSet model;
  const SelectionFiles files{Candidates(6, 3), folder_ + "/" + kSelectionReportFile};
  const StopFlag stop{true};
  ProgressReporter silent(nullptr);
  const SelectionOutcome out = SelectWeakClassifiers(set_, model, 0, files, stop, silent);
  EXPECT_TRUE(out.result);
  EXPECT_FALSE(out.finished);
  EXPECT_EQ(out.selected, 0);
}

TEST(LearningJob, StopRequestEndsTheWorkOnItsThread) {
  LearningJob job;
  std::thread::id worker;
  ASSERT_TRUE(job.Start([&](const StopFlag& stop) {
    worker = std::this_thread::get_id();
    while (!stop) std::this_thread::yield();
    return Result::Error("stopped");
  }));
  EXPECT_FALSE(job.Start([](const StopFlag&) { return Result::Ok(); }));  // one at a time
  job.RequestStop();
  const Result r = job.Wait();
  EXPECT_FALSE(r);
  EXPECT_FALSE(job.Running());
  EXPECT_NE(worker, std::this_thread::get_id());
  ASSERT_TRUE(job.Start(
      [](const StopFlag& stop) { return stop ? Result::Error("flag left set") : Result::Ok(); }));
  EXPECT_TRUE(job.Wait());
}

// --- the EOH evaluation run -------------------------------------------------------------------

class EohRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempDir("eoh_run");
    std::filesystem::create_directories(folder_ + "/Mysmoke/white");
    std::filesystem::create_directories(folder_ + "/lib302/forest");
    for (int k = 0; k < 6; ++k) {
      const std::string name = "/" + std::to_string(k) + ".jpg";
      ASSERT_TRUE(SaveJpeg(test::SmokeLike(40, 30, k), folder_ + "/Mysmoke/white" + name, 95));
      ASSERT_TRUE(SaveJpeg(test::ClearLike(40, 30, k), folder_ + "/lib302/forest" + name, 95));
    }
    std::ofstream(folder_ + "/lib302/forest/broken.jpg") << "not a picture";
    params_ = DefaultEohEvaluation(folder_);
    params_.classifier = folder_ + "/EOH_RealAdaboost.kdz";
    params_.report = folder_ + "/" + kEohRocReportFile;
  }
  void WriteCascade(std::vector<int32_t> sizes) {
    ClassifierSet m;
    m.flavour = Flavour::Eoh;
    int n = 0;
    for (size_t s = 0; s < sizes.size(); ++s) {
      m.stageSizes[s] = sizes[s];
      m.stageThresholds[s] = 0.5f;
      n += sizes[s];
    }
    for (int k = 0; k < n; ++k) {
      WeakRecord& r = m.records[k];
      r.featureCode = TextureFeatureCode(k % 8, 0, 1, 0);
      r.w = r.h = 24;
      r.alpha = 1.0f;
      // Even records accept every value (shares are at most 100000), odd ones none: every
      // stage has half its weight, so it passes up to a ratio of 0.5.
      SetThresholds(r, ThresholdType::Int32, k % 2 ? 0 : 200000, 0);
    }
    ASSERT_TRUE(m.Save(params_.classifier));
  }
  std::string folder_;
  EohEvaluationParams params_;
};

TEST_F(EohRun, WritesOneLinePerRatioAfterTheHeader) {
  WriteCascade({100, 100});
  RecordingProgress progress;
  const StopFlag stop{false};
  const EohEvaluationOutcome out = RunEohEvaluation(params_, stop, &progress);
  ASSERT_TRUE(out.result) << out.result.message();
  EXPECT_TRUE(out.finished);
  EXPECT_EQ(out.positives, 6);
  EXPECT_EQ(out.negatives, 6);
  ASSERT_EQ(out.unreadable.size(), 1u);
  EXPECT_NE(out.unreadable[0].find("broken.jpg"), std::string::npos);
  EXPECT_TRUE(progress.hidden);
  const std::vector<std::string> lines = Lines(ReadAll(params_.report));
  ASSERT_EQ(lines.size(), 4u + out.points.size());
  EXPECT_EQ(lines[0], "正样本个数:     6, 存放目录: " + folder_ + "/Mysmoke/white. ");
  EXPECT_EQ(lines[1], "负样本个数:     6, 存放目录: " + folder_ + "/lib302/forest. ");
  EXPECT_EQ(lines[2], "规划特征个数:200");
  EXPECT_EQ(lines[3], "");
  EXPECT_GE(out.points.size(), 100u);
  EXPECT_FLOAT_EQ(out.points.front().ratio, 1.0f);
  EXPECT_LT(out.points.back().ratio, 0.01f);
  EXPECT_EQ(lines[4], RocLine(out.points.front(), 6, 6));
  EXPECT_EQ(out.points.front().detected, 0);
  EXPECT_EQ(out.points[60].detected, 6);  // ratio 0.40
  // At ratio ~0 every stage passes, so every sample is accepted.
  EXPECT_EQ(out.points.back().detected, 6);
  EXPECT_EQ(out.points.back().falseAlarms, 6);
  EXPECT_EQ(out.points.size(), 101u);
  EXPECT_EQ(lines[4],
            "阈值： 1.000000，误报负样本数：    0，检测正样本数：    0，(  0.000000 ,  0.000000), "
            "加权错误率: 0.500000, 错误数:    6,错误率: 0.500000");
  EXPECT_EQ(lines.back(),
            "阈值： 0.000001，误报负样本数：    6，检测正样本数：    6，(  1.000000 ,  1.000000), "
            "加权错误率: 0.500000, 错误数:    6,错误率: 0.500000");
}

TEST_F(EohRun, RefusesACascadeOfFewerThanTwoHundredRecords) {
  WriteCascade({100, 50});
  const StopFlag stop{false};
  const EohEvaluationOutcome out = RunEohEvaluation(params_, stop, nullptr);
  ASSERT_FALSE(out.result);
  EXPECT_NE(out.result.message().find(params_.classifier), std::string::npos);
  EXPECT_NE(out.result.message().find("200"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(params_.report));
}

TEST_F(EohRun, StopFlagEndsTheRun) {
  WriteCascade({100, 100});
  const StopFlag stop{true};
  const EohEvaluationOutcome out = RunEohEvaluation(params_, stop, nullptr);
  EXPECT_TRUE(out.result);
  EXPECT_FALSE(out.finished);
  EXPECT_TRUE(out.points.empty());
}

}  // namespace
}  // namespace fw

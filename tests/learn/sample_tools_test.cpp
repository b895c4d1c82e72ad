// The sample tools: fuzzy C-means memberships (a point on a centre included), clustering two
// obvious groups and a one-picture folder into named copies with the report, the LBP-VAR
// separation distances with their report, and sample generation that never replaces a file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/image_file.h"
#include "core/ui_sink.h"
#include "learn/samples/fuzzy_cmeans.h"
#include "learn/samples/lbp_separation.h"
#include "learn/samples/sample_generator.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

TEST(FuzzyCMeans, MembershipsSumToOneAndAPointOnACentreBelongsToItAlone) {
  const struct {
    FcmPoint point;
    FcmCentres centres;
    float u0, u1;
  } cases[] = {
      {{0, 0}, {{{0, 1}, {0, 2}}}, 0.8f, 0.2f},       // d^2 = 1 and 4
      {{10, 20}, {{{10, 20}, {50, 60}}}, 1.0f, 0.0f},  // on the first centre
      {{50, 60}, {{{10, 20}, {50, 60}}}, 0.0f, 1.0f},  // on the second
      {{7, 7}, {{{7, 7}, {7, 7}}}, 0.5f, 0.5f},        // both centres on the point
  };
  for (const auto& c : cases) {
    const std::array<float, 2> u = FcmMemberships(c.point, c.centres);
    EXPECT_FLOAT_EQ(u[0], c.u0) << c.point.mean;
    EXPECT_FLOAT_EQ(u[1], c.u1) << c.point.mean;
  }
  // Equal distances: the first centre.
  EXPECT_EQ(NearerCentre({5, 0}, {{{0, 0}, {10, 0}}}), 0);
  EXPECT_EQ(NearerCentre({5.1f, 0}, {{{0, 0}, {10, 0}}}), 1);
}

TEST(FuzzyCMeans, TwoObviousClustersAreFoundFromAnyStart) {
  std::vector<FcmPoint> points;
  for (int i = 0; i < 20; ++i) {
    points.push_back({40.0f + static_cast<float>(i % 5), 100.0f + static_cast<float>(i % 3)});
    points.push_back({200.0f + static_cast<float>(i % 4), 900.0f + static_cast<float>(i % 7)});
  }
  for (const uint32_t seed : {1u, 2u, 3u, 77u}) {
    FcmCentres c = RandomCentres(seed);
    for (const FcmPoint& p : c) {
      EXPECT_GE(p.mean, 0.0f);
      EXPECT_LE(p.variance, 255.0f);
    }
    float error = 0;
    for (int i = 0; i < kFcmIterations; ++i) error = FcmIterate(points, c);
    EXPECT_LT(error, 1e-6f) << seed;
    const int low = c[0].mean < c[1].mean ? 0 : 1;
    EXPECT_NEAR(c[low].mean, 42.0f, 0.5f) << seed;
    EXPECT_NEAR(c[low].variance, 101.0f, 0.5f) << seed;
    EXPECT_NEAR(c[1 - low].mean, 201.5f, 0.5f) << seed;
    EXPECT_NEAR(c[1 - low].variance, 903.0f, 0.5f) << seed;
    for (size_t k = 0; k < points.size(); ++k) {
      EXPECT_EQ(NearerCentre(points[k], c), k % 2 == 0 ? low : 1 - low) << seed << " " << k;
    }
  }
}

Dib Flat(int grey) {
  return test::GreyPicture(16, 12, [grey](int, int) { return grey; });
}
Dib Checks(int x0) {
  return test::GreyPicture(16, 12, [x0](int x, int y) { return (x + y + x0) % 2 ? 250 : 150; });
}

TEST(FuzzyCMeans, TheRunCopiesEachGroupUnderItsLetterAndWritesTheReport) {
  const std::string dir = test::TempDir("fcm_run");
  fs::create_directories(dir + "/smoke");
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(SaveJpeg(Flat(20 + i), dir + "/smoke/dark" + std::to_string(i) + ".jpg", 100));
    ASSERT_TRUE(SaveJpeg(Checks(i), dir + "/smoke/light" + std::to_string(i) + ".jpg", 100));
  }
  std::ofstream(dir + "/smoke/broken.jpg") << "no picture";
  test::RecordingProgress sink;
  ProgressReporter progress(&sink, std::chrono::milliseconds(0));
  StopFlag stop{false};
  const FcmParams params{dir + "/smoke", dir + "/classified", dir + "/FCM_Details.txt", 5};
  const FcmOutcome r = RunFuzzyCMeans(params, stop, progress);
  ASSERT_TRUE(r.result) << r.result.message();
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.iterations, 200);
  EXPECT_EQ(r.counts[0] + r.counts[1], 6);
  EXPECT_EQ(r.counts[0], 3);
  ASSERT_EQ(r.unreadable.size(), 1u);
  for (const char* name : {"A00001.jpg", "A00003.jpg", "B00001.jpg", "B00003.jpg"}) {
    EXPECT_TRUE(fs::exists(dir + "/classified/" + name)) << name;
  }
  EXPECT_FALSE(fs::exists(dir + "/classified/A00004.jpg"));
  const std::string report = test::ReadAll(dir + "/FCM_Details.txt");
  EXPECT_EQ(report.rfind("迭代次数：200, 误差：", 0), 0u) << report;
  EXPECT_NE(report.find("\r\n聚类中心为：类型1=("), std::string::npos);
  EXPECT_NE(report.find(",数目=    3\r\n类型2=("), std::string::npos) << report;
  ASSERT_FALSE(sink.states.empty());
  EXPECT_NE(sink.states.back().secondText.find("已经耗时"), std::string::npos);
}

TEST(FuzzyCMeans, AOnePictureFolderGoesToTheNearerCentreWithoutNaN) {
  const std::string dir = test::TempDir("fcm_one");
  fs::create_directories(dir + "/smoke");
  ASSERT_TRUE(SaveJpeg(Flat(100), dir + "/smoke/only.jpg", 100));
  RecordingUiSink ui;
  ScopedUiSink scoped(ui);
  ProgressReporter progress(nullptr);
  StopFlag stop{false};
  const FcmOutcome r = RunFuzzyCMeans(
      {dir + "/smoke", dir + "/out", dir + "/FCM_Details.txt", 1}, stop, progress);
  ASSERT_TRUE(r.result) << r.result.message();
  for (const FcmPoint& c : r.centres) {
    EXPECT_FALSE(std::isnan(c.mean));
    EXPECT_FALSE(std::isnan(c.variance));
  }
  // Both centres reach the point (the first iteration already moves both onto it).
  EXPECT_FLOAT_EQ(r.centres[0].mean, 100.0f);
  EXPECT_FLOAT_EQ(r.centres[1].mean, 100.0f);
  EXPECT_EQ(r.counts[0], 1);
  EXPECT_TRUE(fs::exists(dir + "/out/A00001.jpg"));
  EXPECT_EQ(test::ReadAll(dir + "/FCM_Details.txt").find("nan"), std::string::npos);
  EXPECT_TRUE(ui.Messages().empty());
  // An empty folder is an error, not a report.
  fs::create_directories(dir + "/empty");
  const FcmOutcome none =
      RunFuzzyCMeans({dir + "/empty", dir + "/out2", dir + "/r2.txt", 1}, stop, progress);
  EXPECT_FALSE(none.result);
  EXPECT_FALSE(fs::exists(dir + "/r2.txt"));
}

TEST(GetVoc, DistancesAreMeansOverThePairs) {
  const std::vector<float> positives = {0.0f, 2.0f};
  const std::vector<float> negatives = {5.0f};
  StopFlag stop{false};
  const SeparationDistances d = MeasureSeparation(positives, negatives, 1, stop);
  EXPECT_DOUBLE_EQ(d.between, 4.0);         // (5 + 3) / 2
  EXPECT_DOUBLE_EQ(d.positiveWithin, 1.0);  // (0 + 2 + 2 + 0) / 4
  EXPECT_DOUBLE_EQ(d.negativeWithin, 0.0);
  const std::vector<float> planar = {0, 0, 3, 4};  // two samples of two values
  const std::vector<float> origin = {0, 0};
  EXPECT_DOUBLE_EQ(MeasureSeparation(planar, origin, 2, stop).between, 2.5);  // (0 + 5) / 2
}

TEST(GetVoc, TwoIdenticalPicturesHaveNoWithinDistanceAndTheReportNamesTheFolders) {
  const std::string dir = test::TempDir("get_voc");
  fs::create_directories(dir + "/smoke");
  fs::create_directories(dir + "/non");
  const Dib smoke = test::SmokeLike(40, 30, 3);
  ASSERT_TRUE(SaveJpeg(smoke, dir + "/smoke/a.jpg", 100));
  ASSERT_TRUE(SaveJpeg(smoke, dir + "/smoke/b.jpg", 100));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(SaveJpeg(test::ClearLike(40, 30, i), dir + "/non/" + std::to_string(i) + ".jpg", 100));
  }
  ProgressReporter progress(nullptr);
  StopFlag stop{false};
  const SeparationOutcome r =
      RunGetVoc({dir + "/smoke", dir + "/non", dir + "/LBP_Feature_Performance.txt"}, stop, progress);
  ASSERT_TRUE(r.result) << r.result.message();
  EXPECT_EQ(r.positives, 2);
  EXPECT_EQ(r.negatives, 3);
  EXPECT_DOUBLE_EQ(r.distances.positiveWithin, 0.0);
  EXPECT_GT(r.distances.negativeWithin, 0.0);
  EXPECT_GT(r.distances.between, r.distances.negativeWithin / 2);
  const std::string report = test::ReadAll(dir + "/LBP_Feature_Performance.txt");
  EXPECT_EQ(report.rfind(dir + "/smoke\r\n" + dir + "/non\r\n正样本个数：2，负样本个数：3\r\n类间距：", 0), 0u)
      << report;
  EXPECT_NE(report.find("，正负样本类内距：  0.000000,"), std::string::npos) << report;
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

TEST(SampleGenerator, TilesTheFrameAndNeverReplacesASample) {
  const std::string dir = test::TempDir("generate_samples");
  const std::string folder = dir + "/lib302/forest";
  fs::create_directories(folder);
  std::ofstream(folder + "/候车_00002.jpg") << "kept";
  const Dib frame = test::SmokeLike(100, 60, 8);
  SampleGenerator generator;
  const GeneratedSamples first = generator.Generate(frame, folder, {40, 20});
  ASSERT_TRUE(first.result) << first.result.message();
  EXPECT_EQ(first.written, 8);  // x = 0, 20, 40, 60 by y = 0, 20
  EXPECT_EQ(test::ReadAll(folder + "/候车_00002.jpg"), "kept");
  EXPECT_EQ(fs::path(first.last).filename().string(), "候车_00009.jpg");
  Dib sample;
  ASSERT_TRUE(LoadImageFile(sample, folder + "/候车_00003.jpg"));
  EXPECT_EQ(sample.Width(), 48);
  EXPECT_EQ(sample.Height(), 48);
  // The number goes on in the next call of the same run.
  const GeneratedSamples second = generator.Generate(frame, folder, {60, 60});
  ASSERT_TRUE(second.result);
  EXPECT_EQ(second.written, 1);
  EXPECT_EQ(fs::path(second.first).filename().string(), "候车_00010.jpg");
  EXPECT_FALSE(generator.Generate(frame, folder, {61, 10}).result);  // taller than the frame
  EXPECT_FALSE(generator.Generate(Dib(), folder, {40, 20}).result);
}

}  // namespace
}  // namespace fw

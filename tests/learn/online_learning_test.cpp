// Online learning: the negative windows of a frame, a run's sample counts (twice the readable
// JPEG pictures) and its classifier file loaded for detection at 0.58, the network file
// reported when absent, and the stop flag: a stopped run writes nothing, so the command clears
// the flag a switch-off left raised before it learns.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/data_files.h"
#include "core/image_file.h"
#include "learn/online/online_learning.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

TEST(OnlineLearning, NegativeWindowsOfAFrame) {
  const struct {
    int width, height, windows;
  } cases[] = {
      {320, 240, 23 * 17 + 50 * 37},
      {64, 48, 2 * 1 + 7 * 5},
      {48, 48, 1 + 5 * 5},
      {24, 24, 1},
      {23, 100, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CountNegativeWindows(c.width, c.height), c.windows) << c.width << "x" << c.height;
  }
}

struct Fixture {
  std::string dir;
  OnlineLearningParams params;
  Dib frame;
};

// Three readable smoke pictures and one broken JPEG; a 64 x 48 frame of clear scenery.
Fixture MakeFixture(const std::string& name) {
  Fixture f;
  f.dir = test::TempDir(name);
  fs::create_directories(f.dir + "/smoke");
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(SaveJpeg(test::SmokeLike(32, 24, 10 + k),
                         f.dir + "/smoke/" + std::to_string(k) + ".jpg", 90));
  }
  std::ofstream(f.dir + "/smoke/broken.jpg") << "not a picture";
  f.params.positives = f.dir + "/smoke";
  f.params.negativeName = f.dir + "/non";
  f.params.selection = {std::string(FW_BUILD_DATA_DIR) + "/Float_RealAdaboost.kdz",
                        f.dir + "/DetailedFeatures.txt"};
  f.params.output = f.dir + "/" + kOnlineClassifierFile;
  f.frame = test::ClearLike(64, 48, 3);
  SetStartDirectory(f.dir);
  return f;
}

TEST(OnlineLearning, LearnsFromTwiceThePicturesAfterAnEarlierStop) {
  Fixture f = MakeFixture("online_learn");
  OnlineLearningCommand command;
  command.RequestStop();  // a classifier mode was switched off before
  test::RecordingProgress progress;
  ASSERT_TRUE(command.Start(f.frame, f.params, &progress));
  const OnlineLearningOutcome out = command.Wait();
  ASSERT_TRUE(out.result) << out.result.message();
  EXPECT_TRUE(out.finished);
  EXPECT_EQ(out.positives, 6);
  EXPECT_EQ(out.negatives, 37);
  ASSERT_EQ(out.unreadable.size(), 1u);
  EXPECT_NE(out.unreadable[0].find("broken.jpg"), std::string::npos);
  EXPECT_GE(out.selected, 1);
  EXPECT_TRUE(progress.hidden);
  EXPECT_TRUE(fs::exists(f.dir + "/DetailedFeatures.txt"));

  OnlineClassifier learned;
  ASSERT_TRUE(LoadOnlineClassifier(f.params.output, f.frame, learned));
  EXPECT_EQ(learned.model.RecordsInStages(), out.selected);
  EXPECT_FLOAT_EQ(learned.model.stageRatio, 0.58f);
  EXPECT_EQ(learned.cascade.Stages(), learned.model.StageCount());
  // The frame's own windows were the negatives: the learned cascade rejects most of them.
  EXPECT_LT(learned.CountAcceptedWindows(f.frame), (64 - 24) / 6 * (48 - 24) / 6);
  // No network file: reported, not fatal; a readable one is found in the start directory.
  setenv("FUMEWATCH_DATA_DIR", f.dir.c_str(), 1);
  EXPECT_FALSE(learned.neuralNet);
  EXPECT_NE(learned.neuralNet.message().find(kNeuralNetFile), std::string::npos);
  std::ofstream(f.dir + "/" + kNeuralNetFile, std::ios::binary) << std::string(1020, '\0');
  ASSERT_TRUE(LoadOnlineClassifier(f.params.output, f.frame, learned));
  EXPECT_TRUE(learned.neuralNet) << learned.neuralNet.message();
  unsetenv("FUMEWATCH_DATA_DIR");
}

TEST(OnlineLearning, AStoppedRunWritesNothing) {
  Fixture f = MakeFixture("online_stopped");
  StopFlag raised{true};
  const OnlineLearningOutcome out = RunOnlineLearning(f.frame, f.params, raised, nullptr);
  EXPECT_TRUE(out.result);
  EXPECT_FALSE(out.finished);
  EXPECT_FALSE(fs::exists(f.params.output));
}

TEST(OnlineLearning, UnusableInputsAreNamed) {
  Fixture f = MakeFixture("online_bad");
  StopFlag go{false};
  const struct {
    std::string positives;
    bool colourFrame;
    std::string said;
  } cases[] = {
      {f.dir + "/missing", true, f.dir + "/missing"},
      {f.dir, true, f.dir + ": no JPEG pictures"},
      {f.dir + "/smoke", false, "needs a colour frame"},
  };
  for (const auto& c : cases) {
    OnlineLearningParams params = f.params;
    params.positives = c.positives;
    Dib grey;
    grey.CreateGray(64, 48);
    const OnlineLearningOutcome out =
        RunOnlineLearning(c.colourFrame ? f.frame : grey, params, go, nullptr);
    EXPECT_FALSE(out.result);
    EXPECT_NE(out.result.message().find(c.said), std::string::npos) << out.result.message();
    EXPECT_FALSE(fs::exists(f.params.output));
  }
}

}  // namespace
}  // namespace fw

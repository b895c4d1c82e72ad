// The cascade trainer on a few dozen generated samples: for every flavour the file it writes,
// loaded as the flavour's mode loads it, decides every sample exactly as the trained cascade
// did; the same seed gives the same bytes; bad input and the stop flag end the run cleanly.
#include "learn/cascade_trainer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/image_file.h"
#include "learn/evaluation_run.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

using test::ReadAll;

class TinyTraining : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new std::string(test::TempDir("tiny_training"));
    test::WriteSampleFolders(*folder_, 24, 32, 24);
  }
  static void TearDownTestSuite() { delete folder_; }

  TrainerOptions Options(int stages) const {
    TrainerOptions o;
    o.positives = *folder_ + "/positives";
    o.negatives = *folder_ + "/negatives";
    o.stages = stages;
    o.hitRate = 0.95;
    o.seed = 3;
    o.miningFrames.push_back(test::ClearLike(120, 90, 77));
    o.miningFrames.push_back(test::SmokeLike(120, 90, 78));  // a frame that looks like smoke
    return o;
  }
  static std::vector<Dib> Pictures(const std::string& dir) {
    std::vector<std::string> files;
    EXPECT_TRUE(ListPictures(dir, true, files));
    std::vector<Dib> pictures(files.size());
    for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(LoadImageFile(pictures[i], files[i]));
    return pictures;
  }
  static std::string* folder_;
};
std::string* TinyTraining::folder_ = nullptr;

TEST_F(TinyTraining, FileDecidesEverySampleAsTheTrainedCascadeForEveryFlavour) {
  for (const FlavourInfo& info : kFlavours) {
    const auto family = CascadeTrainingFamily(info.flavour);
    const StopFlag stop{false};
    const TrainingOutcome out =
        TrainCascade(*family, Options(info.flavour == Flavour::Eoh ? 10 : 3), stop, nullptr);
    ASSERT_TRUE(out.result) << info.label << ": " << out.result.message();
    ASSERT_TRUE(out.finished);
    ASSERT_FALSE(out.cascade.weak.empty());
    const std::string file = *folder_ + "/" + info.defaultFile;
    ASSERT_TRUE(family->Write(out.cascade, file));

    ClassifierSet model;
    ASSERT_TRUE(model.Load(info.flavour, file)) << info.label;
    model.UseModeRatio();
    std::vector<int32_t> stages(model.stageSizes.begin(),
                                model.stageSizes.begin() + model.StageCount());
    EXPECT_EQ(stages, out.cascade.sizes) << info.label;
    const auto fromFile = FlavourSample::Create(info.flavour);
    fromFile->SetCascade(model);
    const auto trained = FlavourSample::Create(info.flavour);
    trained->SetFeatures(out.cascade.Features());
    std::vector<double> values(out.cascade.weak.size());
    int accepted = 0, index = 0;
    for (const char* kind : {"positives", "negatives"}) {
      for (const Dib& picture : Pictures(*folder_ + "/" + kind)) {
        ASSERT_TRUE(fromFile->PrepareCrop(picture, info.cropType));
        ASSERT_TRUE(trained->PrepareCrop(picture, info.cropType));
        trained->Values(values);
        const CascadeResult a = fromFile->Decide(), b = out.cascade.Decide(values);
        ASSERT_EQ(a.accepted, b.accepted) << info.label << " " << kind << " " << index;
        ASSERT_EQ(a.stagesPassed, b.stagesPassed) << info.label;
        if (std::string(kind) == "positives") {
          EXPECT_EQ(a.accepted, out.positiveAccepted[index] == 1) << info.label << " " << index;
          accepted += a.accepted;
          ++index;
        }
      }
    }
    // The generated kinds are easy to tell apart: the stages keep most positives.
    EXPECT_GE(accepted, 18) << info.label;
  }
}

TEST_F(TinyTraining, SameSeedSameBytes) {
  const auto family = CascadeTrainingFamily(Flavour::Byte);
  const StopFlag stop{false};
  std::string bytes[2];
  for (int k = 0; k < 2; ++k) {
    TrainerOptions o = Options(3);
    o.threads = k + 1;  // the number of threads does not matter either
    const TrainingOutcome out = TrainCascade(*family, o, stop, nullptr);
    ASSERT_TRUE(out.result);
    const std::string file = *folder_ + "/seed" + std::to_string(k) + ".kdz";
    ASSERT_TRUE(family->Write(out.cascade, file));
    bytes[k] = ReadAll(file);
  }
  EXPECT_FALSE(bytes[0].empty());
  EXPECT_EQ(bytes[0], bytes[1]);
}

TEST_F(TinyTraining, BadInputAndStopEndTheRun) {
  const auto family = CascadeTrainingFamily(Flavour::Float);
  const StopFlag stop{false};
  TrainerOptions o = Options(3);
  o.positives = *folder_ + "/missing";
  TrainingOutcome out = TrainCascade(*family, o, stop, nullptr);
  EXPECT_FALSE(out.result);
  EXPECT_NE(out.result.message().find("missing"), std::string::npos);

  const std::string empty = test::TempDir("tiny_training_empty");
  std::ofstream(empty + "/note.txt") << "no pictures here";
  o = Options(3);
  o.negatives = empty;
  out = TrainCascade(*family, o, stop, nullptr);
  EXPECT_FALSE(out.result);
  EXPECT_NE(out.result.message().find("no readable sample pictures"), std::string::npos);

  o = Options(21);
  EXPECT_FALSE(TrainCascade(*family, o, stop, nullptr).result);
  EXPECT_FALSE(
      TrainCascade(*CascadeTrainingFamily(Flavour::Eoh), Options(9), stop, nullptr).result);

  const StopFlag stopped{true};
  out = TrainCascade(*family, Options(3), stopped, nullptr);
  EXPECT_TRUE(out.result);
  EXPECT_FALSE(out.finished);
}

}  // namespace
}  // namespace fw

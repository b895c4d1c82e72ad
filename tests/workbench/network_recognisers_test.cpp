// The texture recognisers that classify with a network, on a scripted network: the training
// phase and its one message, the negative examples from the second source, and the decisions of
// the frame and region forms.
#include "workbench/network_recognisers.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/session.h"
#include "core/ui_sink.h"
#include "tests/support/allocations.h"
#include "tests/support/clips.h"
#include "workbench/workbench_state.h"

namespace fw {
namespace {

// A network whose errors and classes are scripted by the test.
class ScriptedNetwork : public TextureNetwork {
 public:
  void SetSizes(int inputs, int hidden, int outputs) override { sizes = {inputs, hidden, outputs}; }
  void RandomiseWeights(float low, float high) override {
    randomised = true;
    range = {low, high};
  }
  bool TrainStep(std::span<const float> input, std::span<const float> target, float rate,
                 float goal) override {
    EXPECT_EQ(input.size(), 16u);
    EXPECT_FLOAT_EQ(rate, 0.05f);
    EXPECT_FLOAT_EQ(goal, 0.00001f);
    targets.push_back(target[0] == 1.0f ? 0 : 1);
    last = error(static_cast<int>(targets.size()));
    accumulated += last;
    return last < goal;
  }
  float LastError() const override { return last; }
  float AccumulatedError() const override { return accumulated; }
  int Classify(std::span<const float> input, float& confidence) override {
    confidence = 0.9f;
    return decide(input);
  }

  std::vector<int> sizes;
  bool randomised = false;
  std::vector<float> range;
  std::vector<int> targets;  // 0: a texture example, 1: a smoke-free one
  float last = 0.0f;
  float accumulated = 0.0f;
  std::function<float(int)> error = [](int) { return 0.5f; };
  std::function<int(std::span<const float>)> decide = [](std::span<const float>) { return 0; };
};

Dib Picture(int width, int height) {
  Dib picture;
  picture.CreateSigned(width, height, 24, false);
  return picture;
}

void Fill(Dib& picture, int x0, int y0, int x1, int y1, bool stripes) {
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const uint8_t v = stripes ? (x % 2 ? 220 : 90) : 160;
      uint8_t* p = picture.Row(y) + 3 * x;
      p[0] = p[1] = p[2] = v;
    }
  }
}

// A striped texture in the frame and a smoke-free uniform second picture.
struct Scene {
  Dib frame = Picture(32, 24);
  Dib second = Picture(50, 40);
  Scene() {
    Fill(frame, 4, 4, 28, 20, true);
    Fill(second, 0, 0, 50, 40, false);
  }
};

struct Recogniser {
  TextureAnalyzer analyzer;
  ScriptedNetwork network;
  NetworkTraining training;
  RecordingUiSink sink;
  ScopedUiSink scoped{sink};
  Dib chart;
  explicit Recogniser(const Dib& frame) { analyzer.Initialise(frame, false); }
  bool Frame(const Dib& frame, Dib* second) {
    return RecogniseTextureNN(analyzer, network, training, frame, second, &chart);
  }
};

TEST(NetworkRecognisers, WithoutASecondSourceTrainingFailsAfterThreeThousandFrames) {
  Scene scene;
  const Dib& frame = scene.frame;
  Recogniser r(frame);
  for (int i = 0; i < kTrainingFrames - 1; ++i) ASSERT_FALSE(r.Frame(frame, nullptr));
  EXPECT_TRUE(r.sink.Messages().empty());
  EXPECT_EQ(r.network.sizes, (std::vector<int>{16, 48, 2}));
  EXPECT_TRUE(r.network.randomised);
  EXPECT_EQ(r.network.range, (std::vector<float>{-0.2f, 0.2f}));
  EXPECT_EQ(r.network.targets.size(), size_t(kTrainingFrames - 1));  // positive examples only
  EXPECT_FALSE(r.Frame(frame, nullptr));
  const std::vector<RecordingUiSink::Entry> said = r.sink.Messages();
  ASSERT_EQ(said.size(), 1u);
  const std::string& text = said[0].text;
  EXPECT_EQ(said[0].caption, "提示");
  EXPECT_EQ(
      text.rfind("已经训练3000次数！\n最后一次误差为0.500000,0.000000！\n总体平均误差为0.250000！",
                 0),
      0u)
      << text;
  EXPECT_NE(text.find("\n训练失败！"), std::string::npos);
  EXPECT_EQ(r.training.count, kTrainingReported);
  EXPECT_FALSE(r.training.trained);
  // Untrained: never a decision, and no further message.
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(r.Frame(frame, nullptr));
  EXPECT_EQ(r.sink.Messages().size(), 1u);
}

TEST(NetworkRecognisers, TrainsOnTheSecondSourceUntilTheErrorIsSmall) {
  Scene scene;
  Dib& frame = scene.frame;
  Dib& second = scene.second;
  Recogniser r(frame);
  // The errors fall with the steps; the mean of a frame's two falls below 0.08 on frame 10.
  r.network.error = [](int step) { return step >= 19 ? 0.05f : 0.5f; };
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(r.Frame(frame, &second));
  EXPECT_TRUE(r.sink.Messages().empty());
  EXPECT_FALSE(r.Frame(frame, &second));
  ASSERT_EQ(r.sink.Messages().size(), 1u);
  EXPECT_NE(r.sink.Messages()[0].text.find("已经训练10次数！"), std::string::npos);
  EXPECT_NE(r.sink.Messages()[0].text.find("\n训练成功！"), std::string::npos);
  EXPECT_TRUE(r.training.trained);
  // Texture and smoke-free examples alternate.
  ASSERT_EQ(r.network.targets.size(), 20u);
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(r.network.targets[i], static_cast<int>(i % 2));
  // The random block's edges were drawn into the second source's picture.
  int red = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 50; ++x)
      red += second.Row(y)[3 * x + 2] == 255 && second.Row(y)[3 * x] == 0;
  }
  EXPECT_GT(red, 0);
  // Recognition: class 0 with confidence 0.9 is the texture; a frame without texture is not.
  EXPECT_TRUE(r.Frame(frame, &second));
  EXPECT_FALSE(r.Frame(Picture(32, 24), &second));
  r.network.decide = [](std::span<const float>) { return 1; };
  EXPECT_FALSE(r.Frame(frame, &second));
  EXPECT_EQ(r.network.targets.size(), 20u);  // no more training
}

TEST(NetworkRecognisers, TheBuiltInNetworkLearnsTheTextureFromTheSmokeFreeSource) {
  Scene scene;
  TextureAnalyzer analyzer;
  analyzer.Initialise(scene.frame, false);
  const std::unique_ptr<TextureNetwork> network = MakeTextureNetwork();
  NetworkTraining training;
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  // A fresh smoke-free picture every frame, as the second source delivers them (a training
  // frame draws the random block's edges into it).
  Dib second;
  while (training.Running()) {
    second.CopyFrom(scene.second, false);
    ASSERT_FALSE(RecogniseTextureNN(analyzer, *network, training, scene.frame, &second, nullptr));
  }
  ASSERT_EQ(sink.Messages().size(), 1u);
  EXPECT_NE(sink.Messages()[0].text.find("\n训练成功！"), std::string::npos)
      << sink.Messages()[0].text;
  EXPECT_TRUE(training.trained);
  EXPECT_TRUE(RecogniseTextureNN(analyzer, *network, training, scene.frame, &second, nullptr));
  // The smoke-free texture in the frame's place is not the learned one.
  Dib plain = Picture(32, 24);
  Fill(plain, 4, 4, 28, 20, false);
  EXPECT_FALSE(RecogniseTextureNN(analyzer, *network, training, plain, &second, nullptr));
}

TEST(NetworkRecognisers, TrainingAndRecognitionFramesAllocateNothing) {
  Scene scene;
  Dib& frame = scene.frame;
  Dib& second = scene.second;
  Recogniser r(frame);
  r.network.targets.reserve(64);
  r.network.error = [](int step) { return step >= 23 ? 0.01f : 0.5f; };
  r.Frame(frame, &second);
  test::StartCountingAllocations();
  for (int i = 0; i < 10; ++i) r.Frame(frame, &second);
  EXPECT_EQ(test::StopCountingAllocations(), 0);
  r.Frame(frame, &second);  // the end of the training and its message
  ASSERT_TRUE(r.training.trained);
  r.Frame(frame, &second);
  RecogniseRegionTextureNN(r.analyzer, r.network, r.training, frame, nullptr, 10, &r.chart);
  test::StartCountingAllocations();
  for (int i = 0; i < 5; ++i) {
    r.Frame(frame, &second);
    RecogniseRegionTextureNN(r.analyzer, r.network, r.training, frame, nullptr, 10, &r.chart);
  }
  EXPECT_EQ(test::StopCountingAllocations(), 0);
}

TEST(NetworkRecognisers, RegionFormClassifiesTheLargestRegionsFirst) {
  // A large uniform region and a smaller striped one; the network knows only the stripes (their
  // energy is below 1).
  Dib frame = Picture(80, 40);
  Fill(frame, 2, 2, 40, 38, false);
  Fill(frame, 50, 10, 70, 30, true);
  TextureAnalyzer analyzer;
  analyzer.Initialise(frame, false);
  ScriptedNetwork network;
  network.decide = [](std::span<const float> input) { return input[0] < 0.9f ? 0 : 1; };
  NetworkTraining training;
  training.trained = true;
  training.count = kTrainingReported;
  EXPECT_TRUE(RecogniseRegionTextureNN(analyzer, network, training, frame, nullptr, 10, nullptr));
  // Only the largest region examined: the uniform one, not the texture.
  EXPECT_FALSE(RecogniseRegionTextureNN(analyzer, network, training, frame, nullptr, 1, nullptr));
  // The frame's texture as a whole (uniform and stripes together) is not the network's class 0
  // when the uniform part dominates the energy.
  training.trained = false;
  EXPECT_FALSE(RecogniseRegionTextureNN(analyzer, network, training, frame, nullptr, 10, nullptr));
}

TEST(NetworkRecognisers, SessionFeedsTheSecondSourceWhileTraining) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const std::string clip = test::MakeClip("network_main", 48, 36, 5);
  const std::string nonFire = test::MakeClip("network_second", 40, 30, 3);
  Session session;
  ASSERT_TRUE(session.Open(clip, true));
  // The session has its own network from the start; the test puts a scripted one in its place.
  ASSERT_NE(session.Workbench().network, nullptr);
  auto network = std::make_unique<ScriptedNetwork>();
  ScriptedNetwork* scripted = network.get();
  session.SetTextureNetwork(std::move(network));
  EXPECT_FALSE(session.OpenSecondSource(clip + ".missing", true));
  ASSERT_TRUE(session.OpenSecondSource(nonFire, true));
  ASSERT_TRUE(session.RunAnalysisCommand(analysis::kRecogniseRegionNetwork));
  for (int i = 0; i < 4; ++i) session.Step();
  // The second video's frames, cycling, in the display dialog's picture; a positive and a
  // negative example on each frame (the choice itself trained on positives only).
  EXPECT_EQ(session.GetPanes().display.Width(), 40);
  EXPECT_EQ(scripted->targets.size(), 1u + 2 * 4);
  EXPECT_EQ(session.Workbench().training.count, 5);
  EXPECT_EQ(session.Workbench().secondFrame, 4 % 3);
  Snapshot snapshot;
  session.FillControlValues(snapshot);
  EXPECT_TRUE(snapshot.networkTraining);
  EXPECT_TRUE(sink.Messages().empty());
}

}  // namespace
}  // namespace fw

// The neural network: its file round trip, bad files refused with the network unchanged, the
// decision and confidence rules, a training run on XOR-like data, and the LBP-VAR input vector.
#include "learn/neural/neural_network.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <vector>

#include "learn/neural/lbp_var_features.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"
#include "tests/support/crafted.h"

namespace fw {
namespace {

NeuralNetwork SmallNetwork(uint32_t seed) {
  NeuralNetwork n;
  n.SetSizes(5, 3, 2);
  n.RandomiseWeights(-1.0f, 1.0f, seed);
  n.HiddenThresholds()[1] = 0.25f;
  n.OutputThresholds()[0] = -0.5f;
  return n;
}

TEST(NeuralNetwork, SaveAndLoadKeepEveryValueAndTheParameterBlock) {
  const std::string dir = test::TempDir("nn_round_trip");
  for (const bool withBlock : {false, true}) {
    NeuralNetwork saved = SmallNetwork(7);
    if (withBlock) {
      NeuralNetwork::ParameterBlock block;
      for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 13);
      saved.SetParameters(block);
    }
    const std::string path = dir + "/net.kdz";
    ASSERT_TRUE(saved.Save(path));
    EXPECT_EQ(std::filesystem::file_size(path),
              12 + 4 * (5 * 3 + 2 * 3 + 3 + 2) + (withBlock ? 1008u : 0u));
    NeuralNetwork loaded;
    ASSERT_TRUE(loaded.Load(path)) << withBlock;
    EXPECT_EQ(loaded.ToBytes(), saved.ToBytes());
    EXPECT_EQ(loaded.Parameters().has_value(), withBlock);
    const std::vector<float> input = {0.3f, -0.2f, 0.9f, 0.1f, -1.0f};
    saved.Forward(input);
    loaded.Forward(input);
    EXPECT_EQ(std::vector<float>(saved.OutputValues().begin(), saved.OutputValues().end()),
              std::vector<float>(loaded.OutputValues().begin(), loaded.OutputValues().end()));
  }
}

TEST(NeuralNetwork, BadFilesAreRefusedNamingTheProblemAndLeaveTheNetworkAsItWas) {
  const std::string good = SmallNetwork(3).ToBytes();
  auto withInt = [&](size_t at, int32_t v) {
    std::string b = good;
    std::memcpy(b.data() + at, &v, 4);
    return b;
  };
  std::string nan = good;
  const float notANumber = std::nanf("");
  std::memcpy(nan.data() + 20, &notANumber, 4);
  std::string huge = good;
  const float tooLarge = -2e6f;
  std::memcpy(huge.data() + good.size() - 4, &tooLarge, 4);
  const struct {
    const char* what;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"empty", "", "too short"},
      {"header cut", good.substr(0, 8), "too short"},
      {"body cut", good.substr(0, good.size() - 1), "its sizes need"},
      {"one byte more", good + "x", "its sizes need"},
      {"zero inputs", withInt(0, 0), "declares 0 inputs"},
      {"negative hidden", withInt(4, -3), "-3 hidden"},
      {"huge outputs", withInt(8, 1 << 30), "outputs"},
      {"huge sizes that overflow a product", withInt(0, 0x7fffffff), "declares"},
      {"not a number", nan, "not a finite number at byte 20"},
      {"too large", huge, "beyond +-1e6 at byte " + std::to_string(good.size() - 4)},
  };
  for (const auto& c : cases) {
    NeuralNetwork n = SmallNetwork(9);
    const std::string before = n.ToBytes();
    const Result r = n.LoadFromBytes(c.bytes, "bad.kdz");
    EXPECT_FALSE(r) << c.what;
    EXPECT_NE(r.message().find("bad.kdz: "), std::string::npos) << r.message();
    EXPECT_NE(r.message().find(c.message), std::string::npos) << c.what << ": " << r.message();
    EXPECT_EQ(n.ToBytes(), before) << c.what;
  }
  NeuralNetwork n = SmallNetwork(9);
  const std::string dir = test::TempDir("nn_bad_paths");
  EXPECT_FALSE(n.Load(dir + "/missing.kdz"));
  EXPECT_FALSE(n.Load(dir));
  EXPECT_EQ(n.ToBytes(), SmallNetwork(9).ToBytes());
}

TEST(NeuralNetwork, DecisionTakesTheFirstLargestOutputAndConfidenceNeedsASumOfATenth) {
  NeuralNetwork n;
  n.SetSizes(2, 1, 3);
  const std::vector<float> input = {0.0f, -1.0f};
  // All weights 0: every output is sigma(-t).
  const struct {
    float thresholds[3];
    int cls;
    float confidence;
  } cases[] = {
      {{0, 0, 0}, 0, 1.0f / 3},          // all equal: the first
      {{1, -1, -1}, 1, 0.7310586f / (0.2689414f + 2 * 0.7310586f)},
      {{10, 10, 9}, 2, 0.0f},            // outputs sum below 0.1
  };
  for (const auto& c : cases) {
    std::copy(c.thresholds, c.thresholds + 3, n.OutputThresholds().begin());
    float confidence = -1;
    EXPECT_EQ(n.Classify(input, confidence), c.cls);
    EXPECT_NEAR(confidence, c.confidence, 1e-6);
  }
}

TEST(NeuralNetwork, LogisticIsLimitedAtBothEnds) {
  EXPECT_FLOAT_EQ(Logistic(-100.0f), 1.0f / (1.0f + std::exp(38.0f)));
  EXPECT_GT(Logistic(-100.0f), 0.0f);
  EXPECT_EQ(Logistic(100.0f), 1.0f);
  EXPECT_FLOAT_EQ(Logistic(0.0f), 0.5f);
  EXPECT_FLOAT_EQ(LogisticSlope(0.0f), 0.25f);
  EXPECT_TRUE(std::isfinite(LogisticSlope(-1000.0f)));
}

TEST(NeuralNetwork, BackPropagationLearnsXorLikeData) {
  // Two noisy clusters per class on the diagonals of the unit square; the last input is the
  // constant -1.
  std::vector<std::vector<float>> inputs;
  std::vector<int> classes;
  uint32_t s = 11;
  auto noise = [&s] {
    s = s * 1103515245u + 12345u;
    return static_cast<float>((s >> 16) & 0x7fff) / 32767.0f * 0.2f - 0.1f;
  };
  for (int i = 0; i < 40; ++i) {
    const int a = i % 2, b = (i / 2) % 2;
    inputs.push_back({a + noise(), b + noise(), -1.0f});
    classes.push_back(a ^ b);
  }
  NeuralNetwork n;
  n.SetSizes(3, 8, 2);
  n.RandomiseWeights(-1.0f, 1.0f, 5);
  for (int epoch = 0; epoch < 4000; ++epoch) {
    for (size_t i = 0; i < inputs.size(); ++i) {
      const float target[2] = {classes[i] == 0 ? 1.0f : 0.0f, classes[i] == 1 ? 1.0f : 0.0f};
      n.TrainStep(inputs[i], target, 0.5f, 0.01f);
    }
  }
  int right = 0;
  for (size_t i = 0; i < inputs.size(); ++i) right += n.Classify(inputs[i]) == classes[i];
  EXPECT_EQ(right, 40);
  const float corners[4][3] = {{0, 0, -1}, {1, 1, -1}, {0, 1, -1}, {1, 0, -1}};
  for (int c = 0; c < 4; ++c) {
    float confidence = 0;
    EXPECT_EQ(n.Classify(corners[c], confidence), c < 2 ? 0 : 1) << c;
    EXPECT_GT(confidence, 0.8f) << c;
  }
  EXPECT_GT(n.AccumulatedError(), n.LastError());
}

TEST(LbpVarFeatures, HistogramsSumToOneWithTheBiasLastAndWindowsMatchTheirPicture) {
  const Dib picture = test::SmokeLike(64, 56, 4);
  LbpVarFeatures f;
  std::vector<float> v(kLbpVarInputs + 2, 9.0f);
  ASSERT_TRUE(f.FromWindow(picture, 10, 5, v));
  EXPECT_EQ(v.back(), -1.0f);
  EXPECT_EQ(v[kLbpVarValues], 0.0f);
  const int sizes[6] = {59, 59, 36, 36, 10, 10};
  int at = 0;
  for (int part = 0; part < 6; ++part) {
    const float sum = std::accumulate(v.begin() + at, v.begin() + at + sizes[part], 0.0f);
    EXPECT_NEAR(sum, 1.0f, 1e-4) << part;
    at += sizes[part];
  }
  // The same window cut out first gives the same vector.
  Dib window;
  window.Create(48, 48, 24, false);
  for (int r = 0; r < 48; ++r) std::memcpy(window.Row(r), picture.Row(5 + r) + 30, 48 * 3);
  std::vector<float> w(kLbpVarInputs);
  ASSERT_TRUE(f.FromWindow(window, 0, 0, w));
  EXPECT_TRUE(std::equal(w.begin(), w.end() - 1, v.begin()));
  EXPECT_FALSE(f.FromWindow(picture, 17, 0, w));  // 17 + 48 > 64
  EXPECT_FALSE(f.FromWindow(picture, 0, -1, w));
  std::vector<float> shortVector(kLbpVarValues);
  EXPECT_FALSE(f.FromWindow(picture, 0, 0, shortVector));
}

TEST(LbpVarFeatures, AFlatWindowFallsInOneClassPerLevelWithNoVariance) {
  const Dib flat = test::GreyPicture(48, 48, [](int, int) { return 90; });
  LbpVarFeatures f;
  std::vector<float> v(kLbpVarInputs);
  ASSERT_TRUE(f.FromPicture(flat, v));
  // Every neighbour equals the centre: code 255, the last uniform class (58), rotation class
  // 35 and rotation-invariant uniform class 9 (eight bits set).
  const struct {
    int start, classes, hot;
  } levels[3] = {{0, 59, 58}, {118, 36, 35}, {190, 10, 9}};
  for (const auto& l : levels) {
    for (int c = 0; c < l.classes; ++c) {
      EXPECT_FLOAT_EQ(v[l.start + c], c == l.hot ? 1.0f : 0.0f) << l.start << " " << c;
      EXPECT_EQ(v[l.start + l.classes + c], 0.0f);
    }
  }
}

}  // namespace
}  // namespace fw

#include "workbench/network_recognisers.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/ui_sink.h"

namespace fw {

namespace {

constexpr float kRate = 0.05f;
constexpr float kGoal = 0.00001f;
constexpr float kTrainedError = 0.08f;
constexpr float kConfidence = 0.7f;
constexpr float kTexture[kTextureClasses] = {1.0f, 0.0f};
constexpr float kOther[kTextureClasses] = {0.0f, 1.0f};

// One training frame: the key texture as class 0, a random block of the second source as
// class 1. When the training ends, its message is shown once.
void TrainFrame(TextureAnalyzer& analyzer, TextureNetwork& network, NetworkTraining& training,
                const Dib& source, Dib* second, Dib* display) {
  if (training.count == 0) {
    network.SetSizes(kTextureInputs, kTextureHidden, kTextureClasses);
    network.RandomiseWeights(-0.2f, 0.2f);
  }
  analyzer.LearnCooccurrenceByKey(source);
  analyzer.UpdateScores();
  const TextureScores positive = analyzer.Scores();
  network.TrainStep(positive.measures, kTexture, kRate, kGoal);
  training.lastErrors[0] = network.LastError();
  TextureScores negative;
  if (second) {
    analyzer.LearnCooccurrenceRandomBlock(*second, nullptr);
    analyzer.UpdateScores();
    negative = analyzer.Scores();
    network.TrainStep(negative.measures, kOther, kRate, kGoal);
    training.lastErrors[1] = network.LastError();
    if ((training.lastErrors[0] + training.lastErrors[1]) * 0.5f < kTrainedError) {
      training.trained = true;
    }
  }
  ++training.count;
  if (display) analyzer.ChartScores(*display, positive, second ? &negative : nullptr);
  if (training.Running()) return;
  char text[256];
  std::snprintf(text, sizeof text, "已经训练%d次数！\n最后一次误差为%f,%f！\n总体平均误差为%f！",
                training.count, training.lastErrors[0], training.lastErrors[1],
                network.AccumulatedError() * 0.5f / static_cast<float>(training.count));
  CurrentUiSink().Message(
      std::string(text) + "\n" + (training.trained ? "训练成功！" : "训练失败！"), "提示",
      MessageButtons::OkCancel);
  training.count = kTrainingReported;
}

// The scores of the frame's key texture (charted); the number of texture pixels.
int MeasureFrame(TextureAnalyzer& analyzer, const Dib& source, Dib* display) {
  const int pixels = analyzer.LearnCooccurrenceByKey(source);
  analyzer.UpdateScores();
  if (display) analyzer.ChartScores(*display, analyzer.Scores(), nullptr);
  return pixels;
}

bool IsTexture(TextureNetwork& network, const TextureScores& scores) {
  float confidence = 0.0f;
  return network.Classify(scores.measures, confidence) == 0 && confidence > kConfidence;
}

}  // namespace

bool RecogniseTextureNN(TextureAnalyzer& analyzer, TextureNetwork& network,
                        NetworkTraining& training, const Dib& source, Dib* second, Dib* display) {
  if (training.Running()) {
    TrainFrame(analyzer, network, training, source, second, display);
    return false;
  }
  const int pixels = MeasureFrame(analyzer, source, display);
  return training.trained && pixels > 16 && IsTexture(network, analyzer.Scores());
}

bool RecogniseRegionTextureNN(TextureAnalyzer& analyzer, TextureNetwork& network,
                              NetworkTraining& training, const Dib& source, Dib* second,
                              int maxRegions, Dib* display) {
  if (training.Running()) {
    TrainFrame(analyzer, network, training, source, second, display);
    return false;
  }
  const int pixels = MeasureFrame(analyzer, source, display);
  if (!training.trained || pixels <= 16) return false;
  const int regions = std::min(analyzer.LabelMask(), maxRegions);
  for (int r = 0; r < regions; ++r) {
    analyzer.LearnCooccurrenceByRegion(analyzer.Regions().Regions().RegionLabels()[r]);
    if (analyzer.UpdateScores() && IsTexture(network, analyzer.Scores())) return true;
  }
  return false;
}

}  // namespace fw

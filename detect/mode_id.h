// The numbers of the detection modes, as the control bar's buttons and the Bottom View menu know
// them. Code names modes by these names, never by their numbers.
#pragma once

namespace fw {

enum class ModeId : int {
  None = 0,
  // the control bar's difference and Gauss-model buttons
  BackwardDifference = 1,
  CentreDifference = 2,
  Mixture = 257,
  Gauss = 258,
  Density = 260,
  Mixture2 = 264,
  // the Bottom View menu
  TimeBackground = 7001,
  SimpleBackground = 7002,
  AccurateBackground = 7004,
  GaussGrad = 7005,
  HighOrderMoment = 7006,
  DifferenceAccumulation = 7007,
  Infrared = 7008,
  FourStageFlame = 7009,
  Smoke = 7010,
  BlockSmoke = 7011,
  FuzzyMat = 7012,
  LosingFrames = 7013,
  Engineering = 7014,
  FuzzyEngineering = 7015,
  SpringMouth = 7016,
  Detecting = 7017,
  Training = 7018,
  AdaboostMotion = 7019,
  RealAdaBoost = 7020,
  NeuralNetwork = 7021,
  BoostedLbp = 7022,
  Pltp = 7023,
  Pldp = 7024,
};

constexpr int ModeNumber(ModeId id) {
  return static_cast<int>(id);
}
// The Bottom View menu's modes are numbered from 7001 on.
constexpr bool IsMenuMode(ModeId id) {
  return ModeNumber(id) > 7000;
}

}  // namespace fw

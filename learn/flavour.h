// The five cascade flavours: which feature family and form each reads, the type of its two
// thresholds, how its stage list is formed after loading, the stage ratio its mode sets, the
// side of its base window, the crop its sample runs use and the file it is read from.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace fw {

enum class Flavour { Byte, Float, Blbp, Pltp, Eoh };

enum class FeatureFamily { Window, CodeCount, Texture };
enum class ThresholdType { UInt8, Float, Int16, Int32 };
// Growth: the list is rebuilt from its first entry (10, 13, 17, ...). AsRead: the list as stored.
// AsReadOrDefaultSplit: as stored, or the default split when the second entry is 0.
enum class StageRule { Growth, AsRead, AsReadOrDefaultSplit };

struct FlavourInfo {
  Flavour flavour;
  const char* name;         // command-line name: "byte", "float", "blbp", "pltp", "eoh"
  const char* label;        // "Byte", "Float", "BLBP", "PLTP", "EOH"
  const char* defaultFile;  // "Byte_RealAdaboost.kdz", ...
  FeatureFamily family;
  ThresholdType thresholds;
  StageRule stages;
  float modeRatio;       // the ratio the mode sets for every stage (EOH: every stage threshold)
  bool readsThresholds;  // stage thresholds are read from the file when it has several stages
  bool ownThresholds;    // each stage is decided at its own threshold instead of the ratio
  int baseWindow;        // 24, or 48 for the code-count family
  int cropType;          // crop of the sample runs: 1, or 8 for EOH
};

inline constexpr std::array<FlavourInfo, 5> kFlavours = {{
    {Flavour::Byte, "byte", "Byte", "Byte_RealAdaboost.kdz", FeatureFamily::Window,
     ThresholdType::UInt8, StageRule::Growth, 0.57f, false, false, 24, 1},
    {Flavour::Float, "float", "Float", "Float_RealAdaboost.kdz", FeatureFamily::Window,
     ThresholdType::Float, StageRule::Growth, 0.58f, false, false, 24, 1},
    {Flavour::Blbp, "blbp", "BLBP", "BLBP_RealAdaboost.kdz", FeatureFamily::CodeCount,
     ThresholdType::Int16, StageRule::Growth, 0.57f, false, false, 48, 1},
    {Flavour::Pltp, "pltp", "PLTP", "PLTP_RealAdaboost.kdz", FeatureFamily::CodeCount,
     ThresholdType::Int16, StageRule::AsRead, 0.53f, true, false, 48, 1},
    {Flavour::Eoh, "eoh", "EOH", "EOH_RealAdaboost.kdz", FeatureFamily::Texture,
     ThresholdType::Int32, StageRule::AsReadOrDefaultSplit, 0.51f, true, true, 24, 8},
}};

inline const FlavourInfo& InfoOf(Flavour f) {
  return kFlavours[static_cast<int>(f)];
}

inline std::optional<Flavour> FlavourByName(std::string_view name) {
  for (const FlavourInfo& i : kFlavours) {
    if (name == i.name) return i.flavour;
  }
  return std::nullopt;
}

}  // namespace fw

// The ground truth of an evaluation: one row per clip, tab-separated: the clip's file name, its
// onset frame (the first frame showing smoke or fire) or "-" for a clip without any, then
// optionally the end frame (the last frame showing it) and a kind ("smoke", "fire", ...). Lines
// starting with "#" and empty lines are skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace fw {

struct TruthRow {
  std::string clip;  // file name, matched against the base name of each clip evaluated
  int onset = -1;    // -1: the clip shows no smoke or fire
  int end = -1;      // -1: not given
  std::string kind;
  int line = 0;  // where it stands in the file
  bool HasEvent() const { return onset >= 0; }
};

// Reads a truth file. A bad row fails the whole file, with the file, the line and the problem.
Result ReadTruthFile(const std::string& path, std::vector<TruthRow>& rows);
// The same from text; `name` stands for the file in messages.
Result ParseTruth(std::string_view text, const std::string& name, std::vector<TruthRow>& rows);
// The row of a clip path (by its base name), or null.
const TruthRow* FindTruth(const std::vector<TruthRow>& rows, const std::string& clipPath);

}  // namespace fw

// One parameter of a detector as data: its name on the command line, its label, its range and
// default, and where its value lives in the detection state. A family's field list is the one
// description of its parameter struct: it checks values, gives the desktop's range messages and
// drives `fumewatch-cli detect --set NAME=VALUE` and `modes --params`.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/result.h"

namespace fw {

struct DetectionState;

struct ParamField {
  const char* name;
  const char* label;
  double minimum;
  double maximum;
  double defaultValue;
  bool integral;  // whole numbers only (switches are 0 or 1)
  double (*get)(const DetectionState&);
  void (*set)(DetectionState&, double);
};

// Whether a value lies in the field's range (and is whole where it must be). The message names the
// field and its range.
Result CheckParam(const ParamField& field, double value);
// Parses NAME=VALUE, finds NAME among the fields, checks the value and sets it.
Result SetParam(std::span<const ParamField> fields, DetectionState& state,
                std::string_view assignment);
// The field with this name, or null.
const ParamField* FindParam(std::span<const ParamField> fields, std::string_view name);
// The range as listings show it: "0..1000".
std::string ParamRangeText(const ParamField& field);

}  // namespace fw

#include "detect/param_field.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fw {

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

}  // namespace

std::string ParamRangeText(const ParamField& field) {
  return Number(field.minimum) + ".." + Number(field.maximum);
}

Result CheckParam(const ParamField& field, double value) {
  if (!std::isfinite(value)) return Result::Error(std::string(field.name) + " must be a number");
  if (field.integral && value != std::floor(value)) {
    return Result::Error(std::string(field.name) + " must be a whole number");
  }
  if (value < field.minimum || value > field.maximum) {
    return Result::Error(std::string(field.name) + " must be within " + ParamRangeText(field) +
                         " (got " + Number(value) + ")");
  }
  return Result::Ok();
}

const ParamField* FindParam(std::span<const ParamField> fields, std::string_view name) {
  for (const ParamField& f : fields) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

Result SetParam(std::span<const ParamField> fields, DetectionState& state,
                std::string_view assignment) {
  const size_t eq = assignment.find('=');
  if (eq == std::string_view::npos || eq == 0) {
    return Result::Error("--set needs NAME=VALUE (got \"" + std::string(assignment) + "\")");
  }
  const std::string name(assignment.substr(0, eq));
  const std::string text(assignment.substr(eq + 1));
  const ParamField* field = FindParam(fields, name);
  if (field == nullptr) {
    return Result::Error("this mode has no parameter " + name +
                         " ('fumewatch-cli modes --params' lists them)");
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) {
    return Result::Error(name + " must be a number (got \"" + text + "\")");
  }
  if (Result checked = CheckParam(*field, value); !checked) return checked;
  field->set(state, value);
  return Result::Ok();
}

}  // namespace fw

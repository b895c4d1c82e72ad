#include "cli/learning_cli.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>

namespace fw::cli {

bool WantsHelpText(const ArgList& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}

bool DoubleOption(const Args& args, const std::string& name, double lo, double hi, double& out,
                  std::string& error) {
  const auto text = args.Value(name);
  if (!text) return true;
  double v = 0.0;
  const char* first = text->data();
  const char* last = first + text->size();
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || text->empty() || !(v >= lo && v <= hi)) {
    error = "--" + name + " must be a number from " + std::to_string(lo).substr(0, 4) + " to " +
            std::to_string(hi).substr(0, 4) + " (got \"" + *text + "\")";
    return false;
  }
  out = v;
  return true;
}

std::optional<Flavour> FlavourOption(const Args& args, const std::string& file,
                                     std::string& error) {
  if (const auto name = args.Value("flavour")) {
    if (const auto f = FlavourByName(*name)) return f;
    error = "unknown flavour \"" + *name + "\" (byte, float, blbp, pltp or eoh)";
    return std::nullopt;
  }
  const std::string base = std::filesystem::path(file).filename().string();
  for (const FlavourInfo& i : kFlavours) {
    if (base == i.defaultFile) return i.flavour;
  }
  error = "say which flavour " + file + " is with --flavour (byte, float, blbp, pltp or eoh)";
  return std::nullopt;
}

void StderrProgress::Show(const ProgressState& state) {
  std::string line = state.status;
  for (const std::string* t : {&state.firstText, &state.secondText}) {
    if (!t->empty()) line += " | " + *t;
  }
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace fw::cli

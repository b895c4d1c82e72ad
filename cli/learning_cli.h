// Shared by the learning commands (train, eval-samples): --help detection, number options, the
// flavour option and the progress lines.
#pragma once

#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "learn/flavour.h"
#include "learn/progress.h"

namespace fw::cli {

bool WantsHelpText(const ArgList& args);

// A decimal number option within [lo, hi]; sets `error` and returns false when malformed.
bool DoubleOption(const Args& args, const std::string& name, double lo, double hi, double& out,
                  std::string& error);

// The flavour named by --flavour, or guessed from a classifier file's name
// ("Byte_RealAdaboost.kdz" -> byte); an error text when neither names one.
std::optional<Flavour> FlavourOption(const Args& args, const std::string& file, std::string& error);

// Progress of a run as one line per update on stderr (the status text, then the bar texts).
class StderrProgress : public ProgressSink {
 public:
  void Show(const ProgressState& state) override;
};

}  // namespace fw::cli

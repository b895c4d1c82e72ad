// Shared by the learning commands (train, eval-samples): --help detection, number options, the
// flavour option, and a stop flag that Ctrl-C sets so that a long run ends cleanly.
#pragma once

#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
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

// The stop flag of the current run: set by SIGINT and SIGTERM while InterruptStops lives.
class InterruptStops {
 public:
  InterruptStops();
  ~InterruptStops();
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;
  static const StopFlag& Flag();
};

// Progress of a run as one line per update on stderr (the status text, then the bar texts).
class StderrProgress : public ProgressSink {
 public:
  void Show(const ProgressState& state) override;
};

}  // namespace fw::cli

// Ctrl+C and a polite kill (SIGINT, SIGTERM) end a long command cleanly: the command polls the
// stop flag between frames or samples and finishes what it has written.
#pragma once

#include "learn/progress.h"

namespace fw::cli {

// The stop flag of the current run: set by SIGINT and SIGTERM while an InterruptStops lives; the
// handlers that were installed before are put back afterwards.
class InterruptStops {
 public:
  InterruptStops();
  ~InterruptStops();
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;
  static const StopFlag& Flag();

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

}  // namespace fw::cli

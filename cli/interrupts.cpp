#include "cli/interrupts.h"

#include <csignal>

namespace fw::cli {

namespace {

StopFlag gStop{false};
static_assert(StopFlag::is_always_lock_free, "the signal handler sets the stop flag");

extern "C" void OnInterrupt(int) {
  gStop = true;
}

}  // namespace

InterruptStops::InterruptStops() {
  gStop = false;
  previousInt_ = std::signal(SIGINT, OnInterrupt);
  previousTerm_ = std::signal(SIGTERM, OnInterrupt);
}

InterruptStops::~InterruptStops() {
  std::signal(SIGINT, previousInt_);
  std::signal(SIGTERM, previousTerm_);
}

const StopFlag& InterruptStops::Flag() {
  return gStop;
}

}  // namespace fw::cli

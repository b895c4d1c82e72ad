// The reading-path probe: small crafted inputs of every kind a user or an attacker may hand
// fumewatch-cli (pictures and videos whose headers declare more than memory holds or than the
// file has, broken CRCs and chunks, damaged streams, folders, FIFOs and devices, alarm logs that
// cannot be written, odd command lines), each with the command that reads it, a fragment of the
// answer and the exit status. A test runs them, and scripts/probe-limits.sh runs them under an
// address-space cap.
#pragma once

#include <string>
#include <vector>

namespace fw::test {

struct ProbeCase {
  std::string name;
  std::vector<std::string> args;  // after "fumewatch-cli"
  std::string fragment;           // expected in stdout and stderr together
  int status;                     // expected exit status
};

// Writes the inputs into `dir` (an empty folder) and returns the cases that read them.
std::vector<ProbeCase> MakeProbeCases(const std::string& dir);

}  // namespace fw::test

// Writes the probe's inputs into a folder and prints its cases, one a line, the fields separated
// by the unit separator (0x1f): exit status, expected fragment, name, then the arguments.
#include <cstdio>
#include <filesystem>

#include "tests/support/probe_cases.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: probe_cases EMPTY_FOLDER\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  for (const fw::test::ProbeCase& c : fw::test::MakeProbeCases(argv[1])) {
    std::printf("%d\x1f%s\x1f%s", c.status, c.fragment.c_str(), c.name.c_str());
    for (const std::string& a : c.args) std::printf("\x1f%s", a.c_str());
    std::printf("\n");
  }
  return 0;
}

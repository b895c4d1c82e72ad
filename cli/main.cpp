// fumewatch-cli: the detection engine without a window, for batch work, tests and benchmarks.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

struct Subcommand {
  const char* name;
  const char* synopsis;
  const char* summary;
  int (*run)(const fw::cli::ArgList&);
};

const Subcommand kSubcommands[] = {
    {"info", "info VIDEO", "size, frame count and frame rate of a video", fw::cli::RunInfo},
    {"modes", "modes", "every detection mode with its label", fw::cli::RunModes},
    {"frame", "frame VIDEO INDEX OUT.bmp", "save one decoded frame as a BMP picture",
     fw::cli::RunFrame},
    {"detect", "detect --mode N VIDEO [...]", "run a detection mode over a video once",
     fw::cli::RunDetect},
    {"bench", "bench [--mode N|all] [VIDEO]", "frames per second of each detection mode",
     fw::cli::RunBench},
    {"image", "image OP IN OUT [ARGS...]", "apply an image operation to a picture file",
     fw::cli::RunImage},
    {"analyses", "analyses", "every analysis of the workbench with its label",
     fw::cli::RunAnalyses},
    {"rename-by-time", "rename-by-time DIR [--dry-run]",
     "rename JPEG pictures after their time stamps", fw::cli::RunRenameByTime},
    {"train", "train --flavour F ...", "train a cascade, Haar or network file",
     fw::cli::RunTrain},
    {"eval-samples", "eval-samples --classifier F ...", "rates of a classifier file on samples",
     fw::cli::RunEvalSamples},
    {"samples", "samples fcm|voc|generate [...]",
     "split, measure and cut sample pictures", fw::cli::RunSamples},
    {"online-learn", "online-learn --video V ...",
     "re-learn the Float cascade for a video's scene", fw::cli::RunOnlineLearn},
    {"eval", "eval --truth T --modes N CLIPS", "detection delays and false alarms of modes",
     fw::cli::RunEval},
};

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: fumewatch-cli COMMAND [ARGS...]\n\n"
               "Smoke and fire detection in video, without a window.\n\ncommands:\n");
  for (const Subcommand& s : kSubcommands) std::fprintf(out, "  %-32s %s\n", s.synopsis, s.summary);
  std::fprintf(out, "\n'fumewatch-cli COMMAND --help' describes each command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Subcommand& s : kSubcommands) {
    if (command != s.name) continue;
    // A command that runs out of memory ends with one line, like every other error.
    try {
      return s.run(args);
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "fumewatch-cli: %s: out of memory\n", s.name);
      return 1;
    }
  }
  std::fprintf(stderr, "fumewatch-cli: unknown command \"%s\"\n\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}

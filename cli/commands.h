// The subcommands of fumewatch-cli. Each takes the arguments after its name, prints results on
// stdout, progress and errors on stderr, and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace fw::cli {

using ArgList = std::vector<std::string>;

int RunInfo(const ArgList& args);
int RunModes(const ArgList& args);
int RunFrame(const ArgList& args);
int RunDetect(const ArgList& args);
int RunBench(const ArgList& args);
int RunImage(const ArgList& args);
int RunAnalyses(const ArgList& args);
int RunRenameByTime(const ArgList& args);
int RunTrain(const ArgList& args);
int RunEvalSamples(const ArgList& args);

// Prints "fumewatch-cli: <message>" on stderr and returns 1.
int Fail(const std::string& message);

}  // namespace fw::cli

// The subcommands of fumewatch-cli. Each takes the arguments after its name, prints results on
// stdout, progress and errors on stderr, and returns the exit status.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "cli/args.h"

namespace fw {
class Session;
struct ModeInfo;
}  // namespace fw

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
int RunSamples(const ArgList& args);
int RunOnlineLearn(const ArgList& args);
int RunEval(const ArgList& args);

// Prints "fumewatch-cli: <message>" on stderr and returns 1.
int Fail(const std::string& message);

// --- shared by the commands on videos and on live sources ---
// The arguments name a live source (--live).
bool WantsLive(const ArgList& args);
int RunLiveInfo(const ArgList& args);
int RunLiveDetect(const ArgList& args);
int RunLiveBench(const ArgList& args);
// The row of --mode (or of `fallback` when the option is absent and fallback >= 0); null after
// the error was printed.
const ModeInfo* ModeOption(Args& parsed, int fallback);
// The --set assignments; false after the error was printed.
bool ApplySettings(Session& session, const ModeInfo& mode, const Args& parsed);
// Opens --events when given; false after the error was printed.
bool OpenEvents(const Args& parsed, std::ofstream& events);
// Each alarm interval of the session, as it closes: one line on stdout and, with an events
// file, one JSON line {"mode":N,"start":S,"end":E,"<key>":"<source>"} written and flushed at
// once; `alarms` counts them.
void PrintAlarmIntervals(Session& session, int mode, const std::string& key,
                         const std::string& source, std::ofstream& events, int& alarms);
// A JSON string literal of the text.
std::string JsonString(const std::string& text);

}  // namespace fw::cli

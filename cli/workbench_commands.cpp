// analyses and rename-by-time: the analysis workbench's list and its renaming tool.
#include <cstdio>
#include <string>

#include "app/analysis_commands.h"
#include "app/session.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "workbench/file_renaming.h"

namespace fw::cli {

namespace {

constexpr const char* kAnalysesHelp =
    "usage: fumewatch-cli analyses\n\n"
    "Lists every analysis 'detect --analysis N' can run beside a mode: the operations of the\n"
    "top-left pane, the snake model and the histogram, by command number and label.\n";

constexpr const char* kRenameHelp =
    "usage: fumewatch-cli rename-by-time DIR [--dry-run]\n\n"
    "Renames every JPEG picture of DIR (names ending in .jpg in any case) after its\n"
    "modification time in local time: \"BB%Y-%m-%d %H.%M.%S.jpg\". No picture is ever replaced:\n"
    "when the name is taken the picture gets the name without \"jpg\" followed by its old name,\n"
    "then a number \" (2)\", \" (3)\", ... A picture already named after its time keeps its name.\n"
    "Prints one line per picture and a summary \"renamed=R kept=K failed=F\".\n\n"
    "options:\n"
    "  --dry-run       only print what would be renamed\n";

bool WantsHelp(const ArgList& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

}  // namespace

int RunAnalyses(const ArgList& args) {
  if (WantsHelp(args)) {
    std::fputs(kAnalysesHelp, stdout);
    return 0;
  }
  Args parsed(args, {}, {});
  if (!parsed.ok()) return Fail(parsed.error());
  if (!parsed.Positional().empty()) {
    std::fputs(kAnalysesHelp, stderr);
    return 2;
  }
  for (const int id : AnalysisIds()) std::printf("%d\t%s\n", id, AnalysisLabel(id));
  return 0;
}

int RunRenameByTime(const ArgList& args) {
  if (WantsHelp(args)) {
    std::fputs(kRenameHelp, stdout);
    return 0;
  }
  Args parsed(args, {}, {"dry-run"});
  if (!parsed.ok()) return Fail(parsed.error());
  if (parsed.Positional().size() != 1) {
    std::fputs(kRenameHelp, stderr);
    return 2;
  }
  const bool dryRun = parsed.Has("dry-run");
  const RenameSummary summary = RenameJpegFilesByTime(parsed.Positional()[0], dryRun);
  if (!summary.error.empty()) return Fail(summary.error);
  for (const RenameRecord& r : summary.records) {
    switch (r.outcome) {
      case RenameOutcome::Renamed:
        std::printf("%s\t%s -> %s\n", dryRun ? "would rename" : "renamed", r.from.c_str(),
                    r.to.c_str());
        break;
      case RenameOutcome::Kept:
        std::printf("kept\t%s\n", r.from.c_str());
        break;
      case RenameOutcome::Failed:
        std::printf("failed\t%s: %s\n", r.from.c_str(), r.problem.c_str());
        break;
    }
  }
  std::printf("%s\n", SummaryLine(summary).c_str());
  return summary.failed > 0 ? 1 : 0;
}

}  // namespace fw::cli

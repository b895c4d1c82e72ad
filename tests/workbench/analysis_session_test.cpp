// The analysis workbench in the session and the menus: the "Top left" submenu's wiring and check
// marks, the analyses in the pipeline with a background model's published mask, and the
// command-line tool's analyses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "app/analysis_commands.h"
#include "app/commands.h"
#include "app/session.h"
#include "core/ui_sink.h"
#include "tests/support/clips.h"
#include "workbench/top_left_operations.h"

namespace fw {
namespace {

namespace fs = std::filesystem;
namespace a = analysis;

TEST(TopLeftSubmenu, EveryOperationIsWiredToTheWorkbench) {
  const std::vector<int> entries = SubmenuCommands("Top left");
  const std::set<int> inMenu(entries.begin(), entries.end());
  // The switches and the one-shot of the view.
  const std::set<int> notAnalyses = {cmd::kGradOfView00, cmd::kWaveletTransform};
  for (const int id : entries) {
    const CommandInfo* c = FindCommand(id);
    ASSERT_NE(c, nullptr) << id;
    if (notAnalyses.count(id)) continue;
    EXPECT_EQ(c->handler, CommandHandler::Analysis) << id;
    EXPECT_TRUE(IsCommandEnabled(*c)) << id;
  }
  for (const TopLeftOperation& op : TopLeftOperations()) {
    const CommandInfo* c = FindCommand(op.id);
    ASSERT_NE(c, nullptr) << op.id;
    EXPECT_EQ(CommandLabel(*c), op.label);
    EXPECT_TRUE(inMenu.count(op.id) || op.id == cmd::kShiftWavelet) << op.id;
    CommandContext context;
    EXPECT_FALSE(IsCommandChecked(*c, context));
    context.topLeftOperation = op.id;
    EXPECT_TRUE(IsCommandChecked(*c, context)) << op.id;
  }
  for (const int id : {a::kSnakeModel, a::kHistogram}) {
    const CommandInfo* c = FindCommand(id);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(IsCommandEnabled(*c));
    EXPECT_EQ(CommandLabel(*c), AnalysisLabel(id));
    CommandContext context;
    context.auxiliaryOperation = id;
    EXPECT_TRUE(IsCommandChecked(*c, context));
  }
  CommandContext context;
  context.logDisplay = true;
  EXPECT_TRUE(IsCommandChecked(*FindCommand(a::kLogDisplay), context));
  EXPECT_FALSE(IsCommandChecked(*FindCommand(a::kFftCircle), context));
  EXPECT_EQ(CommandLabel(*FindCommand(cmd::kRenameByTime)), "Automatically change filenames");
  EXPECT_TRUE(IsCommandEnabled(*FindCommand(cmd::kRenameByTime)));
}

TEST(AnalysisInSession, RegionAnalysisReadsTheModelsPublishedMask) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const std::string clip = test::MakeClip("analysis_session", 64, 48, 12);
  Session session;
  ASSERT_TRUE(session.Open(clip, true));
  // The snake needs a background model.
  EXPECT_FALSE(session.RunAnalysisCommand(a::kSnakeModel));
  ASSERT_TRUE(session.SelectMode(ModeId::BackwardDifference));
  ASSERT_TRUE(session.RunAnalysisCommand(a::kMaxRegionBoundary));
  EXPECT_FALSE(session.Workbench().analyzer.HasExternalMask());  // nothing published yet
  // Frame 0 again (no difference), frame 1 (the difference's mask is derived after the
  // analysis), frame 2 (the analysis sees frame 1's mask).
  for (int i = 0; i < 3; ++i) session.Step();
  EXPECT_TRUE(session.Workbench().analyzer.HasExternalMask());
  // The clip's frames brighten from frame to frame: the whole frame differs, one region.
  EXPECT_EQ(session.Workbench().analyzer.Regions().Regions().RegionCount(), 1);
  ASSERT_TRUE(session.RunAnalysisCommand(a::kSnakeModel));
  session.Step();
  Snapshot snapshot;
  session.FillControlValues(snapshot);
  EXPECT_EQ(snapshot.topLeftOperation, a::kMaxRegionBoundary);
  EXPECT_EQ(snapshot.auxiliaryOperation, a::kSnakeModel);
  // A new background model has published nothing: the key mask serves again until its first
  // post step.
  ASSERT_TRUE(session.SelectMode(ModeId::Gauss));
  ASSERT_TRUE(session.RunAnalysisCommand(a::kMaxRegionBoundary));  // off
  ASSERT_TRUE(session.RunAnalysisCommand(a::kMaxRegionBoundary));  // on again
  EXPECT_FALSE(session.Workbench().analyzer.HasExternalMask());
  EXPECT_TRUE(sink.Messages().empty());
}

TEST(AnalysisInSession, BlockPickAndOverlays) {
  const std::string clip = test::MakeClip("analysis_block", 64, 48, 4);
  Session session;
  ASSERT_TRUE(session.Open(clip, true));
  session.PickPicturePoint(40, 20);
  EXPECT_EQ(session.Workbench().blockColumn, 0);  // not chosen yet: no block taken
  ASSERT_TRUE(session.RunAnalysisCommand(a::kBlockCooccurrence));
  session.PickPicturePoint(40, 20);
  EXPECT_EQ(session.Workbench().blockColumn, 2);
  EXPECT_EQ(session.Workbench().blockRow, 1);
  session.Step();
  Snapshot snapshot;
  session.FillControlValues(snapshot);
  ASSERT_EQ(snapshot.overlays.size(), 1u);
  EXPECT_EQ(snapshot.overlays[0].x0, 33);
  EXPECT_EQ(snapshot.overlays[0].y0, 17);
}

// --- the command-line tool ---------------------------------------------------------------------

struct CliResult {
  int status = -1;
  std::string out;
};

CliResult Cli(const std::string& args) {
  const std::string command = std::string(FW_BIN_DIR) + "/fumewatch-cli " + args + " 2>&1";
  CliResult r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

TEST(AnalysisCli, ListsRunsAndRefuses) {
  const CliResult list = Cli("analyses");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("2024\tView Coocurrence of specified block\n"), std::string::npos);
  EXPECT_NE(list.out.find("7003\tSnake model\n"), std::string::npos);
  EXPECT_NE(list.out.find("2020\tHistogram\n"), std::string::npos);

  const std::string clip = test::MakeClip("analysis_cli", 48, 36, 6);
  const std::string panes = fs::path(clip).parent_path() / "panes";
  const CliResult run = Cli("detect --analysis 2017 --mode 1 " + clip + " --panes " + panes);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("frames=6 alarms=0"), std::string::npos) << run.out;
  // The contour spectrum is drawn into the display dialog's picture, saved beside the panes.
  EXPECT_TRUE(fs::exists(panes + "/000005_dd.bmp"));
  EXPECT_TRUE(fs::exists(panes + "/000005_br.bmp"));

  const CliResult snake = Cli("detect --analysis 7003 " + clip);
  EXPECT_NE(snake.status, 0);
  EXPECT_NE(snake.out.find("needs a background model"), std::string::npos);
  const CliResult unknown = Cli("detect --analysis 7 " + clip);
  EXPECT_NE(unknown.status, 0);
  EXPECT_NE(unknown.out.find("unknown analysis 7"), std::string::npos);
}

TEST(AnalysisCli, AnalysesAStillPicture) {
  const std::string dir = test::TempDir("analysis_still");
  Dib picture;
  test::PaintFrame(picture, 40, 30, 3);
  ASSERT_TRUE(picture.SaveBmp(dir + "/still.bmp"));
  const CliResult run =
      Cli("detect --analysis 20008 " + dir + "/still.bmp --frames 2 --panes " + dir + "/p");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("frames=2"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(dir + "/p/000001_br.bmp"));
  EXPECT_TRUE(fs::exists(dir + "/p/000001_dd.bmp"));  // the quantised image
  EXPECT_FALSE(fs::exists(dir + "/still.txt"));       // no alarm log for a picture
  const CliResult broken = Cli("detect --analysis 20008 " + dir + "/missing.png");
  EXPECT_NE(broken.status, 0);
  EXPECT_NE(broken.out.find("missing.png"), std::string::npos);
}

TEST(AnalysisCli, RenameByTimeDryRunMovesNothing) {
  const std::string dir = test::TempDir("analysis_rename");
  {
    std::FILE* f = std::fopen((dir + "/p.jpg").c_str(), "wb");
    std::fclose(f);
  }
  const CliResult dry = Cli("rename-by-time " + dir + " --dry-run");
  EXPECT_EQ(dry.status, 0) << dry.out;
  EXPECT_NE(dry.out.find("would rename\tp.jpg -> BB"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("renamed=1 kept=0 failed=0"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir + "/p.jpg"));
  const CliResult run = Cli("rename-by-time " + dir);
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(fs::exists(dir + "/p.jpg"));
  EXPECT_NE(Cli("rename-by-time " + dir + "/none").status, 0);
  EXPECT_EQ(Cli("rename-by-time --help").status, 0);
}

}  // namespace
}  // namespace fw

#include "app/commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/mode_table.h"
#include "app/session.h"
#include "core/gradient.h"
#include "core/ui_sink.h"
#include "detect/smoke/smoke_modes.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

TEST(CommandTable, MenuAcceleratorsAndToolbarNameKnownCommandsOnce) {
  std::set<int> ids;
  for (const CommandInfo& c : Commands()) EXPECT_TRUE(ids.insert(c.id).second) << c.id;

  std::multiset<int> inMenu;
  int depth = 0;
  for (const MenuRow& row : MenuBar()) {
    if (row.kind == MenuRowKind::Submenu) ++depth;
    if (row.kind == MenuRowKind::End) --depth;
    ASSERT_GE(depth, 0);
    if (row.kind == MenuRowKind::Command) {
      EXPECT_NE(FindCommand(row.id), nullptr) << row.id;
      inMenu.insert(row.id);
    }
  }
  EXPECT_EQ(depth, 0);
  for (const CommandInfo& c : Commands()) {
    const bool offMenu = c.id == cmd::kPrint || c.id == cmd::kPreviousPane;
    EXPECT_EQ(inMenu.count(c.id), offMenu ? 0u : 1u) << c.id;
  }
  for (const Accelerator& a : Accelerators()) EXPECT_NE(FindCommand(a.id), nullptr) << a.keys;
  for (const int id : ToolbarButtons()) EXPECT_TRUE(id == 0 || FindCommand(id) != nullptr) << id;
}

TEST(CommandTable, BottomViewFollowsTheModeTable) {
  const std::vector<int> expected = {7004, 7001, 7002, 7005, 7006, 7007, 7008, 7009, 7010,
                                     7011, 7012, 7013, 7014, 7015, 7016, 7018, 7017, 7019,
                                     7020, 7022, 7023, 7024, 7021, 7003, 2020, 2021, 5001};
  EXPECT_EQ(SubmenuCommands("Bottom View"), expected);
  EXPECT_EQ(SubmenuCommands("Adaboost"),
            (std::vector<int>{7018, 7017, 7019, 7020, 7022, 7023, 7024}));

  // Every menu mode of the table is in the submenu, enabled and labelled by the table; the
  // command repeats no label of its own.
  const std::set<int> bottomView(expected.begin(), expected.end());
  for (const ModeInfo& mode : Modes()) {
    if (mode.command != ModeCommand::Menu) continue;
    EXPECT_TRUE(bottomView.count(mode.number())) << mode.number();
    const CommandInfo* c = FindCommand(mode.number());
    ASSERT_NE(c, nullptr) << mode.number();
    EXPECT_TRUE(IsCommandEnabled(*c));
    EXPECT_EQ(CommandLabel(*c), mode.label);
    EXPECT_EQ(c->label, nullptr);
  }
  // Mode commands whose mode is not built yet are shown but disabled.
  for (const int id : expected) {
    const CommandInfo* c = FindCommand(id);
    if (c->handler == CommandHandler::Mode)
      EXPECT_EQ(IsCommandEnabled(*c), FindMode(id) != nullptr);
  }
}

TEST(CommandTable, FlameAndWaveletCommandsAreEnabled) {
  for (const int id : {cmd::kWaveletView, cmd::kInfrared, cmd::kInfraredParameters, 7005, 7006,
                       7007, 7008, 7009}) {
    EXPECT_TRUE(IsCommandEnabled(*FindCommand(id))) << id;
  }
}

TEST(CommandTable, LabelsAreTheMenuTexts) {
  const struct {
    int id;
    const char* label;
  } cases[] = {
      {cmd::kFileOpen, "&Open...\tCtrl+O"},
      {cmd::kShowDisplayDialog, "Show Display-Diaglog"},
      {cmd::kDisplayDialogTopmost, "Dispaly Diaglog Top most"},
      {cmd::kPseudoColour, "Load  pseudocolor code"},
      {cmd::kOfflineDetection, "Offline Fumewatch    Ctrl+D"},
      {cmd::kOnlineDetection, "Online Fumewatch     Ctrl+F"},
      {2016, "Recognize By texture, region, NN "},
      {7020, "RealAdaBoost Detectiong"},
      {cmd::kAbout, "&About DXQ..."},
  };
  for (const auto& c : cases) {
    const CommandInfo* info = FindCommand(c.id);
    ASSERT_NE(info, nullptr) << c.id;
    EXPECT_EQ(CommandLabel(*info), c.label);
  }
}

TEST(CommandTable, CheckMarkRules) {
  const auto checked = [](int id, const CommandContext& context) {
    return IsCommandChecked(*FindCommand(id), context);
  };
  CommandContext c;
  c.mode = ModeId::Smoke;
  EXPECT_TRUE(checked(7010, c));
  EXPECT_FALSE(checked(7011, c));
  EXPECT_FALSE(checked(cmd::kInfrared, c));
  c.mode = ModeId::Infrared;
  EXPECT_TRUE(checked(cmd::kInfrared, c));
  // Control-bar modes check nothing in the menu.
  for (const ModeId mode : {ModeId::BackwardDifference, ModeId::Gauss, ModeId::Mixture2}) {
    c.mode = mode;
    for (const int id : SubmenuCommands("Bottom View")) EXPECT_FALSE(checked(id, c)) << id;
  }
  c = {};
  c.bottomRightOperation = cmd::kBottomRightDifference;
  EXPECT_TRUE(checked(cmd::kBottomRightDifference, c));
  EXPECT_FALSE(checked(cmd::kBottomRightGrad, c));
  c.auxiliaryOperation = cmd::kHistogram;
  c.waveletView = true;
  c.currentTool = cmd::kPan;
  EXPECT_TRUE(checked(cmd::kHistogram, c));
  EXPECT_FALSE(checked(cmd::kSnakeModel, c));
  EXPECT_TRUE(checked(cmd::kWaveletView, c));
  EXPECT_TRUE(checked(cmd::kPan, c));
  EXPECT_FALSE(checked(cmd::kZoom, c));
  EXPECT_FALSE(checked(cmd::kAutoThreshold, c));
  EXPECT_FALSE(IsCheckable(*FindCommand(cmd::kAutoThreshold)));
}

// A disabled command says why exactly when its work or its mode is not built yet; the player's
// keys name commands of the View menu, each key once.
TEST(CommandTable, UnavailableCommandsSayWhyAndPlayerKeysAreKnown) {
  for (const CommandInfo& c : Commands()) {
    const char* reason = UnavailableReason(c);
    const bool pending = c.handler == CommandHandler::Pending ||
                         (c.handler == CommandHandler::Mode && FindMode(c.id) == nullptr);
    EXPECT_EQ(reason != nullptr, pending) << c.id;
    if (reason) EXPECT_EQ(std::string(reason).rfind("Not in this build yet", 0), 0u) << c.id;
  }
  for (const int id : {cmd::kUndo, cmd::kCut, cmd::kCopy, cmd::kPaste, cmd::kSplit, 137}) {
    EXPECT_FALSE(IsCommandEnabled(*FindCommand(id)));
    EXPECT_EQ(UnavailableReason(*FindCommand(id)), nullptr) << id;
  }
  const std::vector<int> view = SubmenuCommands("&View");
  std::set<std::string> keys;
  for (const Accelerator& a : Accelerators()) keys.insert(a.keys);
  for (const Accelerator& a : PlayerKeys()) {
    EXPECT_TRUE(keys.insert(a.keys).second) << a.keys;
    EXPECT_NE(std::find(view.begin(), view.end(), a.id), view.end()) << a.keys;
  }
  CommandContext c;
  EXPECT_TRUE(IsCommandChecked(*FindCommand(cmd::kLoop), c));  // on at start
  EXPECT_FALSE(IsCommandChecked(*FindCommand(cmd::kFitToPane), c));
  c.looping = false;
  c.fitToPane = true;
  c.alarmIntervalsShown = true;
  EXPECT_FALSE(IsCommandChecked(*FindCommand(cmd::kLoop), c));
  EXPECT_TRUE(IsCommandChecked(*FindCommand(cmd::kFitToPane), c));
  EXPECT_TRUE(IsCommandChecked(*FindCommand(cmd::kAlarmIntervals), c));
}

// A 24-bit or 8-bit picture of one value.
void Flat(Dib& image, int bits, uint8_t value) {
  image.CreateSigned(8, 6, bits, false);
  image.Fill(value);
}

TEST(SessionCommands, AutoThresholdFromTheMeanGreyOfTheTopRightPane) {
  const struct {
    int bits;
    uint8_t value;
    int threshold;
  } cases[] = {{24, 5, 50}, {24, 9, 90}, {24, 10, 100}, {24, 255, 100},
               {8, 0, 0},   {8, 3, 30},  {8, 200, 100}};
  for (const auto& c : cases) {
    Session session;
    Flat(session.GetPanes().topRight(), c.bits, c.value);
    EXPECT_EQ(session.AutoThreshold(), c.threshold) << c.bits << " " << int(c.value);
    EXPECT_EQ(session.State().threshold, c.threshold);
  }
  // Weighted grey of a coloured picture: (30 x 200 + 59 x 0 + 11 x 0) / 100 = 60 -> 100; blue 40
  // alone: 440 / 100 = 4.4 -> 44.
  Session session;
  Dib& pane = session.GetPanes().topRight();
  pane.CreateSigned(4, 4, 24, false);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) pane.SetPixelRgb(x, y, 0, 0, 40);
  }
  EXPECT_EQ(session.AutoThreshold(), 44);
}

TEST(SessionCommands, BottomRightOperationsToggleAndRunEveryFrame) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  Session session;
  Panes& panes = session.GetPanes();
  Flat(panes.topRight(), 24, 0);
  panes.topRight().SetPixelRgb(3, 3, 255, 255, 255);
  Flat(panes.bottomRight(), 24, 50);

  // Grad: the Sobel magnitude of the top-right pane, at once.
  session.SelectBottomRightOperation(cmd::kBottomRightGrad);
  EXPECT_EQ(session.BottomRightOperation(), cmd::kBottomRightGrad);
  Dib expected;
  SobelMagnitude(panes.topRight(), expected);
  ASSERT_EQ(panes.bottomRight().GetBitCount(), 8);
  for (int y = 1; y < 5; ++y) {
    for (int x = 1; x < 7; ++x) EXPECT_EQ(panes.bottomRight().Row(y)[x], expected.Row(y)[x]);
  }

  // Difference: the top-right pane marks what changed in the bottom-right pane since the
  // previous frame.
  Flat(panes.bottomRight(), 24, 50);
  session.SelectBottomRightOperation(cmd::kBottomRightDifference);
  EXPECT_EQ(session.BottomRightOperation(), cmd::kBottomRightDifference);
  ASSERT_EQ(panes.topRight().GetBitCount(), 8);
  EXPECT_EQ(panes.topRight().Row(2)[2], 0);
  panes.bottomRight().Fill(50);
  panes.bottomRight().SetPixelRgb(2, 2, 200, 200, 200);
  session.Step();  // no video: the frame read fails, the pipeline still runs
  EXPECT_EQ(panes.topRight().Row(2)[2], 255);
  EXPECT_EQ(panes.topRight().Row(2)[3], 0);

  // Choosing the selected operation switches it off.
  session.SelectBottomRightOperation(cmd::kBottomRightDifference);
  EXPECT_EQ(session.BottomRightOperation(), 0);
  EXPECT_TRUE(sink.Messages().empty());
}

TEST(SessionCommands, PicturesOpenAndSaveByExtension) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const std::string dir = test::TempDir("pictures");
  Session session;
  Panes& panes = session.GetPanes();
  test::PaintFrame(panes.bottomLeft(), 20, 10, 7);

  // No pane chosen: nothing saved.
  EXPECT_FALSE(session.SavePicture(-1, dir + "/a.bmp"));
  ASSERT_EQ(sink.Messages().size(), 1u);
  EXPECT_EQ(sink.Messages()[0].text, "No view specified!");
  EXPECT_FALSE(std::filesystem::exists(dir + "/a.bmp"));

  // An unknown extension saves nothing and says so, naming the file.
  sink.Clear();
  EXPECT_FALSE(session.SavePicture(2, dir + "/a.gif"));
  ASSERT_EQ(sink.Messages().size(), 1u);
  EXPECT_NE(sink.Messages()[0].text.find("a.gif"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir + "/a.gif"));

  // Saved as BMP and opened again with no pane chosen: it lands in the top-left pane, whose HSV
  // plane is computed.
  sink.Clear();
  ASSERT_TRUE(session.SavePicture(2, dir + "/b.BMP"));
  ASSERT_TRUE(session.OpenPicture(-1, dir + "/b.BMP"));
  EXPECT_EQ(panes.topLeft().Width(), 20);
  EXPECT_EQ(panes.topLeft().Height(), 10);
  EXPECT_EQ(panes.topLeft().HsvPlane().size(), 20u * 10u * 3u);
  EXPECT_EQ(panes.topLeft().Row(5)[0], 70);

  // Unknown extension, malformed file, a BMP whose pixel block is beyond memory (the image
  // buffer's own message, shown once), bad pane: the pane keeps its picture.
  std::ofstream(dir + "/broken.jpg") << "not a picture";
  {
    std::ifstream in(dir + "/b.BMP", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.replace(2, 4, std::string("\x64\0\0\0", 4));  // file size below the pixel offset
    std::ofstream(dir + "/oversized.bmp", std::ios::binary) << bytes;
  }
  for (const auto& [view, name] :
       {std::pair{1, "/b.png"}, std::pair{1, "/broken.jpg"}, std::pair{1, "/oversized.bmp"},
        std::pair{4, "/b.BMP"}, std::pair{-2, "/b.BMP"}}) {
    sink.Clear();
    panes.topRight().CreateSigned(3, 3, 8, false);
    EXPECT_FALSE(session.OpenPicture(view, dir + name)) << name;
    ASSERT_EQ(sink.Messages().size(), 1u) << name;
    EXPECT_EQ(panes.topRight().Width(), 3) << name;
    if (std::string(name) == "/oversized.bmp") {
      EXPECT_EQ(sink.Messages()[0].text.rfind("Out of memory for DIB bits (", 0), 0u);
    }
  }
  EXPECT_EQ(sink.Messages()[0].text, "No view specified!");
}

TEST(SessionCommands, WaveletTransformReconstructsTheFrame) {
  Session session;
  Panes& panes = session.GetPanes();
  test::PaintFrame(panes.topLeft(), 64, 48, 3);
  ASSERT_TRUE(session.WaveletTransformOnce());
  for (const Dib* pane : {&panes.topRight(), &panes.bottomLeft()}) {
    EXPECT_EQ(pane->Width(), 64);
    EXPECT_EQ(pane->HeaderHeight(), 48);
    EXPECT_EQ(pane->GetBitCount(), 24);
  }
  int worst = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64 * 3; ++x) {
      worst = std::max(worst, std::abs(panes.bottomLeft().Row(y)[x] - panes.topLeft().Row(y)[x]));
    }
  }
  EXPECT_LE(worst, 1);
  // The transform is not the picture itself.
  EXPECT_NE(panes.topRight().Row(40)[30], panes.topLeft().Row(40)[30]);
}

TEST(SessionCommands, OfflineDetectionPlaysTheVideoFromItsFirstFrame) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const std::string first = test::MakeClip("offline_a", 48, 32, 5);
  const std::string second = test::MakeClip("offline_b", 64, 48, 7);
  Session session;
  ASSERT_TRUE(session.OpenAndPlay(first));
  ASSERT_TRUE(session.SelectMode(ModeId::Smoke));
  session.Step();
  session.Step();
  session.State().alarmFlag = 1;

  for (const SessionCommand& command : OfflineDetectionCommands(second)) command(session);
  const ModeId expectedMode =
      FindMode(cmd::kOfflineDetectionMode) ? cmd::kOfflineDetectionMode : ModeId::None;
  EXPECT_EQ(session.Mode(), expectedMode);
  EXPECT_TRUE(session.WantsFrames());
  EXPECT_EQ(session.State().alarmFlag, 0);
  EXPECT_EQ(session.Reader().Path(), second);
  EXPECT_EQ(session.GetPanes().topLeft().Width(), 64);
  session.Step();
  EXPECT_EQ(session.State().frameNumber, 0);
  // The "Source Video" caption still names the first video.
  Snapshot snapshot;
  session.FillControlValues(snapshot);
  EXPECT_EQ(snapshot.captionFrameCount, 5);
  EXPECT_EQ(snapshot.frameCount, 7);
  EXPECT_TRUE(sink.Messages().empty());
}

// Online Fumewatch, starting offline with a video playing: the live source ends up streaming in
// the online mode (mode 0 while the table lacks it), the video's loop gone; run again while
// online, its "Video on line" switches capture off.
TEST(SessionCommands, OnlineDetectionEndsStreamingInTheOnlineMode) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const std::string clip = test::MakeClip("online_detection", 48, 32, 5);
  Session session;
  ASSERT_TRUE(session.OpenAndPlay(clip));
  int switches = 0;
  const auto videoOnLine = [&switches](Session& s) {
    ++switches;
    s.ToggleOnline();
  };
  for (const SessionCommand& command : OnlineDetectionCommands(videoOnLine)) command(session);
  EXPECT_EQ(switches, 1);
  EXPECT_TRUE(session.Online());
  EXPECT_TRUE(session.Capture().IsStreaming());
  EXPECT_FALSE(session.LoopExists());
  const ModeId expectedMode =
      FindMode(cmd::kOnlineDetectionMode) ? cmd::kOnlineDetectionMode : ModeId::None;
  EXPECT_EQ(session.Mode(), expectedMode);
  EXPECT_TRUE(sink.Messages().empty());
  for (const SessionCommand& command : OnlineDetectionCommands(videoOnLine)) command(session);
  EXPECT_FALSE(session.Online());
  EXPECT_EQ(session.Reader().Path(), clip);
}

TEST(SessionCommands, BlockOverlaysOnlyWhileTheBlockModeRuns) {
  const std::string clip = test::MakeClip("blocks", 80, 48, 6);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  Snapshot snapshot;
  ASSERT_TRUE(session.SelectMode(ModeId::BlockSmoke));
  for (int i = 0; i < 4; ++i) session.Step();
  session.FillControlValues(snapshot);
  // The grid is 5 x 3 blocks; outlines in green mark blocks with motion, red ones smoke blocks
  // (each of them also a block with motion), one yellow one the block the mode plots.
  std::set<std::pair<int, int>> motion;
  std::set<std::pair<int, int>> smoke;
  int selected = 0;
  for (const Overlay& o : snapshot.overlays) {
    const std::pair<int, int> block{o.x0 / 16, o.y0 / 16};
    EXPECT_LT(block.first, 5);
    EXPECT_LT(block.second, 3);
    if (o.green == 255 && o.red == 0) motion.insert(block);
    if (o.red == 255 && o.green == 0) smoke.insert(block);
    if (o.red == 255 && o.green == 255) ++selected;
  }
  EXPECT_EQ(selected, 1);
  for (const auto& block : smoke) EXPECT_TRUE(motion.count(block));

  ASSERT_TRUE(session.SelectMode(ModeId::BlockSmoke));  // toggled off
  session.Step();
  session.FillControlValues(snapshot);
  EXPECT_TRUE(snapshot.overlays.empty());
}

}  // namespace
}  // namespace fw

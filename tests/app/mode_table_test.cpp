// The mode table as a whole: unique numbers, every mode selectable and runnable through the
// session, the toggle and alarm-clearing rules of selection, and frames of a changed size.
#include "app/mode_table.h"

#include <gtest/gtest.h>

#include <set>

#include "app/session.h"
#include "core/ui_sink.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

TEST(ModeTable, NumbersLabelsAndControlsAreUnique) {
  std::set<int> numbers;
  std::set<int> controls;
  for (const ModeInfo& mode : Modes()) {
    EXPECT_TRUE(numbers.insert(mode.number()).second) << mode.number();
    EXPECT_TRUE(controls.insert(mode.controlId).second) << mode.number();
    EXPECT_NE(std::string(mode.label), "") << mode.number();
    EXPECT_EQ(FindMode(mode.number()), &mode);
  }
  EXPECT_EQ(FindMode(0)->label, std::string("Null"));
  EXPECT_EQ(FindMode(-1), nullptr);
}

TEST(ModeTable, EveryModeBuildsAndRunsWithItsPaneFormats) {
  const std::string clip = test::MakeClip("modes", 48, 32, 6);
  for (const ModeInfo& mode : Modes()) {
    SCOPED_TRACE(mode.label);
    Session session;
    ASSERT_TRUE(session.Open(clip));
    session.State().alarmLogEnabled = false;
    ASSERT_TRUE(session.SelectMode(mode.id));
    EXPECT_EQ(session.Mode(), mode.id);
    const PaneId results[3] = {PaneId::TopRight, PaneId::BottomLeft, PaneId::BottomRight};
    for (int i = 0; i < 3; ++i) {
      if (mode.panes[i] == PaneFormat::Unchanged) continue;
      const Dib& pane = session.GetPanes()[results[i]];
      EXPECT_EQ(pane.Width(), 48);
      EXPECT_EQ(pane.Height(), 32);
    }
    for (int f = 0; f < 8; ++f) EXPECT_NE(session.Step(), FrameRead::Failed);
  }
}

TEST(ModeTable, MenuCommandsToggleAndClearTheAlarmButtonsDoNot) {
  const std::string clip = test::MakeClip("toggle", 48, 32, 3);
  for (const ModeInfo& mode : Modes()) {
    if (mode.id == ModeId::None) continue;
    SCOPED_TRACE(mode.label);
    Session session;
    ASSERT_TRUE(session.Open(clip));
    session.SelectMode(mode.id);
    session.State().alarmFlag = 1;
    session.State().alarmLogging = true;
    session.SelectMode(mode.id);
    if (mode.command == ModeCommand::Menu) {
      EXPECT_EQ(session.Mode(), ModeId::None);
      EXPECT_EQ(session.State().alarmFlag, 0);
      EXPECT_FALSE(session.State().alarmLogging);
    } else {
      EXPECT_EQ(session.Mode(), mode.id);
      EXPECT_TRUE(session.State().alarmLogging);
    }
  }
}

// A picture of another size in the top-left pane (an opened picture, a new capture format) must
// never be read out of bounds by a mode built for the old size.
TEST(ModeTable, FramesOfAnotherSizeAreRefusedSafely) {
  const std::string clip = test::MakeClip("resize", 48, 32, 3);
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  for (const ModeInfo& mode : Modes()) {
    SCOPED_TRACE(mode.label);
    Session session;
    ASSERT_TRUE(session.Open(clip));
    session.State().alarmLogEnabled = false;
    session.SelectMode(mode.id);
    session.Step();
    Dib& frame = session.GetPanes().topLeft();
    frame.CreateSigned(80, 56, 24, false);
    frame.Fill(90);
    session.Step();  // the video's frames no longer fit the pane: nothing is read
    EXPECT_EQ(session.GetPanes().topLeft().Width(), 80);
  }
}

}  // namespace
}  // namespace fw

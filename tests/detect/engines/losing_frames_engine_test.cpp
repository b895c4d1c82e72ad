// Losing frames (7013): the seven-frame sum, the mean and the changes over four, two and one
// frames on frames of one grey level each, the combined mask, and a mode that never raises the
// alarm.
#include "detect/engines/losing_frames_engine.h"

#include <gtest/gtest.h>

#include "app/session.h"
#include "tests/support/scenes.h"
#include "video/frame_source.h"

namespace fw::engines {
namespace {

TEST(LosingFramesEngine, SevenFrameSumsMeansAndChanges) {
  Dib pane;
  pane.CreateSigned(10, 6, 24, false);
  LosingFramesEngine engine;
  engine.Prepare(pane);
  // Frame n has the grey level 10 n in every channel.
  const auto add = [&](int n) {
    pane.Fill(static_cast<uint8_t>(10 * n));
    engine.AddFrame(n, pane);
  };
  for (int n = 1; n <= 12; ++n) {
    add(n);
    // The sum over the last seven frames (black before the first) and the three channels.
    int expected = 0;
    for (int k = std::max(1, n - 6); k <= n; ++k) expected += 3 * 10 * k;
    EXPECT_EQ(engine.SumPlane(engine.SumIndex())[17], expected) << n;
  }
  // From then on each frame adds 7 x 30 to the sum: the mean rises by 10 a frame.
  Dib mean;
  engine.ShowMean(mean);
  EXPECT_EQ(mean.GetBitCount(), 8);
  EXPECT_EQ(mean.Row(3)[4], 3 * 10 * (6 + 7 + 8 + 9 + 10 + 11 + 12) / 21);
  engine.CombineDifferences(1, 71);
  EXPECT_EQ(engine.Output(0)[0], 40);  // over four frames
  EXPECT_EQ(engine.Output(1)[0], 20);
  EXPECT_EQ(engine.Output(2)[0], 10);
  EXPECT_EQ(engine.Output(3)[0], 0);  // 40 + 20 + 10 < 71
  engine.CombineDifferences(1, 70);
  EXPECT_EQ(engine.Output(3)[0], 255);
  // Threshold 0: the outputs unthresholded, the mask everywhere.
  engine.CombineDifferences(1, 0);
  Dib shown;
  engine.ShowDifference(0, shown, 0);
  EXPECT_EQ(shown.Row(5)[9], 40);
  engine.ShowDifference(1, shown, 25);
  EXPECT_EQ(shown.Row(5)[9], 0);  // 20 < 25
  engine.ShowPlane(3, shown);
  EXPECT_EQ(shown.Row(0)[0], 255);
  // The pane is left with the frame that dropped out of the ring (seven frames back).
  EXPECT_EQ(pane.Row(0)[0], 40);  // frame 4
}

TEST(LosingFramesEngine, NeverRaisesTheAlarm) {
  FrameList frames(test::SceneFrames(test::Scene::RisingPlume, 96, 80, 40));
  Session session;
  session.OpenFrames(frames);
  session.State().alarmLogEnabled = false;
  ASSERT_TRUE(session.SelectMode(ModeId::LosingFrames));
  session.SetThreshold(0);
  for (int t = 0; t < 40; ++t) {
    session.Step();
    EXPECT_EQ(session.State().alarmFlag, 0);
  }
  EXPECT_EQ(session.GetPanes().display.GetBitCount(), 8);
  EXPECT_EQ(session.GetPanes().display.Width(), 96);
}

}  // namespace
}  // namespace fw::engines

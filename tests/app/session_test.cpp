#include "app/session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/engine_thread.h"
#include "core/ui_sink.h"
#include "detect/alarm.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

// Grey level of the top-left pane, which tells the frame index of the generated clips.
int FrameShown(Session& session) {
  return session.GetPanes().topLeft().Row(20)[0] / 10;
}

TEST(Session, OpenReadsTheFirstFrameAndSizesThePanes) {
  const std::string clip = test::MakeClip("open", 40, 30, 5);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  const Panes& panes = session.GetPanes();
  for (const Dib& pane : panes.image) {
    EXPECT_EQ(pane.Width(), 40);
    EXPECT_EQ(pane.HeaderHeight(), 30);  // bottom-up, like the frames
    EXPECT_EQ(pane.GetBitCount(), 24);
  }
  EXPECT_EQ(FrameShown(session), 0);
  EXPECT_EQ(session.Mode(), ModeId::None);
  EXPECT_FALSE(session.LoopExists());
}

TEST(Session, FailedOpenKeepsThePreviousNumbers) {
  const std::string clip = test::MakeClip("failopen", 24, 16, 3);
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  EXPECT_FALSE(session.Open("/nonexistent/missing.avi"));
  ASSERT_EQ(sink.Messages().size(), 1u);
  EXPECT_EQ(sink.Messages()[0].text, "Avi Error!");
  EXPECT_EQ(sink.Messages()[0].caption, "Kestrin");
  EXPECT_EQ(session.Reader().Width(), 24);
  EXPECT_EQ(session.Reader().FrameCount(), 3);
  EXPECT_EQ(session.Step(), FrameRead::Failed);
}

TEST(Session, PlaysFramesInOrderAndWrapsAtTheEnd) {
  const std::string clip = test::MakeClip("wrap", 32, 24, 4);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  const FrameRead expectedRead[] = {FrameRead::Read, FrameRead::Read,    FrameRead::Read,
                                    FrameRead::Read, FrameRead::Wrapped, FrameRead::Read};
  const int expectedFrame[] = {0, 1, 2, 3, 0, 1};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(session.Step(), expectedRead[i]) << i;
    EXPECT_EQ(FrameShown(session), expectedFrame[i]) << i;
    EXPECT_EQ(session.State().frameNumber, expectedFrame[i]) << i;
  }
  session.Seek(2);
  session.Step();
  EXPECT_EQ(FrameShown(session), 2);
}

TEST(Session, LoopStateRules) {
  Session session;
  EXPECT_EQ(session.GetLoopState(), LoopState::Stop);

  // Start creates the loop; Start again while it exists does nothing.
  ASSERT_TRUE(session.SetFrameRate(10.0f));
  EXPECT_TRUE(session.Start());
  EXPECT_DOUBLE_EQ(session.FrameInterval(), 0.1);
  EXPECT_FALSE(session.Start());
  EXPECT_TRUE(session.WantsFrames());

  // A command while running pauses and restores run.
  session.SelectMode(ModeId::None);
  EXPECT_EQ(session.GetLoopState(), LoopState::Run);

  // Stop asks the loop to end; Start before the loop has seen it does nothing.
  session.Stop();
  EXPECT_EQ(session.GetLoopState(), LoopState::Stop);
  EXPECT_TRUE(session.LoopExists());
  EXPECT_FALSE(session.Start());
  session.EndLoopIfStopped();
  EXPECT_FALSE(session.LoopExists());

  // A command while stopped leaves the loop stopped.
  session.SelectMode(ModeId::None);
  EXPECT_EQ(session.GetLoopState(), LoopState::Stop);
  EXPECT_TRUE(session.Start());
}

TEST(Session, FrameRateRange) {
  Session session;
  EXPECT_TRUE(session.SetFrameRate(200.0f));
  EXPECT_DOUBLE_EQ(session.FrameInterval(), 1.0 / 200.0f);
  EXPECT_FALSE(session.SetFrameRate(0.0f));
  EXPECT_FALSE(session.SetFrameRate(201.0f));
  EXPECT_FLOAT_EQ(session.FrameRate(), 200.0f);
}

TEST(Session, SelectModeRejectsUnknownNumbers) {
  Session session;
  EXPECT_FALSE(session.SelectMode(static_cast<ModeId>(123456)));
  EXPECT_EQ(session.Mode(), ModeId::None);
}

// Open -> Start -> frames -> Stop on the engine thread, observed through the snapshots.
// The wavelet view's command and point, and the values the control panel shows, through the
// session's snapshot.
TEST(Session, WaveletViewPointAndEnergyReachTheSnapshot) {
  const std::string clip = test::MakeClip("session_wavelet", 48, 32, 12);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  session.State().alarmLogEnabled = false;
  ASSERT_TRUE(session.SelectMode(ModeId::DifferenceAccumulation));
  session.State().alarmFlag = 1;
  session.State().alarmLogging = true;
  session.ToggleWaveletView();
  EXPECT_EQ(session.State().alarmFlag, 0);  // as every Bottom View command
  EXPECT_FALSE(session.State().alarmLogging);
  session.PickPicturePoint(70, 5);  // moved into the picture
  for (int f = 0; f < 6; ++f) session.Step();
  Snapshot snapshot;
  session.FillSnapshot(snapshot);
  EXPECT_TRUE(snapshot.waveletView);
  EXPECT_EQ(snapshot.waveletX, 47);
  EXPECT_EQ(snapshot.waveletY, 5);
  EXPECT_GT(snapshot.motionEnergy, 0.0f);  // the clip's square moves every frame
  EXPECT_EQ(snapshot.motionEnergy, session.State().motion.energy);
  EXPECT_EQ(snapshot.mode, ModeId::DifferenceAccumulation);  // the view left the mode alone
  session.ToggleWaveletView();
  session.FillSnapshot(snapshot);
  EXPECT_FALSE(snapshot.waveletView);
}

TEST(EngineThread, PlaysUntilStoppedAndPublishesSnapshots) {
  const std::string clip = test::MakeClip("engine", 32, 24, 6);
  Session session;
  std::mutex mutex;
  std::condition_variable published;
  int publications = 0;
  {
    EngineThread engine(session);
    engine.SetPublishListener([&] {
      std::lock_guard lock(mutex);
      ++publications;
      published.notify_all();
    });
    engine.Call([&](Session& s) {
      s.SetFrameRate(200.0f);
      ASSERT_TRUE(s.OpenAndPlay(clip));
    });

    // Wait until the loop has wrapped past the end of the clip at least once.
    Snapshot front;
    int seenLast = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::unique_lock lock(mutex);
        published.wait_for(lock, std::chrono::milliseconds(50));
      }
      if (engine.TakeSnapshot(front) && front.frameNumber == 5) ++seenLast;
      if (seenLast > 0 && front.frameNumber == 1) break;
    }
    EXPECT_GT(seenLast, 0);
    EXPECT_EQ(front.frameCount, 6);
    EXPECT_EQ(front.panes[0].Width(), 32);

    engine.Call([](Session& s) { s.Stop(); });
    // The loop ends once the engine has seen the stop; then Start works again.
    bool restarted = false;
    for (int i = 0; i < 100 && !restarted; ++i) {
      engine.Call([&](Session& s) { restarted = !s.LoopExists(); });
      if (!restarted) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(restarted);
    engine.Call([](Session& s) { EXPECT_EQ(s.GetLoopState(), LoopState::Stop); });
  }
  EXPECT_GT(publications, 6);
}

}  // namespace
}  // namespace fw

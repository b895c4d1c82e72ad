#include "app/session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/engine_thread.h"
#include "app/memory_budget.h"
#include "app/mode_table.h"
#include "core/ui_sink.h"
#include "detect/alarm.h"
#include "tests/support/allocations.h"
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
// A selection whose buffers would exceed the memory budget is refused with one message naming
// the mode, the frame size, the need and the budget, and changes nothing; one that fits is made;
// switching a mode off is never refused.
TEST(Session, SelectionRespectsTheMemoryBudget) {
  const std::string clip = test::MakeClip("budget", 64, 48, 3);
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  const ModeInfo& smoke = *FindMode(ModeId::Smoke);
  const uint64_t need = SessionMemory(64, 48) + smoke.memoryEstimate(session.State(), 64, 48);
  ASSERT_TRUE(session.SelectMode(ModeId::BlockSmoke));

  session.SetMemoryBudget(need - 1);
  EXPECT_FALSE(session.SelectMode(ModeId::Smoke));
  EXPECT_EQ(session.Mode(), ModeId::BlockSmoke);
  ASSERT_EQ(sink.Messages().size(), 1u);
  const std::string text = sink.Messages()[0].text;
  EXPECT_EQ(text.rfind("mode 7010 (Fumewatch) needs about " + MemoryText(need) +
                           " for 64 x 48 frames, more than the memory budget of ",
                       0),
            0u)
      << text;
  EXPECT_EQ(session.CheckMemory(ModeId::Smoke).message(), text);

  session.SetMemoryBudget(1);
  EXPECT_TRUE(session.SelectMode(ModeId::BlockSmoke));  // the menu toggle: switched off
  EXPECT_EQ(session.Mode(), ModeId::None);
  EXPECT_TRUE(session.SelectMode(ModeId::None));

  session.SetMemoryBudget(need);
  sink.Clear();
  EXPECT_TRUE(session.SelectMode(ModeId::Smoke));
  EXPECT_EQ(session.Mode(), ModeId::Smoke);
  EXPECT_TRUE(sink.Messages().empty());
  EXPECT_GT(DefaultMemoryBudget(), 0u);
}

// The sizes --memory-budget takes, and what it refuses.
TEST(Session, MemorySizes) {
  const std::pair<const char*, uint64_t> good[] = {{"512", 512ull << 20}, {"64K", 0},
                                                   {"2048k", 2ull << 20}, {"3M", 3ull << 20},
                                                   {"2G", 2ull << 30},    {"1g", 1ull << 30}};
  for (const auto& [text, bytes] : good) {
    uint64_t parsed = 0;
    const Result r = ParseMemorySize(text, parsed);
    if (bytes == 0) {
      EXPECT_FALSE(r) << text;  // below 1 MB
      continue;
    }
    EXPECT_TRUE(r) << text;
    EXPECT_EQ(parsed, bytes) << text;
  }
  for (const char* bad : {"", "G", "-5", "1.5G", "12T", "0", "99999999999999999999G"}) {
    uint64_t parsed = 7;
    EXPECT_FALSE(ParseMemorySize(bad, parsed)) << bad;
    EXPECT_EQ(parsed, 7u) << bad;
  }
  EXPECT_EQ(MemoryText(1536ull << 20), "1.5 GB");
  EXPECT_EQ(MemoryText(350ull << 20), "350 MB");
}

// Memory running out while a mode is built or while a command runs on the engine thread is
// reported as one line; no mode is left half built, and the session goes on.
TEST(Session, RunningOutOfMemoryIsReportedAndSurvived) {
  const std::string clip = test::MakeClip("nomemory", 64, 48, 3);
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  {
    test::ScopedAllocationLimit limit(4096);  // the detector's frame ring cannot be had
    EXPECT_FALSE(session.SelectMode(ModeId::Smoke));
  }
  EXPECT_EQ(session.Mode(), ModeId::None);
  EXPECT_EQ(session.State().smoke.detector, nullptr);
  ASSERT_EQ(sink.Messages().size(), 1u);
  EXPECT_EQ(sink.Messages()[0].text,
            "Out of memory: mode 7010 (Fumewatch) could not be built for 64 x 48 frames");
  EXPECT_NE(session.Step(), FrameRead::Failed);
  EXPECT_TRUE(session.SelectMode(ModeId::Smoke));

  sink.Clear();
  {
    EngineThread engine(session);
    engine.Call([](Session&) { throw std::bad_alloc(); });
    int frame = -1;
    engine.Call([&](Session& s) { frame = s.CurrentFrame(); });
    EXPECT_GE(frame, 0);
  }
  ASSERT_EQ(sink.Messages().size(), 1u);
  EXPECT_EQ(sink.Messages()[0].text, "Out of memory: the command was not completed");
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

#include "app/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/engine_thread.h"
#include "app/memory_budget.h"
#include "app/mode_table.h"
#include "core/ui_sink.h"
#include "detect/alarm.h"
#include "tests/support/allocations.h"
#include "tests/support/clips.h"
#include "video/frame_source.h"

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

// A file that does not open (missing, or not a video) is reported with its path and the reason,
// and changes nothing: the video that was open plays on in its mode.
TEST(Session, FailedOpenChangesNothing) {
  const std::string clip = test::MakeClip("failopen", 24, 16, 3);
  const std::string damaged = test::TempDir("failopen_damaged") + "/damaged.avi";
  {
    std::ofstream out(damaged, std::ios::binary);
    out << "RIFF\x10\0\0\0AVI LIST not a video at all";
  }
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  ASSERT_TRUE(session.SelectMode(ModeId::Smoke));
  session.Step();
  for (const std::string& bad : {std::string("/nonexistent/missing.avi"), damaged}) {
    SCOPED_TRACE(bad);
    sink.Clear();
    EXPECT_FALSE(session.Open(bad));
    ASSERT_EQ(sink.Messages().size(), 1u);
    const std::string text = sink.Messages()[0].text;
    EXPECT_EQ(text.rfind("Avi Error!\n" + bad + ": ", 0), 0u) << text;
    EXPECT_GT(text.size(), ("Avi Error!\n" + bad + ": ").size()) << "no reason given";
    EXPECT_EQ(sink.Messages()[0].caption, "Kestrin");
    EXPECT_EQ(session.LastOpenError(), text.substr(text.find('\n') + 1));
    EXPECT_EQ(session.Reader().Path(), clip);
    EXPECT_EQ(session.State().videoPath, clip);
    EXPECT_EQ(session.Reader().Width(), 24);
    EXPECT_EQ(session.Reader().FrameCount(), 3);
    EXPECT_EQ(session.Mode(), ModeId::Smoke);
  }
  // The old video goes on where it was.
  EXPECT_EQ(session.Step(), FrameRead::Read);
  EXPECT_EQ(session.LastReadFrame(), 1);
  EXPECT_FALSE(session.OpenAndPlay("/nonexistent/missing.avi"));
  EXPECT_FALSE(session.LoopExists());

  // The result says why (the command-line tool prints it).
  Session fresh;
  const Result opened = fresh.Open(damaged, /*quiet=*/true);
  EXPECT_FALSE(opened);
  EXPECT_EQ(opened.message(), fresh.LastOpenError());
  EXPECT_FALSE(opened.message().empty());
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

// The lines of an alarm log.
std::vector<std::string> LogLines(const std::string& video) {
  std::ifstream in(AlarmLogPath(video), std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line, '\n');) lines.push_back(line + "\n");
  return lines;
}

std::string LogLine(int start, int end) {
  return "Fire alarm at frame # " + std::to_string(start) + " to " + std::to_string(end) + ". \r\n";
}

// An alarm that lasts over the end of the video ends there (its end is the frame count) and
// opens again at frame 0; a jump ends it too; with looping off the video's end ends it.
TEST(Session, AlarmIntervalsNeverSpanTheLoopOrAJump) {
  const std::string clip = test::MakeClip("loop_alarm", 32, 24, 6);
  Session session;
  ASSERT_TRUE(session.Open(clip));
  // Mode 0 leaves the alarm flag as it is set before each frame.
  const auto frameWithAlarm = [&](int alarm) {
    session.State().alarmFlag = static_cast<uint8_t>(alarm);
    return session.Step();
  };
  for (const int alarm : {0, 0, 0, 0, 1, 1}) frameWithAlarm(alarm);  // frames 0..5
  EXPECT_EQ(frameWithAlarm(1), FrameRead::Wrapped);                  // frame 0, still on
  for (const int alarm : {1, 0}) frameWithAlarm(alarm);              // frames 1, 2
  for (const int alarm : {1, 1}) frameWithAlarm(alarm);              // frames 3, 4
  session.Seek(1);                                                   // back, still on
  for (const int alarm : {1, 0}) frameWithAlarm(alarm);              // frames 1, 2

  session.SetLooping(false);
  session.Seek(4);
  ASSERT_TRUE(session.Start());
  for (const int alarm : {1, 1}) frameWithAlarm(alarm);  // frames 4, 5
  EXPECT_EQ(frameWithAlarm(1), FrameRead::Ended);
  EXPECT_EQ(session.GetLoopState(), LoopState::Stop);
  EXPECT_EQ(session.State().alarmFlag, 0);
  session.EndLoopIfStopped();
  // Start again plays the video from its first frame.
  ASSERT_TRUE(session.Start());
  EXPECT_EQ(session.CurrentFrame(), 0);

  const std::vector<std::pair<int, int>> expected = {{4, 6}, {0, 2}, {3, 5}, {1, 2}, {4, 6}};
  std::vector<std::string> lines;
  ASSERT_EQ(session.AlarmIntervals().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(session.AlarmIntervals()[i].start, expected[i].first) << i;
    EXPECT_EQ(session.AlarmIntervals()[i].end, expected[i].second) << i;
    lines.push_back(LogLine(expected[i].first, expected[i].second));
  }
  EXPECT_EQ(LogLines(clip), lines);

  // Another video: the run's list starts again.
  ASSERT_TRUE(session.Open(test::MakeClip("loop_alarm_next", 32, 24, 3)));
  EXPECT_TRUE(session.AlarmIntervals().empty());
}

// Space pauses and resumes the loop (Start resumes it as well); the arrows step while no frames
// run; a step back is a jump for the mode, as a seek is; Home and End are jumps to the ends.
TEST(Session, PlayerControls) {
  const std::string clip = test::MakeClip("player", 48, 32, 6, VideoCodec::RawBgr24, 12);
  Session session;
  ASSERT_TRUE(session.Open(clip));

  session.PlayPause();
  EXPECT_TRUE(session.WantsFrames());
  EXPECT_FALSE(session.StepForward());  // frames run: the arrows do nothing
  session.PlayPause();
  EXPECT_TRUE(session.Paused());
  EXPECT_TRUE(session.Start());  // resumes the paused loop
  EXPECT_TRUE(session.WantsFrames());
  EXPECT_FALSE(session.Start());
  session.PlayPause();
  EXPECT_TRUE(session.Paused());
  // A command while paused keeps the loop paused.
  session.SelectMode(ModeId::None);
  EXPECT_TRUE(session.Paused());

  for (const int expected : {0, 1, 2, 3}) {
    EXPECT_TRUE(session.StepForward());
    EXPECT_EQ(FrameShown(session), expected);
  }
  EXPECT_TRUE(session.StepBack());
  EXPECT_EQ(FrameShown(session), 2);
  EXPECT_EQ(session.CurrentFrame(), 3);
  EXPECT_TRUE(session.GoToFrame(100));  // End: the last frame
  EXPECT_EQ(FrameShown(session), 5);
  EXPECT_TRUE(session.GoToFrame(0));  // Home
  EXPECT_FALSE(session.StepBack());   // nothing before frame 0
  EXPECT_EQ(FrameShown(session), 0);

  // Back one frame in a mode is the same as a seek there.
  Session seeked;
  ASSERT_TRUE(seeked.Open(clip));
  for (Session* s : {&session, &seeked}) {
    s->SelectMode(ModeId::Mixture);
    for (int i = 0; i < 4; ++i) s->StepForward();
  }
  session.StepBack();
  seeked.Seek(session.LastReadFrame());
  seeked.Step();
  for (int i = 0; i < kPaneCount; ++i) {
    const Dib& a = session.GetPanes().image[i];
    const Dib& b = seeked.GetPanes().image[i];
    ASSERT_EQ(a.PixelBytes(), b.PixelBytes());
    EXPECT_TRUE(std::equal(a.Pixels(), a.Pixels() + a.PixelBytes(), b.Pixels())) << i;
  }

  // The file's own rate; frames in memory have none.
  EXPECT_TRUE(session.PlayAtFileRate());
  EXPECT_FLOAT_EQ(session.FrameRate(), 12.0f);
  EXPECT_DOUBLE_EQ(session.FrameInterval(), 1.0 / 12.0f);
  FrameList frames({});
  Session inMemory;
  inMemory.OpenFrames(frames);
  EXPECT_FALSE(inMemory.PlayAtFileRate());
}

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

// Open -> Start -> frames -> Stop on the engine thread, observed through the snapshots.
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

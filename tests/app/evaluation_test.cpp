// The evaluation engine's parts: scoring at the edges of the truth, truth files and run files
// with bad rows, and the scene mask rule on every mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/evaluation/evaluation.h"
#include "app/evaluation/evidence.h"
#include "app/evaluation/run_files.h"
#include "app/evaluation/scoring.h"
#include "app/evaluation/truth_file.h"
#include "app/mode_table.h"
#include "app/scene_mask.h"
#include "app/session.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "tests/support/allocations.h"
#include "tests/support/clips.h"
#include "tests/support/lockstep_clock.h"
#include "tests/support/scenes.h"
#include "video/frame_source.h"
#include "video/simulated_card.h"
#include "video/video_writer.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

TruthRow Event(int onset, int end = -1) {
  TruthRow row;
  row.clip = "c.avi";
  row.onset = onset;
  row.end = end;
  return row;
}

struct ScoreCase {
  const char* what;
  std::vector<FrameInterval> intervals;
  TruthRow truth;
  bool detected;
  int delay;
  int falseAlarms;
};

TEST(EvaluationScore, DelaysAndFalseAlarmsAtTheEdges) {
  const ScoreCase cases[] = {
      {"alarm starting at the onset", {{100, 150}}, Event(100), true, 0, 0},
      {"alarm ending at the onset (last frame before it)", {{80, 100}}, Event(100), false, 0, 1},
      {"alarm on at the onset", {{90, 120}}, Event(100), true, 0, 0},
      {"alarm whose last frame is the onset", {{90, 101}}, Event(100), true, 0, 0},
      {"interval open until the clip's end", {{200, 258}}, Event(150), true, 50, 0},
      {"false alarm, then the detection", {{10, 20}, {130, 140}}, Event(100), true, 30, 1},
      {"start on the end frame still detects", {{200, 210}}, Event(100, 200), true, 100, 0},
      {"start after the end frame is a false alarm", {{201, 210}}, Event(100, 200), false, 0, 1},
      {"detection, then an alarm after the end",
       {{130, 140}, {260, 270}},
       Event(100, 200),
       true,
       30,
       1},
      {"every interval of a clip without event", {{1, 2}, {5, 9}}, Event(-1), false, 0, 2},
      {"no interval", {}, Event(5), false, 0, 0},
  };
  for (const ScoreCase& c : cases) {
    const ClipScore s = ScoreRun(c.intervals, c.truth, 10.0);
    EXPECT_EQ(s.detected, c.detected) << c.what;
    EXPECT_EQ(s.delayFrames, c.delay) << c.what;
    EXPECT_DOUBLE_EQ(s.delaySeconds, c.delay / 10.0) << c.what;
    EXPECT_EQ(s.falseAlarms, c.falseAlarms) << c.what;
    EXPECT_EQ(s.event, c.truth.HasEvent()) << c.what;
  }
}

TEST(EvaluationScore, SummaryOfAMode) {
  std::vector<RunScore> runs = {
      {250, 25.0, ScoreRun({{30, 40}}, Event(10), 25.0)},         // 20 frames, 0.8 s
      {100, 10.0, ScoreRun({{60, 70}}, Event(10), 10.0)},         // 50 frames, 5 s
      {900, 25.0, ScoreRun({}, Event(10), 25.0)},                 // missed
      {1800, 25.0, ScoreRun({{1, 2}, {3, 4}}, Event(-1), 25.0)},  // two false alarms
  };
  const ModeSummary m = Summarise(runs);
  EXPECT_EQ(m.clips, 4);
  EXPECT_EQ(m.eventClips, 3);
  EXPECT_EQ(m.detected, 2);
  EXPECT_DOUBLE_EQ(*m.meanDelaySeconds, 2.9);
  EXPECT_DOUBLE_EQ(*m.worstDelaySeconds, 5.0);
  EXPECT_EQ(m.worstDelayFrames, 50);
  EXPECT_EQ(m.falseAlarms, 2);
  // 10 + 10 + 36 + 72 seconds of video.
  EXPECT_NEAR(*m.falseAlarmsPerHour, 2 * 3600.0 / 128.0, 1e-9);
  EXPECT_FALSE(Summarise({}).meanDelaySeconds.has_value());
}

TEST(TruthFile, ReadsRowsCommentsAndLineEnds) {
  std::vector<TruthRow> rows;
  const Result r =
      ParseTruth("# clip\tonset\n\na.avi\t12\r\nb.avi\t-\nc.avi\t5\t40\tsmoke\nd.avi\t7\t\tfire\n",
                 "t.tsv", rows);
  ASSERT_TRUE(r.ok()) << r.message();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].onset, 12);
  EXPECT_EQ(rows[0].line, 3);
  EXPECT_FALSE(rows[1].HasEvent());
  EXPECT_EQ(rows[2].end, 40);
  EXPECT_EQ(rows[2].kind, "smoke");
  EXPECT_EQ(rows[3].end, -1);
  EXPECT_EQ(rows[3].kind, "fire");
  EXPECT_EQ(FindTruth(rows, "/some/folder/c.avi"), &rows[2]);
  EXPECT_EQ(FindTruth(rows, "/some/folder/e.avi"), nullptr);
}

TEST(TruthFile, BadRowsNameTheLineAndTheProblem) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"a.avi 12\n", "t.tsv: line 1: expected the clip's file name"},
      {"# c\na.avi\tx\n", "t.tsv: line 2: the onset must be a frame number or - (got \"x\")"},
      {"a.avi\t-5\n", "line 1: the onset must be a frame number"},
      {"a.avi\t99999999999\n", "line 1: the onset must be a frame number"},
      {"a.avi\t10\t5\n", "line 1: the end frame 5 lies before the onset 10"},
      {"a.avi\t-\t5\n", "line 1: a clip without an event (onset -) has no end frame"},
      {"a.avi\t1\t2\tk\textra\n", "line 1: expected"},
      {"a.avi\t1\nb.avi\t2\na.avi\t3\n", "line 3: \"a.avi\" has a row already, on line 1"},
      {"dir/a.avi\t1\n", "line 1: the clip must be a file name without folders"},
      {"\ta.avi\t1\n", "line 1: the clip must be a file name"},
  };
  for (const auto& c : cases) {
    std::vector<TruthRow> rows = {Event(1)};
    const Result r = ParseTruth(c.text, "t.tsv", rows);
    EXPECT_FALSE(r.ok()) << c.text;
    EXPECT_NE(r.message().find(c.expected), std::string::npos) << r.message();
    EXPECT_EQ(rows.size(), 1u) << "the rows stay as they were";
  }
  std::vector<TruthRow> rows;
  const std::string folder = test::TempDir("truth_folder");
  EXPECT_NE(ReadTruthFile(folder, rows).message().find(folder), std::string::npos);
}

TEST(RunFiles, AlarmLogLinesAndBadLines) {
  const std::string dir = test::TempDir("run_files_log");
  const std::string log = dir + "/a.txt";
  std::vector<FrameInterval> intervals = {{1, 2}};
  ASSERT_TRUE(ReadAlarmLog(log, intervals).ok());
  EXPECT_TRUE(intervals.empty()) << "no log: no alarm";

  std::ofstream(log, std::ios::binary)
      << "Fire alarm at frame # 3 to 9. \r\nFire alarm at frame # 12 to 13. \r\n";
  ASSERT_TRUE(ReadAlarmLog(log, intervals).ok());
  EXPECT_EQ(intervals, (std::vector<FrameInterval>{{3, 9}, {12, 13}}));

  for (const char* bad :
       {"Fire alarm at frame # 3 to 9. \r\nFire at 4\r\n",
        "Fire alarm at frame # 3 to 9. \r\nFire alarm at frame # 9 to 9. \r\n",
        "Fire alarm at frame # 1 to 2. \r\nFire alarm at frame # 3 to 9. x\r\n"}) {
    std::ofstream(log, std::ios::binary | std::ios::trunc) << bad;
    const Result r = ReadAlarmLog(log, intervals);
    EXPECT_NE(r.message().find(log + ": line 2"), std::string::npos) << r.message();
  }
}

TEST(RunFiles, ScoresRoundTripAndBadRows) {
  const std::string dir = test::TempDir("run_files_scores");
  const std::string path = dir + "/s.csv";
  RunSeries series;
  series.fps = 4.0;
  series.alarm = {0, 1, 1};
  series.evidence = {std::nan(""), 12.0, 0.5};
  series.hasEvidence = true;
  ASSERT_TRUE(WriteScoresCsv(series, path).ok());
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "frame,time_s,alarm,evidence\n0,0.0000,0,\n1,0.2500,1,12\n2,0.5000,1,0.5\n");
  RunSeries back;
  ASSERT_TRUE(ReadScoresCsv(path, back).ok());
  EXPECT_EQ(back.alarm, series.alarm);
  EXPECT_TRUE(std::isnan(back.evidence[0]));
  EXPECT_EQ(back.evidence[2], 0.5);
  for (const char* bad : {"frame,time_s,alarm,evidence\n0,0,0,\n2,0,0,\n",
                          "frame,time_s,alarm,evidence\n0,0,0,\n1,0,3,\n",
                          "frame,time_s,alarm,evidence\n0,0,0,\n1,0,0,x\n"}) {
    std::ofstream(path, std::ios::trunc) << bad;
    const Result r = ReadScoresCsv(path, back);
    EXPECT_NE(r.message().find(path + ": line 3"), std::string::npos) << r.message();
  }
}

TEST(EvaluationEngine, AFailingRunKeepsItsMessageAndAStopEndsTheRest) {
  const std::string dir = test::TempDir("engine_failing");
  EvaluationRequest request;
  request.clips = {test::MakeClip("engine_clip", 32, 24, 3)};
  request.modes = {7010, 7011};
  request.truth = {Event(1)};
  request.truth[0].clip = fs::path(request.clips[0]).filename().string();
  request.outDir = dir;
  request.jobs = 2;
  // A worker that says why it fails on stderr (after a progress line) and exits non-zero.
  request.worker = dir + "/worker.sh";
  std::ofstream(request.worker) << "#!/bin/sh\nprintf 'frame 1/3\\r' >&2\n"
                                   "echo \"fumewatch-cli: cannot run mode $3\" >&2\nexit 1\n";
  fs::permissions(request.worker, fs::perms::owner_all);
  int reported = 0;
  EvaluationReport report = RunEvaluation(request, [&](int done, int total, const RunOutcome&) {
    EXPECT_EQ(total, 2);
    reported = done;
  });
  EXPECT_EQ(reported, 2);
  ASSERT_EQ(report.runs.size(), 2u);
  for (const RunOutcome& run : report.runs) {
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "cannot run mode " + std::to_string(run.mode));
  }
  EXPECT_EQ(report.modes[0].failed, 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "no stderr file is left behind";

  // The same clip twice would share its logs: the second is a row with its error.
  request.clips.push_back(request.clips[0]);
  request.modes = {7010};
  report = RunEvaluation(request, {}, nullptr);
  ASSERT_EQ(report.runs.size(), 2u);
  EXPECT_NE(report.runs[1].error.find("another clip named engine_clip.avi"), std::string::npos)
      << report.runs[1].error;

  request.clips.pop_back();
  const std::atomic<bool> stop{true};
  report = RunEvaluation(request, {}, &stop);
  EXPECT_TRUE(report.stopped);
  for (const RunOutcome& run : report.runs) EXPECT_EQ(run.error, "stopped");
}

// --- the scene mask ---

Dib Picture(int width, int height, bool bottomUp, int seed) {
  Dib image;
  if (bottomUp) {
    image.CreateSigned(width, height, 24, false);
  } else {
    image.Create(width, height, 24, false);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * 3; ++x) image.Row(y)[x] = static_cast<uint8_t>(seed + 7 * x + y);
  }
  return image;
}

TEST(SceneMask, MaskedPixelsKeepTheReferenceWhateverTheRowOrderAndSize) {
  // A 2 x 2 mask picture (top row: masked, unmasked) stretched over 6 x 4 frames.
  for (const bool bottomUp : {true, false}) {
    SceneMask mask;
    mask.SetPlane({1, 0, 0, 0}, 2, 2);
    Dib reference = Picture(6, 4, bottomUp, 0);
    Dib frame = Picture(6, 4, bottomUp, 0);
    mask.Apply(frame);  // the reference frame passes unchanged
    Dib later = Picture(6, 4, bottomUp, 100);
    const Dib original = Picture(6, 4, bottomUp, 100);
    mask.Apply(later);
    for (int top = 0; top < 4; ++top) {
      const int row = bottomUp ? 3 - top : top;
      for (int x = 0; x < 6; ++x) {
        const bool masked = top < 2 && x < 3;
        for (int b = 0; b < 3; ++b) {
          const uint8_t expected = (masked ? reference : original).Row(row)[x * 3 + b];
          EXPECT_EQ(later.Row(row)[x * 3 + b], expected) << bottomUp << " " << top << " " << x;
        }
      }
    }
  }
}

TEST(SceneMask, LoadsABlackAndWhitePictureAndRefusesABadOne) {
  const std::string dir = test::TempDir("scene_mask_load");
  Dib picture = Picture(4, 2, true, 0);
  picture.Fill(255);
  for (int b = 0; b < 3; ++b) picture.Row(1)[b] = 0;  // top-left pixel black (bottom-up)
  ASSERT_TRUE(picture.SaveBmp(dir + "/m.bmp").ok());
  SceneMask mask;
  ASSERT_TRUE(mask.Load(dir + "/m.bmp").ok());
  EXPECT_EQ(mask.Plane(), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
  std::ofstream(dir + "/bad.png") << "not a picture";
  const Result bad = mask.Load(dir + "/bad.png");
  EXPECT_NE(bad.message().find(dir + "/bad.png"), std::string::npos);
  EXPECT_EQ(mask.MaskedCount(), 1) << "a refused picture leaves the mask as it was";
}

TEST(SceneMask, MaskAndScoresAllocateNothingPerFrame) {
  // The mask and the per-frame record on the session's frames: after the first frame (the
  // reference) and a reserve, a frame allocates nothing for them.
  std::vector<Dib> frames = test::SceneFrames(test::Scene::CarCrossing, 64, 48, 6);
  FrameList source(std::move(frames));
  Session session;
  session.OpenFrames(source);
  session.State().alarmLogEnabled = false;
  SceneMask mask;
  mask.SetPlane(std::vector<uint8_t>(32 * 24, 1), 32, 24);
  session.SetSceneMask(mask);
  ASSERT_TRUE(session.SelectMode(ModeId::Smoke));
  RunSeries series;
  series.Reserve(6);
  session.Step();
  series.Record(session.State());
  Dib frame;
  frame.CopyFrom(session.GetPanes().topLeft(), false);
  SceneMask alone(mask);
  alone.Apply(frame);
  test::StartCountingAllocations();
  for (int i = 1; i < 6; ++i) {
    alone.Apply(frame);
    series.Record(session.State());
  }
  EXPECT_EQ(test::StopCountingAllocations(), 0);
  EXPECT_EQ(series.Frames(), 6);
}

// Every mode with an evidence value gives one once its detector runs, the learned modes
// included; a mode without one gives none.
TEST(Evidence, EveryModeWithAValueGivesItFromItsDetector) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  FrameList frames(test::SceneFrames(test::Scene::RisingPlume, 176, 144, 4));
  for (const ModeInfo& info : Modes()) {
    SCOPED_TRACE(info.number());
    Session session;
    session.OpenFrames(frames);
    session.State().alarmLogEnabled = false;
    ASSERT_TRUE(session.SelectMode(info.id));
    for (int i = 0; i < 4; ++i) session.Step();
    EXPECT_EQ(ModeEvidence(session.State()).has_value(), EvidenceName(info.id) != nullptr);
  }
  for (const ModeId mode : {ModeId::RealAdaBoost, ModeId::Pldp, ModeId::Detecting}) {
    EXPECT_STREQ(EvidenceName(mode), "accepted windows");
  }
}

// Per frame: the alarm flag and the frame pane's bytes after the mode's steps.
std::vector<std::vector<uint8_t>> RunMode(ModeId mode, FrameList& frames, const SceneMask* mask) {
  Session session;
  session.OpenFrames(frames);
  session.State().alarmLogEnabled = false;
  if (mask) session.SetSceneMask(*mask);
  EXPECT_TRUE(session.SelectMode(mode)) << ModeNumber(mode);
  std::vector<std::vector<uint8_t>> seen;
  for (int i = 0; i < frames.FrameCount(); ++i) {
    session.Step();
    std::vector<uint8_t> frame = {session.State().alarmFlag};
    for (const Dib& pane : session.GetPanes().image) {
      frame.insert(frame.end(), pane.Pixels(), pane.Pixels() + pane.PixelBytes());
    }
    seen.push_back(std::move(frame));
  }
  return seen;
}

TEST(SceneMask, EveryModeSeesNothingOfMotionUnderTheMask) {
  // A rising plume in the left three quarters of the picture, which the mask covers; the rest
  // is the first frame throughout. With the mask every mode must do exactly what it does on the
  // first frame held still: same alarm flags, same panes.
  constexpr int kWidth = 128;
  constexpr int kHeight = 96;
  constexpr int kFrames = 30;
  std::vector<Dib> plume = test::SceneFrames(test::Scene::RisingPlume, kWidth, kHeight, kFrames);
  std::vector<uint8_t> plane(kWidth * kHeight, 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth * 3 / 4; ++x) plane[y * kWidth + x] = 1;
  }
  SceneMask mask;
  mask.SetPlane(plane, kWidth, kHeight);
  std::vector<Dib> moving;
  std::vector<Dib> still;
  for (int i = 0; i < kFrames; ++i) {
    Dib frame;
    frame.CopyFrom(plume[i], false);
    for (int y = 0; y < kHeight; ++y) {
      const int row = frame.IsBottomUp() ? kHeight - 1 - y : y;
      std::copy_n(plume[0].Row(row) + kWidth * 9 / 4, kWidth * 3 / 4,
                  frame.Row(row) + kWidth * 9 / 4);
    }
    moving.push_back(std::move(frame));
    still.emplace_back().CopyFrom(plume[0], false);
  }
  FrameList movingFrames(std::move(moving));
  FrameList stillFrames(std::move(still));
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  int modesThatSawTheMotion = 0;
  for (const ModeInfo& mode : Modes()) {
    const auto masked = RunMode(mode.id, movingFrames, &mask);
    EXPECT_EQ(masked, RunMode(mode.id, stillFrames, nullptr)) << mode.number();
    if (RunMode(mode.id, movingFrames, nullptr) != masked) ++modesThatSawTheMotion;
  }
  EXPECT_GT(modesThatSawTheMotion, 10) << "the plume must be visible without the mask";
}

TEST(SceneMask, LiveFramesAreMaskedWhereTheModesReadThem) {
  // A grey square that flickers between two frames on a still background: mode 7010 finds its
  // motion in the live luminance plane and alarms on frame 126 without a mask (see the online
  // tests). With the square masked it finds no motion and never alarms.
  const std::string folder = test::TempDir("scene_mask_live");
  const std::string previous = StartDirectory();
  SetStartDirectory(folder + "/");
  const std::string clip = folder + "/flicker.avi";
  VideoWriter writer;
  ASSERT_TRUE(writer.Open(clip, kCaptureWidth, kCaptureHeight, 25, VideoCodec::RawBgr24));
  for (int i = 0; i < 2; ++i) {
    Dib frame;
    frame.CreateSigned(kCaptureWidth, kCaptureHeight, 24, false);
    for (int y = 0; y < kCaptureHeight; ++y) {
      for (int x = 0; x < kCaptureWidth; ++x) {
        const bool square = x >= 100 && x < 140 && y >= 100 && y < 140;
        const int v = square ? (i == 0 ? 60 : 200) : 40 + (x * 7 + y * 13) % 50;
        frame.SetPixelRgb(x, y, static_cast<uint8_t>(v), static_cast<uint8_t>(v),
                          static_cast<uint8_t>(v));
      }
    }
    ASSERT_TRUE(writer.Write(frame).ok());
  }
  ASSERT_TRUE(writer.Close());
  std::vector<uint8_t> plane(kCaptureWidth * kCaptureHeight, 0);
  for (int top = kCaptureHeight - 150; top < kCaptureHeight - 90; ++top) {
    for (int x = 90; x < 150; ++x) plane[top * kCaptureWidth + x] = 1;
  }
  SceneMask mask;
  mask.SetPlane(plane, kCaptureWidth, kCaptureHeight);
  for (const bool masked : {false, true}) {
    test::LockstepClock clock;
    Session session;
    session.Capture().SetSourceFactory(
        [&clock](const CaptureAddress& address, const CaptureOptions&) {
          return std::make_unique<SimulatedCard>(address.location, &clock);
        });
    if (masked) session.SetSceneMask(mask);
    ASSERT_TRUE(session.SetCaptureAddress("sim:" + clip).ok());
    ASSERT_TRUE(session.StartCapture());
    int alarms = 0;
    long moving = 0;
    for (int i = 0; i < 130; ++i) {
      clock.Release(1);
      ASSERT_EQ(
          session.RunCaptureFrame(std::chrono::steady_clock::now() + std::chrono::seconds(20)),
          LiveWait::Frame);
      if (i == 0) ASSERT_TRUE(session.SelectMode(ModeId::Smoke));
      alarms += session.State().alarmFlag;
      if (i < 2) continue;  // the frame after selection compares with the selection frame
      for (const uint8_t m : session.State().smoke.detector->MotionMask()) moving += m != 0;
    }
    session.StopCapture();
    EXPECT_EQ(alarms > 0, !masked) << alarms;
    // The motion the detector finds in the live luminance plane: none under the mask.
    EXPECT_EQ(moving > 0, !masked) << moving;
  }
  SetStartDirectory(previous);
}

}  // namespace
}  // namespace fw

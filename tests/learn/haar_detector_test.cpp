// The Haar detector: window sides of the scan, the file's checks, both readings of a record, a
// planted window found at its scale and place, persistence over frames, and its two modes on
// the generated scenes (7017 never raises the alarm; 7019 raises it as the engine of 7014 does
// where the detector sees smoke everywhere, and never where it sees none), with the messages of
// a missing or broken file.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <vector>

#include "app/session.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "learn/haar/haar_detector.h"
#include "learn/haar/haar_state.h"
#include "tests/support/clips.h"
#include "tests/support/scenes.h"
#include "video/frame_source.h"

namespace fw {
namespace {

HaarRecord Record(int32_t code, int x, int y, int w, int h, float t1, float lower, float alpha) {
  HaarRecord r;
  r.featureCode = code;
  r.x = x;
  r.y = y;
  r.w = w;
  r.h = h;
  r.lower = std::bit_cast<std::array<uint8_t, 4>>(lower);
  r.threshold = t1;
  r.alpha = alpha;
  return r;
}

HaarRecord WithPolarity(HaarRecord r, int32_t p) {
  r.lower = std::bit_cast<std::array<uint8_t, 4>>(p);
  return r;
}

constexpr float kInf = std::numeric_limits<float>::infinity();
// Says yes to every window in both readings (T2 = +inf: the rule v < T1 or v >= +inf, and a
// positive polarity); says yes to none in either (T1 = T2 = 0, polarity 0).
const HaarRecord kEvery = Record(11, 0, 0, 24, 24, FLT_MAX, kInf, 1.0f);
const HaarRecord kNone = Record(11, 0, 0, 24, 24, 0.0f, 0.0f, 1.0f);

HaarModel ModelOf(std::vector<HaarRecord> records) {
  HaarModel m;
  const std::string bytes = HaarFileBytes(records);
  EXPECT_TRUE(ParseHaarFile(bytes, "test.kdz", m));
  return m;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(HaarDetector, WindowSidesShrinkByFourFifths) {
  const struct {
    int height;
    std::vector<int> sides;
  } cases[] = {
      {288, {288, 230, 184, 147, 117, 93, 74, 59, 47, 37, 29}},
      {24, {24}},
      {23, {}},
      {30, {30, 24}},
  };
  for (const auto& c : cases) {
    std::array<int, HaarDetector::kMaxScales> sides{};
    const int n = HaarWindowSides(c.height, sides);
    EXPECT_EQ(std::vector<int>(sides.begin(), sides.begin() + n), c.sides) << c.height;
  }
}

TEST(HaarDetector, FileStagesGrowAndBadFilesAreNamed) {
  HaarModel m = ModelOf(std::vector<HaarRecord>(30, kEvery));
  EXPECT_EQ(m.stageSizes[0], 10);
  EXPECT_EQ(m.stageSizes[1], 13);
  EXPECT_EQ(m.stageSizes[2], 7);
  EXPECT_EQ(m.StageCount(), 3);

  auto bytesOf = [](std::vector<int32_t> head, std::vector<HaarRecord> records) {
    std::string b(reinterpret_cast<const char*>(head.data()), head.size() * 4);
    b.append(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(HaarRecord));
    return b;
  };
  const struct {
    std::string bytes;
    const char* problem;
  } cases[] = {
      {"abc", "too short"},
      {bytesOf({21, 1}, {}), "21 stages"},
      {bytesOf({1, 1001, 1001}, {}), "1001 weak records"},
      {bytesOf({1, 2, 2}, {kEvery}), "need 76 bytes, the file has 44"},
      {bytesOf({1, 1, 1}, {kEvery}) + "xxxx", "need 44 bytes"},
      {bytesOf({1, 1, -1}, {kEvery}), "stage 1 has -1"},
      {bytesOf({1, 1, 1}, {Record(2, 0, 0, 24, 24, 1, 0, 1)}), "weak record 1 (feature code 2"},
      {bytesOf({1, 1, 1}, {Record(1011, 20, 0, 5, 24, 1, 0, 1)}), "no rectangle feature"},
      {bytesOf({1, 1, 1}, {Record(11, -1, 0, 5, 5, 1, 0, 1)}), "no rectangle feature"},
      {bytesOf({1, 1, 1}, {Record(11, 0, 0, 5, 5, 1, 0, kInf)}), "no usable threshold"},
      {bytesOf({1, 1, 2}, {kEvery}), "use 2 weak records but it holds 1"},
  };
  for (const auto& c : cases) {
    HaarModel kept = m;
    const Result r = ParseHaarFile(c.bytes, "dir/Adaboost.kdz", kept);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message().find("dir/Adaboost.kdz: "), std::string::npos) << r.message();
    EXPECT_NE(r.message().find(c.problem), std::string::npos) << r.message();
    EXPECT_EQ(kept.RecordsInStages(), 30);  // the model is left as it was
  }
}

TEST(HaarDetector, TheLowerFieldReadBothWays) {
  const HaarRecord inside = Record(11, 0, 0, 24, 24, 50.0f, 20.0f, 1.0f);   // 20 <= v < 50
  const HaarRecord outside = Record(11, 0, 0, 24, 24, 20.0f, 50.0f, 1.0f);  // v < 20, v >= 50
  const struct {
    HaarReading reading;
    HaarRecord record;
    float v;
    bool yes;
  } cases[] = {
      {HaarReading::Interval, inside, 19.9f, false},
      {HaarReading::Interval, inside, 20.0f, true},
      {HaarReading::Interval, inside, 50.0f, false},
      {HaarReading::Interval, outside, 19.0f, true},
      {HaarReading::Interval, outside, 30.0f, false},
      {HaarReading::Interval, outside, 50.0f, true},
      {HaarReading::Interval, kNone, 0.0f, false},
      {HaarReading::Polarity, WithPolarity(inside, 1), 49.0f, true},
      {HaarReading::Polarity, WithPolarity(inside, 1), 50.0f, false},
      {HaarReading::Polarity, WithPolarity(inside, -7), 50.5f, true},
      {HaarReading::Polarity, WithPolarity(inside, -7), 50.0f, false},
      {HaarReading::Polarity, WithPolarity(inside, 0), 1.0f, false},
      // INT32_MIN times a large value would overflow a product; the sign decides.
      {HaarReading::Polarity, WithPolarity(inside, INT32_MIN), 3.0e38f, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HaarWeakYes(c.reading, c.record, c.v), c.yes)
        << static_cast<int>(c.reading) << " v=" << c.v;
  }
  // The trained form, T2 = +inf, decides alike in both readings.
  const HaarRecord below = Record(12, 0, 0, 24, 24, 7.5f, kInf, 1.0f);
  for (const float v : {0.0f, 7.0f, 7.5f, 8.0f, 1.0e30f}) {
    EXPECT_EQ(HaarWeakYes(HaarReading::Interval, below, v),
              HaarWeakYes(HaarReading::Polarity, below, v));
    EXPECT_EQ(HaarWeakYes(HaarReading::Interval, below, v), v < 7.5f);
  }
}

// A grey 352 x 288 frame with a 59 x 59 square at (140, 98): its left 30 columns black, its right
// 29 white. The cascade accepts windows whose left and right halves differ by 240 or more.
Dib PlantedFrame() {
  Dib frame;
  frame.Create(352, 288, 24, false);
  for (int y = 0; y < 288; ++y) {
    for (int x = 0; x < 352; ++x) {
      const bool in = x >= 140 && x < 199 && y >= 98 && y < 157;
      const uint8_t v = !in ? 128 : (x < 170 ? 0 : 255);
      uint8_t* p = frame.Row(y) + 3 * x;
      p[0] = p[1] = p[2] = v;
    }
  }
  return frame;
}

TEST(HaarDetector, PlantedWindowIsFoundAtItsScaleAndPlace) {
  const Dib frame = PlantedFrame();
  for (const HaarReading reading : {HaarReading::Interval, HaarReading::Polarity}) {
    // Interval: 240 <= v < 1000; polarity -1: v > 240.
    HaarRecord r = Record(11, 0, 0, 24, 24, 1000.0f, 240.0f, 1.0f);
    if (reading == HaarReading::Polarity) r = WithPolarity(Record(11, 0, 0, 24, 24, 240, 0, 1), -1);
    HaarDetector d;
    d.SetUp(frame, ModelOf({r}), reading);
    ASSERT_EQ(d.Scan(frame), 1);
    const HaarRect found = d.Rects()[0];
    EXPECT_EQ(found.left, 140);
    EXPECT_EQ(found.top, 98);
    EXPECT_EQ(found.right - found.left, 59);
    EXPECT_EQ(found.bottom - found.top, 59);
  }
}

// A block whose centre lies in a rectangle on every frame goes 2, 4, 6, ... and shows yellow
// (30) on the 15th frame; without a rectangle the score decays by a hundredth.
TEST(HaarDetector, PersistenceReachesThirtyOnTheFifteenthFrame) {
  const Dib frame = PlantedFrame();
  HaarDetector d;
  d.SetUp(frame, ModelOf({Record(11, 0, 0, 24, 24, 1000.0f, 240.0f, 1.0f)}), HaarReading::Interval);
  const int columns = d.BlockColumns(HaarDetector::kBlock);
  const size_t inside = static_cast<size_t>(15) * columns + 20;  // centre (164, 124)
  const size_t outside = 0;
  std::vector<int> scores;
  for (int t = 1; t <= 15; ++t) {
    d.Scan(frame);
    d.UpdatePersistence(true);
    scores.push_back(d.Persistence()[inside]);
    EXPECT_EQ(d.Persistence()[outside], 0);
  }
  EXPECT_EQ(scores, (std::vector<int>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30}));
  // Confirmation needs two changed blocks: a frame equal to the last changes none.
  d.Scan(frame);
  d.RotateRings();
  d.Scan(frame);
  d.RotateRings();
  d.BlockChange();
  d.ConfirmRects();
  EXPECT_EQ(d.Confirmed()[0], 0);
  d.UpdatePersistence(false);
  EXPECT_EQ(d.Persistence()[inside], 29);  // (99 x 30) / 100
}

// --- the modes through the session ---------------------------------------------------------

constexpr int kFrames = 200;

FrameList& Plume() {
  static FrameList list(test::SceneFrames(test::Scene::RisingPlume, 352, 288, kFrames));
  return list;
}

struct ModeRun {
  int first = -1;  // first alarm frame
  int framesInAlarm = 0;
};

// Runs a mode over the plume with a detector file in a fresh start directory.
ModeRun RunWithFile(ModeId mode, const std::vector<HaarRecord>& records) {
  SCOPED_TRACE(ModeNumber(mode));
  const std::string dir = test::TempDir("haar_start");
  WriteFile(dir + "/" + kHaarFile, HaarFileBytes(records));
  SetStartDirectory(dir);
  Session session;
  session.OpenFrames(Plume());
  session.State().alarmLogEnabled = false;
  EXPECT_TRUE(session.SelectMode(mode));
  EXPECT_EQ(session.State().Mode(), mode);
  ModeRun run;
  for (int t = 0; t < kFrames; ++t) {
    session.Step();
    if (session.State().alarmFlag == 0) continue;
    ++run.framesInAlarm;
    if (run.first < 0) run.first = t;
  }
  SetStartDirectory(test::TempDir("haar_empty"));
  return run;
}

TEST(HaarModes, AdaboostMotionFollowsTheEngineWhereTheDetectorSeesSmoke) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const ModeRun engine = RunWithFile(ModeId::Engineering, {kEvery});
  ASSERT_GE(engine.first, 98);
  // Every block is in some rectangle: the hand-over keeps every region, the alarm is 7014's.
  const ModeRun every = RunWithFile(ModeId::AdaboostMotion, {kEvery});
  EXPECT_EQ(every.first, engine.first);
  EXPECT_EQ(every.framesInAlarm, engine.framesInAlarm);
  // No rectangle: every region is handed back empty and the engine never votes.
  EXPECT_EQ(RunWithFile(ModeId::AdaboostMotion, {kNone}).first, -1);
  // Detecting never raises the alarm, whatever it finds.
  EXPECT_EQ(RunWithFile(ModeId::Detecting, {kEvery}).first, -1);
  EXPECT_TRUE(sink.Messages().empty());
}

TEST(HaarModes, MissingOrBrokenFileNamesItAndSelectsNothing) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const std::string start = test::TempDir("haar_missing_start");
  const std::string data = test::TempDir("haar_missing_data");
  SetStartDirectory(start);
  setenv("FUMEWATCH_DATA_DIR", data.c_str(), 1);
  const struct {
    const char* bytes;  // null: no file
    std::vector<std::string> said;
  } cases[] = {
      {nullptr, {"Adaboost.kdz is neither in the start directory", start, data}},
      {"\x01\x00\x00\x00", {start + "/Adaboost.kdz: too short"}},
  };
  for (const ModeId mode : {ModeId::Detecting, ModeId::AdaboostMotion}) {
    for (const auto& c : cases) {
      sink.Clear();
      if (c.bytes) WriteFile(start + "/Adaboost.kdz", c.bytes);
      Session session;
      session.OpenFrames(Plume());
      session.State().alarmLogEnabled = false;
      session.SelectMode(mode);
      EXPECT_EQ(session.State().Mode(), ModeId::None);
      EXPECT_EQ(session.State().haar, nullptr);
      ASSERT_EQ(sink.Messages().size(), 1u);
      for (const std::string& part : c.said) {
        EXPECT_NE(sink.Messages()[0].text.find(part), std::string::npos) << sink.Messages()[0].text;
      }
      const std::vector<std::string> status = sink.StatusTexts();
      EXPECT_TRUE(std::any_of(status.begin(), status.end(), [](const std::string& s) {
        return s.find("Adaboost.kdz") != std::string::npos;
      }));
      session.Step();  // no mode runs
    }
    std::remove((start + "/Adaboost.kdz").c_str());
  }
  unsetenv("FUMEWATCH_DATA_DIR");
}

}  // namespace
}  // namespace fw

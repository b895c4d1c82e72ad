// The classifier modes: scans that find a planted window at its scale and place and stop at 200
// rectangles, the overlap test and the two confirmations, colour change over three frames,
// persistence and votes over frames raising the alarm, and the messages of a missing or bad
// classifier file. Cascades are made in the tests (a mean-grey window test, or no stage at all,
// which accepts every window) and put into a temporary start directory, where the modes look
// first.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/session.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "learn/modes/block_persistence.h"
#include "learn/modes/detection_windows.h"
#include "learn/modes/frame_history.h"
#include "learn/modes/pldp_detector.h"
#include "learn/modes/real_adaboost_detector.h"
#include "learn/neural/lbp_var_features.h"
#include "learn/neural/neural_network.h"
#include "tests/support/clips.h"
#include "video/frame_source.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// A 24-bit bottom-up frame of one grey level with a square of another.
Dib SquareFrame(int width, int height, int background, int x, int y, int side, int level) {
  Dib frame;
  frame.CreateSigned(width, height, 24, false);
  for (int r = 0; r < height; ++r) {
    uint8_t* row = frame.Row(r);
    for (int c = 0; c < width; ++c) {
      const bool inside = c >= x && c < x + side && r >= y && r < y + side;
      row[3 * c] = row[3 * c + 1] = row[3 * c + 2] =
          static_cast<uint8_t>(inside ? level : background);
    }
  }
  return frame;
}

// One Byte stage of one weak classifier: yes when the window's mean grey is 200 or more.
ClassifierSet BrightWindowCascade() {
  ClassifierSet model;
  model.flavour = Flavour::Byte;
  model.stageSizes[0] = 1;
  WeakRecord& r = model.records[0];
  r.featureCode = 1;
  r.w = r.h = 24;
  SetThresholds(r, ThresholdType::UInt8, 255, 200);
  r.alpha = 1.0f;
  model.SetStageRatio(57);
  return model;
}

TEST(ClassifierScan, FindsAPlantedWindowAtItsScaleAndPlace) {
  // Sides 96, 48 and 24 on a 144-row frame; only the 48 x 48 window on the square is bright
  // enough, and the smaller windows inside it overlap it and are skipped.
  const Dib frame = SquareFrame(192, 144, 50, 96, 48, 48, 220);
  RealAdaBoostDetector detector;
  detector.Build(BrightWindowCascade(), 192, 144);
  WindowList windows;
  detector.Scan(frame, windows);
  ASSERT_EQ(windows.Count(), 1);
  const WindowRect r = windows.Rect(0);
  EXPECT_EQ(r.left, 96);
  EXPECT_EQ(r.top, 48);
  EXPECT_EQ(r.Width(), 48);
  EXPECT_EQ(r.Height(), 48);
  std::array<int, 16> sides{};
  ASSERT_EQ(RealAdaBoostDetector::Sides(144, sides), 3);
  EXPECT_EQ(sides[0], 96);
  EXPECT_EQ(RealAdaBoostDetector::Sides(23, sides), 0);
  EXPECT_EQ(RealAdaBoostDetector::Sides(192, sides), 4);  // a height of 24 x 2^k is its own side
  EXPECT_EQ(sides[0], 192);
}

TEST(ClassifierScan, StopsAtTwoHundredRectangles) {
  // A cascade without stages accepts every window: 23 x 17 windows 6 pixels apart on level 0.
  ClassifierSet model;
  model.flavour = Flavour::Eoh;
  PldpDetector detector;
  detector.Build(model, 160, 120);
  WindowList windows;
  detector.Scan(SquareFrame(160, 120, 90, 0, 0, 0, 0), windows);
  ASSERT_EQ(windows.Count(), WindowList::kCapacity);
  EXPECT_FALSE(windows.Add({0, 0, 1, 1}));
  // The scan ran row by row and stopped at its 200th window: row 8, column 15.
  const WindowRect last = windows.Rect(WindowList::kCapacity - 1);
  EXPECT_EQ(last.left, 15 * 6);
  EXPECT_EQ(last.top, 8 * 6);
  EXPECT_EQ(last.Width(), 24);
}

TEST(ClassifierScan, OverlapTestSkipsWindowsOverHalfAnAcceptedOne) {
  WindowList windows;
  ASSERT_TRUE(windows.Add({0, 0, 48, 48}));
  struct Case {
    int x, y, w, h;
    bool skipped;
  };
  const Case cases[] = {
      {12, 0, 48, 48, true},    // three quarters covered
      {24, 0, 48, 48, true},    // half covered
      {24, 24, 48, 48, false},  // a quarter: the intersection, not the bounding span, counts
      {36, 0, 48, 48, false},   // overlapping by only a quarter of the side
      {0, 0, 24, 24, true},     // a smaller window inside
      {12, 12, 24, 24, true},  {100, 100, 48, 48, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windows.Overlaps(c.x, c.y, c.w, c.h), c.skipped) << c.x << "," << c.y;
  }
}

TEST(ClassifierScan, ConfirmationsNeedANeighbourAndTheOverlapOneAChangedBlock) {
  struct Case {
    WindowRect a, b;
    bool touch;    // confirmed by touch (7020-7022)
    bool overlap;  // confirmed by overlap with a changed block under it (7023, 7024)
  };
  const Case cases[] = {
      {{0, 0, 24, 24}, {27, 0, 51, 24}, true, false},   // a gap of 3 columns: within reach
      {{0, 0, 24, 24}, {28, 0, 52, 24}, false, false},  // a gap of 4
      {{0, 0, 24, 24}, {20, 20, 44, 44}, true, false},  // 4 x 4: under 20 % of 24 x 24
      {{0, 0, 24, 24}, {19, 0, 43, 24}, true, true},    // 5 x 24 = 120: 20 % of 576 is 115.2
      {{0, 0, 24, 24}, {20, 0, 44, 24}, true, false},   // 4 x 24 = 96
      {{0, 0, 24, 24}, {12, 0, 36, 24}, true, true},    // half
      {{0, 0, 48, 48}, {40, 40, 64, 64}, true, false},  // 8 x 8 of the smaller side 24: 11 %
      {{0, 0, 48, 48}, {30, 30, 54, 54}, true, true},   // 18 x 18 of it: 56 %
      {{0, 0, 24, 24}, {22, 0, 46, 24}, true, false},   // 2 columns: not more than 2
  };
  // Every block changed: the overlap rule alone decides.
  std::vector<uint8_t> all(8 * 8, 1);
  const BlockFlags changed{all.data(), 8, 8};
  for (const Case& c : cases) {
    WindowList windows;
    windows.Add(c.a);
    windows.Add(c.b);
    windows.ConfirmByTouch();
    EXPECT_EQ(windows.Status(0) == WindowStatus::Confirmed, c.touch) << c.b.left;
    windows.ConfirmByOverlap(changed);
    EXPECT_EQ(windows.Status(0) == WindowStatus::Confirmed, c.overlap) << c.b.left;
  }
  // A single detection never confirms; the overlap rule needs a changed block under it.
  WindowList single;
  single.Add({0, 0, 24, 24});
  single.ConfirmByTouch();
  EXPECT_EQ(single.Status(0), WindowStatus::Unconfirmed);
  WindowList pair;
  pair.Add({0, 0, 24, 24});
  pair.Add({8, 0, 32, 24});
  std::vector<uint8_t> one(8 * 8, 0);
  one[3] = 1;  // block (3, 0) lies under the second only
  pair.ConfirmByOverlap({one.data(), 8, 8});
  EXPECT_EQ(pair.Status(0), WindowStatus::Unconfirmed);
  EXPECT_EQ(pair.Status(1), WindowStatus::Confirmed);
}

TEST(ClassifierEvidence, ColourChangeComparesThePreviousFrameWithTheThirdBack) {
  // A block changes when at least 16 of its 64 pixels differ by the threshold in a channel.
  struct Case {
    int pixels;  // changed pixels of block (1, 1)
    int delta;
    bool changed;
  };
  const Case cases[] = {{16, 25, true}, {15, 25, false}, {16, 24, false}, {64, 150, true}};
  for (const Case& c : cases) {
    FrameHistory history;
    history.Build(32, 24);
    Dib plain = SquareFrame(32, 24, 100, 0, 0, 0, 0);
    Dib changed = SquareFrame(32, 24, 100, 0, 0, 0, 0);
    for (int k = 0; k < c.pixels; ++k) changed.Row(8 + k / 8)[3 * (8 + k % 8) + 2] += c.delta;
    for (const Dib* f : {&plain, &plain, &changed}) {
      // Until three frames are remembered nothing counts as changed, even from black.
      history.ComputeColourChange(25);
      for (uint8_t b : history.ChangeMap()) EXPECT_EQ(b, 0);
      history.Remember(*f);
    }
    history.ComputeColourChange(25);  // previous: changed, three back: plain
    EXPECT_EQ(history.ChangeMap()[1 * 4 + 1], c.changed ? 1 : 0) << c.pixels << " " << c.delta;
    EXPECT_EQ(history.ChangeMap()[0], 0);
    EXPECT_NEAR(history.MeanIntensity(), 100.0f + c.pixels * c.delta / 3.0f / (32 * 24), 0.01f);
  }
}

TEST(ClassifierEvidence, PersistenceRegionsAndTheRaisedBlockVote) {
  BlockPersistence persistence;
  persistence.Build(64, 32);  // 8 x 4 blocks
  WindowList windows;
  windows.Add({0, 0, 24, 16});  // corners of blocks (0..2, 0..1)
  windows.Add({0, 0, 24, 16});
  windows.Add({56, 24, 64, 32});  // one block: too small a region
  int firstKept = -1;
  for (int f = 0; f < 20; ++f) {
    EXPECT_EQ(persistence.Update(windows, 1), 7);
    if (persistence.FindRegions(nullptr) > 0 && firstKept < 0) firstKept = f;
  }
  EXPECT_EQ(firstKept, 17);  // 1 - 0.98^18 is the first score above 0.3
  ASSERT_EQ(persistence.Regions(), 1);
  EXPECT_EQ(persistence.RegionSize(0), 6);
  EXPECT_EQ(persistence.Label(2, 1), BlockPersistence::kFirstLabel);
  EXPECT_EQ(persistence.Label(7, 3), 2);         // visited, discarded
  EXPECT_EQ(persistence.Update(windows, 2), 6);  // two rectangles over the big region only

  // A steady count of raised blocks has no variance, so it never flags a frame; a varying one
  // with a mean of 2 or more does.
  struct Case {
    std::vector<int> raised;
    float mean, variance;
  };
  const Case cases[] = {{{4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 4.0f, 0.0f},
                        {{2, 6, 2, 6, 2, 6, 2, 6, 2, 6}, 4.0f, 4.0f}};
  for (const Case& c : cases) {
    BlockPersistence p;
    p.Build(64, 32);
    for (size_t k = 0; k < c.raised.size(); ++k) {
      if (k > 0) p.Advance();
      p.SetRaised(c.raised[k]);
    }
    float mean = 0, variance = 0;
    p.RecentRaised(mean, variance);
    EXPECT_FLOAT_EQ(mean, c.mean);
    EXPECT_FLOAT_EQ(variance, c.variance);
  }
}

// --- through the session: classifier files in a temporary start directory ---

class ClassifierModeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempDir("classifier_modes");
    previous_ = StartDirectory();
    SetStartDirectory(folder_ + "/");
  }
  void TearDown() override {
    SetStartDirectory(previous_);
    fs::remove_all(folder_);
  }
  void WriteBytes(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << bytes;
  }
  // A file of one empty stage: the cascade accepts every window.
  void WriteAcceptAll(const std::string& name) {
    const int32_t words[4] = {1, 0, 0, 0};
    WriteBytes(name, std::string(reinterpret_cast<const char*>(words), sizeof words));
  }
  std::string folder_;
  std::string previous_;
};

// Frames of a 160 x 144 grey scene; from frame `from` on a 48 x 48 patch of fresh bright noise
// at (56, 48) (it changes colour and moves unlike any rigid object) when `flicker`, else a still
// bright patch.
std::vector<Dib> PatchScene(int frames, bool flicker) {
  std::vector<Dib> out;
  std::mt19937 random(7);
  for (int t = 0; t < frames; ++t) {
    Dib& frame = out.emplace_back(SquareFrame(160, 144, 120, 0, 0, 0, 0));
    for (int y = 48; y < 96; ++y) {
      for (int x = 56; x < 104; ++x) {
        const int v = flicker ? 200 + static_cast<int>(random() % 56) : 230;
        uint8_t* p = frame.Row(y) + 3 * x;
        p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
      }
    }
  }
  return out;
}

TEST_F(ClassifierModeRun, RealAdaBoostAlarmsOnTheFourthSmokyFrameOfFive) {
  ASSERT_TRUE(BrightWindowCascade().Save(folder_ + "/Byte_RealAdaboost.kdz"));
  struct Case {
    bool flicker;
    int firstAlarm;  // -1: none
  };
  // Flicker: the ring holds three frames from frame 3 and the motion mask needs the difference of
  // the frame before, so frames 4, 5, 6 and 7 are the first smoky ones. A still patch is refused
  // by the motion check and never alarms.
  for (const Case c : {Case{true, 7}, Case{false, -1}}) {
    FrameList frames(PatchScene(14, c.flicker));
    Session session;
    session.OpenFrames(frames);
    session.State().alarmLogEnabled = false;
    ASSERT_TRUE(session.SelectMode(ModeId::RealAdaBoost));
    int first = -1;
    for (int f = 0; f < 14; ++f) {
      session.Step();
      if (first < 0 && session.State().alarmFlag != 0) first = f;
    }
    EXPECT_EQ(first, c.firstAlarm) << c.flicker;
  }
}

// A network whose outputs are all equal puts every window in class 0, smoke.
void SaveSmokeEverywhereNetwork(const std::string& path) {
  NeuralNetwork network;
  network.SetSizes(kLbpVarInputs, 1, 2);
  ASSERT_TRUE(network.Save(path));
}

TEST_F(ClassifierModeRun, RegionsPersistingOnSeventyFramesRaiseTheAlarm) {
  // Every window accepted: the rectangles touch their neighbours, so every block under them
  // persists from frame 17 on, and the 70th frame with a region is frame 86.
  WriteAcceptAll("BLBP_RealAdaboost.kdz");
  ASSERT_TRUE(BrightWindowCascade().Save(folder_ + "/Byte_RealAdaboost.kdz"));
  SaveSmokeEverywhereNetwork(folder_ + "/LBP_NeuralNet.kdz");
  for (const ModeId mode : {ModeId::BoostedLbp, ModeId::NeuralNetwork}) {
    FrameList frames(PatchScene(90, false));
    Session session;
    session.OpenFrames(frames);
    session.State().alarmLogEnabled = false;
    ASSERT_TRUE(session.SelectMode(mode));
    int first = -1;
    for (int f = 0; f < 90; ++f) {
      session.Step();
      if (first < 0 && session.State().alarmFlag != 0) first = f;
    }
    EXPECT_EQ(first, 86) << ModeNumber(mode);
  }
}

TEST_F(ClassifierModeRun, AMissingOrBadClassifierFileKeepsTheModeOff) {
  const std::string data = test::TempDir("classifier_modes_data");
  const char* before = std::getenv("FUMEWATCH_DATA_DIR");
  const std::string restore = before ? before : "";
  setenv("FUMEWATCH_DATA_DIR", data.c_str(), 1);
  struct Case {
    ModeId mode;
    const char* file;
  };
  // 7021 needs the Byte cascade and the network; its case runs with a good cascade.
  ASSERT_TRUE(BrightWindowCascade().Save(folder_ + "/Byte_RealAdaboost.kdz"));
  const Case cases[] = {{ModeId::NeuralNetwork, "LBP_NeuralNet.kdz"},
                        {ModeId::RealAdaBoost, "Byte_RealAdaboost.kdz"},
                        {ModeId::BoostedLbp, "BLBP_RealAdaboost.kdz"},
                        {ModeId::Pltp, "PLTP_RealAdaboost.kdz"},
                        {ModeId::Pldp, "EOH_RealAdaboost.kdz"}};
  FrameList frames(PatchScene(2, false));
  for (const Case& c : cases) {
    if (c.mode == ModeId::RealAdaBoost) fs::remove(folder_ + "/Byte_RealAdaboost.kdz");
    for (const bool present : {false, true}) {
      SCOPED_TRACE(std::string(c.file) + (present ? " short" : " missing"));
      if (present) WriteBytes(c.file, std::string("\x01\x00\x00", 3));
      RecordingUiSink sink;
      ScopedUiSink scoped(sink);
      Session session;
      session.OpenFrames(frames);
      EXPECT_FALSE(session.SelectMode(c.mode));
      EXPECT_EQ(session.Mode(), ModeId::None);
      ASSERT_EQ(sink.Messages().size(), 1u);
      const std::string text = sink.Messages()[0].text;
      EXPECT_NE(text.find(c.file), std::string::npos) << text;
      EXPECT_NE(text.find("stays off"), std::string::npos) << text;
      if (present) {
        EXPECT_NE(text.find("too short"), std::string::npos) << text;
        EXPECT_NE(text.find(folder_ + "/" + c.file), std::string::npos) << text;
      } else {
        EXPECT_NE(text.find(folder_ + "/"), std::string::npos) << text;
        EXPECT_NE(text.find(data + "/"), std::string::npos) << text;
      }
      ASSERT_FALSE(sink.StatusTexts().empty());
      EXPECT_EQ(sink.StatusTexts().back(), text);
      EXPECT_EQ(session.Step(), FrameRead::Read);  // the frames go on without a mode
    }
  }
  // The command line says so and fails.
  const std::string clip = test::MakeClip("classifier_modes_cli", 48, 48, 3);
  const std::string command =
      "cd " + folder_ + " && " + FW_BIN_DIR + "/fumewatch-cli detect --mode 7020 " + clip + " 2>&1";
  fs::remove(folder_ + "/Byte_RealAdaboost.kdz");
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[512];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << out;
  EXPECT_NE(out.find("\"Byte_RealAdaboost.kdz\" is missing"), std::string::npos) << out;
  if (before) {
    setenv("FUMEWATCH_DATA_DIR", restore.c_str(), 1);
  } else {
    unsetenv("FUMEWATCH_DATA_DIR");
  }
  fs::remove_all(data);
}

TEST_F(ClassifierModeRun, ANetworkForOtherInputsKeepsTheNetworkModeOff) {
  ASSERT_TRUE(BrightWindowCascade().Save(folder_ + "/Byte_RealAdaboost.kdz"));
  NeuralNetwork network;
  network.SetSizes(10, 2, 2);
  ASSERT_TRUE(network.Save(folder_ + "/LBP_NeuralNet.kdz"));
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  FrameList frames(PatchScene(2, false));
  Session session;
  session.OpenFrames(frames);
  EXPECT_FALSE(session.SelectMode(ModeId::NeuralNetwork));
  EXPECT_EQ(session.Mode(), ModeId::None);
  ASSERT_EQ(sink.Messages().size(), 1u);
  EXPECT_NE(sink.Messages()[0].text.find("takes 10 inputs"), std::string::npos)
      << sink.Messages()[0].text;
}

}  // namespace
}  // namespace fw

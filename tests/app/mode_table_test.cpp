// The mode table as a whole: unique numbers, every mode selectable and runnable through the
// session, the toggle and alarm-clearing rules of selection, and frames of a changed size.
#include "app/mode_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/snapshot.h"
#include "core/ui_sink.h"
#include "detect/background/background_modes.h"
#include "detect/flame/flame_modes.h"
#include "detect/smoke/smoke_modes.h"
#include "tests/support/allocations.h"
#include "tests/support/clips.h"
#include "video/frame_source.h"

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

// Menu commands toggle and drop an open alarm interval; buttons always select and end it, logged,
// on the next frame, so that no mode is left with an alarm it never raised.
TEST(ModeTable, MenuCommandsToggleButtonsSelectAndBothEndTheAlarm) {
  const std::string clip = test::MakeClip("toggle", 48, 32, 3);
  for (const ModeInfo& mode : Modes()) {
    if (mode.id == ModeId::None) continue;
    SCOPED_TRACE(mode.label);
    Session session;
    ASSERT_TRUE(session.Open(clip));
    session.State().alarmLogEnabled = false;
    session.SelectMode(mode.id);
    session.Step();
    session.State().alarmFlag = 1;
    session.State().alarmLogging = true;
    session.State().alarmStartFrame = 0;
    session.SelectMode(mode.id);
    EXPECT_EQ(session.State().alarmFlag, 0);
    EXPECT_FALSE(session.State().alarmLogging);
    if (mode.command == ModeCommand::Menu) {
      EXPECT_EQ(session.Mode(), ModeId::None);
      EXPECT_TRUE(session.AlarmIntervals().empty());
    } else {
      EXPECT_EQ(session.Mode(), mode.id);
      ASSERT_EQ(session.AlarmIntervals().size(), 1u);
      EXPECT_EQ(session.AlarmIntervals()[0].start, 0);
      EXPECT_EQ(session.AlarmIntervals()[0].end, 1);
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

// Frames in memory of a square that crosses a textured background, so that every mode finds
// motion and foreground.
std::vector<Dib> MovingSquare(int width, int height, int frames) {
  std::vector<Dib> out;
  for (int t = 0; t < frames; ++t) {
    Dib& frame = out.emplace_back();
    frame.CreateSigned(width, height, 24, false);
    for (int y = 0; y < height; ++y) {
      uint8_t* row = frame.Row(y);
      for (int x = 0; x < width; ++x) {
        const bool square = x >= t % width && x < t % width + 12 && y >= 8 && y < 20;
        row[3 * x] = static_cast<uint8_t>(square ? 200 : 40 + (x * 7 + y * 3) % 50);
        row[3 * x + 1] = static_cast<uint8_t>(square ? 190 : 90 + (x * 5 + y * 11) % 40);
        row[3 * x + 2] = static_cast<uint8_t>(square ? 180 : 60 + (x * 3 + y * 7) % 60);
      }
    }
  }
  return out;
}

// Per-frame work allocates nothing once a mode has learned (the second mixture's learning frame,
// the 60th, is the one exception).
TEST(ModeTable, EveryModeRunsItsFramesWithoutAllocating) {
  FrameList frames(MovingSquare(64, 48, 80));
  for (const ModeInfo& mode : Modes()) {
    SCOPED_TRACE(mode.label);
    Session session;
    session.OpenFrames(frames);
    session.State().alarmLogEnabled = false;
    ASSERT_TRUE(session.SelectMode(mode.id));
    for (int f = 0; f < 62; ++f) session.Step();
    test::StartCountingAllocations();
    for (int f = 0; f < 16; ++f) session.Step();
    EXPECT_EQ(test::StopCountingAllocations(), 0);
  }
}

// What a pane shows, told in a line when two differ.
std::string PaneDifference(const Dib& a, const Dib& b) {
  if (a.Width() != b.Width() || a.HeaderHeight() != b.HeaderHeight() ||
      a.GetBitCount() != b.GetBitCount()) {
    return "format " + std::to_string(a.Width()) + "x" + std::to_string(a.HeaderHeight()) + "x" +
           std::to_string(a.GetBitCount()) + " against " + std::to_string(b.Width()) + "x" +
           std::to_string(b.HeaderHeight()) + "x" + std::to_string(b.GetBitCount());
  }
  if (!std::equal(a.Pixels(), a.Pixels() + a.PixelBytes(), b.Pixels())) return "pixels";
  if (a.GetBitCount() == 8) {
    for (int i = 0; i < 256; ++i) {
      const RgbQuad& p = a.GetPalette()[i];
      const RgbQuad& q = b.GetPalette()[i];
      if (p.red != q.red || p.green != q.green || p.blue != q.blue) return "palette";
    }
  }
  return {};
}

// The first difference between two views of the desktop (empty: none).
std::string ShownDifference(const Snapshot& a, const Snapshot& b) {
  static const char* const kPane[kPaneCount] = {"top-left", "top-right", "bottom-left",
                                                "bottom-right"};
  for (int i = 0; i < kPaneCount; ++i) {
    const std::string d = PaneDifference(a.panes[i], b.panes[i]);
    if (!d.empty()) return std::string(kPane[i]) + " pane: " + d;
  }
  if (a.mode != b.mode) return "mode";
  if (a.alarmFlag != b.alarmFlag) return "alarm flag";
  const auto same = [](const Overlay& p, const Overlay& q) {
    return p.x0 == q.x0 && p.y0 == q.y0 && p.x1 == q.x1 && p.y1 == q.y1 && p.red == q.red &&
           p.green == q.green && p.blue == q.blue;
  };
  if (!std::equal(a.overlays.begin(), a.overlays.end(), b.overlays.begin(), b.overlays.end(),
                  same)) {
    return "overlays";
  }
  return {};
}

// A run on frames in memory: `first` selected on the first frame (None: no mode), `second` after
// `frames` frames. Returns what the desktop shows right after the second selection and after each
// of the `after` frames that follow.
std::vector<Snapshot> SelectAfter(FrameList& video, ModeId first, int frames, ModeId second,
                                  int after) {
  Session session;
  session.OpenFrames(video);
  session.State().alarmLogEnabled = false;
  // The second mixture's clustering seed would come from the clock.
  EXPECT_TRUE(session.SetParameter(ModeId::Mixture2, "clusterSeed=7"));
  if (first != ModeId::None) EXPECT_TRUE(session.SelectMode(first));
  for (int f = 0; f < frames; ++f) session.Step();
  EXPECT_TRUE(session.SelectMode(second));
  std::vector<Snapshot> shown(after + 1);
  session.FillSnapshot(shown[0]);
  for (int f = 1; f <= after; ++f) {
    session.SetSnapshotTarget(&shown[f]);  // the panes as shown, before the end-of-frame steps
    session.Step();
    session.FillControlValues(shown[f]);
  }
  session.SetSnapshotTarget(nullptr);
  return shown;
}

// One mode's output never reaches another mode's panes: mode A followed by mode B at frame k
// shows exactly what a run that selects B at frame k shows, for every pair of modes in the table.
TEST(ModeTable, ASelectedModeShowsWhatAFreshRunOfItShows) {
  constexpr int kFrames = 8;  // frames before the second selection
  constexpr int kAfter = 5;   // frames compared after it
  FrameList video(MovingSquare(64, 48, kFrames + kAfter + 2));
  for (const ModeInfo& second : Modes()) {
    const std::vector<Snapshot> fresh =
        SelectAfter(video, ModeId::None, kFrames, second.id, kAfter);
    for (const ModeInfo& first : Modes()) {
      if (first.id == second.id) continue;  // the same command again switches a menu mode off
      const std::vector<Snapshot> after = SelectAfter(video, first.id, kFrames, second.id, kAfter);
      for (int f = 0; f <= kAfter; ++f) {
        const std::string difference = ShownDifference(after[f], fresh[f]);
        EXPECT_EQ(difference, "") << first.label << " then " << second.label << ", frame " << f
                                  << " after the selection";
        if (!difference.empty()) break;
      }
    }
  }
}

// Each field list is the one description of its parameters: the defaults are the state's own,
// every value in range is taken, and values outside it or not whole where they must be are
// refused with the field named, leaving the state as it was.
TEST(ModeTable, FieldListsDriveValidation) {
  for (const std::span<const ParamField> fields :
       {ControlFields(), BackgroundFields(), SmokeFields(), InfraredFields()}) {
    for (const ParamField& f : fields) {
      SCOPED_TRACE(f.name);
      DetectionState state;
      EXPECT_EQ(f.get(state), f.defaultValue);
      const std::string name = f.name;
      for (const double value : {f.minimum, f.maximum, f.defaultValue}) {
        char text[64];
        std::snprintf(text, sizeof text, "%s=%.10g", f.name, value);
        ASSERT_TRUE(SetParam(fields, state, text)) << text;
        // A float field keeps the value as a float.
        EXPECT_EQ(f.get(state),
                  f.integral ? value : static_cast<double>(static_cast<float>(value)));
      }
      for (const double bad : {f.minimum - 1.0, f.maximum + 1.0}) {
        if (f.minimum - 1.0 == f.minimum) continue;  // a float's whole range
        char text[64];
        std::snprintf(text, sizeof text, "%s=%.10g", f.name, bad);
        const Result refused = SetParam(fields, state, text);
        EXPECT_FALSE(refused) << text;
        EXPECT_EQ(refused.message().rfind(name, 0), 0u) << refused.message();
        EXPECT_EQ(f.get(state), f.defaultValue);
      }
      if (f.integral) {
        EXPECT_FALSE(SetParam(fields, state, name + "=0.5"));
        EXPECT_FALSE(SetParam(fields, state, name + "=x"));
      }
    }
  }
  // Every mode's list is its family's, and the names are unique across a mode and the controls.
  for (const ModeInfo& mode : Modes()) {
    std::set<std::string> names;
    for (const ParamField& f : ControlFields()) names.insert(f.name);
    for (const ParamField& f : mode.params) EXPECT_TRUE(names.insert(f.name).second) << f.name;
  }
  DetectionState state;
  EXPECT_FALSE(SetParam(BackgroundFields(), state, "noSuchField=1"));
  EXPECT_FALSE(SetParam(BackgroundFields(), state, "kernelIndex"));
}

// `detect --set` through the session: the values reach the state before the mode is built.
TEST(ModeTable, ParametersSetBeforeSelectionReachTheMode) {
  FrameList frames(MovingSquare(64, 48, 3));
  Session session;
  session.OpenFrames(frames);
  EXPECT_TRUE(session.SetParameter(ModeId::Smoke, "motionThreshold=3"));
  EXPECT_TRUE(session.SetParameter(ModeId::Smoke, "threshold=12"));
  EXPECT_FALSE(session.SetParameter(ModeId::Smoke, "kernelIndex=3"));  // a background field
  ASSERT_TRUE(session.SelectMode(ModeId::Smoke));
  EXPECT_EQ(session.State().smoke.detector->params.motionThreshold, 3);
  EXPECT_EQ(session.State().threshold, 12);
}

// Each mode's memory estimate covers what its selection and first frames allocate, and stays
// close enough to it that a refusal means the mode would not fit; it follows the parameters that
// size the buffers. A row without an estimate fails here.
TEST(ModeTable, MemoryEstimatesCoverWhatEachModeBuilds) {
  struct Case {
    int width;
    int height;
    std::vector<std::string> params;  // set where the mode takes them
  };
  const Case cases[] = {{64, 48, {}},
                        {208, 112, {}},
                        {96, 64, {"secondsFactor=10", "frameRateFactor=50"}},
                        {96, 64, {"frameInterval=20", "alarmSeconds=100"}}};
  for (const Case& c : cases) {
    FrameList frames(MovingSquare(c.width, c.height, 64));
    for (const ModeInfo& mode : Modes()) {
      SCOPED_TRACE(std::string(mode.label) + " at " + std::to_string(c.width));
      ASSERT_NE(mode.memoryEstimate, nullptr);
      Session session;
      session.OpenFrames(frames);
      session.State().alarmLogEnabled = false;
      for (const std::string& p : c.params) {
        if (FindParam(mode.params, p.substr(0, p.find('=')))) {
          ASSERT_TRUE(session.SetParameter(mode.id, p));
        }
      }
      test::StartMeasuringPeak();
      ASSERT_TRUE(session.SelectMode(mode.id));
      for (int f = 0; f < 62; ++f) session.Step();
      const int64_t built = test::PeakGrowth();
      const auto estimate =
          static_cast<int64_t>(mode.memoryEstimate(session.State(), c.width, c.height));
      EXPECT_GE(estimate, built);
      EXPECT_LE(estimate, built + built / 4 + 32768);
    }
  }
}

// Selecting a mode again (after mode 0, which keeps the mode's objects) releases what the first
// selection built before it builds anew, so that the mode never needs its estimate twice: from
// before the first selection on, the second selection and its frames hold at most what the first
// did (with the allocator's noise of the other test).
TEST(ModeTable, ReselectingAModeReleasesWhatItBuiltFirst) {
  FrameList frames(MovingSquare(96, 64, 64));
  for (const ModeInfo& mode : Modes()) {
    if (mode.id == ModeId::None) continue;
    SCOPED_TRACE(mode.label);
    Session session;
    session.OpenFrames(frames);
    session.State().alarmLogEnabled = false;
    test::StartMeasuringPeak();
    int64_t peaks[2] = {};
    for (int64_t& peak : peaks) {
      ASSERT_TRUE(session.SelectMode(mode.id));
      for (int f = 0; f < 62; ++f) session.Step();
      peak = test::PeakGrowth();
      ASSERT_TRUE(session.SelectMode(ModeId::None));
    }
    EXPECT_LE(peaks[1], peaks[0] + 32768);
  }
}

}  // namespace
}  // namespace fw

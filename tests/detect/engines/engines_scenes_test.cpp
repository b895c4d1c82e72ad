// The engine modes on the generated scenes through the session, as the desktop and the
// command-line tool run them: a rising plume raises the alarm in 7012, 7014 and 7015, a static
// scene in none, cars crossing fast in neither 7014 nor 7015; 7013 and 7016 never raise it; and
// every mode runs every scene without an error message and, once running, without allocating;
// the overlays of 7012 and 7014 and the block click.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/session.h"
#include "core/ui_sink.h"
#include "detect/alarm.h"
#include "detect/dispatch.h"
#include "tests/support/allocations.h"
#include "tests/support/scenes.h"
#include "video/frame_source.h"

namespace fw {
namespace {

constexpr int kFrames = 300;

FrameList& SceneList(test::Scene scene) {
  static std::map<test::Scene, FrameList> lists;
  auto it = lists.find(scene);
  if (it == lists.end()) {
    it = lists.emplace(scene, FrameList(test::SceneFrames(scene, 352, 288, kFrames))).first;
  }
  return it->second;
}

struct Alarms {
  int first = -1;  // first alarm frame, -1 for none
  int intervals = 0;
  int framesInAlarm = 0;
};

Alarms RunScene(test::Scene scene, ModeId mode) {
  Session session;
  session.OpenFrames(SceneList(scene));
  session.State().alarmLogEnabled = false;
  Alarms alarms;
  session.State().onAlarmInterval = [&](const AlarmInterval&) { ++alarms.intervals; };
  EXPECT_TRUE(session.SelectMode(mode));
  for (int t = 0; t < kFrames; ++t) {
    EXPECT_EQ(session.Step(), FrameRead::Read);
    if (session.State().alarmFlag != 0) {
      ++alarms.framesInAlarm;
      if (alarms.first < 0) alarms.first = t;
    }
  }
  CloseOpenAlarmInterval(session.State(), kFrames);
  return alarms;
}

TEST(EngineScenes, AlarmsFollowTheScenes) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  const struct {
    test::Scene scene;
    ModeId mode;
    bool alarm;
  } cases[] = {
      {test::Scene::RisingPlume, ModeId::FuzzyMat, true},
      {test::Scene::RisingPlume, ModeId::Engineering, true},
      {test::Scene::RisingPlume, ModeId::FuzzyEngineering, true},
      {test::Scene::Static, ModeId::FuzzyMat, false},
      {test::Scene::Static, ModeId::Engineering, false},
      {test::Scene::Static, ModeId::FuzzyEngineering, false},
      {test::Scene::CarCrossing, ModeId::Engineering, false},
      {test::Scene::CarCrossing, ModeId::FuzzyEngineering, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << test::SceneName(c.scene) << " " << ModeNumber(c.mode));
    const Alarms alarms = RunScene(c.scene, c.mode);
    EXPECT_EQ(alarms.first >= 0, c.alarm);
    if (c.alarm) {
      // The votes need their windows: 60 of 100 frames (7012), 70 of 100 after the histograms
      // have 30 codes (7014, 7015).
      EXPECT_GE(alarms.first, c.mode == ModeId::FuzzyMat ? 59 : 98);
      EXPECT_GE(alarms.framesInAlarm, 50);
    }
  }
  EXPECT_TRUE(sink.Messages().empty());
}

TEST(EngineScenes, DisplayModesNeverRaiseTheAlarm) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  for (const test::Scene scene : test::kScenes) {
    for (const ModeId mode : {ModeId::LosingFrames, ModeId::SpringMouth}) {
      SCOPED_TRACE(testing::Message() << test::SceneName(scene) << " " << ModeNumber(mode));
      EXPECT_EQ(RunScene(scene, mode).first, -1);
    }
  }
  EXPECT_TRUE(sink.Messages().empty());
}

// Past 7016's 200-frame initialisation, so that its regions, histograms and spectra are drawn;
// the other engines from their tenth frame, while the plume grows and its regions multiply. At
// CIF size too, where the plume's regions are the most.
TEST(EngineScenes, FramesAllocateNothingOnceRunning) {
  for (const auto& [width, height] : {std::pair{176, 144}, {352, 288}}) {
    FrameList frames(test::SceneFrames(test::Scene::RisingPlume, width, height, 230));
    for (const ModeId mode : {ModeId::FuzzyMat, ModeId::LosingFrames, ModeId::Engineering,
                              ModeId::FuzzyEngineering, ModeId::SpringMouth}) {
      SCOPED_TRACE(testing::Message() << ModeNumber(mode) << " at " << width << " x " << height);
      Session session;
      session.OpenFrames(frames);
      session.State().alarmLogEnabled = false;
      ASSERT_TRUE(session.SelectMode(mode));
      const int running = mode == ModeId::SpringMouth ? 205 : 10;
      for (int t = 0; t < running; ++t) session.Step();
      test::StartCountingAllocations();
      for (int t = running; t < 225; ++t) session.Step();
      EXPECT_EQ(test::StopCountingAllocations(), 0);
    }
  }
}

TEST(EngineScenes, OverlaysOutlineBlocksAndTheClickedOne) {
  for (const auto& [mode, size] : {std::pair{ModeId::FuzzyMat, 16}, {ModeId::Engineering, 8}}) {
    SCOPED_TRACE(ModeNumber(mode));
    Session session;
    session.OpenFrames(SceneList(test::Scene::RisingPlume));
    session.State().alarmLogEnabled = false;
    ASSERT_TRUE(session.SelectMode(mode));
    for (int t = 0; t < 150; ++t) session.Step();
    // A click picks the block under the point in 7012; 7014 outlines the block of the last
    // click with its own block size.
    session.PickPicturePoint(100, 37);
    if (mode == ModeId::Engineering) {
      EXPECT_EQ(session.State().engines.blockClickX, 0);
      session.State().engines.blockClickX = 100;
      session.State().engines.blockClickY = 37;
    }
    Overlays overlays;
    FillOverlays(session.State(), overlays);
    int green = 0;
    int red = 0;
    for (const Overlay& o : overlays) {
      green += o.green == 255 && o.red == 0 ? 1 : 0;
      red += o.red == 255 && o.green == 0 ? 1 : 0;
    }
    EXPECT_GT(green, 0);
    EXPECT_GT(red, 0);  // the plume's blocks with an upward dominant direction
    ASSERT_FALSE(overlays.empty());
    const Overlay& clicked = overlays.back();
    EXPECT_EQ(clicked.red, 255);
    EXPECT_EQ(clicked.green, 255);
    EXPECT_EQ(clicked.x0, 100 / size * size + 1);
    EXPECT_EQ(clicked.y0, 37 / size * size + 1);
    EXPECT_EQ(clicked.x1, (100 / size + 1) * size - 2);
  }
}

}  // namespace
}  // namespace fw

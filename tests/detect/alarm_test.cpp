#include "detect/alarm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "detect/dispatch.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the alarm steps of one frame with the given alarm flag.
void Frame(DetectionState& state, int frame, int alarm) {
  state.frameNumber = frame;
  state.alarmFlag = static_cast<uint8_t>(alarm);
  UpdateAlarmSound(state);
  LogAlarmInterval(state);
}

TEST(AlarmLog, PathRule) {
  EXPECT_EQ(AlarmLogPath("/v/a.avi"), "/v/a.txt");
  EXPECT_EQ(AlarmLogPath("/v/clip.mp4"), "/v/clip.txt");
  EXPECT_EQ(AlarmLogPath(""), "txt");
}

TEST(AlarmLog, IntervalsAreAppendedInOrder) {
  const std::string dir = test::TempDir("alarmlog");
  DetectionState state;
  state.videoPath = dir + "/a.avi";
  {
    std::ofstream existing(dir + "/a.txt", std::ios::binary);
    existing << "earlier line\r\n";
  }
  std::vector<AlarmInterval> reported;
  state.onAlarmInterval = [&](const AlarmInterval& i) { reported.push_back(i); };

  for (int f = 0; f < 200; ++f) Frame(state, f, (f >= 100 && f < 150) || f == 180 ? 1 : 0);

  EXPECT_EQ(ReadFile(dir + "/a.txt"),
            "earlier line\r\n"
            "Fire alarm at frame # 100 to 150. \r\n"
            "Fire alarm at frame # 180 to 181. \r\n");
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[1].start, 180);
  EXPECT_EQ(reported[1].end, 181);
  EXPECT_TRUE(reported[1].logged);

  // A log that cannot be written is not reported by the detector, but the interval says so.
  state.videoPath = "/nonexistent-folder/v.avi";
  Frame(state, 300, 1);
  Frame(state, 301, 0);
  ASSERT_EQ(reported.size(), 3u);
  EXPECT_FALSE(reported[2].logged);
}

TEST(AlarmLog, IntervalOpenAtAModeSelectionIsNotLogged) {
  const std::string dir = test::TempDir("alarmsel");
  DetectionState state;
  state.videoPath = dir + "/b.avi";
  Frame(state, 10, 1);
  Frame(state, 11, 1);
  ClearAlarmState(state);  // a menu mode selection
  Frame(state, 12, 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/b.txt"));

  // An open, stop or detection start clears only the flag: the interval ends on the next frame.
  Frame(state, 20, 1);
  ClearAlarmFlag(state);
  Frame(state, 21, 0);
  EXPECT_EQ(ReadFile(dir + "/b.txt"), "Fire alarm at frame # 20 to 21. \r\n");
}

TEST(AlarmLog, OpenIntervalClosedAtTheEndOfABatchRun) {
  const std::string dir = test::TempDir("alarmend");
  DetectionState state;
  state.videoPath = dir + "/c.avi";
  Frame(state, 7, 1);
  CloseOpenAlarmInterval(state, 9);
  CloseOpenAlarmInterval(state, 9);  // nothing open any more
  EXPECT_EQ(ReadFile(dir + "/c.txt"), "Fire alarm at frame # 7 to 9. \r\n");
}

TEST(AlarmSound, StartedOnceStoppedOnEveryFrameWithoutAlarm) {
  RecordingAlarmSound sound;
  DetectionState state;
  state.sound = &sound;
  state.videoPath = test::TempDir("alarmsound") + "/s.avi";
  for (int f = 0; f < 5; ++f) Frame(state, f, 1);
  EXPECT_EQ(sound.Count(RecordingAlarmSound::Request::StartLoop), 1);
  EXPECT_EQ(sound.Count(RecordingAlarmSound::Request::Stop), 0);
  EXPECT_NE(sound.log[0].path.find("kdz.wav"), std::string::npos);
  Frame(state, 5, 0);
  Frame(state, 6, 0);
  EXPECT_EQ(sound.Count(RecordingAlarmSound::Request::Stop), 2);
  Frame(state, 7, 1);
  EXPECT_EQ(sound.Count(RecordingAlarmSound::Request::StartLoop), 2);
}

TEST(AlarmSound, ModeZeroOnlyStopsTheSoundAndLogs) {
  RecordingAlarmSound sound;
  DetectionState state;
  state.sound = &sound;
  RunDetectionStep(state);
  RunEngineStep(state);
  ASSERT_EQ(sound.log.size(), 1u);
  EXPECT_EQ(sound.log[0].request, RecordingAlarmSound::Request::Stop);
}

TEST(AlarmPicture, AnimatesWhileTheAlarmLastsAndResumesWhereItStopped) {
  AlarmPicture picture;
  std::vector<int> shown;
  for (bool alarm : {true, true, true, true, true, true, false, true}) {
    shown.push_back(picture.Advance(alarm));
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 1, 2, 0, 3}));
  EXPECT_EQ(AlarmPicture::FileName(0), "FireAlarm01.bmp");
  EXPECT_EQ(AlarmPicture::FileName(4), "FireAlarm05.bmp");
}

}  // namespace
}  // namespace fw

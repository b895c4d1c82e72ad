#include "detect/alarm.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
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

// The log is never the video: only a name ending in "." and three characters other than "txt"
// trades them for "txt".
TEST(AlarmLog, PathRule) {
  const std::pair<const char*, const char*> cases[] = {
      {"/v/a.avi", "/v/a.txt"},
      {"/v/clip.mp4", "/v/clip.txt"},
      {"/v/A.AVI", "/v/A.txt"},
      {"/v/clip.ts", "/v/clip.ts.txt"},
      {"/v/x.txt", "/v/x.txt.txt"},
      {"/v/x.TxT", "/v/x.TxT.txt"},
      {"/v/clip.mpeg", "/v/clip.mpeg.txt"},
      {"/v.d/abc", "/v.d/abc.txt"},
      {"/v/a.b/c", "/v/a.b/c.txt"},
      {"/v/a.b.c", "/v/a.b.c.txt"},
      {"/v/.avi", "/v/.txt"},
      {"avi", "avi.txt"},
      {"", "txt"},
  };
  for (const auto& [video, log] : cases) EXPECT_EQ(AlarmLogPath(video), log) << video;
}

// Every kind of path the log can meet: each is refused with its reason by the check and by the
// writer alike, nothing is written through a link, into a FIFO (without waiting for a reader)
// or a device, and a regular file gets the line.
TEST(AlarmLog, OnlyARegularFileIsWritten) {
  const std::string dir = test::TempDir("alarmkinds");
  namespace fs = std::filesystem;
  std::ofstream(dir + "/target.txt") << "target\n";
  fs::create_symlink(dir + "/target.txt", dir + "/link.txt");
  fs::create_symlink(dir + "/nowhere.txt", dir + "/dangling.txt");
  fs::create_directory(dir + "/folder.txt");
  ASSERT_EQ(::mkfifo((dir + "/fifo.txt").c_str(), 0600), 0);
  std::ofstream(dir + "/existing.txt") << "before\r\n";

  struct Case {
    std::string path;
    const char* problem;  // empty: the line is appended
    const char* checked;  // what the check says, when it differs from the writer
  };
  const Case cases[] = {
      {dir + "/existing.txt", "", ""},
      {dir + "/new.txt", "", ""},
      {dir + "/link.txt", "it is a symbolic link", ""},
      {dir + "/dangling.txt", "it is a symbolic link", ""},
      {dir + "/folder.txt", "it is a directory", ""},
      {dir + "/fifo.txt", "it is a FIFO, not a regular file", ""},
      {"/dev/null", "it is a device, not a regular file", ""},
      {dir + "/missing-folder/x.txt", "No such file or directory", ""},
      // No file can be made there, whoever runs the test.
      {"/proc/self/x.txt", "No such file or directory", "cannot create it in /proc/self"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Result checked = CheckAlarmLog(c.path);
    const Result appended = AppendAlarmLine(c.path, 4, 9);
    if (*c.problem == '\0') {
      EXPECT_EQ(checked.message(), "");
      EXPECT_EQ(appended.message(), "");
      continue;
    }
    const std::string prefix = c.path + ": cannot append to the alarm log (";
    EXPECT_EQ(appended.message(), prefix + c.problem + ")");
    EXPECT_EQ(checked.message().rfind(prefix, 0), 0u) << checked.message();
    const char* checkProblem = *c.checked != '\0' ? c.checked : c.problem;
    EXPECT_NE(checked.message().find(checkProblem), std::string::npos) << checked.message();
  }
  EXPECT_EQ(ReadFile(dir + "/existing.txt"), "before\r\nFire alarm at frame # 4 to 9. \r\n");
  EXPECT_EQ(ReadFile(dir + "/new.txt"), "Fire alarm at frame # 4 to 9. \r\n");
  EXPECT_EQ(ReadFile(dir + "/target.txt"), "target\n");
  EXPECT_FALSE(fs::exists(dir + "/nowhere.txt"));
}

// A write that does not reach the disk (here a file-size limit standing in for a full disk) is
// an error, and the interval says so.
TEST(AlarmLog, AFailedWriteIsAnError) {
  const std::string dir = test::TempDir("alarmfull");
  const std::string log = dir + "/full.txt";
  std::ofstream(log) << "0123456789";
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Result appended = AppendAlarmLine(log, 1, 2);
  DetectionState state;
  state.alarmLog = log;
  std::vector<AlarmInterval> reported;
  state.onAlarmInterval = [&](const AlarmInterval& i) { reported.push_back(i); };
  Frame(state, 5, 1);
  Frame(state, 6, 0);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(appended);
  EXPECT_NE(appended.message().find("File too large"), std::string::npos) << appended.message();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_FALSE(reported[0].logged);
  EXPECT_EQ(reported[0].problem, appended.message());
  EXPECT_EQ(ReadFile(log), "0123456789");
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
  EXPECT_EQ(reported[2].problem.rfind("/nonexistent-folder/v.txt: cannot append", 0), 0u);

  // A log path of its own replaces the video's.
  state.alarmLog = dir + "/own.txt";
  Frame(state, 400, 1);
  Frame(state, 402, 0);
  EXPECT_EQ(ReadFile(dir + "/own.txt"), "Fire alarm at frame # 400 to 402. \r\n");
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

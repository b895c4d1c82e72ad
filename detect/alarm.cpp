#include "detect/alarm.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/data_files.h"

namespace fw {

int RecordingAlarmSound::Count(Request request) const {
  return static_cast<int>(
      std::count_if(log.begin(), log.end(), [&](const Entry& e) { return e.request == request; }));
}

void UpdateAlarmSound(DetectionState& state) {
  if (state.alarmFlag == 1) {
    if (state.soundLooping == 1) return;
    if (state.sound) state.sound->StartLoop(FindDataFile(kAlarmSoundFile));
    state.soundLooping = 1;
    return;
  }
  if (state.sound) state.sound->Stop();
  state.soundLooping = 0;
}

std::string AlarmLogPath(const std::string& videoPath) {
  if (videoPath.empty()) return "txt";
  const size_t n = videoPath.size();
  if (n >= 4 && videoPath[n - 4] == '.') {
    std::string ext = videoPath.substr(n - 3);
    const bool plain = ext.find_first_of("./") == std::string::npos;
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (plain && ext != "txt") return videoPath.substr(0, n - 3) + "txt";
  }
  return videoPath + ".txt";
}

namespace {

Result LogProblem(const std::string& path, const std::string& problem) {
  return Result::Error(path + ": cannot append to the alarm log (" + problem + ")");
}

// What stands at the path instead of a regular file.
std::string NotRegular(mode_t mode) {
  if (S_ISLNK(mode)) return "it is a symbolic link";
  if (S_ISDIR(mode)) return "it is a directory";
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "it is not a regular file";
}

// Opens the log for appending: no link followed, no wait on a FIFO (O_NONBLOCK), nothing but a
// regular file kept. -1 with the problem set otherwise.
int OpenLog(const std::string& path, bool create, std::string& problem) {
  const int flags =
      O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    struct stat st {};
    const int error = errno;
    problem = ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) ? NotRegular(st.st_mode)
                                                                      : std::strerror(error);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    problem = NotRegular(st.st_mode);
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

Result CheckAlarmLog(const std::string& path) {
  std::string problem;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    const int fd = OpenLog(path, false, problem);
    if (fd < 0) return LogProblem(path, problem);
    ::close(fd);
    return Result::Ok();
  }
  if (errno != ENOENT) return LogProblem(path, std::strerror(errno));
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return LogProblem(path, "cannot create it in " + folder + ": " + std::strerror(errno));
  }
  return Result::Ok();
}

Result AppendAlarmLine(const std::string& path, int start, int end) {
  char line[96];
  const int n =
      std::snprintf(line, sizeof line, "Fire alarm at frame # %d to %d. \r\n", start, end);
  std::string problem;
  const int fd = OpenLog(path, true, problem);
  if (fd < 0) return LogProblem(path, problem);
  ssize_t written = 0;
  do {
    written = ::write(fd, line, static_cast<size_t>(n));
  } while (written < 0 && errno == EINTR);
  const int writeError = errno;
  const bool closed = ::close(fd) == 0;
  if (written != n) {
    return LogProblem(path, written < 0 ? std::strerror(writeError) : "the disk is full");
  }
  if (!closed) return LogProblem(path, std::strerror(errno));
  return Result::Ok();
}

std::string AlarmLogOf(const DetectionState& state) {
  return state.alarmLog.empty() ? AlarmLogPath(state.videoPath) : state.alarmLog;
}

namespace {

void WriteInterval(DetectionState& state, int endFrame) {
  AlarmInterval interval{state.alarmStartFrame, endFrame, false, {}};
  if (state.alarmLogEnabled) {
    const Result appended = AppendAlarmLine(AlarmLogOf(state), state.alarmStartFrame, endFrame);
    interval.logged = appended.ok();
    interval.problem = appended.message();
  }
  state.alarmLogging = false;
  if (state.onAlarmInterval) state.onAlarmInterval(interval);
}

}  // namespace

void LogAlarmInterval(DetectionState& state) {
  if (state.alarmFlag == 1 && !state.alarmLogging) {
    state.alarmStartFrame = state.frameNumber;
    state.alarmLogging = true;
  } else if (state.alarmFlag == 0 && state.alarmLogging) {
    WriteInterval(state, state.frameNumber);
  }
}

void CloseOpenAlarmInterval(DetectionState& state, int endFrame) {
  if (state.alarmLogging) WriteInterval(state, endFrame);
}

void ClearAlarmFlag(DetectionState& state) {
  state.alarmFlag = 0;
}

void ClearAlarmState(DetectionState& state) {
  state.alarmFlag = 0;
  state.alarmLogging = false;
}

int AlarmPicture::Advance(bool alarm) {
  if (!alarm) return 0;
  const int shown = frameIndex_ + 1;
  frameIndex_ = (frameIndex_ + 1) % kFrameCount;
  return shown;
}

std::string AlarmPicture::FileName(int picture) {
  char name[32];
  std::snprintf(name, sizeof name, "FireAlarm%02d.bmp", picture + 1);
  return name;
}

}  // namespace fw

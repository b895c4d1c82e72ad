#include "detect/alarm.h"

#include <algorithm>
#include <cstdio>

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
  const size_t keep = videoPath.size() >= 3 ? videoPath.size() - 3 : 0;
  return videoPath.substr(0, keep) + "txt";
}

namespace {

// Appends one whole line and flushes it, so an interrupted run loses no reported interval.
// Returns whether the line was written.
bool AppendLogLine(const std::string& path, int start, int end) {
  char line[96];
  const int n = std::snprintf(line, sizeof line, "Fire alarm at frame # %d to %d. \r\n", start, end);
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return false;
  const bool written = std::fwrite(line, 1, static_cast<size_t>(n), f) == static_cast<size_t>(n);
  return std::fclose(f) == 0 && written;
}

void WriteInterval(DetectionState& state, int endFrame) {
  const bool logged = state.alarmLogEnabled &&
                      AppendLogLine(AlarmLogPath(state.videoPath), state.alarmStartFrame, endFrame);
  state.alarmLogging = false;
  if (state.onAlarmInterval) {
    state.onAlarmInterval(AlarmInterval{state.alarmStartFrame, endFrame, logged});
  }
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

void ClearAlarmFlag(DetectionState& state) { state.alarmFlag = 0; }

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

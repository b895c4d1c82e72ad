// The alarm: the looping sound that follows the alarm flag, the alarm log that gets one line per
// alarm interval beside the video, and the state of the animated alarm picture.
#pragma once

#include <string>
#include <vector>

#include "core/result.h"
#include "detect/detection_state.h"

namespace fw {

// Plays the alarm sound. The desktop loops "kdz.wav"; headless runs record the requests.
class AlarmSound {
 public:
  virtual ~AlarmSound() = default;
  virtual void StartLoop(const std::string& path) = 0;  // asynchronous, looping
  virtual void PlayOnce(const std::string& path) = 0;   // asynchronous, once
  virtual void Stop() = 0;                              // stops any playing sound
};

// A silent player that remembers what it was asked to do.
class RecordingAlarmSound : public AlarmSound {
 public:
  enum class Request { StartLoop, PlayOnce, Stop };
  struct Entry {
    Request request;
    std::string path;
  };
  void StartLoop(const std::string& path) override { log.push_back({Request::StartLoop, path}); }
  void PlayOnce(const std::string& path) override { log.push_back({Request::PlayOnce, path}); }
  void Stop() override { log.push_back({Request::Stop, {}}); }
  int Count(Request request) const;

  std::vector<Entry> log;
};

inline constexpr const char* kAlarmSoundFile = "kdz.wav";

// Starts the looping sound on the first alarm frame; stops it on every frame without alarm.
void UpdateAlarmSound(DetectionState& state);

// Log file of a video. A name that ends in "." and three characters other than "txt" (any case)
// loses those three characters and takes "txt" (/v/a.avi -> /v/a.txt); any other name logs to
// its full path followed by ".txt" (clip.ts -> clip.ts.txt, x.txt -> x.txt.txt), so that the
// log is never the video itself. With no video the log is "txt".
std::string AlarmLogPath(const std::string& videoPath);

// The alarm log writer. The log is opened without following a symbolic link and only as a
// regular file: a link, a FIFO, a device or a folder at the path is refused, never written
// through or waited on. Messages name the log and the problem.
//
// Whether lines can be appended at `path` (an existing regular file that opens for appending,
// or a folder in which it can be created), without writing anything.
Result CheckAlarmLog(const std::string& path);
// Appends "Fire alarm at frame # S to E. \r\n" as one write and closes the file, so that an
// interrupted run loses no line it reported. A short write (a full disk) is an error.
Result AppendAlarmLine(const std::string& path, int start, int end);
// Where the state's alarm lines go: its own log path when set, else the video's log.
std::string AlarmLogOf(const DetectionState& state);

// Opens an interval on the first alarm frame; writes "Fire alarm at frame # S to E. \r\n" on the
// first frame after it. Called once per frame, for every mode.
void LogAlarmInterval(DetectionState& state);

// Closes an interval still open after the last frame of a batch run, as if the alarm had dropped
// on frame `endFrame`. Does nothing when no interval is open.
void CloseOpenAlarmInterval(DetectionState& state, int endFrame);

// Clears the alarm flag (open, stop, detection start). The interval then ends on the next frame.
void ClearAlarmFlag(DetectionState& state);
// Clears both the alarm flag and the open interval (menu mode selections): nothing is logged.
void ClearAlarmState(DetectionState& state);

// The animated alarm picture: an idle picture and four alarm frames. Each draw while the alarm
// is on shows the current frame and advances the index; with the alarm off the idle picture shows.
class AlarmPicture {
 public:
  static constexpr int kFrameCount = 4;
  // Picture number to show (0 idle, 1..4 the alarm frames "FireAlarm02".."FireAlarm05"), and
  // advances the animation when the alarm is on.
  int Advance(bool alarm);
  int FrameIndex() const { return frameIndex_; }

  // "FireAlarm01.bmp" .. "FireAlarm05.bmp".
  static std::string FileName(int picture);

 private:
  int frameIndex_ = 0;
};

}  // namespace fw

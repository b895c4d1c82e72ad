// Online mode of the session: the capture source's start and stop sequences, the live frames
// into the pipeline, and what the source reports.
#include <ctime>

#include "app/session.h"
#include "core/colour.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "detect/alarm.h"
#include "detect/dispatch.h"

namespace fw {

namespace {

// The frame count while online: the slider's range.
constexpr int kOnlineFrameCount = 100000000;

std::tm Today() {
  const std::time_t now = std::time(nullptr);
  std::tm date{};
  localtime_r(&now, &date);
  return date;
}

}  // namespace

void Session::FitImagesToFrame(int width, int height) {
  for (Dib* image :
       {&state_.panes.topRight(), &state_.panes.bottomLeft(), &state_.panes.bottomRight(),
        &state_.background.previousFrame, &state_.background.greyWork}) {
    if (image->Width() != width || image->HeaderHeight() != height) {
      image->CreateSigned(width, height, 24, false);
    }
  }
}

bool Session::ToggleOnline() {
  if (state_.online) {
    StopCapture();
  } else {
    StartCapture();
  }
  return state_.online;
}

bool Session::StartCapture() {
  if (!state_.online) {
    // The video gives way: its loop ends, an open interval ends in its log where it stopped,
    // and its position is kept for the return.
    if (loopExists_) ExchangeLoopState(LoopState::Stop);
    loopExists_ = false;
    CloseOpenAlarmInterval(state_, currentFrame_);
    offlineFrame_ = currentFrame_;
    offlineLastRead_ = lastReadFrame_;
  }
  capture_.Close();
  state_.online = true;
  state_.captureFrame = capture_.Buffer();
  sceneMask_.ResetReference();  // the live picture is another scene than the video's
  state_.panes.topLeft().CreateSigned(kCaptureWidth, kCaptureHeight, 24, false);
  FitImagesToFrame(kCaptureWidth, kCaptureHeight);
  currentFrame_ = 0;
  lastReadFrame_ = 0;
  state_.frameNumber = 0;
  alarmIntervals_.clear();
  ++alarmIntervalsVersion_;

  // The card's initialisation and channel; on failure the session stays online without one.
  if (const Result opened = capture_.Open(); !opened) {
    ReportCaptureFailure(opened);
    return false;
  }
  // A live source has no path to name its log after: the log lies in the start directory.
  state_.alarmLog = StartDirectory() + LiveAlarmLogName(capture_.SourceName(), Today());
  if (const Result started = capture_.Start(static_cast<int>(frameRate_)); !started) {
    ReportCaptureFailure(started);
    return false;
  }
  ClearAlarmFlag(state_);
  state_.mode = nullptr;
  InitYuvTables();
  return true;
}

void Session::StopCapture() {
  capture_.Close();
  if (!state_.online) return;
  CloseOpenAlarmInterval(state_, currentFrame_);
  ClearAlarmFlag(state_);
  state_.online = false;
  sceneMask_.ResetReference();
  state_.alarmLog.clear();
  alarmIntervals_.clear();
  ++alarmIntervalsVersion_;
  // The video that was open comes back where it was.
  currentFrame_ = offlineFrame_;
  if (source_->FrameCount() > 0) {
    state_.panes.topLeft().CreateSigned(source_->Width(), source_->Height(), 24, false);
    ReadFrame(offlineLastRead_);
    state_.frameNumber = offlineLastRead_;
    FitImagesToFrame(source_->Width(), source_->Height());
  }
}

bool Session::StartCaptureStream() {
  if (!capture_.IsOpen()) {
    if (const Result opened = capture_.Open(); !opened) {
      ReportCaptureFailure(opened);
      return false;
    }
    state_.alarmLog = StartDirectory() + LiveAlarmLogName(capture_.SourceName(), Today());
  }
  if (const Result started = capture_.Start(static_cast<int>(frameRate_)); !started) {
    ReportCaptureFailure(started);
    return false;
  }
  return true;
}

// --- live frames -------------------------------------------------------------------------------

void Session::RunLiveFrame() {
  // The frame pane may have been given a picture meanwhile: the live frame has its own size.
  EnsureFrameFormat(state_.panes.topLeft(), kCaptureWidth, kCaptureHeight, 24);
  // The modes that follow the luminance plane while online see the mask there too.
  sceneMask_.ApplyLuminance(capture_.MutableBuffer(), kCaptureWidth, kCaptureHeight);
  Yuv420ToRgb(capture_.Buffer(), state_.panes.topLeft(), true);
  ProcessFrame();
}

bool Session::ProcessCaptureFrame() {
  if (!state_.online || !capture_.TakeFrame()) return false;
  RunLiveFrame();
  return true;
}

LiveWait Session::RunCaptureFrame(LiveCapture::Clock::time_point deadline) {
  if (!state_.online) return LiveWait::Finished;
  const LiveWait wait = capture_.WaitFrame(deadline);
  if (wait == LiveWait::Frame) RunLiveFrame();
  return wait;
}

// --- reports -----------------------------------------------------------------------------------

bool Session::HandleCaptureReports() {
  bool any = false;
  CaptureStatus status;
  while (capture_.PopReport(status)) {
    ReportCapture(status);
    any = true;
  }
  return any;
}

void Session::ReportCapture(const CaptureStatus& status) {
  if (captureReporter_) {
    captureReporter_(status);
    return;
  }
  CurrentUiSink().Status(StatusField::Message, status.text);
  // A failure the user asked for by switching capture off while it connected is no news.
  if (status.event != CaptureEvent::Ended || capture_.Cancelled()) return;
  // The simulated card's failure is the card's initialisation failure, with its own message.
  const std::string_view box =
      status.fault == CaptureFault::CardInit ? kCardInitMessage : std::string_view(status.text);
  CurrentUiSink().Message(box, "", MessageButtons::Ok);
}

void Session::ReportCaptureFailure(const Result& failure) {
  ReportCapture({CaptureEvent::Ended, capture_.Fault(), failure.message()});
}

void Session::FillCaptureValues(Snapshot& snapshot) const {
  if (!state_.online) {
    snapshot.captureStreaming = false;
    return;
  }
  snapshot.frameCount = kOnlineFrameCount;
  snapshot.fileFrameRate = 0.0;  // live frames have no time in a file
  snapshot.videoWidth = kCaptureWidth;
  snapshot.videoHeight = kCaptureHeight;
  snapshot.captureSource = capture_.SourceName();
  snapshot.captureStreaming = capture_.IsStreaming();
  snapshot.captureRate = capture_.MeasuredRate();
  snapshot.captureDropped = capture_.Counts().dropped;
}

}  // namespace fw

#include "app/session.h"

#include "detect/alarm.h"
#include "detect/background_modes.h"
#include "detect/dispatch.h"

namespace fw {

Session::Session(AlarmSound* sound) { state_.sound = sound; }

// --- video -----------------------------------------------------------------------------------

bool Session::Open(const std::string& path, bool quiet) {
  ClearAlarmFlag(state_);
  source_ = &reader_;
  const bool opened = reader_.OpenInto(path, state_.panes.topLeft(),
                                       quiet ? OpenReport::Quiet : OpenReport::MessageBox);
  reader_.SetPath(path);
  state_.videoPath = path;
  AfterOpen();
  return opened;
}

void Session::OpenFrames(FrameSource& frames) {
  ClearAlarmFlag(state_);
  source_ = &frames;
  state_.panes.topLeft().CreateSigned(frames.Width(), frames.Height(), 24, false);
  AfterOpen();
}

void Session::AfterOpen() {
  currentFrame_ = 0;
  source_->GetFrame(0, state_.panes.topLeft());
  // The result panes and the history images follow the video's size.
  const int w = source_->Width();
  const int h = source_->Height();
  for (Dib* image : {&state_.panes.topRight(), &state_.panes.bottomLeft(),
                     &state_.panes.bottomRight(), &state_.previousFrame, &state_.greyWork}) {
    if (image->Width() != w || image->HeaderHeight() != h) image->CreateSigned(w, h, 24, false);
  }
  state_.mode = 0;
  state_.frameNumber = 0;
}

bool Session::OpenAndPlay(const std::string& path) {
  const bool opened = Open(path);
  Start();
  return opened;
}

void Session::Seek(int frame) { currentFrame_ = frame; }

bool Session::ReadFrame(int index) { return source_->GetFrame(index, state_.panes.topLeft()); }

// --- playback loop ---------------------------------------------------------------------------

bool Session::Start() {
  if (loopExists_) return false;
  ExchangeLoopState(LoopState::Run);
  frameInterval_ = 1.0 / frameRate_;
  loopExists_ = true;
  return true;
}

void Session::Stop() {
  ClearAlarmFlag(state_);
  if (loopExists_) ExchangeLoopState(LoopState::Stop);
}

LoopState Session::ExchangeLoopState(LoopState state) {
  const LoopState old = loopState_;
  loopState_ = state;
  return old;
}

void Session::EndLoopIfStopped() {
  if (loopExists_ && loopState_ == LoopState::Stop) loopExists_ = false;
}

bool Session::SetFrameRate(float framesPerSecond) {
  if (!(framesPerSecond >= 0.001f && framesPerSecond <= 200.0f)) return false;
  frameRate_ = framesPerSecond;
  frameInterval_ = 1.0 / framesPerSecond;
  return true;
}

// --- modes -----------------------------------------------------------------------------------

bool Session::SelectMode(int mode) {
  bool known = false;
  WithLoopHeld([&] { known = fw::SelectMode(state_, mode); });
  return known;
}

void Session::CommitThreshold(int threshold) {
  WithLoopHeld([&] { CommitDifferenceThreshold(state_, threshold); });
}

void Session::CommitGaussThreshold(float threshold) {
  WithLoopHeld([&] { fw::CommitGaussThreshold(state_, threshold); });
}

void Session::SetDisplayChoice(int choice) { fw::SetDisplayChoice(state_, choice); }

void Session::SetPostProcessing(bool on) {
  WithLoopHeld([&] { fw::SetPostProcessing(state_, on); });
}

void Session::SetColourTrim(bool on) { fw::SetColourTrim(state_, on); }

void Session::SetColourTesting(bool on) { fw::SetColourTesting(state_, on); }

// --- frames ----------------------------------------------------------------------------------

FrameRead Session::ReadNextFrame() {
  if (state_.online) return FrameRead::Online;
  Dib& frame = state_.panes.topLeft();
  FrameRead result = FrameRead::Read;
  if (!source_->GetFrame(currentFrame_, frame)) {
    // Past the end of the file: play it again from the start.
    currentFrame_ = 0;
    result = source_->GetFrame(0, frame) ? FrameRead::Wrapped : FrameRead::Failed;
  }
  return result;
}

FrameRead Session::ProcessFrame() {
  // 1. Per-frame flags.
  state_.modelDisplayFlag = 1;
  state_.keyColour = {0, 0, 0};
  state_.regionFlag = 0;
  // 2. The frame into the top-left pane.
  const FrameRead read = ReadNextFrame();
  state_.frameNumber = currentFrame_;
  // 3. The classical modes and the alarm sound.
  RunDetectionStep(state_);
  // 4-7. Auxiliary operation (histogram, snake), top-left analysis, background-model display
  //      and the wavelet view.
  if (state_.backgroundModel) ModelPostStep(state_);
  // 8. The control panel reads its values from the published snapshot.
  // 9. Bottom-right operation.
  // 10. Circle intensity of the 2-D spectrum.
  // 11. The four panes are shown.
  if (snapshotTarget_) CapturePanes(*snapshotTarget_);
  // 12. Engines, classifier modes and the alarm log.
  RunEngineStep(state_);
  // 13. The display dialog redraws its picture.
  if (snapshotTarget_ && displayDialogShown_) snapshotTarget_->display.CopyFrom(state_.panes.display, false);
  // 14-15. HSV plane of the top-left picture; colour picking under the mouse.
  // 16. Next frame.
  ++currentFrame_;
  // 17-18. End-of-frame steps of the wavelet view and of the current mode.
  RunEndOfFrame(state_);
  return read;
}

// --- snapshots -------------------------------------------------------------------------------

void Session::CapturePanes(Snapshot& snapshot) const {
  for (int i = 0; i < kPaneCount; ++i) snapshot.panes[i].CopyFrom(state_.panes.image[i], false);
}

void Session::FillControlValues(Snapshot& snapshot) const {
  snapshot.frameNumber = state_.frameNumber;
  snapshot.frameCount = source_->FrameCount();
  snapshot.videoWidth = source_->Width();
  snapshot.videoHeight = source_->Height();
  snapshot.videoPath = reader_.Path();
  snapshot.mode = state_.mode;
  snapshot.alarmFlag = state_.alarmFlag;
  snapshot.loopState = loopState_;
  snapshot.loopExists = loopExists_;
  snapshot.frameRate = frameRate_;
  snapshot.threshold = state_.threshold;
  snapshot.gaussThreshold = state_.gaussThreshold;
  snapshot.displayChoice = state_.displayChoice;
}

void Session::FillSnapshot(Snapshot& snapshot) const {
  CapturePanes(snapshot);
  snapshot.display.CopyFrom(state_.panes.display, false);
  FillControlValues(snapshot);
}

}  // namespace fw

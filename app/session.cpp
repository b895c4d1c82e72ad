#include "app/session.h"

#include <algorithm>
#include <new>

#include "app/commands.h"
#include "app/memory_budget.h"
#include "app/mode_table.h"
#include "core/colour.h"
#include "core/difference.h"
#include "core/gradient.h"
#include "core/image_file.h"
#include "core/pseudo_colour.h"
#include "core/ui_sink.h"
#include "core/wavelet.h"
#include "detect/alarm.h"
#include "detect/background/background_model.h"
#include "detect/background/background_modes.h"
#include "detect/dispatch.h"
#include "detect/smoke/smoke_flame_detector.h"

namespace fw {

Session::Session(AlarmSound* sound) : memoryBudget_(DefaultMemoryBudget()) {
  state_.sound = sound;
}

// --- video -----------------------------------------------------------------------------------

Result Session::Open(const std::string& path, bool quiet) {
  ClearAlarmFlag(state_);
  source_ = &reader_;
  Result opened = reader_.OpenInto(path, state_.panes.topLeft(),
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
  for (Dib* image :
       {&state_.panes.topRight(), &state_.panes.bottomLeft(), &state_.panes.bottomRight(),
        &state_.background.previousFrame, &state_.background.greyWork}) {
    if (image->Width() != w || image->HeaderHeight() != h) image->CreateSigned(w, h, 24, false);
  }
  state_.mode = nullptr;
  state_.frameNumber = 0;
}

bool Session::OpenAndPlay(const std::string& path) {
  const bool opened = Open(path).ok();
  // The caption follows the reader, also after a failed open (its numbers stay the old file's).
  captionFrameCount_ = source_->FrameCount();
  Start();
  return opened;
}

bool Session::OpenForDetection(const std::string& path) {
  ClearAlarmState(state_);
  const bool opened = Open(path).ok();
  Start();
  return opened;
}

void Session::Seek(int frame) {
  currentFrame_ = frame;
}

bool Session::ReadFrame(int index) {
  return source_->GetFrame(index, state_.panes.topLeft());
}

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

bool Session::SelectMode(ModeId mode) {
  const ModeInfo* info = FindMode(mode);
  if (!info) return false;
  // Choosing the current mode from the menu switches it off: that builds nothing.
  const bool switchingOff = info->command == ModeCommand::Menu && state_.mode == info;
  if (const Result fits = CheckMemory(mode); !switchingOff && !fits) {
    CurrentUiSink().Message(fits.message(), "", MessageButtons::Ok);
    return false;
  }
  bool built = true;
  WithLoopHeld([&] {
    try {
      fw::SelectMode(state_, *info);
    } catch (const std::bad_alloc&) {
      ReleaseModeObjects();
      built = false;
    }
  });
  if (!built) {
    const Dib& frame = state_.panes.topLeft();
    CurrentUiSink().Message("Out of memory: mode " + std::to_string(info->number()) + " (" +
                                info->label + ") could not be built for " +
                                std::to_string(frame.Width()) + " x " +
                                std::to_string(frame.Height()) + " frames",
                            "", MessageButtons::Ok);
  }
  return built;
}

Result Session::CheckMemory(ModeId mode) const {
  const ModeInfo* info = FindMode(mode);
  if (!info) return Result::Error("unknown mode " + std::to_string(ModeNumber(mode)));
  const Dib& frame = state_.panes[PaneId::TopLeft];
  return CheckModeMemory(*info, state_, frame.Width(), frame.Height(), memoryBudget_);
}

void Session::ReleaseModeObjects() {
  ClearAlarmState(state_);
  state_.mode = nullptr;
  state_.background.model.reset();
  state_.smoke.detector.reset();
}

Result Session::SetParameter(ModeId mode, std::string_view assignment) {
  const std::string_view name = assignment.substr(0, assignment.find('='));
  if (FindParam(ControlFields(), name)) return SetParam(ControlFields(), state_, assignment);
  const ModeInfo* info = FindMode(mode);
  return SetParam(info ? info->params : std::span<const ParamField>(), state_, assignment);
}

void Session::PickPicturePoint(int x, int y) {
  if (!state_.mode || !state_.mode->pointPicked) return;
  const Dib& picture = state_.panes.topLeft();
  state_.mode->pointPicked(state_, std::clamp(x, 0, std::max(picture.Width() - 1, 0)),
                           std::clamp(y, 0, std::max(picture.Height() - 1, 0)));
}

void Session::CommitThreshold(int threshold) {
  WithLoopHeld([&] { CommitDifferenceThreshold(state_, threshold); });
}

void Session::CommitGaussThreshold(float threshold) {
  WithLoopHeld([&] { fw::CommitGaussThreshold(state_, threshold); });
}

void Session::SetDisplayChoice(int choice) {
  fw::SetDisplayChoice(state_, choice);
}

void Session::SetPostProcessing(bool on) {
  WithLoopHeld([&] { fw::SetPostProcessing(state_, on); });
}

void Session::SetColourTrim(bool on) {
  fw::SetColourTrim(state_, on);
}

void Session::SetColourTesting(bool on) {
  fw::SetColourTesting(state_, on);
}

// --- pane commands -------------------------------------------------------------------------

void Session::SelectBottomRightOperation(int operation) {
  if (operation != cmd::kBottomRightGrad && operation != cmd::kBottomRightDifference) return;
  if (bottomRightOperation_ == operation) {
    bottomRightOperation_ = 0;
    return;
  }
  bottomRightOperation_ = operation;
  RunBottomRightOperation();
}

void Session::RunBottomRightOperation() {
  Panes& panes = state_.panes;
  if (bottomRightOperation_ == cmd::kBottomRightGrad) {
    SobelMagnitude(panes.topRight(), panes.bottomRight());
  } else if (bottomRightOperation_ == cmd::kBottomRightDifference) {
    // Two-frame difference of the bottom-right pane into the top-right pane. The operation keeps
    // its own previous frame: the modes' previous-frame image holds their history and may have
    // another format.
    Dib& current = panes.bottomRight();
    if (current.GetBitCount() != 8 && current.GetBitCount() != 24) return;
    if (!bottomRightPrevious_.SameFormat(current) ||
        bottomRightPrevious_.Stride() != current.Stride()) {
      bottomRightPrevious_.CopyFrom(current, false);
    }
    Dib& target = panes.topRight();
    if (!target.SameFormat(current.Width(), current.Height(), 8)) {
      target.CreateSigned(current.Width(), current.HeaderHeight(), 8, false);
    }
    DifferenceMask(target, current, bottomRightPrevious_, state_.threshold);
    bottomRightPrevious_.SwapPixels(current);
  }
}

void Session::ToggleTopLeftGrad() {
  topLeftGrad_ = !topLeftGrad_;
  if (topLeftGrad_) SobelMagnitude(state_.panes.topLeft(), state_.panes.bottomRight());
}

void Session::ToggleBottomLeftGrads() {
  bottomLeftGrads_ = !bottomLeftGrads_;
  if (bottomLeftGrads_) GradientMagnitude(state_.panes.bottomLeft(), state_.panes.bottomRight(), 0);
}

bool Session::WaveletTransformOnce() {
  Dib& frame = state_.panes.topLeft();
  const int bits = frame.GetBitCount();
  if (bits != 8 && bits != 24) return false;
  constexpr int kLevels = 3;
  Dib& transform = state_.panes.topRight();
  Dib& reconstruction = state_.panes.bottomLeft();
  for (Dib* pane : {&transform, &reconstruction}) {
    if (!pane->SameFormat(frame) || pane->HeaderHeight() != frame.HeaderHeight()) {
      pane->CreateSigned(frame.Width(), frame.HeaderHeight(), bits, false);
    }
  }
  if (!FloatWavelet(frame, kLevels, &transform)) return false;
  return FloatWaveletInverse(frame, kLevels, &reconstruction);
}

int Session::AutoThreshold() {
  const Dib& pane = state_.panes.topRight();
  const int w = pane.Width();
  const int h = pane.Height();
  const int64_t n = static_cast<int64_t>(w) * h;
  const int bits = pane.GetBitCount();
  if (n == 0 || (bits != 8 && bits != 24)) return state_.threshold;
  int64_t sum = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = pane.Row(y);
    int64_t rowSum = 0;
    if (bits == 24) {
      for (int x = 0; x < w; ++x) rowSum += 11 * p[3 * x] + 59 * p[3 * x + 1] + 30 * p[3 * x + 2];
    } else {
      for (int x = 0; x < w; ++x) rowSum += p[x];
    }
    sum += rowSum;
  }
  const int64_t level = bits == 24 ? 10 * sum / (100 * n) : 10 * sum / n;
  state_.threshold = static_cast<int>(std::min<int64_t>(level, 100));
  return state_.threshold;
}

namespace {

constexpr const char* kNoView = "No view specified!";

}  // namespace

bool Session::OpenPicture(int view, const std::string& path) {
  if (view < -1 || view >= kPaneCount) {
    CurrentUiSink().Message(kNoView, "", MessageButtons::Ok);
    return false;
  }
  Dib& pane = state_.panes.image[std::max(view, 0)];
  const Result read = OpenImageFile(pane, path);
  if (!read) {
    // A problem the loader has shown already (a system message) is not shown twice.
    if (!read.reported()) CurrentUiSink().Message(read.message(), "", MessageButtons::Ok);
    return false;
  }
  if (view <= 0) {
    AllocHsvPlane(pane);
    ComputeHsvPlane(pane);
  }
  return true;
}

bool Session::SavePicture(int view, const std::string& path) const {
  if (view < 0 || view >= kPaneCount) {
    CurrentUiSink().Message(kNoView, "", MessageButtons::Ok);
    return false;
  }
  const Result written = SaveImageAs(state_.panes.image[view], path);
  if (!written) {
    CurrentUiSink().Message(written.message(), "", MessageButtons::Ok);
    return false;
  }
  return true;
}

void Session::ApplyPseudoColour(int scheme) {
  fw::ApplyPseudoColour(state_.panes.bottomRight(), scheme);
}

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
  RunPipeline(state_, *this);
  return lastRead_;
}

void Session::ReadFrame(DetectionState& state) {
  lastRead_ = ReadNextFrame();
  state.frameNumber = currentFrame_;
}

void Session::RunPaneOperations(DetectionState&) {
  RunBottomRightOperation();
}

void Session::ShowPanes(const DetectionState&) {
  if (snapshotTarget_) CapturePanes(*snapshotTarget_);
}

void Session::ShowDisplay(const DetectionState& state) {
  if (snapshotTarget_ && displayDialogShown_)
    snapshotTarget_->display.CopyFrom(state.panes.display, false);
}

void Session::AdvanceFrame(DetectionState&) {
  ++framesProcessed_;
  ++currentFrame_;
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
  snapshot.mode = state_.Mode();
  snapshot.alarmFlag = state_.alarmFlag;
  snapshot.loopState = loopState_;
  snapshot.loopExists = loopExists_;
  snapshot.frameRate = frameRate_;
  snapshot.threshold = state_.threshold;
  snapshot.gaussThreshold = state_.gaussThreshold;
  snapshot.displayChoice = state_.displayChoice;
  snapshot.captionFrameCount = captionFrameCount_;
  snapshot.online = state_.online;
  snapshot.bottomRightOperation = bottomRightOperation_;
  snapshot.topLeftGrad = topLeftGrad_;
  snapshot.bottomLeftGrads = bottomLeftGrads_;
  snapshot.colourTesting = state_.background.params.colourTesting;
  snapshot.postProcessing = state_.background.params.postProcessing;
  snapshot.colourTrim = state_.background.params.colourTrim;
  snapshot.framesProcessed = framesProcessed_;
  FillOverlays(state_, snapshot.overlays);
}

void Session::FillSnapshot(Snapshot& snapshot) const {
  CapturePanes(snapshot);
  snapshot.display.CopyFrom(state_.panes.display, false);
  FillControlValues(snapshot);
}

}  // namespace fw

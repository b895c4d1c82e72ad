#include "app/session.h"

#include <algorithm>
#include <new>

#include "app/analysis_commands.h"
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
#include "detect/wavelet_view.h"
#include "workbench/auxiliary_operations.h"
#include "workbench/top_left_operations.h"

namespace fw {

namespace {

// Alarm intervals the list keeps without allocating on a frame.
constexpr size_t kReservedIntervals = 1024;

}  // namespace

Session::Session(AlarmSound* sound) : memoryBudget_(DefaultMemoryBudget()) {
  state_.sound = sound;
  alarmIntervals_.reserve(kReservedIntervals);
  // The run's intervals, for the desktop's list; a caller that installs its own hook (the
  // command-line tool) takes them over.
  state_.onAlarmInterval = [this](const AlarmInterval& interval) { RecordAlarmInterval(interval); };
}

void Session::RecordAlarmInterval(const AlarmInterval& interval) {
  alarmIntervals_.push_back(interval);
  ++alarmIntervalsVersion_;
}

// --- video -----------------------------------------------------------------------------------

Result Session::Open(const std::string& path, bool quiet) {
  return OpenVideo(path, quiet, OpenInterval::Log);
}

Result Session::OpenVideo(const std::string& path, bool quiet, OpenInterval openInterval) {
  AviReader candidate;
  if (Result opened = candidate.Open(path, OpenReport::Quiet); !opened) {
    lastOpenError_ = opened.message();
    if (quiet) return opened;
    CurrentUiSink().Message("Avi Error!\n" + lastOpenError_, "Kestrin", MessageButtons::OkCancel);
    return Result::Reported(lastOpenError_);
  }
  lastOpenError_.clear();
  // A video opened while online takes the frame pane back from the capture.
  if (state_.online) StopCapture();
  // An interval still open belongs to the old video: it ends where that video stopped.
  if (openInterval == OpenInterval::Log) {
    CloseOpenAlarmInterval(state_, currentFrame_);
  } else {
    ClearAlarmState(state_);
  }
  ClearAlarmFlag(state_);
  reader_ = std::move(candidate);
  reader_.SetPath(path);
  source_ = &reader_;
  state_.panes.topLeft().CreateSigned(reader_.Width(), reader_.Height(), 24, false);
  state_.videoPath = path;
  alarmIntervals_.clear();
  ++alarmIntervalsVersion_;
  AfterOpen();
  return Result::Ok();
}

void Session::OpenFrames(FrameSource& frames) {
  ClearAlarmFlag(state_);
  source_ = &frames;
  state_.panes.topLeft().CreateSigned(frames.Width(), frames.Height(), 24, false);
  AfterOpen();
}

void Session::AfterOpen() {
  currentFrame_ = 0;
  lastReadFrame_ = 0;
  framePaneHoldsVideo_ = true;
  source_->GetFrame(0, state_.panes.topLeft());
  FitImagesToFrame(source_->Width(), source_->Height());
  state_.mode = nullptr;
  state_.frameNumber = 0;
  sceneMask_.ResetReference();  // the new video's first frame is the masked parts' background
}

bool Session::OpenAndPlay(const std::string& path) {
  if (!Open(path)) return false;
  captionFrameCount_ = source_->FrameCount();
  Start();
  return true;
}

bool Session::OpenForDetection(const std::string& path) {
  if (!OpenVideo(path, false, OpenInterval::Drop)) return false;
  Start();
  return true;
}

double Session::FileFrameRate() const {
  return source_ == &reader_ ? reader_.FramesPerSecond() : 0.0;
}

void Session::Seek(int frame) {
  if (state_.online) return;  // live frames come as they come
  if (frame != currentFrame_) CloseOpenAlarmInterval(state_, currentFrame_);
  currentFrame_ = frame;
}

bool Session::ReadFrame(int index) {
  if (!source_->GetFrame(index, state_.panes.topLeft())) return false;
  lastReadFrame_ = index;
  framePaneHoldsVideo_ = true;
  return true;
}

void Session::RestoreFramePane() {
  if (state_.online || !framePaneHoldsVideo_) return;
  source_->GetFrame(lastReadFrame_, state_.panes.topLeft());
}

// --- playback loop ---------------------------------------------------------------------------

bool Session::Start() {
  if (state_.online) return StartCaptureStream();
  if (loopExists_) {
    if (loopState_ != LoopState::Pause) return false;
    ExchangeLoopState(LoopState::Run);
    return true;
  }
  if (!looping_ && currentFrame_ >= source_->FrameCount()) Seek(0);
  ExchangeLoopState(LoopState::Run);
  frameInterval_ = 1.0 / frameRate_;
  loopExists_ = true;
  return true;
}

void Session::PlayPause() {
  if (state_.online) {
    // Space starts and stops the capture stream as Start and Stop do.
    if (capture_.IsStreaming()) {
      Stop();
    } else {
      Start();
    }
    return;
  }
  if (!loopExists_) {
    Start();
  } else if (loopState_ == LoopState::Run) {
    ExchangeLoopState(LoopState::Pause);
  } else if (loopState_ == LoopState::Pause) {
    ExchangeLoopState(LoopState::Run);
  }
}

void Session::Stop() {
  ClearAlarmFlag(state_);
  if (state_.online) {
    capture_.Stop();
    return;
  }
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

bool Session::PlayAtFileRate() {
  const double rate = FileFrameRate();
  if (!(rate > 0.0)) return false;
  return SetFrameRate(static_cast<float>(std::min(rate, 200.0)));
}

void Session::EndOfVideo() {
  CloseOpenAlarmInterval(state_, currentFrame_);
  ClearAlarmFlag(state_);
  UpdateAlarmSound(state_);
  if (loopExists_) ExchangeLoopState(LoopState::Stop);
}

// --- moving through the frames -----------------------------------------------------------------

bool Session::StepForward() {
  if (WantsFrames() || state_.online) return false;
  return ProcessFrame() != FrameRead::Ended;
}

bool Session::StepBack() {
  if (WantsFrames() || state_.online || lastReadFrame_ <= 0) return false;
  return GoToFrame(lastReadFrame_ - 1);
}

bool Session::GoToFrame(int frame) {
  const int last = source_->FrameCount() - 1;
  if (last < 0 || state_.online) return false;
  Seek(std::clamp(frame, 0, last));
  if (WantsFrames()) return false;
  return ProcessFrame() != FrameRead::Ended;
}

// --- modes -----------------------------------------------------------------------------------

bool Session::SelectMode(ModeId mode) {
  const ModeInfo* info = FindMode(mode);
  if (!info) return false;
  // Choosing the current mode from the menu switches it off: that builds nothing.
  const bool switchingOff = SwitchesOff(state_, *info);
  if (const Result fits = CheckMemory(mode); !switchingOff && !fits) {
    CurrentUiSink().Message(fits.message(), "", MessageButtons::Ok);
    return false;
  }
  bool built = true;
  WithLoopHeld([&] {
    if (!switchingOff) RestoreFramePane();
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
  // A mode whose build refused (a missing classifier file, reported by the mode) stays off.
  return built && (switchingOff || state_.mode == info);
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
  state_.motion.accumulator.reset();
  state_.engines.smokeEngine.emplace<std::monostate>();
  state_.engines.losingFrames.reset();
  state_.flame.infraredDetector.reset();
  state_.classifierModes.reset();
}

Result Session::SetParameter(ModeId mode, std::string_view assignment) {
  const std::string_view name = assignment.substr(0, assignment.find('='));
  if (FindParam(ControlFields(), name)) return SetParam(ControlFields(), state_, assignment);
  const ModeInfo* info = FindMode(mode);
  return SetParam(info ? info->params : std::span<const ParamField>(), state_, assignment);
}

void Session::PickPicturePoint(int x, int y) {
  SetWaveletPoint(state_, x, y);
  const Dib& picture = state_.panes.topLeft();
  x = std::clamp(x, 0, std::max(picture.Width() - 1, 0));
  y = std::clamp(y, 0, std::max(picture.Height() - 1, 0));
  if (workbench_.topLeftOperation == analysis::kBlockCooccurrence) {
    PickAnalysisBlock(workbench_, x, y);
  }
  if (state_.mode && state_.mode->pointPicked) state_.mode->pointPicked(state_, x, y);
}

void Session::ToggleWaveletView() {
  WithLoopHeld([&] { fw::ToggleWaveletView(state_); });
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
    framePaneHoldsVideo_ = false;
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

Result Session::OpenSecondSource(const std::string& path, bool quiet) {
  Result opened;
  WithLoopHeld([&] {
    opened = secondReader_.Open(path, quiet ? OpenReport::Quiet : OpenReport::MessageBox);
    if (!opened) secondReader_.Close();
    workbench_.secondFrame = 0;
  });
  return opened;
}

bool Session::RunAnalysisCommand(int id) {
  bool done = false;
  WithLoopHeld([&] { done = fw::RunAnalysisCommand(workbench_, state_, id); });
  return done;
}

// --- frames ----------------------------------------------------------------------------------

FrameRead Session::ReadNextFrame() {
  if (state_.online) return FrameRead::Online;
  Dib& frame = state_.panes.topLeft();
  FrameRead result = FrameRead::Read;
  if (!source_->GetFrame(currentFrame_, frame)) {
    // Past the end of the file: play it again from the start. An alarm interval ends with the
    // video (its end is the frame count); if the alarm goes on, frame 0 opens a new one.
    CloseOpenAlarmInterval(state_, currentFrame_);
    currentFrame_ = 0;
    result = source_->GetFrame(0, frame) ? FrameRead::Wrapped : FrameRead::Failed;
  }
  if (result != FrameRead::Failed) {
    lastReadFrame_ = currentFrame_;
    framePaneHoldsVideo_ = true;
  }
  return result;
}

FrameRead Session::ProcessFrame() {
  if (!looping_ && !state_.online && source_->FrameCount() > 0 &&
      currentFrame_ >= source_->FrameCount()) {
    EndOfVideo();
    return FrameRead::Ended;
  }
  RunPipeline(state_, *this);
  return lastRead_;
}

void Session::ReadFrame(DetectionState& state) {
  lastRead_ = ReadNextFrame();
  state.frameNumber = currentFrame_;
  if (lastRead_ != FrameRead::Failed) sceneMask_.Apply(state.panes.topLeft());
}

void Session::RunAnalysisOperations(DetectionState& state) {
  RunAnalysisFrame(workbench_, state, topLeftGrad_, bottomLeftGrads_,
                   secondReader_.IsOpen() ? &secondReader_ : nullptr);
}

void Session::RunPaneOperations(DetectionState& state) {
  RunBottomRightOperation();
  RunFftCircle(workbench_, state);
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
  snapshot.fileFrameRate = FileFrameRate();
  snapshot.looping = looping_;
  snapshot.paused = Paused();
  if (snapshot.alarmIntervalsVersion != alarmIntervalsVersion_) {
    snapshot.alarmIntervals = alarmIntervals_;
    snapshot.alarmIntervalsVersion = alarmIntervalsVersion_;
  }
  snapshot.openAlarmStart = state_.alarmLogging ? state_.alarmStartFrame : -1;
  snapshot.topLeftOperation = workbench_.topLeftOperation;
  snapshot.auxiliaryOperation = workbench_.auxiliaryOperation;
  snapshot.logDisplay = workbench_.logDisplay;
  snapshot.fftCircle = workbench_.fftCircle;
  snapshot.colourKey = workbench_.colourKey;
  snapshot.networkTraining = workbench_.training.Running();
  snapshot.waveletView = state_.waveletView.on;
  snapshot.waveletX = state_.waveletView.x;
  snapshot.waveletY = state_.waveletView.y;
  snapshot.motionEnergy = state_.motion.energy;
  FillOverlays(state_, snapshot.overlays);
  AppendAnalysisOverlays(workbench_, state_, snapshot.overlays);
  FillCaptureValues(snapshot);
}

void Session::FillSnapshot(Snapshot& snapshot) const {
  CapturePanes(snapshot);
  snapshot.display.CopyFrom(state_.panes.display, false);
  FillControlValues(snapshot);
}

}  // namespace fw

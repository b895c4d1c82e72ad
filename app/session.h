// The headless application core: everything the control bar owns (pane images, frame source,
// current mode and its objects, thresholds, loop state) and ProcessFrame, the routine run for
// every frame. A Session is used from one thread only: the engine thread of the desktop, or the
// caller directly (command-line tool, tests) through Step().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/snapshot.h"
#include "detect/detection_state.h"
#include "detect/pipeline.h"
#include "video/avi_reader.h"
#include "video/frame_source.h"

namespace fw {

class AlarmSound;

// How ProcessFrame got its frame.
enum class FrameRead {
  Read,     // the frame at the current index
  Wrapped,  // the index was past the end: frame 0 was read instead
  Online,   // live capture delivered the frame
  Failed,   // no frame could be read; the top-left pane keeps its picture
};

class Session : private FrameHost {
 public:
  explicit Session(AlarmSound* sound = nullptr);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // --- video ---
  // Opens a video as the Open button does, without starting playback: clears the alarm flag,
  // opens the file into the top-left pane, reads its first frame, re-creates the other panes
  // when the size changed and sets the mode to 0. Returns whether the file opened (a failed open
  // has already been reported through the UI sink unless `quiet`); the message names the file
  // and the problem.
  Result Open(const std::string& path, bool quiet = false);
  // The Open button: Open, then start playback when no loop exists.
  bool OpenAndPlay(const std::string& path);
  // Uses frames held in memory as the video, set up as Open does (benchmarks). The source must
  // outlive its use; Open switches back to the file reader.
  void OpenFrames(FrameSource& frames);
  const AviReader& Reader() const { return reader_; }
  const FrameSource& Source() const { return *source_; }
  // Moves the frame slider: the next frame read is this one.
  void Seek(int frame);
  int CurrentFrame() const { return currentFrame_; }
  // Reads one frame into the top-left pane without running the pipeline.
  bool ReadFrame(int index);

  // --- playback loop ---
  // Start button: starts playback unless a loop exists. Returns whether it started.
  bool Start();
  // Stop button: asks an existing loop to end after the frame in progress.
  void Stop();
  LoopState GetLoopState() const { return loopState_; }
  LoopState ExchangeLoopState(LoopState state);
  // True from Start until the loop has seen the stop request (the playback thread's handle).
  bool LoopExists() const { return loopExists_; }
  // The loop notices a stop request and ends.
  void EndLoopIfStopped();
  // True when the loop runs and a frame should be produced when due.
  bool WantsFrames() const { return loopExists_ && loopState_ == LoopState::Run; }
  float FrameRate() const { return frameRate_; }
  // The frame-rate spin: sets the rate and the interval at once. Values outside 0.001..200 are
  // refused (returns false).
  bool SetFrameRate(float framesPerSecond);
  double FrameInterval() const { return frameInterval_; }

  // Runs `rebuild` with the loop paused and restores the previous loop state afterwards, as every
  // command that rebuilds what ProcessFrame uses does.
  template <typename F>
  void WithLoopHeld(F&& rebuild) {
    const LoopState old = ExchangeLoopState(LoopState::Pause);
    rebuild();
    ExchangeLoopState(old);
  }

  // --- modes and settings ---
  // Selects a mode as its menu command or control-bar button does (toggle rule included).
  // Returns false for a mode the mode table lacks and for a mode refused by the memory budget
  // (nothing changes; the refusal goes to the UI sink), and when the mode's buffers could not be
  // allocated after all (reported; no mode is current afterwards).
  bool SelectMode(ModeId mode);
  // What the session's images and a mode's buffers may take (default DefaultMemoryBudget()).
  void SetMemoryBudget(uint64_t bytes) { memoryBudget_ = bytes; }
  uint64_t MemoryBudget() const { return memoryBudget_; }
  // Success when the mode fits the budget for the frame pane's size, else the refusal.
  Result CheckMemory(ModeId mode) const;
  ModeId Mode() const { return state_.Mode(); }
  // Sets a control value or a parameter of the mode's family ("threshold=12", "clusterSeed=7"),
  // as `detect --set` does before the mode is selected; the message names the parameter and its
  // range when the value is refused.
  Result SetParameter(ModeId mode, std::string_view assignment);
  // A click on the top-left pane at a picture point (x right, y up from the bottom row): the
  // current mode takes it when it has a use for it. Points outside the picture are moved to its
  // nearest pixel.
  void PickPicturePoint(int x, int y);
  void SetThreshold(int threshold) { state_.threshold = threshold; }
  void SetGaussThreshold(float threshold) { state_.gaussThreshold = threshold; }
  // Background-model settings: the two threshold edits when they lose the focus, the
  // "Foreground"/"Background" buttons, "Post processing", "Color Trim", "Enable color testing".
  void CommitThreshold(int threshold);
  void CommitGaussThreshold(float threshold);
  void SetDisplayChoice(int choice);
  void SetPostProcessing(bool on);
  void SetColourTrim(bool on);
  void SetColourTesting(bool on);
  void SetDisplayDialogShown(bool shown) { displayDialogShown_ = shown; }

  // --- pane commands of the menus ---
  // "Grad" (cmd::kBottomRightGrad) and "Difference" of the bottom-right pane share one selection:
  // choosing the selected one switches it off, choosing the other selects it and runs it once at
  // once. While selected it runs on every frame after the panes' post steps.
  void SelectBottomRightOperation(int operation);
  int BottomRightOperation() const { return bottomRightOperation_; }
  // "Grad of View00": toggles; switching on puts the Sobel magnitude of the frame pane into the
  // bottom-right pane at once.
  void ToggleTopLeftGrad();
  // "Grads" of the bottom-left pane: toggles; switching on puts the gradient magnitude of the
  // bottom-left pane into the bottom-right pane at once.
  void ToggleBottomLeftGrads();
  // "Wavelet transform": the top-right pane shows the frame pane's three-level wavelet transform
  // and the bottom-left pane its reconstruction. False when the frame cannot be transformed.
  bool WaveletTransformOnce();
  // "Auto get threshold values": the threshold from the mean grey of the top-right pane, at most
  // 100. Returns the new threshold (unchanged for an empty pane or another depth).
  int AutoThreshold();
  // Opens a JPEG or BMP picture into a pane (view -1 counts as the top-left pane); a refused or
  // unreadable file is reported through the UI sink naming the file, and the pane keeps its
  // picture. "No view specified!" for a view outside -1..3.
  bool OpenPicture(int view, const std::string& path);
  // Saves a pane's picture as JPEG (quality 100) or BMP by the extension; reported like
  // OpenPicture. "No view specified!" for a view outside 0..3.
  bool SavePicture(int view, const std::string& path) const;
  // A pseudo-colour scheme (1..12) on the bottom-right pane's palette (8-bit pictures only).
  void ApplyPseudoColour(int scheme);
  // Offline detection: opens the video as Open does (the "Source Video" caption stays), with
  // the alarm state cleared and the mode 0, and starts playback when no loop exists.
  bool OpenForDetection(const std::string& path);

  // --- frames ---
  // Runs the per-frame pipeline once.
  FrameRead ProcessFrame();
  // Runs exactly one frame now (tests and the command-line tool).
  FrameRead Step() { return ProcessFrame(); }

  // When set, the panes are copied into this snapshot at the moment they are shown each frame,
  // and the display dialog's picture when the dialog is shown.
  void SetSnapshotTarget(Snapshot* target) { snapshotTarget_ = target; }
  // Copies the panes, the display picture and the control values into a snapshot.
  void FillSnapshot(Snapshot& snapshot) const;
  // Copies only the control values (after a frame, whose panes were captured when shown).
  void FillControlValues(Snapshot& snapshot) const;

  DetectionState& State() { return state_; }
  const DetectionState& State() const { return state_; }
  Panes& GetPanes() { return state_.panes; }

 private:
  FrameRead ReadNextFrame();
  // The pipeline's calls back into the session.
  void ReadFrame(DetectionState& state) override;
  void RunPaneOperations(DetectionState& state) override;
  void ShowPanes(const DetectionState& state) override;
  void ShowDisplay(const DetectionState& state) override;
  void AdvanceFrame(DetectionState& state) override;
  // What Open does once the source holds the new video.
  void AfterOpen();
  void CapturePanes(Snapshot& snapshot) const;

  // Drops what a selection cut short by an allocation failure had built.
  void ReleaseModeObjects();

  DetectionState state_;
  uint64_t memoryBudget_;
  AviReader reader_;
  FrameSource* source_ = &reader_;
  int currentFrame_ = 0;  // index of the next frame to read; the loop's frame counter
  uint64_t framesProcessed_ = 0;

  LoopState loopState_ = LoopState::Stop;
  bool loopExists_ = false;
  float frameRate_ = 25.0f;
  double frameInterval_ = 0.0333;

  void RunBottomRightOperation();
  FrameRead lastRead_ = FrameRead::Read;

  int bottomRightOperation_ = 0;
  Dib bottomRightPrevious_;  // the bottom-right "Difference" operation's previous frame
  bool topLeftGrad_ = false;
  bool bottomLeftGrads_ = false;
  int captionFrameCount_ = -1;  // frames named by the "Source Video" caption; -1 before Open
  bool displayDialogShown_ = false;
  Snapshot* snapshotTarget_ = nullptr;
};

}  // namespace fw

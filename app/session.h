// The headless application core: everything the control bar owns (pane images, frame source,
// current mode and its objects, thresholds, loop state) and ProcessFrame, the routine run for
// every frame. A Session is used from one thread only: the engine thread of the desktop, or the
// caller directly (command-line tool, tests) through Step().
#pragma once

#include <cassert>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/live_capture.h"
#include "app/scene_mask.h"
#include "app/snapshot.h"
#include "detect/detection_state.h"
#include "detect/pipeline.h"
#include "video/avi_reader.h"
#include "video/frame_source.h"
#include "workbench/workbench_state.h"

namespace fw {

class AlarmSound;

// How ProcessFrame got its frame.
enum class FrameRead {
  Read,     // the frame at the current index
  Wrapped,  // the index was past the end: frame 0 was read instead
  Online,   // live capture delivered the frame
  Failed,   // no frame could be read; the top-left pane keeps its picture
  Ended,    // looping is off and the video has ended: no frame was run, the loop stops
};

class Session : private FrameHost {
 public:
  explicit Session(AlarmSound* sound = nullptr);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // --- video ---
  // Opens a video as the Open button does, without starting playback. The file is opened into a
  // second reader first: a file that does not open changes nothing (the current video stays and
  // plays on), is reported through the UI sink as "Avi Error!" with the path and the reason
  // unless `quiet`, and LastOpenError() says why. On success an alarm interval still open ends
  // in the old video's log, the alarm flag is cleared, the reader is replaced, the first frame
  // is read into the top-left pane, the other panes are re-created when the size changed, the
  // alarm intervals of the run are forgotten and the mode becomes 0.
  Result Open(const std::string& path, bool quiet = false);
  // The Open button: Open, then, when the file opened, start playback unless a loop exists.
  bool OpenAndPlay(const std::string& path);
  // One line naming the file and the problem of the last failed Open; empty after a good one.
  const std::string& LastOpenError() const { return lastOpenError_; }
  // Uses frames held in memory as the video, set up as Open does (benchmarks). The source must
  // outlive its use; Open switches back to the file reader.
  void OpenFrames(FrameSource& frames);
  const AviReader& Reader() const { return reader_; }
  const FrameSource& Source() const { return *source_; }
  // The video file's own frame rate (0 for frames in memory or before a file opened).
  double FileFrameRate() const;
  // Moves the frame slider: the next frame read is this one. A jump elsewhere than the next
  // frame ends an open alarm interval before it (the next frame opens a new one if the alarm
  // goes on), so that no interval spans frames that were not played.
  void Seek(int frame);
  int CurrentFrame() const { return currentFrame_; }
  // Index of the frame last read into the top-left pane.
  int LastReadFrame() const { return lastReadFrame_; }
  // Reads one frame into the top-left pane without running the pipeline.
  bool ReadFrame(int index);

  // --- playback loop ---
  // Start button: starts playback unless a loop exists; resumes a loop that was paused
  // (PlayPause). With looping off and the video at its end, playback starts from frame 0.
  // Returns whether frames now run. Online it starts the capture stream instead.
  bool Start();
  // Space: pauses a running loop, resumes a paused one, starts one when none exists.
  void PlayPause();
  // The loop exists but produces no frames (PlayPause paused it).
  bool Paused() const { return loopExists_ && loopState_ == LoopState::Pause; }
  // Stop button: asks an existing loop to end after the frame in progress; online it stops the
  // capture stream. The alarm flag is cleared either way.
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
  // "Play at the file's rate": the frame rate becomes the file's own (limited to 200). False
  // when the source has no rate of its own.
  bool PlayAtFileRate();
  // "Loop" (on at start): at the end of the video play frame 0 again; off, the loop stops there
  // and an open alarm interval ends with the video.
  void SetLooping(bool on) { looping_ = on; }
  bool Looping() const { return looping_; }

  // --- moving through the frames while no frames run (paused or stopped) ---
  // Each runs the current mode on the frame it shows and returns whether a frame was run; while
  // the loop produces frames they only move the position (GoToFrame) or do nothing (steps).
  // The next frame (Right, "."), wrapping or ending at the end of the video as playback does.
  bool StepForward();
  // The frame before the one shown (Left, ","): a jump for the mode, as a seek is, not a rewind
  // of its state. Nothing at frame 0.
  bool StepBack();
  // Home, End, the slider, the frame field, an alarm interval: the frame, limited to the video.
  bool GoToFrame(int frame);

  // --- alarm intervals of this run (since the video was opened) ---
  const std::vector<AlarmInterval>& AlarmIntervals() const { return alarmIntervals_; }
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
  // wavelet view looks there from now on, and the current mode takes it when it has a use for
  // it. Points outside the picture are moved to its nearest pixel.
  void PickPicturePoint(int x, int y);
  // "View Wavelet and zero crossing": on (a new view from the current frame) or off; clears the
  // alarm state as every Bottom View command does.
  void ToggleWaveletView();
  bool WaveletViewOn() const { return state_.waveletView.on; }
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
  // --- the analysis workbench ---
  // A command of the "Top left" submenu, "Snake model" or "Histogram" (analysis::k...), as its
  // menu entry does. False for another identifier, or the snake without a background model.
  bool RunAnalysisCommand(int id);
  // Opens the smoke-free second video ("Non-Fire Files") whose frames the network recognisers
  // train on as negative examples, from its first frame; a refused file is reported through the
  // UI sink unless `quiet` and leaves no second source.
  Result OpenSecondSource(const std::string& path, bool quiet = false);
  const AviReader& SecondSource() const { return secondReader_; }
  // The network the texture recognisers ("Recognize by texture and NN", "Recognize By texture,
  // region, NN ") train and classify with: the built-in perceptron, or another (not null) put in
  // its place, as the tests do with a scripted one.
  void SetTextureNetwork(std::unique_ptr<TextureNetwork> network) {
    assert(network != nullptr);
    workbench_.network = std::move(network);
  }
  // The control panel's "Color Key": the region operations rebuild the key mask on every frame.
  void SetColourKey(bool on) { workbench_.colourKey = on; }
  const WorkbenchState& Workbench() const { return workbench_; }

  // Offline detection: opens the video as Open does (the "Source Video" caption stays), with
  // the alarm state cleared (an open interval is not logged) and the mode 0, and starts playback
  // when no loop exists. A file that does not open changes nothing.
  bool OpenForDetection(const std::string& path);

  // --- live capture ("Video on line") ---
  // The live source the next capture start opens: sim: (the default), sim:FILE, /dev/videoN or a
  // stream URL; a refused name changes nothing and the message says what is taken.
  Result SetCaptureAddress(std::string_view address) { return capture_.SetAddress(address); }
  void SetCaptureOptions(const CaptureOptions& options) { capture_.SetOptions(options); }
  // "Video on line": inverts the online flag and runs StartCapture or StopCapture. Returns the
  // new flag.
  bool ToggleOnline();
  bool Online() const { return state_.online; }
  // Going online: the playback loop ends and an open alarm interval ends in the video's log;
  // the frame pane and the images of the modes become 352 x 288, the frame count 100000000 and
  // the frame number 0; the source is opened and started at the frame rate truncated to a
  // whole number; the alarm flag is cleared and the mode becomes 0. The alarm log is the live
  // log of the start directory (LiveAlarmLogName). A source that does not open or start is
  // reported and leaves the session online without a stream. Returns whether it streams.
  bool StartCapture();
  // Going offline: the source is stopped and released, an open alarm interval ends in the live
  // log, and the video that was open comes back into the frame pane where it was.
  void StopCapture();
  // Engine thread: the newest live frame, when one waits, is converted into the frame pane and
  // run through the pipeline. False when none waits (or the stream was stopped).
  bool ProcessCaptureFrame();
  // Command-line tool: waits until the deadline for the next live frame and runs it.
  LiveWait RunCaptureFrame(LiveCapture::Clock::time_point deadline);
  // Hands on what the capture thread reported (stream lost, reconnecting, ended): to the
  // reporter when one is set, else as the status text and, for a failure, a message box.
  // Returns whether there was anything.
  bool HandleCaptureReports();
  // The command-line tool's reporter (one line on stderr per report).
  void SetCaptureReporter(std::function<void(const CaptureStatus&)> reporter) {
    captureReporter_ = std::move(reporter);
  }
  // The capture channel. Its Cancel is the one call another thread may make (the desktop, when
  // capture is switched off while a stream connects).
  LiveCapture& Capture() { return capture_; }
  const LiveCapture& Capture() const { return capture_; }

  // --- scene mask ---
  // The parts of the picture no mode decides on (app/scene_mask.h): from now on every frame
  // read gets the mask before any mode's step sees it. An empty mask switches it off.
  void SetSceneMask(SceneMask mask) { sceneMask_ = std::move(mask); }
  const SceneMask& GetSceneMask() const { return sceneMask_; }

  // --- frames ---
  // Runs the per-frame pipeline once.
  FrameRead ProcessFrame();
  // Runs exactly one frame now (tests and the command-line tool).
  FrameRead Step() { return ProcessFrame(); }
  // Frames run through the pipeline since construction.
  uint64_t FramesProcessed() const { return framesProcessed_; }

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
  // What happens to an alarm interval still open when another video opens.
  enum class OpenInterval { Log, Drop };
  Result OpenVideo(const std::string& path, bool quiet, OpenInterval openInterval);
  FrameRead ReadNextFrame();
  // Looping off, at the end of the video: the open interval ends, the alarm and its sound stop,
  // the loop stops.
  void EndOfVideo();
  // Before a mode is built: the frame pane holds the video frame last read again, since a mode
  // may leave its previous frame or its filtered frame there.
  void RestoreFramePane();
  void RecordAlarmInterval(const AlarmInterval& interval);
  // The pipeline's calls back into the session.
  void ReadFrame(DetectionState& state) override;
  void RunAnalysisOperations(DetectionState& state) override;
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
  std::string lastOpenError_;
  int currentFrame_ = 0;  // index of the next frame to read; the loop's frame counter
  int lastReadFrame_ = 0;
  bool framePaneHoldsVideo_ = true;  // false after a picture was opened into the frame pane
  uint64_t framesProcessed_ = 0;
  bool looping_ = true;
  std::vector<AlarmInterval> alarmIntervals_;
  uint64_t alarmIntervalsVersion_ = 0;  // grows with every change of the list

  LoopState loopState_ = LoopState::Stop;
  bool loopExists_ = false;
  float frameRate_ = 25.0f;
  double frameInterval_ = 0.0333;

  void RunBottomRightOperation();
  FrameRead lastRead_ = FrameRead::Read;

  // Live capture.
  // The result panes and the modes' history images follow the frame's size.
  void FitImagesToFrame(int width, int height);
  // The Start button in online mode: the stream on at the frame rate (the source opened again
  // when it is not open). Returns whether it streams.
  bool StartCaptureStream();
  void ReportCapture(const CaptureStatus& status);
  // Online: frame count 100000000, the frame size, the source, its rate and dropped frames.
  void FillCaptureValues(Snapshot& snapshot) const;
  void ReportCaptureFailure(const Result& failure);
  void RunLiveFrame();
  LiveCapture capture_;
  std::function<void(const CaptureStatus&)> captureReporter_;
  int offlineFrame_ = 0;       // the video's next frame and the frame shown when capture
  int offlineLastRead_ = 0;    // started

  int bottomRightOperation_ = 0;
  Dib bottomRightPrevious_;  // the bottom-right "Difference" operation's previous frame
  bool topLeftGrad_ = false;
  bool bottomLeftGrads_ = false;
  int captionFrameCount_ = -1;  // frames named by the "Source Video" caption; -1 before Open
  bool displayDialogShown_ = false;
  Snapshot* snapshotTarget_ = nullptr;
  WorkbenchState workbench_;
  AviReader secondReader_;
  SceneMask sceneMask_;
};

}  // namespace fw

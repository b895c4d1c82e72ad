#include "learn/modes/classifier_modes.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/data_files.h"
#include "core/draw.h"
#include "core/text_stamp.h"
#include "core/ui_sink.h"
#include "learn/modes/classifier_modes_state.h"
#include "learn/modes/pane_drawing.h"

namespace fw {

namespace {

// What distinguishes the modes after their scans.
struct ModeRules {
  Flavour flavour;
  int changeThreshold;    // of a changed pixel, per channel
  bool confirmByOverlap;  // else by touch
  int raisingRects;       // confirmed rectangles over a block's corner that raise it
  bool raisedVote;        // the frame flag from the raised-block counts, not from regions
};

enum Rule { kRealAdaBoost, kNeural, kBlbp, kPltp, kPldp };
constexpr ModeRules kRules[] = {
    {Flavour::Byte, 25, false, 1, false}, {Flavour::Byte, 25, false, 1, false},
    {Flavour::Blbp, 25, false, 1, false}, {Flavour::Pltp, 25, true, 2, false},
    {Flavour::Eoh, 15, true, 2, true},
};

const char* LabelOf(const DetectionState& state) {
  return state.mode != nullptr ? state.mode->label : "classifier mode";
}

// Shows a problem of the selection as a message box and the status text.
void Report(const std::string& text) {
  CurrentUiSink().Status(StatusField::Message, text);
  CurrentUiSink().Message(text, "", MessageButtons::Ok);
}

// The file mode 7021 reads its network from, beside the Byte cascade.
constexpr char kNetworkFile[] = "LBP_NeuralNet.kdz";

// A file of the mode's that is in neither place files are looked for.
bool ReportIfMissing(const DetectionState& state, const char* file, const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return false;
  Report(std::string(LabelOf(state)) + ": the classifier file \"" + file +
         "\" is missing (looked in " + StartDirectory() + " and " + DataDirectory() +
         "); the mode stays off");
  return true;
}

// Loads the flavour's classifier file as its mode does and sets the mode's stage ratio; the
// statistics report of the load is written into the start directory (a report that cannot be
// written is told in the status text and does not keep the mode off). False, reported, when the
// file is missing or bad.
bool LoadCascade(const DetectionState& state, Flavour flavour, ClassifierSet& model) {
  const FlavourInfo& info = InfoOf(flavour);
  const std::string path = FindDataFile(info.defaultFile);
  if (ReportIfMissing(state, info.defaultFile, path)) return false;
  if (const Result loaded = model.Load(flavour, path); !loaded) {
    Report(std::string(LabelOf(state)) + ": " + loaded.message() + "; the mode stays off");
    return false;
  }
  model.UseModeRatio();
  const Result written = flavour == Flavour::Eoh
                             ? WriteEohReport(model, StartDirectory() + kEohReportFile)
                         : flavour == Flavour::Byte ? WriteStatisticsReport(model, StartDirectory())
                                                    : Result::Ok();
  if (!written) CurrentUiSink().Status(StatusField::Message, written.message());
  return true;
}

// A 24-bit frame's size, or 0 x 0 for anything else (the mode then reports its frames).
void FrameSize(const Dib& frame, int& width, int& height) {
  const bool colour = frame.GetBitCount() == 24;
  width = colour ? frame.Width() : 0;
  height = colour ? frame.Height() : 0;
}

// The state every mode starts from: empty history, rectangles and persistence.
std::shared_ptr<ClassifierModesState> NewState(int width, int height) {
  auto modes = std::make_shared<ClassifierModesState>();
  modes->history.Build(width, height);
  modes->persistence.Build(width, height);
  return modes;
}

// What every mode's selection does around building its detector; `build` returns false, having
// reported why, when the detector cannot be built (the mode then stays off).
template <typename Detector, typename BuildDetector>
void BuildMode(DetectionState& state, Flavour flavour, BuildDetector build) {
  // What an earlier selection built goes first.
  state.classifierModes.reset();
  ReleaseGlyphAtlas(state.panes.topRight());
  ReleaseGlyphAtlas(state.panes.bottomRight());
  state.alarmFlag = 0;
  {
    ClassifierSet model;
    if (!LoadCascade(state, flavour, model)) {
      state.mode = nullptr;
      return;
    }
    int width = 0, height = 0;
    FrameSize(state.panes.topLeft(), width, height);
    std::shared_ptr<ClassifierModesState> modes = NewState(width, height);
    if (!build(modes->detector.template emplace<Detector>(), model, width, height)) {
      state.mode = nullptr;
      return;
    }
    state.classifierModes = std::move(modes);
  }
  EnsureGlyphAtlas(state.panes.topRight());
  EnsureGlyphAtlas(state.panes.bottomRight());
}

// The mode's state when this frame can be scanned; a frame of another size or depth is
// reported once and leaves the alarm off.
ClassifierModesState* Ready(DetectionState& state) {
  ClassifierModesState* modes = state.classifierModes.get();
  if (modes == nullptr) return nullptr;
  const Dib& frame = state.panes.topLeft();
  const FrameHistory& history = modes->history;
  if (history.Width() > 0 && history.Matches(frame)) return modes;
  state.alarmFlag = 0;
  if (!modes->formatReported) {
    modes->formatReported = true;
    Report(history.Width() == 0
               ? std::string(LabelOf(state)) +
                     ": the mode was selected without a colour frame; open a video and select "
                     "the mode again."
               : std::string(LabelOf(state)) + ": the frame is now " +
                     std::to_string(frame.Width()) + " x " + std::to_string(frame.Height()) + " (" +
                     std::to_string(frame.GetBitCount()) +
                     "-bit) but the mode was built "
                     "for " +
                     std::to_string(history.Width()) + " x " + std::to_string(history.Height()) +
                     " colour frames; select it again.");
  }
  return nullptr;
}

// 7024's bottom-right chart: the raised-block counts of the last 100 frames in storage order,
// the ring position, and the vote's figures.
void DrawRaisedChart(Dib& pane, const BlockPersistence& persistence, float mean, float variance,
                     int rate, int raised) {
  const int w = pane.Width(), h = pane.Height();
  const int plot = h - 45;
  const int x0 = w / 10;
  pane.Fill(255);
  DrawArrow(pane, x0, 5, x0 + w / 20 + static_cast<int>(0.8f * w), 5, 0, 0, 255, 5, 30.0);
  DrawArrow(pane, x0, 5, x0, 5 + plot * 17 / 16, 0, 0, 255, 5, 30.0);
  const float spacing = 0.8f * w / 99.0f;
  const auto& values = persistence.Raised();
  int px = x0, py = 5;
  for (int k = 0; k < BlockPersistence::kRing; ++k) {
    const int x = x0 + static_cast<int>(spacing * k);
    const int y = 5 + std::min(plot, plot * values[k] / 50);
    if (k > 0) DrawLine(pane, px, py, x, y, 0, 128, 0);
    px = x;
    py = y;
  }
  const int next = (persistence.Position() + 1) % BlockPersistence::kRing;
  const int marker = x0 + static_cast<int>(0.8f * w * next / 99.0f);
  DrawLine(pane, marker, 5, marker, h - 40, 128, 0, 0);
  char text[64];
  std::snprintf(text, sizeof text, "mean=%5.1f,var=%5.2f", mean, variance);
  DrawText(pane, text, 40, h - 22, 10, 20, 0, 0, 255);
  std::snprintf(text, sizeof text, "rate=%3i%%,curr=%i", rate, raised);
  DrawText(pane, text, 40, h - 42, 10, 20, 0, 0, 255);
}

// The steps of 7021-7024 after the scan: colour change, confirmation, persistence, panes,
// regions and the vote over the last 100 frames; then the frame joins the history.
void VoteOnPersistence(DetectionState& state, ClassifierModesState& modes, const ModeRules& rules) {
  const Dib& frame = state.panes.topLeft();
  FrameHistory& history = modes.history;
  BlockPersistence& persistence = modes.persistence;
  WindowList& windows = modes.windows;
  history.ComputeColourChange(rules.changeThreshold);
  if (rules.raisedVote) {
    Dib& changes = state.panes.bottomLeft();
    changes.Fill(255);
    const std::vector<uint8_t>& map = history.ChangeMap();
    for (size_t b = 0; b < map.size(); ++b) {
      if (map[b] == 0) continue;
      const int c = static_cast<int>(b) % history.Columns(),
                r = static_cast<int>(b) / history.Columns();
      OutlineBlock(changes, c, r, 0, 0, 255);
    }
  }
  if (rules.confirmByOverlap) {
    windows.ConfirmByOverlap(history.Changed());
  } else {
    windows.ConfirmByTouch();
  }
  const int raised = persistence.Update(windows, rules.raisingRects);
  persistence.SetRaised(raised);
  Dib& map = state.panes.bottomRight();
  persistence.Draw(map);
  Dib& shown = state.panes.topRight();
  CopyFramePixels(frame, shown);
  windows.Outline(shown);
  if (state.alarmFlag != 0) StampAlarm(shown, state.frameNumber);
  const int regions = persistence.FindRegions(rules.raisedVote ? nullptr : &map);
  bool flag = regions > 0;
  float mean = 0.0f, variance = 0.0f;
  if (rules.raisedVote) {
    persistence.RecentRaised(mean, variance);
    flag = raised > 3 && mean >= 2.0f && variance >= 1.0f;
  }
  const int rate = persistence.PushFlag(flag);
  state.alarmFlag = rate >= BlockPersistence::kAlarmRate ? 1 : 0;
  if (rules.raisedVote) {
    DrawRaisedChart(map, persistence, mean, variance, rate, raised);
  } else {
    StampRate(map, rate);
  }
  persistence.Advance();
  history.Remember(frame);
}

template <typename Detector, Rule R>
void PersistenceModeStep(DetectionState& state) {
  ClassifierModesState* modes = Ready(state);
  if (modes == nullptr) return;
  Detector* detector = std::get_if<Detector>(&modes->detector);
  if (detector == nullptr) return;
  modes->windows.Clear();
  detector->Scan(state.panes.topLeft(), modes->windows);
  VoteOnPersistence(state, *modes, kRules[R]);
}

// --- memory --------------------------------------------------------------------------------

// A compiled weak classifier as CompiledCascade lays it out.
template <typename Family>
struct CompiledWeak {
  typename Family::Feature feature;
  typename Family::Value t1;
  typename Family::Value t2;
  float alpha;
  double rest;
};

// The weak classifiers the stages of the flavour's file will use once loaded (0 when the file
// cannot be read: its mode then builds nothing).
int StageRecords(Flavour flavour) {
  std::ifstream in(FindDataFile(InfoOf(flavour).defaultFile), std::ios::binary);
  int32_t counts[2] = {};
  if (!in.read(reinterpret_cast<char*>(counts), sizeof counts)) return 0;
  if (counts[0] < 0 || counts[0] > ClassifierSet::kMaxStages || counts[1] < 0 ||
      counts[1] > ClassifierSet::kMaxRecords) {
    return 0;
  }
  std::array<int32_t, ClassifierSet::kMaxStages> sizes{};
  if (!in.read(reinterpret_cast<char*>(sizes.data()), 4 * counts[0])) return 0;
  const StageRule rule = InfoOf(flavour).stages;
  if (rule == StageRule::Growth) return counts[0] > 0 ? std::max(sizes[0], 0) : 0;
  if (rule == StageRule::AsReadOrDefaultSplit && counts[0] >= 1 && sizes[1] == 0) {
    return kDefaultSplitRecords;
  }
  int sum = 0;
  for (int s = 0; s < counts[0] && sizes[s] > 0; ++s) sum += sizes[s];
  return std::min(sum, ClassifierSet::kMaxRecords);
}

// Reading a classifier file holds at once the model being filled, the one it replaces and the
// file's bytes; the model stays while the detector is built.
constexpr uint64_t kModelBytes = sizeof(WeakRecord) * ClassifierSet::kMaxRecords;
constexpr uint64_t kLoadBytes = 3 * kModelBytes + 16384;
// The allocator's rounding of the buffers.
constexpr uint64_t kRounding = 16384;

template <typename Family>
uint64_t CascadeBytes(Flavour flavour, int cascades) {
  return static_cast<uint64_t>(StageRecords(flavour)) * sizeof(CompiledWeak<Family>) * cascades +
         sizeof(CompiledCascade<Family>) * cascades;
}

// The peak of a selection and its first frames: the load, or the model beside what selection
// builds, or that with what the first frame adds; then the glyph atlases of the two panes that
// show text.
uint64_t ModeBytes(uint64_t atSelection, uint64_t onFirstFrame, int width, int height) {
  const uint64_t built = sizeof(ClassifierModesState) + FrameHistory::Bytes(width, height) +
                         BlockPersistence::Bytes(width, height) + atSelection;
  return std::max({kLoadBytes, kModelBytes + built, built + onFirstFrame + 2 * GlyphAtlasBytes()}) +
         kRounding;
}

}  // namespace

// --- selection -----------------------------------------------------------------------------

void BuildRealAdaBoostMode(DetectionState& state) {
  BuildMode<RealAdaBoostDetector>(
      state, Flavour::Byte,
      [](RealAdaBoostDetector& d, const ClassifierSet& model, int width, int height) {
        d.Build(model, width, height);
        return true;
      });
}

void BuildNeuralNetworkMode(DetectionState& state) {
  // The Byte cascade is loaded (and its statistics report written) as for 7020; the windows are
  // decided by the network alone.
  BuildMode<NeuralLbpDetector>(
      state, Flavour::Byte, [&state](NeuralLbpDetector& d, const ClassifierSet&, int, int) {
        const std::string path = FindDataFile(kNetworkFile);
        if (ReportIfMissing(state, kNetworkFile, path)) return false;
        if (const Result loaded = d.Load(path); !loaded) {
          Report(std::string(LabelOf(state)) + ": " + loaded.message() + "; the mode stays off");
          return false;
        }
        return true;
      });
}

void BuildBoostedLbpMode(DetectionState& state) {
  const Dib& frame = state.panes.topLeft();
  BuildMode<BlbpDetector>(state, Flavour::Blbp,
                          [&frame](BlbpDetector& d, const ClassifierSet& model, int, int) {
                            d.Build(model, frame);
                            return true;
                          });
}

void BuildPltpMode(DetectionState& state) {
  const Dib& frame = state.panes.topLeft();
  BuildMode<PltpDetector>(state, Flavour::Pltp,
                          [&frame](PltpDetector& d, const ClassifierSet& model, int, int) {
                            d.Build(model, frame);
                            return true;
                          });
}

void BuildPldpMode(DetectionState& state) {
  BuildMode<PldpDetector>(state, Flavour::Eoh,
                          [](PldpDetector& d, const ClassifierSet& model, int width, int height) {
                            d.Build(model, width, height);
                            return true;
                          });
}

// --- per frame -----------------------------------------------------------------------------

void RealAdaBoostModeStep(DetectionState& state) {
  ClassifierModesState* modes = Ready(state);
  if (modes == nullptr) return;
  auto* detector = std::get_if<RealAdaBoostDetector>(&modes->detector);
  if (detector == nullptr) return;
  const Dib& frame = state.panes.topLeft();
  modes->windows.Clear();
  detector->Scan(frame, modes->windows);
  modes->history.ComputeColourChange(kRules[kRealAdaBoost].changeThreshold);
  const bool alarm = detector->AfterScan(
      frame, modes->history, modes->windows, state.alarmFlag != 0, state.frameNumber,
      state.panes.topRight(), state.panes.bottomLeft(), state.panes.bottomRight());
  state.alarmFlag = alarm ? 1 : 0;
  modes->history.Remember(frame);
}

void NeuralNetworkModeStep(DetectionState& state) {
  PersistenceModeStep<NeuralLbpDetector, kNeural>(state);
}

void BoostedLbpModeStep(DetectionState& state) {
  PersistenceModeStep<BlbpDetector, kBlbp>(state);
}

void PltpModeStep(DetectionState& state) {
  PersistenceModeStep<PltpDetector, kPltp>(state);
}

void PldpModeStep(DetectionState& state) {
  PersistenceModeStep<PldpDetector, kPldp>(state);
}

void ClassifierOverlays(const DetectionState& state, Overlays& overlays) {
  const ClassifierModesState* modes = state.classifierModes.get();
  if (modes == nullptr || !modes->history.Matches(state.panes[PaneId::TopLeft])) return;
  constexpr uint8_t kColours[3][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
  const WindowList& windows = modes->windows;
  for (int i = 0; i < windows.Count(); ++i) {
    const WindowRect& r = windows.Rect(i);
    const uint8_t* c = kColours[static_cast<int>(windows.Status(i)) + 1];
    overlays.push_back({r.left, r.top, r.right - 1, r.bottom - 1, c[0], c[1], c[2]});
  }
}

// --- memory --------------------------------------------------------------------------------

uint64_t RealAdaBoostModeMemory(const DetectionState&, int width, int height) {
  std::array<int, 16> sides{};
  const int count = RealAdaBoostDetector::Sides(height, sides);
  return ModeBytes(RealAdaBoostDetector::Bytes(width, height) +
                       CascadeBytes<WindowByteFamily>(Flavour::Byte, count),
                   RealAdaBoostDetector::PlaneBytes(width, height), width, height);
}

uint64_t NeuralNetworkModeMemory(const DetectionState&, int width, int height) {
  return ModeBytes(NeuralLbpDetector::Bytes(FindDataFile(kNetworkFile)) + sizeof(NeuralLbpDetector),
                   0, width, height);
}

uint64_t BoostedLbpModeMemory(const DetectionState&, int width, int height) {
  return ModeBytes(
      BlbpDetector::Bytes(width, height) + CascadeBytes<CodeCountFamily>(Flavour::Blbp, 1), 0,
      width, height);
}

uint64_t PltpModeMemory(const DetectionState&, int width, int height) {
  return ModeBytes(PltpDetector::Bytes(width, height) +
                       CascadeBytes<CodeCountFamily>(Flavour::Pltp, height / kCountBase),
                   0, width, height);
}

uint64_t PldpModeMemory(const DetectionState&, int width, int height) {
  return ModeBytes(PldpDetector::Bytes(width, height) +
                       CascadeBytes<TextureFamily>(Flavour::Eoh, PldpDetector::kLevels),
                   0, width, height);
}

}  // namespace fw

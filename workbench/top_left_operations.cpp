#include "workbench/top_left_operations.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/difference.h"
#include "core/gradient.h"
#include "core/histogram.h"
#include "core/text_stamp.h"
#include "core/ui_sink.h"
#include "core/wavelet.h"
#include "detect/alarm.h"
#include "workbench/displays.h"

namespace fw {

namespace {

using WS = WorkbenchState;
using DS = DetectionState;
namespace a = analysis;

constexpr int kBlockSide = 16;
constexpr int kSpectrumHeight = 256;  // height of the one-dimensional spectrum chart

Dib& Frame(DS& s) {
  return s.panes.topLeft();
}

// The mask of the region operations: the external one, else the key mask, built when none has
// been built since the selection (or on every frame with "Color Key").
void EnsureMask(WS& w, DS& s) {
  w.analyzer.EnsureKeyMask(Frame(s), w.colourKey);
}

void ShowQuantisedInDisplay(WS& w, DS& s) {
  Dib& quantised = w.analyzer.QuantisedImage();
  Dib& display = s.panes.display;
  const auto& p = display.GetPalette();
  const auto& q = quantised.GetPalette();
  const bool same =
      display.SameFormat(quantised) && display.HeaderHeight() == quantised.HeaderHeight() &&
      std::equal(p.begin(), p.end(), q.begin(), [](const RgbQuad& x, const RgbQuad& y) {
        return x.blue == y.blue && x.green == y.green && x.red == y.red;
      });
  display.CopyFrom(quantised, same);
}

// --- the operations ----------------------------------------------------------------------------

void DegradeLevel(WS&, DS& s) {
  DegradeLevels(Frame(s), s.panes.bottomRight(), s.threshold, false);
}

void LearnTextureByKey(WS& w, DS& s) {
  w.analyzer.LearnCooccurrenceByKey(Frame(s));
  w.analyzer.ShowCooccurrence(s.panes.bottomRight(), w.logDisplay);
  ShowQuantisedInDisplay(w, s);
}

void LearnTextureWhole(WS& w, DS& s) {
  w.analyzer.LearnCooccurrenceWhole(Frame(s));
  w.analyzer.ShowCooccurrence(s.panes.bottomRight(), w.logDisplay);
}

void ResetSignature(WS& w, DS&) {
  w.analyzer.ResetSignature();
}

void LearnTextureFeatures(WS& w, DS& s) {
  w.analyzer.LearnTextureSignature(Frame(s), &s.panes.bottomRight());
}

void MaskByColourKey(WS& w, DS& s) {
  w.analyzer.BuildKeyMask(Frame(s), &s.panes.bottomRight());
}

void BoundaryPixels(WS& w, DS& s) {
  EnsureMask(w, s);
  w.analyzer.MarkMaskBoundary(Frame(s), s.panes.bottomRight());
}

void MaxRegionBoundary(WS& w, DS& s) {
  EnsureMask(w, s);
  w.analyzer.RegionPipeline(Frame(s), s.panes.bottomRight(), s.regionFlag != 0);
  w.analyzer.ContourSpectrum(w.fourier, s.panes.display);
}

// This frame's projections into the history (before the pictures that read it).
ProjectionHistory& StoreProjections(WS& w, DS& s) {
  EnsureMask(w, s);
  w.analyzer.MeasureProjections();
  ProjectionHistory& p = w.analyzer.Projections();
  p.Store();
  return p;
}

void ProjectionChart(WS& w, DS& s) {
  EnsureMask(w, s);
  w.analyzer.MeasureProjections();
  const ProjectionHistory& p = w.analyzer.Projections();
  p.DrawCurves(s.panes.bottomRight(), Frame(s).HeaderHeight(), p.Rows(), p.Columns());
}

void ProjectionChange(WS& w, DS& s) {
  ProjectionHistory& p = StoreProjections(w, s);
  p.DrawChange(s.panes.bottomRight(), Frame(s).HeaderHeight());
  p.Advance();
}

void SpaceTime(WS& w, DS& s, bool rows) {
  ProjectionHistory& p = StoreProjections(w, s);
  p.DrawSpaceTime(s.panes.bottomRight(), rows, false);
  p.Advance();
}

void RowSpaceTime(WS& w, DS& s) {
  SpaceTime(w, s, true);
}

void ColumnSpaceTime(WS& w, DS& s) {
  SpaceTime(w, s, false);
}

// The spectrum of the last transform into an 8-bit top-right picture of the given size.
void ShowSpectrum(WS& w, DS& s, int width, int height) {
  Dib& topRight = s.panes.topRight();
  EnsureDisplay(topRight, width, height, 8);
  w.fourier.MagnitudeImage(topRight.Pixels(), width, height, 8);
}

void RowSpaceTimeFft(WS& w, DS& s) {
  ProjectionHistory& p = StoreProjections(w, s);
  p.DrawSpaceTime(s.panes.bottomRight(), true, false);
  // Column l of the transform is slot (l + counter) mod 64, as in the space-time picture.
  w.fourier.TransformHistory(p.RowHistory(), kHistorySlots, p.Height(), p.Counter() + 1, true,
                             true);
  ShowSpectrum(w, s, kHistorySlots, p.Height());
  p.Advance();
}

void RowProjectionFft(WS& w, DS& s) {
  ProjectionHistory& p = StoreProjections(w, s);
  Dib& chart = s.panes.bottomRight();
  const int count = p.Height();
  EnsureDisplay(chart, std::max(count, 1), kSpectrumHeight, 8);
  w.fourier.Spectrum1D(p.Rows().data(), chart.Pixels(), chart.Width(), count, kSpectrumHeight, 8);
  p.Advance();
}

void NormalisedFft(WS& w, DS& s, bool rows) {
  ProjectionHistory& p = StoreProjections(w, s);
  Dib& picture = s.panes.bottomRight();
  p.DrawSpaceTime(picture, rows, true);
  w.fourier.Transform2D(picture.Pixels(), kHistorySlots, kHistorySlots, 8, true, true);
  ShowSpectrum(w, s, kHistorySlots, kHistorySlots);
  p.Advance();
}

void NormalisedRowFft(WS& w, DS& s) {
  NormalisedFft(w, s, true);
}

void NormalisedColumnFft(WS& w, DS& s) {
  NormalisedFft(w, s, false);
}

void RecogniseTexture(WS& w, DS& s) {
  w.analyzer.LearnTextureSignature(Frame(s), &s.panes.bottomRight());
  w.textureFound = w.analyzer.MatchTextureSignature();
  s.alarmFlag = w.textureFound ? 1 : 0;
}

// The second source's picture while the network trains and one is open.
Dib* SecondSource(WS& w, DS& s) {
  return w.hasSecondSource ? &s.panes.display : nullptr;
}

void RecogniseTextureNetwork(WS& w, DS& s) {
  w.textureFound = RecogniseTextureNN(w.analyzer, *w.network, w.training, Frame(s),
                                      SecondSource(w, s), &s.panes.bottomRight());
  s.alarmFlag = w.textureFound ? 1 : 0;
}

void RecogniseRegionNetwork(WS& w, DS& s) {
  constexpr int kMaxRegions = 10;
  w.textureFound =
      RecogniseRegionTextureNN(w.analyzer, *w.network, w.training, Frame(s), SecondSource(w, s),
                               kMaxRegions, &s.panes.bottomRight());
  s.alarmFlag = w.textureFound ? 1 : 0;
}

void BlockChosen(WS& w, DS& s) {
  w.analyzer.ResetSignature();
  const Dib& frame = Frame(s);
  w.previousFrame.CopyFrom(frame, false);
}

// Energy and contrast of the block matrices, averaged over the four directions.
void BlockMeasures(WS& w, float& energy, float& contrast) {
  energy = 0.0f;
  contrast = 0.0f;
  if (!w.analyzer.UpdateScores()) return;
  const TextureScores& t = w.analyzer.Scores();
  for (int d = 0; d < kDirections; ++d) {
    energy += t.measures[4 * d] / kDirections;
    contrast += t.measures[4 * d + 1] / kDirections;
  }
}

void BlockCooccurrence(WS& w, DS& s) {
  Dib& frame = Frame(s);
  Dib& quantised = w.analyzer.QuantisedImage();
  if (!w.previousFrame.SameFormat(frame) ||
      w.previousFrame.HeaderHeight() != frame.HeaderHeight()) {
    w.previousFrame.CopyFrom(frame, false);
  }
  const int levels = w.blockLevels;
  ScaledDifference(quantised, frame, w.previousFrame, 3, levels - 1);
  const int x0 = std::clamp(w.blockColumn * kBlockSide, 0, std::max(frame.Width() - 1, 0));
  // Block rows count from the picture's bottom row.
  const int pictureY = w.blockRow * kBlockSide;
  const int memoryY = frame.IsBottomUp() ? pictureY : frame.Height() - kBlockSide - pictureY;
  const int y0 = std::clamp(memoryY, 0, std::max(frame.Height() - 1, 0));
  const IntRect block{x0, y0, x0 + kBlockSide, y0 + kBlockSide};
  float energy[2];
  float contrast[2];
  w.analyzer.LearnCooccurrenceBlock(block);
  w.analyzer.ShowCooccurrence(s.panes.topRight(), w.logDisplay);
  BlockMeasures(w, energy[0], contrast[0]);
  DegradeLevels(frame, quantised, levels, true);
  w.analyzer.LearnCooccurrenceBlock(block);
  w.analyzer.ShowCooccurrence(s.panes.bottomRight(), w.logDisplay);
  BlockMeasures(w, energy[1], contrast[1]);

  // The block statistics: one square per matrix, at its contrast (across) and energy (up).
  Dib& chart = s.panes.bottomLeft();
  EnsureDisplay(chart, frame.Width(), frame.HeaderHeight(), 24);
  chart.Clear();
  const uint8_t colours[2][3] = {{0, 255, 0}, {255, 255, 0}};  // red, green, blue
  for (int m = 0; m < 2; ++m) {
    const int cx = static_cast<int>(std::clamp(contrast[m], 0.0f, 1.0f) * (chart.Width() - 1));
    const int cy = static_cast<int>(std::clamp(energy[m], 0.0f, 1.0f) * (chart.Height() - 1));
    FillRect(chart, cx - 2, cy - 2, cx + 2, cy + 2, colours[m][0], colours[m][1], colours[m][2]);
  }
  char text[96];
  std::snprintf(text, sizeof text, "%f %f\n%f %f", energy[0], contrast[0], energy[1], contrast[1]);
  // The pen starts one line above (20, 20), so that the second line ends at row 20.
  DrawText(chart, text, 20, 20 + 24, 10, 24, 255, 255, 255);
  w.previousFrame.SwapPixels(frame);
}

void ShiftWavelet(WS&, DS& s) {
  Dib& frame = Frame(s);
  Dib& topRight = s.panes.topRight();
  EnsureDisplay(topRight, frame.Width(), frame.HeaderHeight(), frame.GetBitCount());
  FloatWavelet(frame, 1, &topRight);
}

// clang-format off
const TopLeftOperation kOperations[] = {
    {a::kDegradeLevel, "Degrade Level", false, false, false, nullptr, DegradeLevel},
    {a::kLearnTextureByKey, "Learn Texture by color key", true, true, false, nullptr, LearnTextureByKey},
    {a::kLearnTextureWhole, "Learn Texture whole", true, false, false, nullptr, LearnTextureWhole},
    {a::kLearnTextureFeatures, "Learning Texture Features", true, false, false, ResetSignature,
     LearnTextureFeatures},
    {a::kMaskByColourKey, "Get Mask by Color Key", false, false, false, nullptr, MaskByColourKey},
    {a::kBoundaryPixels, "Get Boundary pixels", false, false, false, nullptr, BoundaryPixels},
    {a::kMaxRegionBoundary, "Get Max region boundary", false, true, false, nullptr, MaxRegionBoundary},
    {a::kProjectionChart, "Horizon and Vertical Projection Chart", false, false, false, nullptr,
     ProjectionChart},
    {a::kProjectionChange, "Horizontal and vertical projection differce chart", false, false, false,
     nullptr, ProjectionChange},
    {a::kRowSpaceTime, "Horizontal projection space-time DIB", false, false, false, nullptr,
     RowSpaceTime},
    {a::kRowSpaceTimeFft, "Horizontal Projection DIB FFT", false, false, false, nullptr,
     RowSpaceTimeFft},
    {a::kColumnSpaceTime, "Vertical Projection space-time DIB", false, false, false, nullptr,
     ColumnSpaceTime},
    {a::kRowProjectionFft, "HPD 1D FFT and display", false, false, false, nullptr, RowProjectionFft},
    {a::kNormalisedRowFft, "Normalized Hor Proj Data FFT", false, false, false, nullptr,
     NormalisedRowFft},
    {a::kNormalisedColumnFft, "Normalized Vertical Proj Data FFT", false, false, false, nullptr,
     NormalisedColumnFft},
    {a::kRecogniseTexture, "Recognize by texture features", true, false, false, nullptr,
     RecogniseTexture},
    {a::kRecogniseTextureNetwork, "Recognize by texture and NN", false, false, true, nullptr,
     RecogniseTextureNetwork},
    {a::kRecogniseRegionNetwork, "Recognize By texture, region, NN ", false, false, true, nullptr,
     RecogniseRegionNetwork},
    {a::kBlockCooccurrence, "View Coocurrence of specified block", true, false, false, BlockChosen,
     BlockCooccurrence},
    {a::kShiftWavelet, "Shift wavelet transform", false, false, false, nullptr, ShiftWavelet},
};
// clang-format on

bool IsRecogniser(int id) {
  return id == a::kRecogniseTexture || id == a::kRecogniseTextureNetwork ||
         id == a::kRecogniseRegionNetwork;
}

// Runs the selected operation on a picture that fits the size at selection; a picture that no
// longer fits is reported once.
void RunSelected(WS& w, DS& s) {
  const TopLeftOperation* op = FindTopLeftOperation(w.topLeftOperation);
  if (op == nullptr) return;
  const Dib& frame = Frame(s);
  if (!w.analyzer.Fits(frame)) {
    if (!w.sizeReported) {
      w.sizeReported = true;
      CurrentUiSink().Message(
          std::string(op->label) + ": the picture is " + std::to_string(frame.Width()) + " x " +
              std::to_string(frame.Height()) + " (" + std::to_string(frame.GetBitCount()) +
              "-bit) but the operation was chosen for " + std::to_string(w.analyzer.Width()) +
              " x " + std::to_string(w.analyzer.Height()) + " (8-bit or 24-bit); choose it again.",
          "Fumewatch", MessageButtons::Ok);
    }
    return;
  }
  op->run(w, s);
}

}  // namespace

std::span<const TopLeftOperation> TopLeftOperations() {
  return kOperations;
}

const TopLeftOperation* FindTopLeftOperation(int id) {
  for (const TopLeftOperation& op : kOperations) {
    if (op.id == id) return &op;
  }
  return nullptr;
}

bool ChooseTopLeftOperation(WorkbenchState& workbench, DetectionState& state, int id) {
  const TopLeftOperation* op = FindTopLeftOperation(id);
  if (op == nullptr) return false;
  if (IsRecogniser(workbench.topLeftOperation)) {
    ClearAlarmFlag(state);
    workbench.textureFound = false;
  }
  if (workbench.topLeftOperation == id) {
    workbench.topLeftOperation = 0;
    return true;
  }
  workbench.topLeftOperation = id;
  workbench.sizeReported = false;
  workbench.analyzer.Initialise(Frame(state), op->keepsMatrices);
  if (op->chosen) op->chosen(workbench, state);
  RunSelected(workbench, state);
  return true;
}

void ToggleLogDisplay(WorkbenchState& workbench, DetectionState& state) {
  workbench.logDisplay = !workbench.logDisplay;
  const int op = workbench.topLeftOperation;
  if (op == a::kLearnTextureByKey || op == a::kLearnTextureWhole) RunSelected(workbench, state);
}

void ToggleFftCircle(WorkbenchState& workbench, DetectionState& state) {
  workbench.fftCircle = !workbench.fftCircle;
  const int op = workbench.topLeftOperation;
  if (workbench.fftCircle && op != a::kNormalisedRowFft && op != a::kNormalisedColumnFft) {
    ChooseTopLeftOperation(workbench, state, a::kNormalisedRowFft);
  }
}

void RunTopLeftOperations(WorkbenchState& workbench, DetectionState& state, bool topLeftGrad,
                          bool bottomLeftGrads) {
  if (topLeftGrad) {
    SobelMagnitude(state.panes.topLeft(), state.panes.bottomRight());
    return;
  }
  if (bottomLeftGrads) {
    SobelMagnitude(state.panes.bottomLeft(), state.panes.bottomRight());
    return;
  }
  RunSelected(workbench, state);
}

void RunFftCircle(WorkbenchState& workbench, DetectionState& state) {
  if (!workbench.fftCircle) return;
  Dib& picture = state.panes.bottomLeft();
  const int bits = picture.GetBitCount();
  if (bits != 8 && bits != 24) return;
  workbench.fourier.RadialProfile(picture.Pixels(), picture.Width(), picture.Height(), bits, true);
}

void PickAnalysisBlock(WorkbenchState& workbench, int x, int y) {
  workbench.blockColumn = std::max(x, 0) / kBlockSide;
  workbench.blockRow = std::max(y, 0) / kBlockSide;
}

}  // namespace fw

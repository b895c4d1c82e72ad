#include "detect/wavelet_view.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/charts.h"
#include "core/draw.h"
#include "core/resample.h"
#include "core/ui_sink.h"
#include "core/wavelet.h"
#include "detect/alarm.h"
#include "detect/detection_state.h"

namespace fw {

void WaveletView::Initialise(Dib& frame, const SmokeFlameParams& params) {
  frame_ = &frame;
  detector_.params = params;
  detector_.Initialise(frame, false);
  block_.CreateSigned(kBlock, kBlock, 8, false);
  history_.fill(0);
  transform_.fill(0);
  crossings_ = 0;
  blockEnergy_ = 0.0f;
}

void WaveletView::ShowPointSignal(int x, int row, Dib& image) {
  if (!FrameMatches()) return;
  detector_.RedHistory(x, row, history_);
  const int32_t* transform = detector_.TransformHistory(history_);
  std::copy_n(transform, transform_.size(), transform_.begin());
  crossings_ = SmokeFlameDetector::CountCrossings(transform, detector_.params.deadZone);
  CurveChart(image, history_, transform_, crossings_, static_cast<int>(detector_.params.deadZone));
}

void WaveletView::ShowBlockTransform(int x, int row, Dib& image) {
  if (!FrameMatches()) return;
  const int w = detector_.Width();
  const int h = detector_.Height();
  if (w <= kBlock || h <= kBlock) return;
  const auto origin = [](int p, int size) {
    const int o = p - kBlock / 2;
    return o < 0 ? 0 : (o >= size - kBlock ? size - kBlock - 1 : o);
  };
  const int x0 = origin(x, w);
  const int y0 = origin(row, h);
  // The frame pane borrows the detector's integer planes for the transform.
  std::array<std::span<int32_t>, 2>& planes = frame_->IntWaveletPlanes();
  planes = {detector_.WaveletPlane(0), detector_.WaveletPlane(1)};
  constexpr int kRed = 2;
  IntWaveletRect(*frame_, x0, y0, kBlock, kBlock, kRed, kLevels, &block_);
  planes = {};
  blockEnergy_ = DetailEnergy(detector_.WaveletPlane(1).data(), kBlock, kBlock);

  if (!image.SameFormat(w, h, 24) || image.Stride() != frame_->Stride()) {
    image.CreateSigned(w, frame_->HeaderHeight(), 24, false);
  }
  image.CopyFrom(*frame_, true);
  PasteCentred(block_, image, x0 + kBlock / 2, y0 + kBlock / 2);
  DrawFloat(image, blockEnergy_, w - 200, 20, 255, 255, 255, 8);
}

void WaveletView::ComputeBlockEnergies(const Dib& image) {
  detector_.ComputeBlockEnergies(image);
}

void WaveletView::PlotBlockEnergy(int column, int row, Dib& image) {
  if (!FrameMatches() || image.GetBitCount() != 24) return;
  const int w = image.Width();
  const int h = image.Height();
  if (w <= 0 || h <= 0) return;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = image.Row(y);
    std::memmove(p, p + 3, static_cast<size_t>(3 * (w - 1)));
    std::memset(p + 3 * (w - 1), 0, 3);
  }
  const int columns = detector_.BlockColumns();
  const int rows = detector_.BlockRows();
  if (columns == 0 || rows == 0) return;
  const int c = std::clamp(column, 0, columns - 1);
  const int r = std::clamp(row, 0, rows - 1);
  const int32_t energy = detector_.BlockEnergies()[static_cast<size_t>(r) * columns + c];
  const int y = std::min(energy / kPlotRowScale, h - 1);
  uint8_t* p = image.Row(y) + 3 * (w - 1);
  p[0] = 0;
  p[1] = 0;
  p[2] = 255;
}

void WaveletView::StoreFrame() {
  detector_.StoreFrameCopy();
}

// --- the view in the pipeline --------------------------------------------------------------------

void ToggleWaveletView(DetectionState& state) {
  WaveletViewState& view = state.waveletView;
  ClearAlarmState(state);
  view.on = !view.on;
  if (!view.on) return;
  view.view = std::make_unique<WaveletView>();
  view.view->Initialise(state.panes.topLeft(), state.smoke.params);
  view.sizeReported = false;
}

void SetWaveletPoint(DetectionState& state, int x, int y) {
  const Dib& frame = state.panes.topLeft();
  state.waveletView.x = std::clamp(x, 0, std::max(frame.Width() - 1, 0));
  state.waveletView.y = std::clamp(y, 0, std::max(frame.Height() - 1, 0));
}

namespace {

// The view when it can work on the current frame; a frame of another size is reported once.
WaveletView* UsableView(DetectionState& state) {
  WaveletViewState& view = state.waveletView;
  if (!view.on || !view.view) return nullptr;
  if (view.view->FrameMatches()) return view.view.get();
  if (!view.sizeReported) {
    view.sizeReported = true;
    const Dib& frame = state.panes.topLeft();
    const SmokeFlameDetector& detector = view.view->Detector();
    CurrentUiSink().Message(
        detector.Width() == 0
            ? std::string("View Wavelet and zero crossing: the view was turned on without a "
                          "colour frame; open a video and turn it on again.")
            : "View Wavelet and zero crossing: the frame is now " + std::to_string(frame.Width()) +
                  " x " + std::to_string(frame.Height()) + " but the view was built for " +
                  std::to_string(detector.Width()) + " x " + std::to_string(detector.Height()) +
                  "; turn the view on again.",
        "Fumewatch", MessageButtons::Ok);
  }
  return nullptr;
}

}  // namespace

void WaveletViewStep(DetectionState& state) {
  WaveletView* view = UsableView(state);
  if (view == nullptr) return;
  const Dib& frame = state.panes.topLeft();
  const int w = frame.Width();
  const int h = frame.Height();
  // The picked point in memory columns and rows of the frame.
  const int x = std::clamp(state.waveletView.x, 0, w - 1);
  const int up = std::clamp(state.waveletView.y, 0, h - 1);
  const int row = frame.IsBottomUp() ? up : h - 1 - up;
  Panes& panes = state.panes;
  view->ShowPointSignal(x, row, panes.topRight());
  view->ShowBlockTransform(x, row, panes.bottomLeft());
  view->ComputeBlockEnergies(frame);
  constexpr int kSize = SmokeFlameDetector::kBlockSize;
  view->PlotBlockEnergy(x / kSize, row / kSize, panes.bottomRight());
}

void WaveletViewEndOfFrame(DetectionState& state) {
  if (WaveletView* view = UsableView(state)) view->StoreFrame();
}

size_t WaveletViewBytes(int width, int height) {
  // The detector and the colour bottom-left pane.
  return SmokeFlameDetector::PixelModeBytes(width, height, SmokeFlameParams{}) +
         static_cast<size_t>(DibStride(width, 24)) * height;
}

}  // namespace fw

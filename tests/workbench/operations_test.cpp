// The top-left operations and the auxiliary operations on a detection state: selection rules,
// the per-frame order, the histogram of a known picture, the snake's need for a background model,
// and every operation running frames of the same size without allocating.
#include <gtest/gtest.h>

#include "core/ui_sink.h"
#include "detect/background/background_model.h"
#include "detect/background/background_modes.h"
#include "detect/dispatch.h"
#include "tests/support/allocations.h"
#include "workbench/auxiliary_operations.h"
#include "workbench/top_left_operations.h"

namespace fw {
namespace {

namespace a = analysis;

// A 24-bit bottom-up frame: dark background with a bright textured square that moves with `t`.
void PaintFrame(Dib& frame, int width, int height, int t) {
  if (!frame.SameFormat(width, height, 24)) frame.CreateSigned(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = frame.Row(y);
    for (int x = 0; x < width; ++x) {
      const bool inside = x >= 10 + t && x < 40 + t && y >= 12 && y < 40;
      const uint8_t v = inside ? static_cast<uint8_t>(150 + ((x * 7 + y * 3) % 9) * 3) : 5;
      row[3 * x] = v;
      row[3 * x + 1] = v;
      row[3 * x + 2] = inside ? 200 : 5;
    }
  }
}

struct Bench {
  DetectionState state;
  WorkbenchState workbench;
  RecordingUiSink sink;
  ScopedUiSink scoped{sink};
  Bench() {
    PaintFrame(state.panes.topLeft(), 64, 48, 0);
    for (Dib* pane :
         {&state.panes.topRight(), &state.panes.bottomLeft(), &state.panes.bottomRight()}) {
      pane->CreateSigned(64, 48, 24, false);
    }
  }
  void Frame(int t) {
    PaintFrame(state.panes.topLeft(), 64, 48, t);
    RunAuxiliaryOperation(workbench, state);
    RunTopLeftOperations(workbench, state, false, false);
    RunFftCircle(workbench, state);
  }
};

TEST(TopLeftOperations, ChoosingTheSelectedOneSwitchesItOffAndKeepsThePicture) {
  Bench b;
  ASSERT_TRUE(ChooseTopLeftOperation(b.workbench, b.state, a::kDegradeLevel));
  EXPECT_EQ(b.workbench.topLeftOperation, a::kDegradeLevel);
  ASSERT_EQ(b.state.panes.bottomRight().GetBitCount(), 8);  // run once at once
  const uint8_t shown = b.state.panes.bottomRight().Row(20)[20];
  ASSERT_TRUE(ChooseTopLeftOperation(b.workbench, b.state, a::kDegradeLevel));
  EXPECT_EQ(b.workbench.topLeftOperation, 0);
  b.state.threshold = 2;
  b.Frame(3);
  EXPECT_EQ(b.state.panes.bottomRight().Row(20)[20], shown);
  EXPECT_FALSE(ChooseTopLeftOperation(b.workbench, b.state, 12345));
  // Another entry replaces the selection.
  ChooseTopLeftOperation(b.workbench, b.state, a::kMaskByColourKey);
  ChooseTopLeftOperation(b.workbench, b.state, a::kProjectionChart);
  EXPECT_EQ(b.workbench.topLeftOperation, a::kProjectionChart);
}

TEST(TopLeftOperations, GradientSwitchesComeFirstAndStopTheOperation) {
  Bench b;
  ChooseTopLeftOperation(b.workbench, b.state, a::kRowSpaceTime);
  const int counter = b.workbench.analyzer.Projections().Counter();
  PaintFrame(b.state.panes.topLeft(), 64, 48, 2);
  RunTopLeftOperations(b.workbench, b.state, true, false);
  EXPECT_EQ(b.workbench.analyzer.Projections().Counter(), counter);  // not run
  EXPECT_EQ(b.state.panes.bottomRight().Width(), 64);                // the Sobel magnitude
  EXPECT_EQ(b.state.panes.bottomRight().GetBitCount(), 8);
  RunTopLeftOperations(b.workbench, b.state, false, true);
  EXPECT_EQ(b.workbench.analyzer.Projections().Counter(), counter);
  RunTopLeftOperations(b.workbench, b.state, false, false);
  EXPECT_EQ(b.workbench.analyzer.Projections().Counter(), counter + 1);
}

int64_t MatrixTotal(const WorkbenchState& w) {
  int64_t total = 0;
  for (const auto& m : w.analyzer.Matrices().m) {
    for (const int32_t c : m) total += c;
  }
  return total;
}

TEST(TopLeftOperations, MatricesKeptOnlyByTheEntriesThatKeepThem) {
  Bench b;
  ChooseTopLeftOperation(b.workbench, b.state, a::kLearnTextureByKey);
  ASSERT_GT(MatrixTotal(b.workbench), 0);
  const auto learned = b.workbench.analyzer.Matrices().m;
  // On a black frame "Recognize by texture features" finds no texture: the matrices it kept stay.
  b.state.panes.topLeft().Clear();
  ChooseTopLeftOperation(b.workbench, b.state, a::kRecogniseTexture);
  EXPECT_EQ(learned, b.workbench.analyzer.Matrices().m);
  // "Degrade Level" clears them.
  ChooseTopLeftOperation(b.workbench, b.state, a::kDegradeLevel);
  EXPECT_EQ(MatrixTotal(b.workbench), 0);
}

TEST(TopLeftOperations, CooccurrenceDisplaysAndTheQuantisedImageInTheDialog) {
  Bench b;
  // A uniform 5 x 4 patch: 16 horizontal pairs, a count of 32 (not saturated in either scale).
  Dib& frame = b.state.panes.topLeft();
  frame.Clear();
  for (int y = 10; y < 14; ++y) {
    for (int x = 10; x < 15; ++x) frame.Row(y)[3 * x + 1] = 200;
  }
  ChooseTopLeftOperation(b.workbench, b.state, a::kLearnTextureByKey);
  EXPECT_EQ(b.state.panes.bottomRight().Width(), 2 * kGreyLevels + 10);
  EXPECT_EQ(b.state.panes.display.GetBitCount(), 8);
  EXPECT_EQ(b.state.panes.display.Width(), 64);
  EXPECT_EQ(b.state.panes.display.GetPalette()[3].green, 3 * 256 / kGreyLevels);
  // "Display in log mode" shows the matrices again at once.
  Dib& shown = b.state.panes.bottomRight();
  const std::vector<uint8_t> linear(shown.Pixels(), shown.Pixels() + shown.PixelBytes());
  ToggleLogDisplay(b.workbench, b.state);
  EXPECT_TRUE(b.workbench.logDisplay);
  EXPECT_NE(linear, std::vector<uint8_t>(shown.Pixels(), shown.Pixels() + shown.PixelBytes()));
}

TEST(TopLeftOperations, FftCircleSelectsTheNormalisedRowSpectrum) {
  Bench b;
  ChooseTopLeftOperation(b.workbench, b.state, a::kProjectionChart);
  ToggleFftCircle(b.workbench, b.state);
  EXPECT_TRUE(b.workbench.fftCircle);
  EXPECT_EQ(b.workbench.topLeftOperation, a::kNormalisedRowFft);
  EXPECT_EQ(b.state.panes.topRight().Width(), kHistorySlots);
  b.Frame(1);
  // The radial profile cleared the bottom-left picture and drew bars from row 0.
  EXPECT_EQ(b.state.panes.bottomLeft().Row(0)[3 * 32], 255);
  // With 2009 selected the switch leaves the selection alone.
  ToggleFftCircle(b.workbench, b.state);
  ChooseTopLeftOperation(b.workbench, b.state, a::kNormalisedColumnFft);
  ToggleFftCircle(b.workbench, b.state);
  EXPECT_EQ(b.workbench.topLeftOperation, a::kNormalisedColumnFft);
}

TEST(TopLeftOperations, RecogniserRaisesTheAlarmAndLeavingItClearsIt) {
  Bench b;
  ChooseTopLeftOperation(b.workbench, b.state, a::kLearnTextureFeatures);
  ChooseTopLeftOperation(b.workbench, b.state, a::kRecogniseTexture);
  for (int f = 0; f < 120; ++f) b.Frame(0);
  EXPECT_TRUE(b.workbench.textureFound);
  EXPECT_EQ(b.state.alarmFlag, 1);
  ChooseTopLeftOperation(b.workbench, b.state, a::kRecogniseTexture);
  EXPECT_EQ(b.state.alarmFlag, 0);
  EXPECT_EQ(b.workbench.topLeftOperation, 0);
}

TEST(TopLeftOperations, AFrameOfAnotherSizeIsReportedOnceAndLeftAlone) {
  Bench b;
  ChooseTopLeftOperation(b.workbench, b.state, a::kMaxRegionBoundary);
  PaintFrame(b.state.panes.topLeft(), 40, 30, 0);
  RunTopLeftOperations(b.workbench, b.state, false, false);
  RunTopLeftOperations(b.workbench, b.state, false, false);
  ASSERT_EQ(b.sink.Messages().size(), 1u);
  EXPECT_NE(b.sink.Messages()[0].text.find("Get Max region boundary"), std::string::npos);
  EXPECT_EQ(b.state.panes.bottomRight().Width(), 64);  // untouched
}

TEST(TopLeftOperations, BlockCooccurrenceFollowsThePickedBlock) {
  Bench b;
  PickAnalysisBlock(b.workbench, 20, 17);
  EXPECT_EQ(b.workbench.blockColumn, 1);
  EXPECT_EQ(b.workbench.blockRow, 1);
  ChooseTopLeftOperation(b.workbench, b.state, a::kBlockCooccurrence);
  b.Frame(1);
  EXPECT_EQ(b.state.panes.topRight().Width(), 2 * kGreyLevels + 10);
  EXPECT_EQ(b.state.panes.bottomRight().Width(), 2 * kGreyLevels + 10);
  EXPECT_EQ(b.state.panes.bottomLeft().GetBitCount(), 24);
  // The 16 x 16 block of the grey levels holds 16 x 15 pairs in each straight direction.
  int64_t total = 0;
  for (const int32_t c : b.workbench.analyzer.Matrices().m[0]) total += c;
  EXPECT_EQ(total, 2 * 16 * 15);
  Overlays overlays;
  AppendAnalysisOverlays(b.workbench, b.state, overlays);
  ASSERT_EQ(overlays.size(), 1u);
  EXPECT_EQ(overlays[0].x0, 17);
  EXPECT_EQ(overlays[0].y1, 30);
}

TEST(AuxiliaryOperations, HistogramOfAKnownPicture) {
  Bench b;
  Dib& topRight = b.state.panes.topRight();
  topRight.CreateSigned(16, 8, 8, false);
  for (int y = 0; y < 8; ++y) {
    for (int x = 8; x < 16; ++x) topRight.Row(y)[x] = 200;
  }
  ASSERT_TRUE(ChooseAuxiliaryOperation(b.workbench, b.state, a::kHistogram));
  const Dib& chart = b.state.panes.display;
  ASSERT_EQ(chart.Width(), 256);
  ASSERT_EQ(chart.Height(), 256);
  ASSERT_EQ(chart.GetBitCount(), 24);
  // 64 pixels of 0 and 64 of 200: two full-height yellow bars (log scale), nothing else.
  const auto bar = [&](int bin) {
    int n = 0;
    for (int y = 0; y < 256; ++y) n += chart.Row(y)[3 * bin + 2] == 255;
    return n;
  };
  EXPECT_EQ(bar(0), 256);
  EXPECT_EQ(bar(200), 256);
  EXPECT_EQ(bar(100), 0);
  // Per frame it follows the top-right picture.
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) topRight.Row(y)[x] = x < 4 ? 50 : 200;
  }
  b.Frame(0);
  EXPECT_EQ(bar(0), 0);
  EXPECT_GT(bar(50), 0);
  EXPECT_LT(bar(50), 256);
  // Choosing it again switches it off.
  ASSERT_TRUE(ChooseAuxiliaryOperation(b.workbench, b.state, a::kHistogram));
  EXPECT_EQ(b.workbench.auxiliaryOperation, 0);
}

TEST(AuxiliaryOperations, SnakeNeedsABackgroundModelAndFollowsTheLargestRegion) {
  Bench b;
  EXPECT_FALSE(ChooseAuxiliaryOperation(b.workbench, b.state, a::kSnakeModel));
  EXPECT_EQ(b.workbench.auxiliaryOperation, 0);
  // With a model (here its mask is the key mask of the frame's bright square, since none has
  // been published), the snake is fitted and shown.
  BuildGaussMode(b.state);
  ASSERT_TRUE(b.state.background.model);
  ASSERT_TRUE(ChooseAuxiliaryOperation(b.workbench, b.state, a::kSnakeModel));
  EXPECT_EQ(b.workbench.auxiliaryOperation, a::kSnakeModel);
  EXPECT_TRUE(b.workbench.snakeFitted);
  b.Frame(2);
  EXPECT_TRUE(b.workbench.snakeFitted);
  Overlays overlays;
  AppendAnalysisOverlays(b.workbench, b.state, overlays);
  EXPECT_EQ(static_cast<int>(overlays.size()), b.workbench.snake.PointCount());
  // Every point lies within a few pixels of the square's border (x 12..41, y 12..39).
  b.workbench.snake.ForEachPoint([](SnakePoint p) {
    const bool nearSide = std::abs(p.x - 12) <= 3 || std::abs(p.x - 41) <= 3 ||
                          std::abs(p.y - 12) <= 3 || std::abs(p.y - 39) <= 3;
    EXPECT_TRUE(nearSide) << p.x << "," << p.y;
  });
  // The published mask of the model replaces the key mask: an empty one gives no snake.
  b.workbench.analyzer.SetExternalMask(b.state.background.model->Mask().data());
  b.Frame(2);
  EXPECT_FALSE(b.workbench.snakeFitted);
}

TEST(Operations, EveryOperationRunsFramesWithoutAllocating) {
  for (const TopLeftOperation& op : TopLeftOperations()) {
    Bench b;
    ChooseTopLeftOperation(b.workbench, b.state, op.id);
    b.Frame(1);  // the first frame may size what the choice did not
    test::StartCountingAllocations();
    for (int t = 2; t < 6; ++t) b.Frame(t);
    EXPECT_EQ(test::StopCountingAllocations(), 0) << op.label;
    EXPECT_TRUE(b.sink.Messages().empty()) << op.label;
  }
  for (const int id : {a::kHistogram, a::kSnakeModel}) {
    Bench b;
    BuildGaussMode(b.state);
    ASSERT_TRUE(ChooseAuxiliaryOperation(b.workbench, b.state, id));
    b.Frame(1);
    test::StartCountingAllocations();
    for (int t = 2; t < 6; ++t) b.Frame(t);
    EXPECT_EQ(test::StopCountingAllocations(), 0) << id;
  }
}

}  // namespace
}  // namespace fw

// The snake: the ring taken from a contour, the resampling, the search's stopping rules and its
// convergence on a synthetic disc.
#include "workbench/snake.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace fw {
namespace {

std::vector<SnakePoint> Points(const Snake& snake) {
  std::vector<SnakePoint> points;
  snake.ForEachPoint([&](SnakePoint p) { points.push_back(p); });
  return points;
}

// A contour of n points along a horizontal line (x = index).
struct Line {
  std::vector<int32_t> xs;
  std::vector<int32_t> ys;
  explicit Line(int n) {
    for (int i = 0; i < n; ++i) {
      xs.push_back(i);
      ys.push_back(7);
    }
  }
};

TEST(Snake, RingTakenEvenlyFromTheContour) {
  struct Case {
    int contour;
    int points;
    int step;
  };
  // 30 < 2 x 20: 15 points, every second; 100: 20 points, every fifth.
  for (const Case c : {Case{30, 15, 2}, Case{100, 20, 5}, Case{40, 20, 2}}) {
    Snake snake;
    snake.Allocate(200, 20);
    const Line line(c.contour);
    snake.InitFromBoundary(line.xs.data(), line.ys.data(), c.contour, Snake::kWantedPoints);
    const std::vector<SnakePoint> points = Points(snake);
    ASSERT_EQ(static_cast<int>(points.size()), c.points) << c.contour;
    for (int i = 0; i < c.points; ++i) EXPECT_EQ(points[i].x, i * c.step);
  }
  // One contour point gives no ring; wanted 0 takes every point.
  Snake snake;
  snake.Allocate(200, 20);
  const Line line(12);
  snake.InitFromBoundary(line.xs.data(), line.ys.data(), 1, Snake::kWantedPoints);
  EXPECT_EQ(snake.PointCount(), 0);
  snake.InitFromBoundary(line.xs.data(), line.ys.data(), 12, 0);
  EXPECT_EQ(snake.PointCount(), 12);
}

TEST(Snake, ResampleInsertsMidpointsAndRemovesCrowdedPoints) {
  Snake snake;
  snake.Allocate(100, 100);
  // A ring of four points: 25 apart, 10 apart, 2 apart, and the closing step.
  const int32_t xs[] = {10, 35, 35, 35};
  const int32_t ys[] = {10, 10, 20, 22};
  snake.InitFromBoundary(xs, ys, 4, 0);
  snake.Resample();
  // (10,10) -> (35,10) gets (22,10); (35,20) loses (35,22) and then closes the ring to (10,10)
  // over 26.9 pixels, which gets (22,15).
  const std::vector<SnakePoint> points = Points(snake);
  const std::vector<std::pair<int, int>> expected = {
      {10, 10}, {22, 10}, {35, 10}, {35, 20}, {22, 15}};
  ASSERT_EQ(points.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(points[i].x, expected[i].first) << i;
    EXPECT_EQ(points[i].y, expected[i].second) << i;
  }
  // A ring whose only two points lie together loses one; a single point stays.
  const int32_t px[] = {5, 6};
  const int32_t py[] = {5, 5};
  snake.InitFromBoundary(px, py, 2, 0);
  EXPECT_GE(snake.Resample(), 0.0f);
  EXPECT_EQ(snake.PointCount(), 1);
  EXPECT_GE(snake.Resample(), 0.0f);
  EXPECT_EQ(snake.PointCount(), 1);
  snake.InitFromBoundary(px, py, 0, 0);
  EXPECT_EQ(snake.Resample(), -1.0f);
}

TEST(Snake, FlatPictureStopsAfterOneIteration) {
  Dib flat;
  flat.CreateSigned(60, 60, 24, false);
  Snake snake;
  snake.Allocate(60, 60);
  ASSERT_TRUE(snake.ComputeGradientMap(flat));
  std::vector<int32_t> xs, ys;
  for (int i = 0; i < 40; ++i) {
    const double a = 2 * M_PI * i / 40;
    xs.push_back(30 + static_cast<int>(std::lround(20 * std::cos(a))));
    ys.push_back(30 + static_cast<int>(std::lround(20 * std::sin(a))));
  }
  snake.InitFromBoundary(xs.data(), ys.data(), 40, Snake::kWantedPoints);
  // No gradient anywhere: no point can be judged, none moves, the search ends at once.
  EXPECT_EQ(snake.Search(nullptr), 1);
  // A picture of another size is refused.
  Dib other;
  other.CreateSigned(61, 60, 24, false);
  EXPECT_FALSE(snake.ComputeGradientMap(other));
}

TEST(Snake, ConvergesOnTheEdgeOfADisc) {
  // A bright disc of radius 25 with a soft edge: the gradient peaks on the circle of radius 25
  // and falls off on both sides.
  constexpr int kSide = 120;
  constexpr double kRadius = 25.0;
  Dib picture;
  picture.CreateSigned(kSide, kSide, 24, false);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const double r = std::hypot(x - 60.0, y - 60.0);
      const auto v = static_cast<uint8_t>(255.0 / (1.0 + std::exp((r - kRadius) / 4.0)));
      uint8_t* p = picture.Row(y) + 3 * x;
      p[0] = p[1] = p[2] = v;
    }
  }
  Snake snake;
  snake.Allocate(kSide, kSide);
  ASSERT_TRUE(snake.ComputeGradientMap(picture));
  // Start on a circle of radius 33 around the disc.
  std::vector<int32_t> xs, ys;
  for (int i = 0; i < 100; ++i) {
    const double a = 2 * M_PI * i / 100;
    xs.push_back(static_cast<int32_t>(std::lround(60 + 33 * std::cos(a))));
    ys.push_back(static_cast<int32_t>(std::lround(60 + 33 * std::sin(a))));
  }
  snake.InitFromBoundary(xs.data(), ys.data(), 100, Snake::kWantedPoints);
  const int iterations = snake.Search(nullptr);
  EXPECT_LT(iterations, Snake::kMaxIterations);
  const std::vector<SnakePoint> points = Points(snake);
  ASSERT_GE(points.size(), 10u);
  for (const SnakePoint& p : points) {
    EXPECT_NEAR(std::hypot(p.x - 60.0, p.y - 60.0), kRadius, 2.5) << p.x << "," << p.y;
  }
}

TEST(Snake, DrawPointsClipsTheSquaresToThePicture) {
  Dib picture;
  picture.CreateSigned(10, 10, 8, false);
  Snake snake;
  snake.Allocate(10, 10);
  const int32_t xs[] = {0, 5};
  const int32_t ys[] = {0, 5};
  snake.InitFromBoundary(xs, ys, 2, 0);
  snake.DrawPoints(picture, 1);
  int set = 0;
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) set += picture.Row(y)[x] == 255;
  }
  // The square at (5, 5) has 8 outline pixels; the one at (0, 0) is clipped to a 2 x 2 square.
  EXPECT_EQ(set, 8 + 4);
  EXPECT_EQ(picture.Row(5)[5], 0);
  Dib colour;
  colour.CreateSigned(10, 10, 24, false);
  snake.DrawPoints(colour, 0);
  EXPECT_EQ(colour.Row(5)[3 * 5 + 1], 255);
  EXPECT_EQ(colour.Row(5)[3 * 5 + 2], 255);
  EXPECT_EQ(colour.Row(5)[3 * 5 + 0], 0);
}

}  // namespace
}  // namespace fw

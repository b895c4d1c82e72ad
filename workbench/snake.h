// A closed active contour: a ring of points fitted to the edges of a picture by a greedy search.
// Each iteration first resamples the ring (points too far apart get a midpoint between them,
// points too close lose their successor), then moves every point to the best of its own position
// and four neighbouring positions (alternately the four straight and the four diagonal ones):
// the one that keeps the spacing even, the ring smooth and lies on the strongest gradient.
//
// The ring lives in a pool sized when the gradient map is allocated, so a search allocates
// nothing; points are never inserted beyond the pool's capacity.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dib.h"

namespace fw {

struct SnakePoint {
  int32_t x = 0;  // column
  int32_t y = 0;  // memory row
};

class Snake {
 public:
  static constexpr int kWantedPoints = 20;  // points taken from a traced contour
  static constexpr int kMaxIterations = 100;
  static constexpr float kContinuity = 1.0f;  // weights of the three terms
  static constexpr float kCurvature = 1.0f;
  static constexpr float kImage = 2.0f;

  // Sizes the gradient map for pictures of width x height and the ring's pool.
  void Allocate(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Capacity() const { return static_cast<int>(nodes_.size()); }

  // The gradient of every pixel, with the neighbours replaced by the pixel itself at the border
  // ("up" is the previous memory row): 8-bit sqrt(dx^2 + dy^2) x 0.5; 24-bit, with
  // dx = 59 dG + 30 dR + 11 dB of the left and right neighbours (dy of up and down),
  // sqrt(dx^2 + dy^2) x 0.005. False, and the map unchanged, for a picture of another size or
  // depth.
  bool ComputeGradientMap(const Dib& picture);
  const std::vector<float>& GradientMap() const { return gradient_; }

  // A ring of `wanted` points taken evenly along the n contour points (n / 2 of them when
  // n < 2 x wanted; all n when wanted <= 0), at most the pool's capacity.
  void InitFromBoundary(const int32_t* xs, const int32_t* ys, int n, int wanted);
  // One pass around the ring: a point more than 20 from its successor gets their midpoint after
  // it, a successor closer than 3 is removed. Returns the mean spacing, or -1 for an empty ring.
  float Resample();
  // The greedy search: at most 100 iterations, ending when fewer than max(n / 10, 2) points moved
  // (n the starting count). With a picture, every iteration's points are drawn into it. Returns
  // the number of iterations run.
  int Search(Dib* picture);
  // Every point as the outline of the square of half side `half` around it, clipped to the
  // picture: 255 in an 8-bit picture, yellow in a 24-bit one.
  void DrawPoints(Dib& picture, int half) const;

  int PointCount() const { return count_; }
  // Calls f(point) for every point in ring order from the head.
  template <typename F>
  void ForEachPoint(F f) const {
    int node = head_;
    for (int i = 0; i < count_; ++i) {
      f(SnakePoint{nodes_[node].x, nodes_[node].y});
      node = nodes_[node].next;
    }
  }

 private:
  struct Node {
    int32_t x = 0;
    int32_t y = 0;
    int prev = -1;
    int next = -1;
  };
  void Clear();
  // A node from the pool linked in after `after` (the first node when the ring is empty); -1
  // when the pool is exhausted.
  int Insert(int after, int32_t x, int32_t y);
  void Remove(int node);

  int width_ = 0;
  int height_ = 0;
  std::vector<float> gradient_;
  std::vector<Node> nodes_;
  std::vector<int> free_;  // indices of unused nodes (a stack)
  int head_ = -1;
  int count_ = 0;
};

}  // namespace fw

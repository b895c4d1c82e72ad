#include "workbench/snake.h"

#include <algorithm>
#include <cmath>

namespace fw {

namespace {

constexpr float kInsertDistance = 20.0f;  // a longer step gets a midpoint
constexpr float kRemoveDistance = 3.0f;   // a shorter step loses its end point

struct Offset {
  int dx;
  int dy;
};
constexpr Offset kStraight[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
constexpr Offset kDiagonal[4] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};

float Distance(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  const float dx = static_cast<float>(ax - bx);
  const float dy = static_cast<float>(ay - by);
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

void Snake::Allocate(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  gradient_.assign(size_t(width_) * height_, 0.0f);
  // Points at least 3 apart along a ring inside the picture; far more than a contour needs.
  const int capacity = std::max(1024, 4 * (width_ + height_));
  nodes_.assign(capacity, Node{});
  free_.resize(capacity);
  Clear();
}

void Snake::Clear() {
  const int capacity = Capacity();
  for (int i = 0; i < capacity; ++i) free_[i] = capacity - 1 - i;
  free_.resize(capacity);
  head_ = -1;
  count_ = 0;
}

int Snake::Insert(int after, int32_t x, int32_t y) {
  if (free_.empty()) return -1;
  const int node = free_.back();
  free_.pop_back();
  nodes_[node].x = x;
  nodes_[node].y = y;
  if (after < 0) {
    nodes_[node].prev = nodes_[node].next = node;
    head_ = node;
  } else {
    const int next = nodes_[after].next;
    nodes_[node].prev = after;
    nodes_[node].next = next;
    nodes_[after].next = node;
    nodes_[next].prev = node;
  }
  ++count_;
  return node;
}

void Snake::Remove(int node) {
  const int prev = nodes_[node].prev;
  const int next = nodes_[node].next;
  nodes_[prev].next = next;
  nodes_[next].prev = prev;
  if (head_ == node) head_ = next;
  free_.push_back(node);
  if (--count_ == 0) head_ = -1;
}

bool Snake::ComputeGradientMap(const Dib& picture) {
  const int bits = picture.GetBitCount();
  if (picture.Width() != width_ || picture.Height() != height_ || (bits != 8 && bits != 24)) {
    return false;
  }
  const int w = width_;
  const int h = height_;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = picture.Row(y);
    const uint8_t* up = picture.Row(y > 0 ? y - 1 : y);
    const uint8_t* down = picture.Row(y + 1 < h ? y + 1 : y);
    float* out = gradient_.data() + size_t(y) * w;
    for (int x = 0; x < w; ++x) {
      const int left = x > 0 ? x - 1 : x;
      const int right = x + 1 < w ? x + 1 : x;
      if (bits == 8) {
        const float dx = static_cast<float>(row[left] - row[right]);
        const float dy = static_cast<float>(up[x] - down[x]);
        out[x] = std::sqrt(dx * dx + dy * dy) * 0.5f;
      } else {
        const auto weighted = [](const uint8_t* a, const uint8_t* b) {
          return 59 * (a[1] - b[1]) + 30 * (a[2] - b[2]) + 11 * (a[0] - b[0]);
        };
        const float dx = static_cast<float>(weighted(row + 3 * left, row + 3 * right));
        const float dy = static_cast<float>(weighted(up + 3 * x, down + 3 * x));
        out[x] = std::sqrt(dx * dx + dy * dy) * 0.005f;
      }
    }
  }
  return true;
}

void Snake::InitFromBoundary(const int32_t* xs, const int32_t* ys, int n, int wanted) {
  Clear();
  if (n <= 0) return;
  int points = n;
  float step = 1.0f;
  if (wanted > 0) {
    if (n < 2 * wanted) wanted = n / 2;
    if (wanted == 0) return;
    step = static_cast<float>(n) / static_cast<float>(wanted);
    points = wanted;
  }
  points = std::min(points, Capacity());
  int last = -1;
  for (int i = 0; i < points; ++i) {
    const int k = std::min(static_cast<int>(step * static_cast<float>(i)), n - 1);
    last = Insert(last, xs[k], ys[k]);
  }
}

float Snake::Resample() {
  const int visits = count_;
  float sum = 0.0f;
  int p = head_;
  for (int k = 0; k < visits && count_ > 1; ++k) {
    const int q = nodes_[p].next;
    const float d = Distance(nodes_[p].x, nodes_[p].y, nodes_[q].x, nodes_[q].y);
    sum += d;
    if (d > kInsertDistance) {
      Insert(p, (nodes_[p].x + nodes_[q].x) / 2, (nodes_[p].y + nodes_[q].y) / 2);
      p = q;
    } else if (d < kRemoveDistance) {
      Remove(q);
      sum -= d;
    } else {
      p = q;
    }
  }
  return count_ == 0 ? -1.0f : sum / static_cast<float>(count_);
}

int Snake::Search(Dib* picture) {
  const int n = count_;
  const int minimumMoves = std::max(n / 10, 2);
  if (n < minimumMoves || gradient_.empty()) return 0;
  int iteration = 0;
  while (iteration < kMaxIterations) {
    ++iteration;
    const float mean = Resample();
    if (count_ == 0) break;
    int moves = 0;
    bool straight = true;  // the first point tries the straight neighbours
    int v = head_;
    for (int k = 0; k < count_; ++k) {
      Node& node = nodes_[v];
      const Node& u = nodes_[node.prev];
      const Node& w = nodes_[node.next];
      // Candidate 0 is the point itself; candidates outside the picture are left out.
      int32_t cx[5];
      int32_t cy[5];
      float continuity[5];
      float curvature[5];
      float image[5];
      int candidates = 0;
      const auto add = [&](int32_t x, int32_t y) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        const float c = Distance(w.x, w.y, x, y) - mean;
        const float bx = static_cast<float>(u.x + w.x - 2 * x);
        const float by = static_cast<float>(u.y + w.y - 2 * y);
        cx[candidates] = x;
        cy[candidates] = y;
        continuity[candidates] = c * c;
        curvature[candidates] = bx * bx + by * by;
        image[candidates] = gradient_[size_t(y) * width_ + x];
        ++candidates;
      };
      add(node.x, node.y);
      for (const Offset o : straight ? kStraight : kDiagonal) add(node.x + o.dx, node.y + o.dy);
      straight = !straight;
      float maxContinuity = 0.0f;
      float maxCurvature = 0.0f;
      float minImage = image[0];
      float maxImage = image[0];
      for (int c = 0; c < candidates; ++c) {
        maxContinuity = std::max(maxContinuity, continuity[c]);
        maxCurvature = std::max(maxCurvature, curvature[c]);
        minImage = std::min(minImage, image[c]);
        maxImage = std::max(maxImage, image[c]);
      }
      // Terms that do not vary over the candidates cannot be normalised: the point stays.
      if (candidates > 1 && maxContinuity > 0.0f && maxCurvature > 0.0f && maxImage > minImage) {
        int best = 0;
        float bestTotal = 0.0f;
        for (int c = 0; c < candidates; ++c) {
          const float total = kContinuity * (continuity[c] / maxContinuity) +
                              kCurvature * (curvature[c] / maxCurvature) +
                              kImage * ((minImage - image[c]) / (maxImage - minImage));
          if (c == 0 || total < bestTotal) {
            best = c;
            bestTotal = total;
          }
        }
        if (best != 0) {
          node.x = cx[best];
          node.y = cy[best];
          ++moves;
        }
      }
      v = node.next;
    }
    if (picture) DrawPoints(*picture, 0);
    if (moves < minimumMoves) break;
  }
  return iteration;
}

void Snake::DrawPoints(Dib& picture, int half) const {
  const int bits = picture.GetBitCount();
  if (bits != 8 && bits != 24) return;
  const int w = picture.Width();
  const int h = picture.Height();
  const auto set = [&](int x, int y) {
    uint8_t* p = picture.Row(y) + x * (bits / 8);
    if (bits == 8) {
      p[0] = 255;
    } else {
      p[0] = 0;
      p[1] = 255;
      p[2] = 255;
    }
  };
  ForEachPoint([&](SnakePoint s) {
    if (s.x < 0 || s.y < 0 || s.x >= w || s.y >= h) return;
    const int x0 = std::max(s.x - half, 0);
    const int x1 = std::min(s.x + half, w - 1);
    const int y0 = std::max(s.y - half, 0);
    const int y1 = std::min(s.y + half, h - 1);
    for (int x = x0; x <= x1; ++x) {
      set(x, y0);
      set(x, y1);
    }
    for (int y = y0; y <= y1; ++y) {
      set(x0, y);
      set(x1, y);
    }
  });
}

}  // namespace fw

#include "core/morphology.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace fw {

namespace {

constexpr uint8_t kCandidate = 100;

// A 3 x 3 neighbourhood code has bit 3r + c set where the pixel in row r, column c of the window
// is non-zero: bit 0 up-left, 1 up, 2 up-right, 3 left, 4 centre, 5 right, 6 down-left, 7 down,
// 8 down-right.
constexpr int RotateQuarter(int code) {
  int rotated = 0;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      if (code & (1 << (3 * (2 - c) + r))) rotated |= 1 << (3 * r + c);
    }
  }
  return rotated;
}

constexpr bool MatchesDeletionPattern(int code) {
  return ((code & 0x97) == 0x90 && (code & 0x168) != 0) || (code & 0xb3) == 0xb0 ||
         (code & 0x9e) == 0x98 || (code & 0x1df) == 0x110 || (code & 0x1f7) == 0x50;
}

constexpr std::array<bool, 512> BuildDeletable() {
  std::array<bool, 512> table{};
  for (int code = 0; code < 512; ++code) {
    int c = code;
    for (int turn = 0; turn < 4 && !table[code]; ++turn) {
      table[code] = MatchesDeletionPattern(c);
      c = RotateQuarter(c);
    }
  }
  return table;
}

constexpr std::array<bool, 512> kDeletable = BuildDeletable();

int NeighbourhoodCode(const uint8_t* plane, int width, int height, int x, int y) {
  int code = 0;
  for (int r = 0; r < 3; ++r) {
    const int ny = y + r - 1;
    if (ny < 0 || ny >= height) continue;
    for (int c = 0; c < 3; ++c) {
      const int nx = x + c - 1;
      if (nx < 0 || nx >= width) continue;
      if (plane[ny * width + nx] != 0) code |= 1 << (3 * r + c);
    }
  }
  return code;
}

inline void SortPair(uint8_t& a, uint8_t& b) {
  const uint8_t lo = std::min(a, b);
  const uint8_t hi = std::max(a, b);
  a = lo;
  b = hi;
}

// Median of nine values by a fixed exchange network (19 exchanges).
inline uint8_t MedianOfNine(std::array<uint8_t, 9> p) {
  SortPair(p[1], p[2]);
  SortPair(p[4], p[5]);
  SortPair(p[7], p[8]);
  SortPair(p[0], p[1]);
  SortPair(p[3], p[4]);
  SortPair(p[6], p[7]);
  SortPair(p[1], p[2]);
  SortPair(p[4], p[5]);
  SortPair(p[7], p[8]);
  SortPair(p[0], p[3]);
  SortPair(p[5], p[8]);
  SortPair(p[4], p[7]);
  SortPair(p[3], p[6]);
  SortPair(p[1], p[4]);
  SortPair(p[2], p[5]);
  SortPair(p[4], p[7]);
  SortPair(p[4], p[2]);
  SortPair(p[6], p[4]);
  SortPair(p[4], p[2]);
  return p[4];
}

void ClearBorder(uint8_t* plane, int width, int height) {
  std::memset(plane, 0, width);
  std::memset(plane + static_cast<size_t>(height - 1) * width, 0, width);
  for (int y = 1; y < height - 1; ++y) {
    plane[y * width] = 0;
    plane[y * width + width - 1] = 0;
  }
}

}  // namespace

void ThinMask(uint8_t* plane, int width, int height) {
  if (plane == nullptr || width <= 0 || height <= 0) return;
  for (;;) {
    for (int y = 0; y < height; ++y) {
      uint8_t* row = plane + y * width;
      const bool edgeRow = y == 0 || y == height - 1;
      for (int x = 0; x < width; ++x) {
        if (row[x] != 1) continue;
        if (edgeRow || x == 0 || x == width - 1 || row[x - 1] == 0 || row[x + 1] == 0 ||
            row[x - width] == 0 || row[x + width] == 0) {
          row[x] = kCandidate;
        }
      }
    }
    int deleted = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        uint8_t& p = plane[y * width + x];
        if (p != kCandidate) continue;
        if (kDeletable[NeighbourhoodCode(plane, width, height, x, y)]) {
          p = 0;
          ++deleted;
        }
      }
    }
    const int count = width * height;
    for (int i = 0; i < count; ++i) plane[i] = plane[i] == kCandidate ? 1 : plane[i];
    if (deleted == 0) break;
  }
  PruneEndPoints(plane, width, height);
}

void PruneEndPoints(uint8_t* plane, int width, int height) {
  if (plane == nullptr || width <= 0 || height <= 0) return;
  int deleted = 0;
  do {
    deleted = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (plane[y * width + x] != 1) continue;
        int found = 0;
        int fx[2] = {0, 0};
        int fy[2] = {0, 0};
        for (int dy = -1; dy <= 1 && found <= 2; ++dy) {
          const int ny = y + dy;
          if (ny < 0 || ny >= height) continue;
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx;
            if ((dx == 0 && dy == 0) || nx < 0 || nx >= width) continue;
            if (plane[ny * width + nx] == 0) continue;
            if (found < 2) {
              fx[found] = nx;
              fy[found] = ny;
            }
            ++found;
          }
        }
        const bool endPoint = found == 1 || (found == 2 && std::abs(fx[0] - fx[1]) <= 1 &&
                                             std::abs(fy[0] - fy[1]) <= 1);
        if (endPoint) {
          plane[y * width + x] = 0;
          ++deleted;
        }
      }
    }
  } while (deleted > 0);
}

void MedianFilter3(const uint8_t* source, uint8_t* destination, int width, int height) {
  if (source == nullptr || destination == nullptr || width <= 0 || height <= 0) return;
  ClearBorder(destination, width, height);
  for (int y = 1; y < height - 1; ++y) {
    const uint8_t* up = source + (y - 1) * width;
    const uint8_t* mid = up + width;
    const uint8_t* down = mid + width;
    uint8_t* out = destination + y * width;
    for (int x = 1; x < width - 1; ++x) {
      out[x] = MedianOfNine({up[x - 1], up[x], up[x + 1], mid[x - 1], mid[x], mid[x + 1],
                             down[x - 1], down[x], down[x + 1]});
    }
  }
}

int SmoothFilter3(const uint8_t* source, uint8_t* destination, int width, int height,
                  int threshold) {
  if (source == nullptr || destination == nullptr || width <= 0 || height <= 0) return 0;
  ClearBorder(destination, width, height);
  int ones = 0;
  for (int y = 1; y < height - 1; ++y) {
    const uint8_t* up = source + (y - 1) * width;
    const uint8_t* mid = up + width;
    const uint8_t* down = mid + width;
    uint8_t* out = destination + y * width;
    if (threshold == 0) {
      for (int x = 1; x < width - 1; ++x) {
        const int sum = up[x - 1] + 2 * up[x] + up[x + 1] + 2 * mid[x - 1] + 4 * mid[x] +
                        2 * mid[x + 1] + down[x - 1] + 2 * down[x] + down[x + 1];
        out[x] = static_cast<uint8_t>(sum >> 4);
      }
    } else {
      for (int x = 1; x < width - 1; ++x) {
        const int sum = up[x - 1] + 2 * up[x] + up[x + 1] + 2 * mid[x - 1] + 4 * mid[x] +
                        2 * mid[x + 1] + down[x - 1] + 2 * down[x] + down[x + 1];
        const int one = (sum >> 4) >= threshold ? 1 : 0;
        out[x] = static_cast<uint8_t>(one);
        ones += one;
      }
    }
  }
  return threshold == 0 ? width * height : ones;
}

}  // namespace fw

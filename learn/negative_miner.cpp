#include "learn/negative_miner.h"

#include <algorithm>
#include <cmath>

namespace fw {

NegativeMiner::NegativeMiner(const std::vector<Dib>* pictures, const std::vector<Dib>* frames,
                             int base, uint64_t seed)
    : pictures_(pictures), frames_(frames), base_(base), random_(seed) {}

bool NegativeMiner::HasSources() const {
  return (pictures_ && !pictures_->empty()) || (frames_ && !frames_->empty());
}

Candidate NegativeMiner::FromPicture(const Dib& p) {
  Candidate c;
  c.picture = &p;
  c.mirror = random_.Below(2) == 1;
  const double scale = random_.Below(4) == 0 ? 1.0 : 0.6 + 0.4 * random_.Unit();
  const int w = std::max(1, static_cast<int>(scale * p.Width()));
  const int h = std::max(1, static_cast<int>(scale * p.Height()));
  const int x = random_.Below(p.Width() - w + 1);
  const int y = random_.Below(p.Height() - h + 1);
  c.region = {x, y, x + w - 1, y + h - 1};
  return c;
}

Candidate NegativeMiner::FromFrame(const Dib& f) {
  Candidate c;
  c.picture = &f;
  const int largest = std::min(f.Width(), f.Height());
  const int smallest = std::min(base_, largest);
  const double span = std::log(static_cast<double>(largest) / smallest);
  const int side =
      std::clamp(static_cast<int>(smallest * std::exp(span * random_.Unit())), smallest, largest);
  const int x = random_.Below(f.Width() - side + 1);
  const int y = random_.Below(f.Height() - side + 1);
  c.region = {x, y, x + side - 1, y + side - 1};
  return c;
}

Candidate NegativeMiner::Next() {
  const bool havePictures = pictures_ && !pictures_->empty();
  const bool haveFrames = frames_ && !frames_->empty();
  const bool picture = havePictures && (!haveFrames || random_.Below(2) == 0);
  if (picture) return FromPicture((*pictures_)[random_.Below(static_cast<int>(pictures_->size()))]);
  return FromFrame((*frames_)[random_.Below(static_cast<int>(frames_->size()))]);
}

}  // namespace fw

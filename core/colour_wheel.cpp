#include "core/colour_wheel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "core/draw.h"

namespace fw {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Angle of the offset (dx, dy) with dy positive upward, in [0, 2 pi); 0 at the centre.
double WheelAngle(int dx, int dy) {
  const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
  if (r == 0) return 0;
  const double a = std::asin(dy / r);
  if (dx < 0) return std::numbers::pi - a;
  if (dy < 0) return a + kTwoPi;
  return a;
}

void Put(Dib& image, int x, int y, Rgb8 c) {
  image.SetPixelRgb(x, y, c.red, c.green, c.blue);
}

}  // namespace

bool ColourWheel::Layout(int clientWidth, int clientHeight, bool force) {
  if (clientWidth < 11 || clientHeight < 11) {
    laidOut_ = false;
    return false;
  }
  if (laidOut_ && !force && clientWidth == clientWidth_ && clientHeight == clientHeight_) {
    return true;
  }
  clientWidth_ = clientWidth;
  clientHeight_ = clientHeight;
  const int ch = clientHeight;
  picture_.Create(ch + 63, ch - 2, 24, false);
  for (int y = 0; y < picture_.Height(); ++y) {
    uint8_t* p = picture_.Row(y);
    for (int x = 0; x < picture_.Width(); ++x, p += 3) {
      p[0] = 216;  // the dialog background (red 236, green 233, blue 216)
      p[1] = 233;
      p[2] = 236;
    }
  }
  origin_ = {(clientWidth - picture_.Width()) / 2, (clientHeight - picture_.Height()) / 2};
  radius_ = (ch - 10) / 2;
  centre_ = 4 + radius_;
  laidOut_ = true;
  DrawWheel();
  DrawBarAndSwatch();
  return true;
}

void ColourWheel::SetHsv(float hue, float saturation, float value) {
  hsv_ = {hue, saturation, value};
  if (laidOut_) DrawBarAndSwatch();
}

void ColourWheel::DrawWheel() {
  for (int y = centre_ - radius_; y <= centre_ + radius_; ++y) {
    for (int x = centre_ - radius_; x <= centre_ + radius_; ++x) {
      const int dx = x - centre_;
      const int dy = centre_ - y;
      const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
      if (r > radius_) continue;
      // A wheel of radius 0 (the smallest layouts) is its white centre.
      const double saturation = radius_ > 0 ? r / radius_ : 0.0;
      Put(picture_, x, y,
          HsvToRgb(static_cast<float>(WheelAngle(dx, dy) / kTwoPi), static_cast<float>(saturation),
                   1.0f));
    }
  }
}

void ColourWheel::DrawBarAndSwatch() {
  const int barHeight = BarBottom() - BarTop();
  float v = 1.0f;
  for (int y = BarTop(); y < BarBottom(); ++y) {
    const Rgb8 c = HsvToRgb(hsv_.hue, hsv_.saturation, v);
    for (int x = BarLeft(); x < BarRight(); ++x) Put(picture_, x, y, c);
    v -= 1.0f / static_cast<float>(barHeight);
  }
  const int ch = clientHeight_;
  const int x0 = ch + 29;
  const int x1 = ch + 59;
  const int y0 = (ch - 40) / 2 + 4;
  const int y1 = (ch - 40) / 2 + 34;
  const Rgb8 c = HsvToRgb(hsv_.hue, hsv_.saturation, hsv_.value);
  for (int y = y0 + 1; y < y1; ++y) {
    for (int x = x0 + 1; x < x1; ++x) Put(picture_, x, y, c);
  }
  const Rgb8 white{255, 255, 255};
  const Rgb8 black{0, 0, 0};
  for (int x = x0; x <= x1; ++x) Put(picture_, x, y0, white);
  for (int y = y0; y <= y1; ++y) Put(picture_, x0, y, white);
  for (int x = x0; x <= x1; ++x) Put(picture_, x, y1, black);
  for (int y = y0; y <= y1; ++y) Put(picture_, x1, y, black);
}

ColourWheel::Point ColourWheel::HueSaturationMarker() const {
  if (radius_ == 0 || hsv_.saturation < 1.0f / static_cast<float>(radius_)) {
    return {centre_, centre_};
  }
  const double angle = hsv_.hue * kTwoPi;
  const double distance = hsv_.saturation * radius_;
  return {centre_ + static_cast<int>(std::lround(distance * std::cos(angle))),
          centre_ - static_cast<int>(std::lround(distance * std::sin(angle)))};
}

ColourWheel::Point ColourWheel::ValueArrowTip() const {
  const int barHeight = BarBottom() - BarTop();
  const float value = std::clamp(hsv_.value, 0.0f, 1.0f);
  return {BarLeft(), BarBottom() - 1 - static_cast<int>(std::lround(value * barHeight))};
}

void ColourWheel::DrawMarkers(Dib& target) const {
  const Point m = HueSaturationMarker();
  DrawRect(target, m.x - 3, m.y - 3, m.x + 3, m.y + 3, 0, 0, 0);
  const Point t = ValueArrowTip();
  DrawLine(target, t.x, t.y, t.x - 6, t.y - 3, 0, 0, 0);
  DrawLine(target, t.x - 6, t.y - 3, t.x - 6, t.y + 3, 0, 0, 0);
  DrawLine(target, t.x - 6, t.y + 3, t.x, t.y, 0, 0, 0);
}

ColourWheel::DragTarget ColourWheel::BeginDrag(int x, int y) {
  drag_ = DragTarget::None;
  if (!laidOut_) return drag_;
  const Point m = HueSaturationMarker();
  const Point t = ValueArrowTip();
  if (std::abs(x - m.x) <= 3 && std::abs(y - m.y) <= 3) {
    drag_ = DragTarget::HueSaturation;
  } else if (x <= t.x && x >= t.x - 6 && 2 * std::abs(y - t.y) <= t.x - x) {
    drag_ = DragTarget::Value;
  }
  return drag_;
}

bool ColourWheel::DragTo(int x, int y) {
  if (drag_ == DragTarget::None || !laidOut_) return false;
  if (drag_ == DragTarget::HueSaturation) {
    const Hsv at = HueSaturationAt(x, y);
    hsv_.hue = at.hue;
    hsv_.saturation = at.saturation;
  } else {
    hsv_.value = ValueAt(y);
  }
  DrawBarAndSwatch();
  return true;
}

Hsv ColourWheel::HueSaturationAt(int x, int y) const {
  const int dx = x - centre_;
  const int dy = centre_ - y;
  const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
  Hsv out = hsv_;
  out.hue = static_cast<float>(WheelAngle(dx, dy) / kTwoPi);
  out.saturation = radius_ > 0 ? static_cast<float>(std::min(1.0, r / radius_)) : 0.0f;
  return out;
}

float ColourWheel::ValueAt(int y) const {
  const int barHeight = BarBottom() - BarTop();
  if (barHeight <= 0) return 0.0f;
  const float v = static_cast<float>(BarBottom() - y - 1) / static_cast<float>(barHeight);
  return std::clamp(v, 0.0f, 1.0f);
}

}  // namespace fw

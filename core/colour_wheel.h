// The colour picker's hue-saturation wheel with its value bar and swatch, as an off-screen
// 24-bit picture for a client area of a given size, and the mapping from pointer positions to
// hue, saturation and value. The desktop widget paints the picture centred in its client area,
// draws the markers at the positions given here and forwards mouse positions.
#pragma once

#include "core/colour.h"
#include "core/dib.h"

namespace fw {

class ColourWheel {
 public:
  enum class DragTarget { None, HueSaturation, Value };

  struct Point {
    int x = 0;
    int y = 0;
  };

  ColourWheel() = default;

  // Rebuilds the picture when the client size changed (or `force`). Below 11 pixels in either
  // direction nothing is drawn and false is returned.
  bool Layout(int clientWidth, int clientHeight, bool force = false);
  bool HasPicture() const { return laidOut_; }
  // The picture: (client height + 63) x (client height - 2), top-down, memory row 0 at the top.
  const Dib& Picture() const { return picture_; }
  // Where the picture's top-left corner lies in the client area (centred).
  Point PictureOrigin() const { return origin_; }

  // Sets the colour and redraws the value bar and swatch.
  void SetHsv(float hue, float saturation, float value);
  Hsv Current() const { return hsv_; }

  // --- geometry in picture coordinates (x right, y down) ---
  Point WheelCentre() const { return {centre_, centre_}; }
  int Radius() const { return radius_; }
  // The value bar covers x in [BarLeft, BarRight) and y in [BarTop, BarBottom).
  int BarLeft() const { return clientHeight_ + 4; }
  int BarRight() const { return clientHeight_ + 14; }
  int BarTop() const { return 4; }
  int BarBottom() const { return clientHeight_ - 6; }
  // Centre of the square hue-saturation marker (half-size 3); at the wheel centre when the
  // saturation is below 1 / radius.
  Point HueSaturationMarker() const;
  // Tip of the value arrow: on the bar's left edge at the height of the current value; the arrow
  // is 6 pixels wide and 6 high and points right.
  Point ValueArrowTip() const;
  // Draws both markers in black into `target` (a copy of the picture, same size).
  void DrawMarkers(Dib& target) const;

  // --- pointer (picture coordinates) ---
  // Left button down: a drag starts inside the square marker or the value arrow.
  DragTarget BeginDrag(int x, int y);
  // Pointer moves while dragging: hue and saturation follow the pointer around the wheel centre,
  // or the value its height on the bar (clamped to 0..1). True when a drag is active (the bar and
  // swatch were redrawn and the owner is to be told).
  bool DragTo(int x, int y);
  void EndDrag() { drag_ = DragTarget::None; }
  DragTarget Dragging() const { return drag_; }

  // Hue of the direction from the wheel centre to (x, y) (a full turn is 1, 0 to the right,
  // 0.25 straight up) and saturation min(1, distance / radius).
  Hsv HueSaturationAt(int x, int y) const;
  // Value for a pointer at height y: (bar bottom - y - 1) / bar height, clamped to 0..1.
  float ValueAt(int y) const;

 private:
  void DrawWheel();
  void DrawBarAndSwatch();

  Dib picture_;
  bool laidOut_ = false;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  Point origin_;
  int centre_ = 0;
  int radius_ = 0;
  Hsv hsv_{0.0f, 1.0f, 1.0f};
  DragTarget drag_ = DragTarget::None;
};

}  // namespace fw

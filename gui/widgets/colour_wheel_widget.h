// The colour picker's hue-saturation wheel with its value bar and swatch. The picture and the
// pointer geometry come from core's ColourWheel; this widget paints it centred, draws the two
// markers and turns drags of the markers into colour changes.
#pragma once

#include <QWidget>

#include "core/colour_wheel.h"
#include "core/dib.h"

namespace fw {

class ColourWheelWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ColourWheelWidget(QWidget* parent = nullptr);

  // Sets the colour shown (value bar, swatch and markers) and repaints. Emits nothing.
  void setHsv(float hue, float saturation, float value);
  Hsv hsv() const { return wheel_.Current(); }
  // The geometry, for callers that map pointer positions (picture coordinates).
  const ColourWheel& wheel() const { return wheel_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // While a marker is dragged, after every change of the colour.
  void colourPicked(float hue, float saturation, float value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Pointer position in picture coordinates.
  QPoint toPicture(const QPoint& client) const;

  ColourWheel wheel_;
  Dib canvas_;  // the wheel picture with the markers drawn over it
};

}  // namespace fw

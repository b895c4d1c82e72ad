#include "gui/widgets/colour_wheel_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include "gui/dialogs/display_dialog.h"

namespace fw {

ColourWheelWidget::ColourWheelWidget(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ColourWheelWidget::sizeHint() const {
  return {170, 90};
}

// The picture is (client height + 63) wide: the wheel, the value bar and the swatch side by side.
QSize ColourWheelWidget::minimumSizeHint() const {
  return {110, 40};
}

void ColourWheelWidget::setHsv(float hue, float saturation, float value) {
  wheel_.SetHsv(hue, saturation, value);
  update();
}

QPoint ColourWheelWidget::toPicture(const QPoint& client) const {
  const ColourWheel::Point origin = wheel_.PictureOrigin();
  return {client.x() - origin.x, client.y() - origin.y};
}

void ColourWheelWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  wheel_.Layout(width(), height());
}

void ColourWheelWidget::paintEvent(QPaintEvent*) {
  if (!wheel_.Layout(width(), height())) return;
  const Dib& picture = wheel_.Picture();
  const bool sameBuffer =
      canvas_.SameFormat(picture) && canvas_.HeaderHeight() == picture.HeaderHeight();
  canvas_.CopyFrom(picture, sameBuffer);
  wheel_.DrawMarkers(canvas_);
  QPainter painter(this);
  const ColourWheel::Point origin = wheel_.PictureOrigin();
  PaintDib(painter, origin.x, origin.y, canvas_);
}

void ColourWheelWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !wheel_.Layout(width(), height())) return;
  const QPoint p = toPicture(event->position().toPoint());
  wheel_.BeginDrag(p.x(), p.y());
}

void ColourWheelWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = toPicture(event->position().toPoint());
  if (!wheel_.DragTo(p.x(), p.y())) return;
  update();
  const Hsv hsv = wheel_.Current();
  emit colourPicked(hsv.hue, hsv.saturation, hsv.value);
}

void ColourWheelWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) wheel_.EndDrag();
}

}  // namespace fw

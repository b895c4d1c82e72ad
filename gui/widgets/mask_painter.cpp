#include "gui/widgets/mask_painter.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

#include "gui/panes/image_pane.h"

namespace fw {

MaskPainter::MaskPainter(ImagePane& pane) : QWidget(&pane), pane_(pane) {
  setAttribute(Qt::WA_TransparentForMouseEvents, true);
  setGeometry(pane.rect());
  pane.installEventFilter(this);
  show();
}

bool MaskPainter::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &pane_ && event->type() == QEvent::Resize) setGeometry(pane_.rect());
  return false;
}

void MaskPainter::setPainting(bool on) {
  painting_ = on;
  stroke_ = -1;
  setAttribute(Qt::WA_TransparentForMouseEvents, !on);
  setCursor(on ? Qt::CrossCursor : Qt::ArrowCursor);
  update();
}

void MaskPainter::setMask(const SceneMask& mask) {
  mask_ = mask;
  rebuildTint();
}

void MaskPainter::fitToPicture() {
  const Dib& picture = pane_.picture();
  const int w = picture.Width();
  const int h = picture.Height();
  if (w <= 0 || h <= 0 || (mask_.Width() == w && mask_.Height() == h)) return;
  std::vector<uint8_t> plane(static_cast<size_t>(w) * h, 0);
  if (!mask_.Empty()) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        plane[static_cast<size_t>(y) * w + x] =
            mask_.Plane()[static_cast<size_t>(y * mask_.Height() / h) * mask_.Width() +
                          x * mask_.Width() / w];
      }
    }
  }
  mask_.SetPlane(std::move(plane), w, h);
}

void MaskPainter::rebuildTint() {
  if (mask_.Empty()) {
    tint_ = QImage();
  } else {
    tint_ = QImage(mask_.Width(), mask_.Height(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < mask_.Height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(tint_.scanLine(y));
      const uint8_t* m = mask_.Plane().data() + static_cast<size_t>(y) * mask_.Width();
      for (int x = 0; x < mask_.Width(); ++x) row[x] = m[x] ? qRgba(110, 0, 0, 110) : 0;
    }
  }
  update();
}

void MaskPainter::dab(QPoint client, uint8_t value) {
  fitToPicture();
  const int w = mask_.Width();
  const int h = mask_.Height();
  if (w <= 0) return;
  const QPoint picture = pane_.view().toPicture(client);
  const int cx = picture.x();
  const int top = h - 1 - picture.y();  // the plane's rows run from the top
  std::vector<uint8_t> plane = mask_.Plane();
  for (int y = std::max(0, top - radius_); y <= std::min(h - 1, top + radius_); ++y) {
    for (int x = std::max(0, cx - radius_); x <= std::min(w - 1, cx + radius_); ++x) {
      if ((x - cx) * (x - cx) + (y - top) * (y - top) <= radius_ * radius_) {
        plane[static_cast<size_t>(y) * w + x] = value;
      }
    }
  }
  mask_.SetPlane(std::move(plane), w, h);
  rebuildTint();
}

void MaskPainter::paintEvent(QPaintEvent*) {
  if (tint_.isNull() && !painting_) return;
  QPainter painter(this);
  const Dib& picture = pane_.picture();
  if (!tint_.isNull() && picture.Width() > 0) {
    const QRect area = pane_.view().clientRect(0, 0, picture.Width() - 1, picture.Height() - 1);
    painter.drawImage(area, tint_);
  }
  if (painting_) {
    painter.setPen(QColor(255, 80, 80));
    painter.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignTop | Qt::AlignRight,
                     tr("Painting the scene mask (brush %1)").arg(radius_));
  }
}

void MaskPainter::mousePressEvent(QMouseEvent* event) {
  stroke_ = event->button() == Qt::LeftButton ? 1 : event->button() == Qt::RightButton ? 0 : -1;
  if (stroke_ >= 0) dab(event->position().toPoint(), static_cast<uint8_t>(stroke_));
}

void MaskPainter::mouseMoveEvent(QMouseEvent* event) {
  if (stroke_ >= 0) dab(event->position().toPoint(), static_cast<uint8_t>(stroke_));
}

void MaskPainter::mouseReleaseEvent(QMouseEvent*) {
  if (stroke_ < 0) return;
  stroke_ = -1;
  emit maskEdited(mask_);
}

void MaskPainter::wheelEvent(QWheelEvent* event) {
  radius_ = std::clamp(radius_ + (event->angleDelta().y() > 0 ? 2 : -2), 1, 64);
  update();
}

}  // namespace fw

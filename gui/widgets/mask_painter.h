// The scene mask over the top-left pane: the masked pixels tinted red over the picture, and a
// painting tool of its own. While painting is on it takes the pane's mouse (left button paints
// masked pixels with a round brush, right button clears them, the wheel sizes the brush); while
// it is off every mouse event goes through to the pane beneath, whose tools work as before.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

#include "app/scene_mask.h"

namespace fw {

class ImagePane;

class MaskPainter : public QWidget {
  Q_OBJECT

 public:
  explicit MaskPainter(ImagePane& pane);

  void setPainting(bool on);
  bool painting() const { return painting_; }
  void setMask(const SceneMask& mask);
  const SceneMask& mask() const { return mask_; }
  int brushRadius() const { return radius_; }

 signals:
  // A stroke ended: the mask the session should use now.
  void maskEdited(const SceneMask& mask);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  // The mask as large as the pane's picture (a loaded mask of another size is stretched).
  void fitToPicture();
  void dab(QPoint client, uint8_t value);
  void rebuildTint();

  ImagePane& pane_;
  SceneMask mask_;
  QImage tint_;
  bool painting_ = false;
  int stroke_ = -1;  // value the held button paints, -1 none
  int radius_ = 8;
};

}  // namespace fw

// How a pane lays its picture over its client area: at its natural size centred, magnified around
// a centre (the Zoom and Pan tools, the mouse wheel), or fitted to the pane. One mapping serves
// the drawing and every use of the mouse (block click, wavelet point, sample square, LBP-VAR
// window, colour pick, the cursor's read-out), so that outlines and picks follow zoom, pan and fit.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace fw {

class Dib;
class WorkbenchDocument;

// Picture coordinates run from the bottom row of the picture as shown, upwards, as the frames are
// stored; a magnified view's centre is in the picture's memory coordinates (column, memory row),
// as the zoom view takes it.
class PaneView {
 public:
  // Natural size, centred: the client point (x, y) is the picture point
  // (x - (client width - width) / 2, (client height - height) / 2 + height - y - 1).
  static PaneView Natural(QSize client, int width, int height);
  // The zoom view's mapping: the memory point `centre` at the client's centre, `scale` client
  // pixels per picture pixel.
  static PaneView Zoomed(QSize client, int width, int height, bool bottomUp, float scale,
                         QPoint centre);
  // The largest scale that shows the whole picture, centred.
  static PaneView Fitted(QSize client, int width, int height, bool bottomUp);

  // Drawn through the zoom view (any mapping but the natural one).
  bool magnified() const { return magnified_; }
  float scale() const { return scale_; }
  QPoint centre() const { return centre_; }

  // The picture point under a client pixel (it may lie outside the picture).
  QPoint toPicture(QPoint client) const;
  bool inPicture(QPoint picture) const;
  // The client rectangle covering the picture points (x0, y0) .. (x1, y1), inclusive.
  QRect clientRect(int x0, int y0, int x1, int y1) const;
  // The client pixel at the top left of a picture pixel.
  QPoint toClient(QPoint picture) const {
    return clientRect(picture.x(), picture.y(), picture.x(), picture.y()).topLeft();
  }
  // The memory centre of a magnified view at `scale` that keeps the picture point now under
  // `client` there.
  QPoint centreKeeping(QPoint client, float scale) const;

 private:
  // Memory row of a picture row and back.
  int memoryRow(int pictureRow) const { return bottomUp_ ? pictureRow : height_ - 1 - pictureRow; }
  // First and last client column of a picture column, first and last zoom-buffer row of a memory
  // row (magnified views).
  int firstColumn(int column) const;
  int firstZoomRow(int row) const;

  QSize client_;
  int width_ = 0;
  int height_ = 0;
  bool bottomUp_ = true;
  bool magnified_ = false;
  float scale_ = 1.0f;
  QPoint centre_;
};

// The view a pane of the document shows now: magnified while the Zoom or Pan tool is on or the
// wheel has zoomed the pane, fitted while "Fit to pane" is on, else natural.
PaneView CurrentView(const WorkbenchDocument& doc, int pane, const Dib& picture, QSize client);

}  // namespace fw

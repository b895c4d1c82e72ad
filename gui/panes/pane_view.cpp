#include "gui/panes/pane_view.h"

#include <algorithm>
#include <cmath>

#include "core/dib.h"
#include "gui/shell/workbench_document.h"

namespace fw {

namespace {

// Column (or memory row) of the zoom view's sample for a client column (or zoom-buffer row), in
// the zoom view's own single-precision arithmetic, so that a pick names the pixel drawn there.
int ZoomSample(int centre, int half, int client, float scale) {
  const float inverse = 1.0f / scale;
  const float s = static_cast<float>(centre) - static_cast<float>(half - client) * inverse;
  return static_cast<int>(std::floor(s));
}

// The first client index whose sample reaches `target`.
int FirstReaching(int centre, int half, int target, float scale) {
  int i = static_cast<int>(
      std::ceil(half - (static_cast<double>(centre) - target) * static_cast<double>(scale)));
  while (ZoomSample(centre, half, i, scale) < target) ++i;
  while (ZoomSample(centre, half, i - 1, scale) >= target) --i;
  return i;
}

}  // namespace

PaneView PaneView::Natural(QSize client, int width, int height) {
  PaneView v;
  v.client_ = client;
  v.width_ = width;
  v.height_ = height;
  return v;
}

PaneView PaneView::Zoomed(QSize client, int width, int height, bool bottomUp, float scale,
                          QPoint centre) {
  PaneView v = Natural(client, width, height);
  v.bottomUp_ = bottomUp;
  v.magnified_ = true;
  v.scale_ = std::clamp(scale, 0.01f, 100.0f);
  v.centre_ = centre;
  return v;
}

PaneView PaneView::Fitted(QSize client, int width, int height, bool bottomUp) {
  if (width <= 0 || height <= 0 || client.isEmpty()) return Natural(client, width, height);
  const float scale = std::min(static_cast<float>(client.width()) / static_cast<float>(width),
                               static_cast<float>(client.height()) / static_cast<float>(height));
  return Zoomed(client, width, height, bottomUp, scale, QPoint(width / 2, height / 2));
}

QPoint PaneView::toPicture(QPoint client) const {
  const int w = client_.width();
  const int h = client_.height();
  if (!magnified_) {
    return {client.x() - (w - width_) / 2, (h - height_) / 2 + height_ - client.y() - 1};
  }
  const int column = ZoomSample(centre_.x(), w / 2, client.x(), scale_);
  // The zoom buffer keeps the picture's row order; bottom-up rows are shown from the bottom.
  const int zoomRow = bottomUp_ ? h - 1 - client.y() : client.y();
  const int row = ZoomSample(centre_.y(), h / 2, zoomRow, scale_);
  return {column, memoryRow(row)};
}

bool PaneView::inPicture(QPoint p) const {
  return p.x() >= 0 && p.y() >= 0 && p.x() < width_ && p.y() < height_;
}

int PaneView::firstColumn(int column) const {
  return FirstReaching(centre_.x(), client_.width() / 2, column, scale_);
}

int PaneView::firstZoomRow(int row) const {
  return FirstReaching(centre_.y(), client_.height() / 2, row, scale_);
}

QRect PaneView::clientRect(int x0, int y0, int x1, int y1) const {
  if (!magnified_) {
    const int ox = (client_.width() - width_) / 2;
    const int oy = (client_.height() - height_) / 2;
    return QRect(QPoint(x0 + ox, oy + height_ - y1 - 1), QPoint(x1 + ox, oy + height_ - y0 - 1));
  }
  const int left = firstColumn(x0);
  const int right = std::max(left, firstColumn(x1 + 1) - 1);
  const int low = std::min(memoryRow(y0), memoryRow(y1));
  const int high = std::max(memoryRow(y0), memoryRow(y1));
  const int first = firstZoomRow(low);
  const int last = std::max(first, firstZoomRow(high + 1) - 1);
  const int h = client_.height();
  if (bottomUp_) return QRect(QPoint(left, h - 1 - last), QPoint(right, h - 1 - first));
  return QRect(QPoint(left, first), QPoint(right, last));
}

QPoint PaneView::centreKeeping(QPoint client, float scale) const {
  const int w = client_.width();
  const int h = client_.height();
  // The memory point under the client pixel's centre, in picture pixels.
  double column = 0.0;
  double row = 0.0;
  const int zoomRow = bottomUp_ ? h - 1 - client.y() : client.y();
  if (magnified_) {
    column = centre_.x() - (w / 2 - client.x()) / static_cast<double>(scale_);
    row = centre_.y() - (h / 2 - zoomRow) / static_cast<double>(scale_);
  } else {
    const QPoint p = toPicture(client);
    column = p.x() + 0.5;
    row = memoryRow(p.y()) + 0.5;
  }
  return {static_cast<int>(std::lround(column + (w / 2 - client.x()) / static_cast<double>(scale))),
          static_cast<int>(std::lround(row + (h / 2 - zoomRow) / static_cast<double>(scale)))};
}

PaneView CurrentView(const WorkbenchDocument& doc, int pane, const Dib& picture, QSize client) {
  const PaneZoom& zoom = doc.paneZoom[pane];
  const bool tool = doc.currentTool == kToolZoom || doc.currentTool == kToolPan;
  if (tool || zoom.wheel) {
    return PaneView::Zoomed(client, picture.Width(), picture.Height(), picture.IsBottomUp(),
                            zoom.scale, zoom.centre);
  }
  if (doc.fitToPane) {
    return PaneView::Fitted(client, picture.Width(), picture.Height(), picture.IsBottomUp());
  }
  return PaneView::Natural(client, picture.Width(), picture.Height());
}

}  // namespace fw

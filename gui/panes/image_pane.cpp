#include "gui/panes/image_pane.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "app/session.h"
#include "core/image_file.h"
#include "core/resample.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/dialogs/display_dialog.h"
#include "gui/dialogs/lbp_var_dialog.h"
#include "gui/shell/workbench_document.h"

namespace fw {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);

// Where the samples cut from the top-left pane go, below the samples root.
constexpr const char* kSampleFolder = "Mysmoke/newSmoke";
constexpr int kSampleSide = 100;
constexpr int kSampleQuality = 80;

QString SaveFilter() {
  return QStringLiteral("JPG图像(*.jpg);;BMP图像(*.bmp);;所有文件(*.*)");
}

// Lower-cased text after the last dot of a file name.
QString Extension(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  const int dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

bool PixelColour(const Dib& picture, int x, int memoryRow, uint8_t* rgb) {
  if (x < 0 || memoryRow < 0 || x >= picture.Width() || memoryRow >= picture.Height()) {
    return false;
  }
  const uint8_t* p = picture.Row(memoryRow);
  switch (picture.GetBitCount()) {
    case 24:
      rgb[0] = p[3 * x + 2];
      rgb[1] = p[3 * x + 1];
      rgb[2] = p[3 * x];
      return true;
    case 8: {
      const RgbQuad& entry = picture.GetPalette()[p[x]];
      rgb[0] = entry.red;
      rgb[1] = entry.green;
      rgb[2] = entry.blue;
      return true;
    }
    default:
      return false;
  }
}

// Memory row of a picture row counted from the bottom.
int MemoryRow(const Dib& picture, int y) {
  return picture.IsBottomUp() ? y : picture.Height() - 1 - y;
}

}  // namespace

QPoint ClientToPicture(QPoint client, QSize clientSize, int width, int height) {
  return PaneView::Natural(clientSize, width, height).toPicture(client);
}

QPoint PictureToClient(QPoint picture, QSize clientSize, int width, int height) {
  return PaneView::Natural(clientSize, width, height).toClient(picture);
}

ImagePane::ImagePane(PaneId id, EngineBridge& bridge, WorkbenchDocument& doc, QWidget* parent)
    : QWidget(parent), id_(id), bridge_(bridge), doc_(doc) {
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setAutoFillBackground(true);
  setMinimumSize(0, 0);
  // Initial size of a pane before the splitters lay it out.
  resize(320, 240);
}

const Dib& ImagePane::picture() const {
  return bridge_.snapshot().panes[index()];
}

bool ImagePane::toolActive() const {
  return doc_.currentTool == kToolZoom || doc_.currentTool == kToolPan;
}

float ImagePane::scale() const {
  return doc_.paneZoom[index()].scale;
}

QPoint ImagePane::panCentre() const {
  return doc_.paneZoom[index()].centre;
}

void ImagePane::setPanCentre(QPoint centre) {
  doc_.paneZoom[index()].centre = centre;
}

PaneView ImagePane::view() const {
  return CurrentView(doc_, index(), picture(), size());
}

QPoint ImagePane::toPicture(QPoint client) const {
  return view().toPicture(client);
}

QPoint ImagePane::toClient(QPoint point) const {
  return view().toClient(point);
}

QRect ImagePane::clientRect(int x0, int y0, int x1, int y1) const {
  return view().clientRect(x0, y0, x1, y1);
}

void ImagePane::recreateZoomBuffer() {
  zoom_.CreateSigned(std::max(width(), 1), std::max(height(), 1), 24, false);
}

// --- drawing ---------------------------------------------------------------------------------

void ImagePane::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const Dib& pic = picture();
  const int i = index();
  const bool shown = doc_.paneShown[i];

  if (id_ == PaneId::BottomLeft && doc_.pickerColour) {
    PaintDib(painter, 0, 0, doc_.hsvPlot);
  } else {
    if (id_ == PaneId::BottomRight && doc_.drawRgb) PaintDib(painter, 0, 0, doc_.rgbPlot);
    if (shown) {
      const PaneView v = view();
      if (v.magnified()) {
        if (zoom_.Width() != width() || zoom_.Height() != height()) recreateZoomBuffer();
        // The zoom buffer keeps the picture's row order, so that it is drawn the same way up.
        zoom_.SetHeaderHeight(pic.IsBottomUp() ? zoom_.Height() : -zoom_.Height());
        ZoomView(pic, zoom_, v.scale(), v.centre().x(), v.centre().y());
        PaintDib(painter, 0, 0, zoom_);
      } else {
        PaintDib(painter, (width() - pic.Width()) / 2, (height() - pic.Height()) / 2, pic);
      }
    }
  }
  paintOverlays(painter);
}

void ImagePane::paintOverlays(QPainter& painter) {
  painter.setBrush(Qt::NoBrush);
  if (isTopLeft() && squareOn_) {
    painter.setPen(QPen(kRed, 1, Qt::DashLine));
    painter.drawRect(clientRect(square_.left(), square_.top(), square_.right(), square_.bottom()));
  }
  if (isTopLeft() && doc_.lbpVarDialog != nullptr &&
      doc_.lbpVarDialog->options().displayRectangle) {
    doc_.lbpVarSize = doc_.lbpVarDialog->options().windowSize;
    const int half = doc_.lbpVarSize / 2;
    const QPoint c = doc_.lbpVarCentre;
    painter.setPen(QPen(kRed, 1, Qt::DashLine));
    painter.drawRect(clientRect(c.x() - half, c.y() - half, c.x() + half, c.y() + half));
  }
  if (doc_.currentView == index()) {
    // A 2-pixel frame through (1, 1) and (width - 1, height - 1).
    painter.setPen(QPen(kBlue, 2));
    painter.drawRect(QRect(QPoint(1, 1), QPoint(width() - 1, height() - 1)).adjusted(0, 0, -1, -1));
  }
  if (isTopLeft() && bridge_.snapshot().waveletView) {
    const QRect pixel = clientRect(doc_.selectedImagePoint.x(), doc_.selectedImagePoint.y(),
                                   doc_.selectedImagePoint.x(), doc_.selectedImagePoint.y());
    const QPoint c = pixel.center();
    painter.setPen(QPen(kGreen, 1));
    painter.drawLine(c.x() - 4, c.y(), c.x() + 4, c.y());
    painter.drawLine(c.x(), c.y() - 4, c.x(), c.y() + 4);
  }
  if (isTopLeft()) paintModeOverlays(painter);
}

void ImagePane::paintModeOverlays(QPainter& painter) {
  for (const Overlay& o : bridge_.snapshot().overlays) {
    painter.setPen(QPen(QColor(o.red, o.green, o.blue), 1));
    painter.drawRect(clientRect(o.x0, o.y0, o.x1, o.y1));
  }
}

// --- mouse and keys --------------------------------------------------------------------------

void ImagePane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  doc_.paneClientSize[index()] = size();
  recreateZoomBuffer();
  update();
}

void ImagePane::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QPoint p = event->position().toPoint();
  doc_.buttonDown = true;
  doc_.lastMousePoint = p;
  if (!isTopLeft()) return;
  if (bridge_.snapshot().waveletView) {
    const Dib& pic = picture();
    const QPoint q = toPicture(p);
    doc_.selectedImagePoint = QPoint(std::clamp(q.x(), 0, std::max(pic.Width() - 1, 0)),
                                     std::clamp(q.y(), 0, std::max(pic.Height() - 1, 0)));
    update();
  }
  // The current mode takes the picture point when it has a use for it (the block smoke mode
  // chooses the block it plots).
  const QPoint point = toPicture(p);
  bridge_.post([point](Session& s) { s.PickPicturePoint(point.x(), point.y()); });
}

void ImagePane::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    doc_.buttonDown = false;
    return;
  }
  if (event->button() == Qt::RightButton && contextMenu_ != nullptr) {
    // Right-aligned to the mouse.
    const QPoint at = event->globalPosition().toPoint();
    contextMenu_->popup(QPoint(at.x() - contextMenu_->sizeHint().width(), at.y()));
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void ImagePane::placeSquare(QPoint client) {
  const Dib& pic = picture();
  const QPoint c = toPicture(client);
  const int half = squareSide_ / 2;
  // Kept inside the picture; a picture smaller than the square keeps it at the lower left.
  const int cx = std::max(half, std::min(c.x(), pic.Width() - half - 1));
  const int cy = std::max(half, std::min(c.y(), pic.Height() - half - 1));
  square_ = QRect(QPoint(cx - half, cy - half), QPoint(cx + half, cy + half));
}

void ImagePane::pickColour(QPoint client) {
  uint8_t rgb[3];
  bool picked = false;
  if (toolActive()) {
    const int row = zoom_.IsBottomUp() ? height() - client.y() - 1 : client.y();
    picked = PixelColour(zoom_, client.x(), row, rgb);
  } else {
    const Dib& pic = picture();
    const QPoint p = toPicture(client);
    picked =
        p.y() >= 0 && p.y() < pic.Height() && PixelColour(pic, p.x(), MemoryRow(pic, p.y()), rgb);
  }
  if (picked) emit colourPicked(rgb[0], rgb[1], rgb[2]);
}

void ImagePane::showCursorInfo(QPoint client) {
  const Dib& pic = picture();
  const QPoint p = toPicture(client);
  uint8_t rgb[3];
  if (!view().inPicture(p) || !PixelColour(pic, p.x(), MemoryRow(pic, p.y()), rgb)) {
    emit cursorInfo(QString());
    return;
  }
  const QString at = QStringLiteral("x %1, y %2").arg(p.x()).arg(p.y());
  if (pic.GetBitCount() == 8) {
    const uint8_t* row = pic.Row(MemoryRow(pic, p.y()));
    emit cursorInfo(QStringLiteral("%1: value %2").arg(at).arg(row[p.x()]));
  } else {
    emit cursorInfo(
        QStringLiteral("%1: R %2 G %3 B %4").arg(at).arg(rgb[0]).arg(rgb[1]).arg(rgb[2]));
  }
}

void ImagePane::leaveEvent(QEvent* event) {
  emit cursorInfo(QString());
  QWidget::leaveEvent(event);
}

void ImagePane::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  showCursorInfo(p);
  if (isTopLeft() && squareOn_) {
    placeSquare(p);
    update();
  }
  if (isTopLeft() && doc_.lbpVarDialog != nullptr && doc_.lbpVarDialog->options().positioning) {
    const Dib& pic = picture();
    const QPoint c = toPicture(p);
    const int half = doc_.lbpVarDialog->options().windowSize / 2;
    doc_.lbpVarCentre = QPoint(std::max(half, std::min(c.x(), pic.Width() - half - 1)),
                               std::max(half, std::min(c.y(), pic.Height() - half - 1)));
    update();
  }
  if (doc_.paneShown[index()] && doc_.currentView == index()) {
    if (doc_.buttonDown) {
      const QPoint last = doc_.lastMousePoint;
      PaneZoom& zoom = doc_.paneZoom[index()];
      if (doc_.currentTool == kToolZoom) {
        zoom.scale = std::clamp(zoom.scale * (1.0f - static_cast<float>(p.y() - last.y()) / 100.0f),
                                0.01f, 100.0f);
      } else if (doc_.currentTool == kToolPan) {
        zoom.centre.rx() -= static_cast<int>(static_cast<float>(p.x() - last.x()) / zoom.scale);
        zoom.centre.ry() += static_cast<int>(static_cast<float>(p.y() - last.y()) / zoom.scale);
      }
      if (toolActive()) {
        emit scaleAndViewChanged(zoom.scale, doc_.currentView);
        update();
      }
    } else {
      pickColour(p);
    }
  }
  if (isTopLeft() || doc_.buttonDown) doc_.lastMousePoint = p;
}

void ImagePane::toggleCurrentView() {
  doc_.currentView = doc_.currentView == index() ? -1 : index();
  doc_.repaintPanes(-1);
}

void ImagePane::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (isTopLeft()) {
      if (squareOn_) cutSample();
      if (doc_.lbpVarDialog != nullptr && doc_.lbpVarDialog->options().positioning) {
        doc_.lbpVarDialog->setPositioning(false);
      }
    }
    toggleCurrentView();
    emit scaleAndViewChanged(scale(), doc_.currentView);
  } else if (event->button() == Qt::MiddleButton && !isTopLeft()) {
    toggleCurrentView();
  }
}

void ImagePane::zoomAround(QPoint client, int wheelDelta) {
  const PaneView v = view();
  // One notch (120) magnifies by a quarter.
  const float factor = std::pow(1.25f, static_cast<float>(wheelDelta) / 120.0f);
  const float next = std::clamp((v.magnified() ? v.scale() : 1.0f) * factor, 0.01f, 100.0f);
  PaneZoom& zoom = doc_.paneZoom[index()];
  zoom.centre = v.centreKeeping(client, next);
  zoom.scale = next;
  zoom.wheel = true;
  emit scaleAndViewChanged(zoom.scale, doc_.currentView);
  update();
}

void ImagePane::wheelEvent(QWheelEvent* event) {
  if (!isTopLeft() || !squareOn_) {
    // Elsewhere the wheel magnifies the pane around the cursor.
    if (event->angleDelta().y() == 0 || picture().Width() == 0) {
      QWidget::wheelEvent(event);
      return;
    }
    zoomAround(event->position().toPoint(), event->angleDelta().y());
    event->accept();
    return;
  }
  const Dib& pic = picture();
  squareSide_ += event->angleDelta().y() / 50;
  squareSide_ =
      std::max(kSquareMinimum, std::min(squareSide_, std::min(pic.Width(), pic.Height()) - 2));
  placeSquare(doc_.lastMousePoint);
  update();
  event->accept();
}

void ImagePane::keyPressEvent(QKeyEvent* event) {
  if (isTopLeft()) {
    const int key = event->key();
    const bool keypad = event->modifiers().testFlag(Qt::KeypadModifier);
    if (key == Qt::Key_K || (key == Qt::Key_Plus && keypad)) {
      emit startRequested();
      return;
    }
    if (key == Qt::Key_T || key == Qt::Key_F5) {
      emit stopRequested();
      return;
    }
    if (key == Qt::Key_S || key == Qt::Key_F4) {
      const QString path =
          QFileDialog::getSaveFileName(this, QStringLiteral("保存图像"), QString(), SaveFilter());
      if (!path.isEmpty()) saveColourPlots(path);
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

// --- samples and plots -----------------------------------------------------------------------

void ImagePane::setSelectionSquare(bool on) {
  squareOn_ = on;
  update();
}

bool ImagePane::cutSample() {
  const Dib& pic = picture();
  if (pic.GetBitCount() != 24) return false;
  Dib sample;
  sample.CreateSigned(kSampleSide, kSampleSide, 24, false);
  // Picture rows from the bottom are the memory rows of the bottom-up frames.
  ResampleRect(pic, sample, {square_.left(), square_.top(), square_.right(), square_.bottom()},
               {0, 0, kSampleSide - 1, kSampleSide - 1});
  const QString name = QString::asprintf("smoke_%04d.jpg", sampleCounter_);
  const QString folder = QDir(doc_.samplesRoot).filePath(QString::fromLatin1(kSampleFolder));
  ++sampleCounter_;
  if (!QDir(folder).exists()) {
    emit message(QStringLiteral("%1 not saved: the folder %2 does not exist").arg(name, folder));
    return false;
  }
  const Result written =
      SaveJpeg(sample, QDir(folder).filePath(name).toStdString(), kSampleQuality);
  if (!written) emit message(QString::fromStdString(written.message()));
  return written.ok();
}

bool ImagePane::saveColourPlots(const QString& path) {
  const QString ext = Extension(path);
  const std::string base = path.left(path.size() - 4).toStdString();
  const auto report = [](const Result& result) {
    if (!result) CurrentUiSink().Message(result.message(), "", MessageButtons::Ok);
    return result.ok();
  };
  if (ext == QLatin1String("jpg")) {
    bool ok = report(SaveJpeg(doc_.hsvPlot, base + "HSV.jpg", 100));
    if (doc_.drawRgb) ok = report(SaveJpeg(doc_.rgbPlot, base + "RGB.jpg", 100)) && ok;
    return ok;
  }
  if (ext == QLatin1String("bmp")) {
    const auto save = [&](const Dib& plot, const std::string& name) {
      return report(plot.SaveBmp(name));
    };
    bool ok = save(doc_.hsvPlot, base + "HSV.bmp");
    if (doc_.drawRgb) ok = save(doc_.rgbPlot, base + "RGB.bmp") && ok;
    return ok;
  }
  CurrentUiSink().Message(
      path.toStdString() + ": not saved: only .jpg and .bmp pictures can be saved", "",
      MessageButtons::Ok);
  return false;
}

}  // namespace fw

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
  return {client.x() - (clientSize.width() - width) / 2,
          (clientSize.height() - height) / 2 + height - client.y() - 1};
}

QPoint PictureToClient(QPoint picture, QSize clientSize, int width, int height) {
  return {picture.x() + (clientSize.width() - width) / 2,
          (clientSize.height() - height) / 2 + height - picture.y() - 1};
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

QPoint ImagePane::toPicture(QPoint client) const {
  const Dib& p = picture();
  return ClientToPicture(client, size(), p.Width(), p.Height());
}

QPoint ImagePane::toClient(QPoint point) const {
  const Dib& p = picture();
  return PictureToClient(point, size(), p.Width(), p.Height());
}

QRect ImagePane::clientRect(int x0, int y0, int x1, int y1) const {
  // Picture rows grow upwards, client rows downwards.
  return QRect(toClient(QPoint(x0, y1)), toClient(QPoint(x1, y0)));
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
      if (toolActive()) {
        if (zoom_.Width() != width() || zoom_.Height() != height()) recreateZoomBuffer();
        // The zoom buffer keeps the picture's row order, so that it is drawn the same way up.
        zoom_.SetHeaderHeight(pic.IsBottomUp() ? zoom_.Height() : -zoom_.Height());
        ZoomView(pic, zoom_, scale_, panCentre_.x(), panCentre_.y());
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
    const QPoint c = toClient(doc_.selectedImagePoint);
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

void ImagePane::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
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
      if (doc_.currentTool == kToolZoom) {
        scale_ = std::clamp(scale_ * (1.0f - static_cast<float>(p.y() - last.y()) / 100.0f), 0.01f,
                            100.0f);
      } else if (doc_.currentTool == kToolPan) {
        panCentre_.rx() -= static_cast<int>(static_cast<float>(p.x() - last.x()) / scale_);
        panCentre_.ry() += static_cast<int>(static_cast<float>(p.y() - last.y()) / scale_);
      }
      if (toolActive()) {
        emit scaleAndViewChanged(scale_, doc_.currentView);
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
    emit scaleAndViewChanged(scale_, doc_.currentView);
  } else if (event->button() == Qt::MiddleButton && !isTopLeft()) {
    toggleCurrentView();
  }
}

void ImagePane::wheelEvent(QWheelEvent* event) {
  if (!isTopLeft() || !squareOn_) {
    QWidget::wheelEvent(event);
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

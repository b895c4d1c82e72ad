// One of the four image panes: it paints its picture from the newest snapshot, centred or through
// the zoom view of the Zoom and Pan tools, with the current-view frame and, on the top-left pane,
// the selection square, the LBP-VAR window, the wavelet point and the overlays the current mode
// draws. The panes are also the workbench's pointing surface: clicks choose the current view and
// hand the top-left picture point to the mode, the mouse picks colours, zooms and pans, selects
// the wavelet point, and moves the square from which smoke samples are cut.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

#include "core/dib.h"
#include "detect/detection_state.h"
#include "gui/panes/pane_view.h"

class QMenu;

namespace fw {

class EngineBridge;
class WorkbenchDocument;

// Picture coordinates run from the picture's bottom row upwards, as the frames are stored. A
// client point of a pane that shows the picture centred at its natural size maps to the picture
// point (x - (client width - width) / 2, (client height - height) / 2 + height - y - 1), which may
// lie outside the picture; PictureToClient is its inverse (PaneView::Natural).
QPoint ClientToPicture(QPoint client, QSize clientSize, int width, int height);
QPoint PictureToClient(QPoint picture, QSize clientSize, int width, int height);

class ImagePane : public QWidget {
  Q_OBJECT

 public:
  // The selection square's side when the pane is created, and its limits.
  static constexpr int kSquareSide = 100;
  static constexpr int kSquareMinimum = 24;

  ImagePane(PaneId id, EngineBridge& bridge, WorkbenchDocument& doc, QWidget* parent = nullptr);

  PaneId id() const { return id_; }
  int index() const { return static_cast<int>(id_); }
  // The picture shown: this pane's picture of the newest snapshot.
  const Dib& picture() const;

  // The Zoom tool's magnification (0.01 .. 100) and the picture point shown at the centre while
  // a tool is active (also the mouse wheel's zoom); kept in the document.
  float scale() const;
  QPoint panCentre() const;
  void setPanCentre(QPoint centre);
  // How the picture lies in the pane now: drawing and every mouse mapping use it.
  PaneView view() const;
  // Re-creates the zoom buffer for the client size (a tool was switched on).
  void recreateZoomBuffer();
  const Dib& zoomBuffer() const { return zoom_; }

  // Top-left pane: the selection square from which smoke samples are cut.
  bool selectionSquare() const { return squareOn_; }
  void setSelectionSquare(bool on);
  int squareSide() const { return squareSide_; }
  QRect squareRect() const { return square_; }  // picture coordinates, inclusive corners
  // Cuts the square as a 100 x 100 sample "smoke_%04d.jpg" into <samples root>/Mysmoke/newSmoke
  // (the folder is not created). Returns whether a file was written.
  bool cutSample();
  int sampleCounter() const { return sampleCounter_; }

  // The submenu this pane pops up on a right click (null: none).
  void setContextMenu(QMenu* menu) { contextMenu_ = menu; }
  // Saves the colour plots (key S): base + "HSV" and, with "Draw in RGB space" on, base + "RGB",
  // as JPEG or BMP by the chosen extension.
  bool saveColourPlots(const QString& path);

 signals:
  // The status-bar texts of the scale and the current view should show these.
  void scaleAndViewChanged(float scale, int view);
  // A colour picked under the mouse (red, green, blue).
  void colourPicked(uint8_t red, uint8_t green, uint8_t blue);
  // Top-left pane keys: K starts playback, T stops it.
  void startRequested();
  void stopRequested();
  // A status-bar message (a sample that could not be written).
  void message(const QString& text);
  // The picture point under the mouse and its value, for the status bar (empty: none).
  void cursorInfo(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool isTopLeft() const { return id_ == PaneId::TopLeft; }
  bool toolActive() const;
  // Picture coordinates of a client point (may lie outside the picture).
  QPoint toPicture(QPoint client) const;
  QPoint toClient(QPoint picture) const;
  // A picture rectangle (inclusive corners) as the client rectangle covering it.
  QRect clientRect(int x0, int y0, int x1, int y1) const;
  // Centres the square at a client point, kept inside the picture.
  void placeSquare(QPoint client);
  void pickColour(QPoint client);
  void showCursorInfo(QPoint client);
  // The mouse wheel: magnifies the pane around the client point.
  void zoomAround(QPoint client, int wheelDelta);
  void toggleCurrentView();
  void paintOverlays(class QPainter& painter);
  void paintModeOverlays(class QPainter& painter);

  PaneId id_;
  EngineBridge& bridge_;
  WorkbenchDocument& doc_;
  QMenu* contextMenu_ = nullptr;

  Dib zoom_;

  // top-left pane
  bool squareOn_ = false;
  int squareSide_ = kSquareSide;
  QRect square_{QPoint(0, 0), QPoint(kSquareSide, kSquareSide)};
  int sampleCounter_ = 1;
};

}  // namespace fw

// The desktop's shared interaction state, the meeting point of the panes, the control panel and
// the dialogs: which pane is current, the mouse tool, the last mouse point, the points chosen for
// the modes, the panes' display switches and the colour plots. GUI thread only.
#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>

#include <array>

#include "app/commands.h"
#include "core/dib.h"

namespace fw {

class LbpVarDialog;

// The mouse tools are the commands that choose them.
inline constexpr int kToolZoom = cmd::kZoom;
inline constexpr int kToolPan = cmd::kPan;

// A pane's magnification: the Zoom tool's scale (0.01 .. 100) and the memory point shown at the
// pane's centre while a tool is on; `wheel` once the mouse wheel has zoomed the pane (until "Fit
// to pane" is chosen).
struct PaneZoom {
  float scale = 1.0f;
  QPoint centre{0, 0};
  bool wheel = false;
};

class WorkbenchDocument : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Pane last clicked: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right, -1 none.
  int currentView = -1;
  // 0, kToolZoom or kToolPan.
  int currentTool = 0;
  bool buttonDown = false;
  QPoint lastMousePoint;      // client coordinates of the pane it was in
  QPoint selectedImagePoint;  // picture point chosen for the wavelet view
  QPoint lbpVarCentre{100, 100};
  int lbpVarSize = 40;
  bool displayDialogShown = false;
  // The LBP-VAR parameter dialog once it has been created (owned by the main window).
  LbpVarDialog* lbpVarDialog = nullptr;
  // Folder under which the smoke samples cut from the top-left pane are saved.
  QString samplesRoot;

  // The control panel's "Display" check boxes, per pane.
  std::array<bool, 4> paneShown{true, true, true, true};
  // "Picker color": the bottom-left pane shows the HSV strip chart; "Draw in RGB space": the
  // bottom-right pane shows the RGB strip chart first.
  bool pickerColour = false;
  bool drawRgb = false;
  Dib hsvPlot;  // 24-bit, the bottom-left pane's client size
  Dib rgbPlot;
  // Client sizes of the four panes (the panes keep them current): the colour pick maps the last
  // mouse point through the top-left one, the HSV strip chart takes the bottom-left one.
  std::array<QSize, 4> paneClientSize{};
  std::array<PaneZoom, 4> paneZoom{};
  // "Fit to pane": pictures are scaled to their panes, keeping their aspect ratio.
  bool fitToPane = false;
  // "Color Key": the region operations of the top-left analysis rebuild their key mask on
  // every frame.
  bool colourKey = false;

  // Asks the panes named to repaint (-1: all four).
  void repaintPanes(int pane = -1) { emit panesChanged(pane); }

 signals:
  void panesChanged(int pane);
};

}  // namespace fw

// The floating display dialog: one picture (a spectrum, a contour plot, a texture image) outside
// the four panes, drawn centred in a client area sized to it, kept above other windows while it
// is topmost, and saved on request.
#pragma once

#include <QDialog>

#include "core/dib.h"

class QPainter;

namespace fw {

class WorkbenchDocument;

// Draws an 8-, 24- or 32-bit picture with its top-left corner at (x, y), upright whatever its
// row order (bottom-up pictures are flipped); other depths draw nothing. 8-bit pictures use
// their palette.
void PaintDib(QPainter& painter, int x, int y, const Dib& image);

class DisplayDialog : public QDialog {
  Q_OBJECT

 public:
  // Created hidden; the document's display-dialog flag follows its visibility.
  DisplayDialog(WorkbenchDocument& doc, QWidget* parent = nullptr);

  // Shows a copy of the picture: the client area becomes exactly its size, centred on the old
  // centre, and the dialog becomes topmost and is shown.
  void showImage(const Dib& image);
  // Shows a blank picture of this size and depth (the dialog's own picture).
  void showBlank(int width, int height, int bitCount);
  // The picture of a new snapshot, redrawn at once; the window keeps its size and place.
  void updateImage(const Dib& image);
  bool hasImage() const { return hasImage_; }
  const Dib& image() const { return image_; }

  void setTopmost(bool topmost);
  bool isTopmost() const { return topmost_; }

  // "Save DIB as ...": the save dialog, then JPEG or BMP by the extension. A topmost dialog is
  // made non-topmost while the file dialog is open, and topmost again afterwards.
  void saveImageAs();
  // Saves the picture to a path (JPEG or BMP by the extension); a write failure is reported.
  bool saveImageTo(const QString& path);

 signals:
  // Shown or hidden (the engine copies the display picture only while it is shown).
  void shownChanged(bool shown);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void placeFor(int width, int height);
  void applyTopmost();
  void reportShown(bool shown);

  WorkbenchDocument& doc_;
  Dib image_;
  bool hasImage_ = false;
  bool topmost_ = false;
  bool replacing_ = false;  // the topmost flag is being changed
  bool reportedShown_ = false;
};

}  // namespace fw

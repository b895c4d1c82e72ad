#include "gui/dialogs/display_dialog.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QMenu>
#include <QPainter>
#include <QScreen>

#include "core/image_file.h"
#include "core/ui_sink.h"
#include "gui/shell/workbench_document.h"

namespace fw {

void PaintDib(QPainter& painter, int x, int y, const Dib& image) {
  const int w = image.Width();
  const int h = image.Height();
  if (w <= 0 || h <= 0) return;
  QImage::Format format = QImage::Format_Invalid;
  switch (image.GetBitCount()) {
    case 8:
      format = QImage::Format_Indexed8;
      break;
    case 24:
      format = QImage::Format_BGR888;
      break;
    case 32:
      format = QImage::Format_RGB32;
      break;
    default:
      return;
  }
  if (image.PixelBytes() < static_cast<size_t>(image.Stride()) * h) return;
  // A view over the picture's rows; nothing is copied unless the palette has to be attached.
  QImage view(image.Pixels(), w, h, image.Stride(), format);
  if (format == QImage::Format_Indexed8) {
    QList<QRgb> table(256);
    const auto& palette = image.GetPalette();
    for (int i = 0; i < 256; ++i)
      table[i] = qRgb(palette[i].red, palette[i].green, palette[i].blue);
    view.setColorTable(table);
  }
  if (image.IsBottomUp()) {
    // Memory row 0 is the bottom row of the picture.
    painter.save();
    painter.translate(x, y + h);
    painter.scale(1, -1);
    painter.drawImage(0, 0, view);
    painter.restore();
  } else {
    painter.drawImage(x, y, view);
  }
}

namespace {

// 314 x 230 dialog units at the usual dialog font.
constexpr int kDefaultWidth = 471;
constexpr int kDefaultHeight = 374;

}  // namespace

DisplayDialog::DisplayDialog(WorkbenchDocument& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setModal(false);
  setWindowTitle(QString());
  resize(kDefaultWidth, kDefaultHeight);
}

void DisplayDialog::placeFor(int width, int height) {
  if (!testAttribute(Qt::WA_Moved)) {
    // Never placed yet: start from the default size centred on the owner or the screen.
    QRect area;
    if (parentWidget()) {
      area = parentWidget()->window()->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
      area = screen->availableGeometry();
    }
    if (area.isValid()) {
      move(area.x() + (area.width() - this->width()) / 2,
           area.y() + (area.height() - this->height()) / 2);
    }
  }
  // The client area holds the picture exactly, centred where the old client area was.
  const QRect old = geometry();
  setGeometry(old.x() + (old.width() - width) / 2, old.y() + (old.height() - height) / 2, width,
              height);
}

void DisplayDialog::showImage(const Dib& image) {
  image_.CopyFrom(image, false);
  hasImage_ = true;
  placeFor(image_.Width(), image_.Height());
  topmost_ = true;
  applyTopmost();
  update();
}

void DisplayDialog::showBlank(int width, int height, int bitCount) {
  image_.Create(width, height, bitCount, false);
  hasImage_ = true;
  placeFor(image_.Width(), image_.Height());
  topmost_ = true;
  applyTopmost();
  update();
}

void DisplayDialog::updateImage(const Dib& image) {
  // Same format: the rows are copied into the buffer already held, nothing is allocated.
  if (hasImage_ && image_.SameFormat(image) && image_.PixelBytes() == image.PixelBytes()) {
    image_.CopyFrom(image, true);
    image_.SetHeaderHeight(image.HeaderHeight());
    image_.GetPalette() = image.GetPalette();
  } else {
    image_.CopyFrom(image, false);
  }
  hasImage_ = true;
  update();
}

void DisplayDialog::setTopmost(bool topmost) {
  topmost_ = topmost;
  applyTopmost();
}

void DisplayDialog::applyTopmost() {
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != topmost_) {
    // Changing the flags hides the window; it comes back at the same place and size.
    const QRect place = geometry();
    replacing_ = true;
    setWindowFlag(Qt::WindowStaysOnTopHint, topmost_);
    setGeometry(place);
    replacing_ = false;
  }
  show();
  raise();
}

void DisplayDialog::saveImageAs() {
  if (!hasImage_) return;
  const bool wasTopmost = topmost_;
  // The file dialog must not open behind a topmost window.
  if (wasTopmost) setTopmost(false);
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("保存图像"), QString(),
                                   QStringLiteral("JPG图像(*.jpg);;BMP图像(*.bmp);;所有文件(*.*)"));
  if (wasTopmost) setTopmost(true);
  if (!path.isEmpty()) saveImageTo(path);
}

bool DisplayDialog::saveImageTo(const QString& path) {
  const QString extension = QFileInfo(path).suffix().toLower();
  // Only JPEG and BMP names are saved; another extension saves nothing, silently.
  if (extension != QLatin1String("jpg") && extension != QLatin1String("bmp")) return false;
  const Result result = SaveImageAs(image_, path.toStdString());
  if (!result) CurrentUiSink().Message(result.message(), "Fumewatch", MessageButtons::Ok);
  return result.ok();
}

void DisplayDialog::paintEvent(QPaintEvent*) {
  if (!hasImage_) return;
  QPainter painter(this);
  PaintDib(painter, (width() - image_.Width()) / 2, (height() - image_.Height()) / 2, image_);
}

void DisplayDialog::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(QStringLiteral("Dialog View"), this);
  QAction* save = menu.addAction(QStringLiteral("Save DIB as ..."));
  if (menu.exec(event->globalPos()) == save) saveImageAs();
}

void DisplayDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  reportShown(true);
}

void DisplayDialog::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  // Changing the topmost flag hides the window for a moment; that is not the user's hide.
  if (!replacing_) reportShown(false);
}

void DisplayDialog::reportShown(bool shown) {
  if (shown == reportedShown_) return;
  reportedShown_ = shown;
  doc_.displayDialogShown = shown;
  emit shownChanged(shown);
}

}  // namespace fw

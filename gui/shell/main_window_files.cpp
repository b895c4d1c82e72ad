// The main window's files: File Open for videos and pictures, Save, the offline detection's
// video, the last folder and the recent files.
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include "gui/shell/main_window.h"

#include "app/session.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/dialogs/display_dialog.h"
#include "gui/panes/image_pane.h"

namespace fw {

namespace {

constexpr const char* kPictureFilter = "JPG图像(*.jpg);;BMP图像(*.bmp);;所有文件(*.*)";
// File Open: the pictures' filters, then the videos and every file.
constexpr const char* kOpenFilter =
    "JPG图像(*.jpg);;BMP图像(*.bmp);;所有文件(*.*);;"
    "Videos (*.avi *.mp4 *.mkv *.mov *.mpg *.mpeg *.wmv *.webm *.flv *.m4v);;All files (*)";

// Files that go into a pane as pictures; the picture reader says which of them it cannot read.
bool IsPicture(const QString& path) {
  static const QStringList kPictures = {"jpg", "jpeg", "bmp", "png", "gif", "tif", "tiff"};
  return kPictures.contains(QFileInfo(path).suffix().toLower());
}

}  // namespace

// --- videos and pictures ---------------------------------------------------------------------

QString MainWindow::withoutTopmost(const std::function<QString()>& dialog) {
  const bool topmost = displayDialog_->isTopmost();
  if (topmost) displayDialog_->setTopmost(false);
  const QString path = dialog();
  if (topmost) displayDialog_->setTopmost(true);
  return path;
}

void MainWindow::rememberFolder(const QString& path) {
  lastFolder_ = QFileInfo(path).absolutePath();
  WorkbenchSettings().setValue(QStringLiteral("lastFolder"), lastFolder_);
}

void MainWindow::chooseVideo() {
  const QString path = withoutTopmost([this] {
    return QFileDialog::getOpenFileName(this, QStringLiteral("打开AVI格式测试视频(离线烟雾检测)"),
                                        lastFolder_, QStringLiteral("Files(*.avi)"));
  });
  if (path.isEmpty()) return;
  rememberFolder(path);
  openVideo(path);
}

void MainWindow::openVideo(const QString& path) {
  const std::string p = path.toStdString();
  auto opened = std::make_shared<bool>(false);
  bridge_.postThen([p, opened](Session& s) { *opened = s.OpenAndPlay(p); }, this,
                   [this, path, opened] {
                     if (*opened) addRecentFile(path);
                   });
}

void MainWindow::openFile(const QString& path) {
  rememberFolder(path);
  if (IsPicture(path)) {
    openPicture(path);
  } else {
    openVideo(path);
  }
}

void MainWindow::choosePicture() {
  // File Open: a picture goes into the current view, a video plays as after the Open button.
  const QString path = withoutTopmost([this] {
    return QFileDialog::getOpenFileName(this, QStringLiteral("打开位图图像"), lastFolder_,
                                        QString::fromUtf8(kOpenFilter));
  });
  if (!path.isEmpty()) openFile(path);
}

void MainWindow::openPicture(const QString& path) {
  const int view = doc_.currentView;
  const std::string p = path.toStdString();
  // The picture's size as loaded; the reply arrives before the snapshot that shows it.
  auto size = std::make_shared<QSize>();
  bridge_.postThen(
      [view, p, size](Session& s) {
        if (!s.OpenPicture(view, p)) return;
        const Dib& picture = s.GetPanes().image[std::max(view, 0)];
        *size = QSize(picture.Width(), picture.Height());
      },
      this,
      [this, view, size, path] {
        if (size->isEmpty()) return;
        // The pane's zoom centre becomes the picture's centre.
        panes_[std::max(view, 0)]->setPanCentre(QPoint(size->width() / 2, size->height() / 2));
        doc_.repaintPanes(-1);
        addRecentFile(path);
      });
}

void MainWindow::chooseSavePath() {
  const int view = doc_.currentView;
  if (view < 0 || view > 3) {
    CurrentUiSink().Message("No view specified!", "", MessageButtons::Ok);
    return;
  }
  const QString path = withoutTopmost([this] {
    return QFileDialog::getSaveFileName(this, QStringLiteral("保存图像"), lastFolder_,
                                        QString::fromUtf8(kPictureFilter));
  });
  if (path.isEmpty()) return;
  rememberFolder(path);
  savePicture(path);
}

void MainWindow::savePicture(const QString& path) {
  const int view = doc_.currentView;
  const std::string p = path.toStdString();
  bridge_.post([view, p](Session& s) { s.SavePicture(view, p); });
}

void MainWindow::chooseOfflineVideo() {
  const QString path = withoutTopmost([this] {
    return QFileDialog::getOpenFileName(
        this, QStringLiteral("Open an AVI video for smoke detection (Offline Fumewatch)"),
        lastFolder_, QStringLiteral("Files(*.avi)"));
  });
  if (path.isEmpty()) return;
  rememberFolder(path);
  runOfflineDetection(path);
}

void MainWindow::runOfflineDetection(const QString& path) {
  for (SessionCommand& command : OfflineDetectionCommands(path.toStdString())) {
    bridge_.post(std::move(command));
  }
  // Only a file that opened joins the recent files.
  const std::string p = path.toStdString();
  auto opened = std::make_shared<bool>(false);
  bridge_.postThen(
      [p, opened](Session& s) { *opened = s.LastOpenError().empty() && s.Reader().Path() == p; },
      this,
      [this, path, opened] {
        if (*opened) addRecentFile(path);
      });
  // What follows the offline mode's command.
  reinitialise();
}

void MainWindow::addRecentFile(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  recent_.removeAll(full);
  recent_.prepend(full);
  while (recent_.size() > kRecentFiles) recent_.removeLast();
  WorkbenchSettings().setValue(QString::fromLatin1(kRecentGroup) + "/files", recent_);
  rebuildRecentFiles();
}

void MainWindow::rebuildRecentFiles() {
  QMenu* file = submenu(QStringLiteral("&File"));
  QAction* placeholder = action(cmd::kRecentFile);
  for (QAction* a : recentActions_) {
    file->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  for (int i = 0; i < recent_.size(); ++i) {
    auto* a = new QAction(
        QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(recent_[i])), this);
    const QString path = recent_[i];
    connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    file->insertAction(placeholder, a);
    recentActions_.append(a);
  }
  // The placeholder stands for an empty list.
  placeholder->setVisible(recent_.isEmpty());
}

void MainWindow::openRecent(const QString& path) {
  openFile(path);
}

}  // namespace fw

// The main window: menu bar, toolbar and status bar around the fixed arrangement of panes (four
// image panes in a 2 x 2 grid, the control panel beside them, the control bar below), the
// window-level commands, the dialogs it places, and the re-initialisation after mode commands.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>

#include "app/commands.h"
#include "gui/shell/workbench_document.h"

class QLabel;
class QSplitter;

namespace fw {

struct Snapshot;
class AlarmIntervalsDialog;
class CommandActions;
class ControlBar;
class ControlPanel;
class DisplayDialog;
class EngineBridge;
class ImagePane;
class LbpVarDialog;
class PaneFrame;
class PseudoColourDialog;
class PtzDialog;
class SampleTools;

// The product title; the window shows it after the document title "FWX".
extern const char* const kProductTitle;

// The desktop's settings: recent files, the last folder, the samples root, the live source.
QSettings WorkbenchSettings();

class OnlineLearningRunner;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kMinimumWidth = 1020;
  static constexpr int kMinimumHeight = 740;
  static constexpr int kRecentFiles = 4;

  explicit MainWindow(EngineBridge& bridge, QWidget* parent = nullptr);
  ~MainWindow() override;

  // --- parts ---
  QAction* action(int id) const;
  QMenu* submenu(const QString& title) const;
  ImagePane* pane(int index) const { return panes_[index]; }
  // The pane with its caption and alarm frame.
  PaneFrame* paneFrame(int index) const { return paneFrames_[index]; }
  ControlBar* controlBar() const { return controlBar_; }
  ControlPanel* controlPanel() const { return controlPanel_; }
  DisplayDialog* displayDialog() const { return displayDialog_; }
  PtzDialog* ptzDialog() const { return ptzDialog_; }
  AlarmIntervalsDialog* alarmIntervalsDialog() const { return alarmIntervalsDialog_; }
  WorkbenchDocument& document() { return doc_; }
  // Status-bar panes: 0 message, 1 scale, 2 current view, 3 learning progress, then the
  // desktop's own: 4 the video and the mode, 5 the alarm, 6 the cursor's picture point and value.
  enum StatusPane { kVideoInfo = 4, kAlarmState = 5, kCursor = 6, kStatusPanes = 7 };
  QString statusText(int pane) const;
  // Folder the file dialogs start in: the last one a file was chosen or opened from.
  QString lastFolder() const { return lastFolder_; }
  // The image grid: row heights and column widths.
  QList<int> gridRowSizes() const;
  QList<int> gridColumnSizes() const;
  bool fourViews() const { return fourViews_; }
  QStringList recentFiles() const { return recent_; }
  // What the check marks show now.
  CommandContext commandContext() const;

  // --- commands (the file dialogs are left to the callers of these) ---
  // Runs a command as if it had been chosen from the menu.
  void runCommand(int id);
  // The Open button with a chosen video: open it and play it. Only a file that opened joins the
  // recent files.
  void openVideo(const QString& path);
  // A file from File Open, the command line or a drop: a picture (.jpg, .jpeg, .bmp, .png) as
  // File Open does, anything else as a video as the Open button does.
  void openFile(const QString& path);
  // File Open / Save with a chosen picture, for the current view.
  void openPicture(const QString& path);
  void savePicture(const QString& path);
  // Offline detection with a chosen video.
  void runOfflineDetection(const QString& path);
  // "Video on line" with a chosen source (going online; offline it needs no choice), and the
  // online detection sequence with it.
  void switchOnline(const QString& address, bool reconnect);
  void runOnlineDetection(const QString& address, bool reconnect);
  // The re-initialisation after every mode command (and File New).
  void reinitialise();

 public slots:
  // A status text of the engine (QtUiSink::statusText).
  void showStatus(int field, const QString& text);
  // The scale and current-view texts of the status bar.
  void showScaleAndView(float scale, int view);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The settings group of the recent files.
  static constexpr const char* kRecentGroup = "Recent File List";
  void buildPanes();
  void buildStatusBar();
  void onSnapshot();
  void refreshChecks();
  void modeCommand(int mode);
  void toolCommand(int tool);
  void toggleFourViews();
  void setGridSizes(int row0, int row1, int column0, int column1);
  void chooseVideo();
  void rememberFolder(const QString& path);
  void playerCommand(int id);
  void toggleFitToPane();
  void showAlarmIntervals(bool shown);
  void showSnapshotTexts(const Snapshot& s);
  void choosePicture();
  void chooseSavePath();
  void chooseOfflineVideo();
  // Online mode (main_window_online.cpp): the source chooser, going on and off line.
  void toggleOnline();
  void chooseOnlineDetection();
  bool chooseLiveSource(QString& address, bool& reconnect);
  SessionCommand videoOnLineCommand(const QString& address, bool reconnect);
  void goOffline();
  void showDisplayDialog(bool shown);
  void toggleLbpVar();
  void showPseudoColour();
  void showInfraredSetup();
  void showAbout();
  void addRecentFile(const QString& path);
  void rebuildRecentFiles();
  void openRecent(const QString& path);
  // Runs a file dialog with the display dialog's topmost state taken away meanwhile.
  QString withoutTopmost(const std::function<QString()>& dialog);

  EngineBridge& bridge_;
  WorkbenchDocument doc_;
  CommandActions* commands_ = nullptr;

  QSplitter* outer_ = nullptr;            // top row / control bar
  QSplitter* top_ = nullptr;              // image grid / control panel
  QSplitter* grid_ = nullptr;             // the grid's two rows
  std::array<QSplitter*, 2> gridRows_{};  // each row's two columns
  std::array<ImagePane*, 4> panes_{};
  std::array<PaneFrame*, 4> paneFrames_{};
  ControlBar* controlBar_ = nullptr;
  ControlPanel* controlPanel_ = nullptr;
  OnlineLearningRunner* onlineLearning_ = nullptr;

  std::array<QLabel*, kStatusPanes> status_{};  // indexed as statusText()
  std::string shownVideoPath_ = "\n";           // the title's video (no path has a line break)

  DisplayDialog* displayDialog_ = nullptr;
  PtzDialog* ptzDialog_ = nullptr;
  SampleTools* sampleTools_ = nullptr;  // fuzzy C-means, Get VOC, sample generation
  LbpVarDialog* lbpVarDialog_ = nullptr;
  PseudoColourDialog* pseudoColourDialog_ = nullptr;
  AlarmIntervalsDialog* alarmIntervalsDialog_ = nullptr;

  bool fourViews_ = true;
  bool ptz_ = false;
  bool snakeModelMark_ = false;
  QStringList recent_;
  QString lastFolder_;
  QList<QAction*> recentActions_;
  bool closing_ = false;
  bool connecting_ = false;  // "Video on line" was chosen; the session has not answered yet
};

}  // namespace fw

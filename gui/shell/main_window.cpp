#include "gui/shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>

#include "app/analysis_commands.h"
#include "app/session.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/control_bar.h"
#include "gui/controls/control_panel.h"
#include "gui/dialogs/alarm_intervals_dialog.h"
#include "gui/dialogs/display_dialog.h"
#include "gui/dialogs/infrared_setup_dialog.h"
#include "gui/dialogs/lbp_var_dialog.h"
#include "gui/dialogs/pseudo_colour_dialog.h"
#include "gui/dialogs/ptz_dialog.h"
#include "gui/dialogs/sample_tool_commands.h"
#include "gui/dialogs/workbench_file_dialogs.h"
#include "gui/panes/image_pane.h"
#include "gui/panes/pane_frame.h"
#include "gui/shell/desk_texts.h"
#include "gui/shell/evaluation_menu.h"
#include "gui/shell/menus.h"
#include "gui/shell/online_learning_runner.h"

namespace fw {

const char* const kProductTitle = "Fumewatch 2.0 (desktop workbench by the Fumewatch developers)";

namespace {

// "Online Adaboost learning" (Shift+O).
constexpr int kOnlineLearningCommand = 32795;

// Pane arrangement: top row and control bar, image grid and control panel, grid cells.
constexpr int kTopRowHeight = 530;
constexpr int kControlBarHeight = 70;
constexpr int kGridWidth = 800;
constexpr int kControlPanelWidth = 200;
constexpr int kCellHeight = 265;
constexpr int kCellWidth = 400;
// One view: the chosen cell's row and column get this size, the others none.
constexpr int kOneView = 1500;


const char* const kViewNames[] = {" Top left", " Top right", " Bottom left", " Bottom right"};


}  // namespace

QSettings WorkbenchSettings() {
  return QSettings(QStringLiteral("Local AppWizard-Generated Applications"),
                   QStringLiteral("Fumewatch"));
}

MainWindow::MainWindow(EngineBridge& bridge, QWidget* parent)
    : QMainWindow(parent), bridge_(bridge), doc_(this) {
  setWindowTitle(WindowTitle({}));
  setAcceptDrops(true);
  // 1020 x 740, or the screen's available area where that is smaller; the control panel and the
  // control bar scroll where they do not fit.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QSize minimum =
      MinimumWindowSize(screen != nullptr ? screen->availableGeometry().size() : QSize());
  setMinimumSize(minimum);
  lastFolder_ = WorkbenchSettings().value(QStringLiteral("lastFolder")).toString();

  doc_.samplesRoot = WorkbenchSettings()
                         .value(QStringLiteral("samplesRoot"),
                                QString::fromStdString(StartDirectory()) + "samples")
                         .toString();

  commands_ = new CommandActions(*this);
  connect(commands_, &CommandActions::triggered, this, &MainWindow::runCommand);
  buildStatusBar();
  buildPanes();
  AddEvaluationMenu(*this, bridge_);

  // The display dialog comes with the document, the PTZ dialog with the window; both hidden.
  displayDialog_ = new DisplayDialog(doc_, this);
  connect(displayDialog_, &DisplayDialog::shownChanged, this, [this](bool shown) {
    bridge_.post([shown](Session& s) { s.SetDisplayDialogShown(shown); });
    refreshChecks();
  });
  ptzDialog_ = new PtzDialog(this);
  sampleTools_ = new SampleTools(this, bridge_);
  onlineLearning_ = new OnlineLearningRunner(this, bridge_, doc_);

  connect(&bridge_, &EngineBridge::snapshotUpdated, this, &MainWindow::onSnapshot);
  connect(&doc_, &WorkbenchDocument::panesChanged, this, [this](int pane) {
    for (int i = 0; i < 4; ++i) {
      if (pane < 0 || pane == i) panes_[i]->update();
    }
  });

  recent_ = WorkbenchSettings().value(QString::fromLatin1(kRecentGroup) + "/files").toStringList();
  while (recent_.size() > kRecentFiles) recent_.removeLast();
  rebuildRecentFiles();

  resize(minimum);
  if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
  refreshChecks();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildPanes() {
  outer_ = new QSplitter(Qt::Vertical, this);
  top_ = new QSplitter(Qt::Horizontal, outer_);
  grid_ = new QSplitter(Qt::Vertical, top_);
  for (int row = 0; row < 2; ++row) {
    gridRows_[row] = new QSplitter(Qt::Horizontal, grid_);
    for (int column = 0; column < 2; ++column) {
      const int index = 2 * row + column;
      auto* pane = new ImagePane(static_cast<PaneId>(index), bridge_, doc_);
      panes_[index] = pane;
      paneFrames_[index] = new PaneFrame(pane, gridRows_[row]);
      connect(pane, &ImagePane::cursorInfo, this,
              [this](const QString& text) { status_[kCursor]->setText(text); });
      connect(pane, &ImagePane::scaleAndViewChanged, this, &MainWindow::showScaleAndView);
      connect(pane, &ImagePane::message, this, [this](const QString& text) {
        showStatus(static_cast<int>(StatusField::Message), text);
      });
    }
  }
  // The grid's two rows share their column widths.
  for (int row = 0; row < 2; ++row) {
    QSplitter* self = gridRows_[row];
    QSplitter* other = gridRows_[1 - row];
    connect(self, &QSplitter::splitterMoved, other,
            [self, other] { other->setSizes(self->sizes()); });
  }
  // The control panel keeps its natural height and scrolls when the window is too short for it.
  auto* panelScroll = new QScrollArea(top_);
  panelScroll->setWidgetResizable(true);
  panelScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  panelScroll->setFrameShape(QFrame::NoFrame);
  controlPanel_ = new ControlPanel(bridge_, doc_);
  panelScroll->setWidget(controlPanel_);
  // The control bar keeps its height and scrolls sideways when the window is too narrow for it.
  auto* barScroll = new QScrollArea(outer_);
  barScroll->setWidgetResizable(true);
  barScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  barScroll->setFrameShape(QFrame::NoFrame);
  controlBar_ = new ControlBar(bridge_);
  barScroll->setWidget(controlBar_);
  // Room for the bar and, when it scrolls, the scroll bar.
  barScroll->setMinimumHeight(controlBar_->sizeHint().height() +
                              barScroll->horizontalScrollBar()->sizeHint().height());
  for (QSplitter* s : {outer_, top_, grid_, gridRows_[0], gridRows_[1]}) {
    s->setChildrenCollapsible(true);
  }
  // Extra height goes to the panes, extra width to the grid.
  outer_->setStretchFactor(0, 1);
  outer_->setStretchFactor(1, 0);
  top_->setStretchFactor(0, 1);
  top_->setStretchFactor(1, 0);
  outer_->setSizes({kTopRowHeight, kControlBarHeight});
  top_->setSizes({kGridWidth, kControlPanelWidth});
  setGridSizes(kCellHeight, kCellHeight, kCellWidth, kCellWidth);
  setCentralWidget(outer_);

  // Right-click menus: the Operation submenus of the panes and Bottom View on the control bar.
  panes_[0]->setContextMenu(commands_->submenu(QStringLiteral("Top left")));
  panes_[2]->setContextMenu(commands_->submenu(QStringLiteral("Bottom left")));
  panes_[3]->setContextMenu(commands_->submenu(QStringLiteral("Bottom right")));
  controlBar_->setContextMenu(commands_->submenu(QStringLiteral("Bottom View")));

  connect(panes_[0], &ImagePane::startRequested, this,
          [this] { bridge_.post([](Session& s) { s.Start(); }); });
  connect(panes_[0], &ImagePane::stopRequested, this,
          [this] { bridge_.post([](Session& s) { s.Stop(); }); });
  for (ImagePane* pane : panes_) {
    connect(pane, &ImagePane::colourPicked, controlPanel_, &ControlPanel::setPickedColour);
  }
  connect(controlBar_, &ControlBar::openClicked, this, &MainWindow::chooseVideo);
}

void MainWindow::buildStatusBar() {
  QStatusBar* bar = statusBar();
  const auto pane = [bar](const QString& text, int stretch, bool permanent) {
    auto* label = new QLabel(text, bar);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (permanent) {
      bar->addPermanentWidget(label, stretch);
    } else {
      bar->addWidget(label, stretch);
    }
    return label;
  };
  status_[0] = pane(QStringLiteral("Ready"), 1, false);
  // The desktop's own: the video and the mode, the alarm.
  status_[kVideoInfo] = pane(VideoInfoText(Snapshot{}), 0, false);
  status_[kAlarmState] = pane(QStringLiteral("No alarm"), 0, false);
  status_[1] = pane(QStringLiteral("Scale: 1.0"), 0, true);
  status_[2] = pane(QStringLiteral("Current View: Top left"), 0, true);
  status_[3] = pane(QStringLiteral("Learning tips"), 0, true);
  // A pane a quarter of the screen wide (the cursor's picture point and value), then the
  // keyboard indicators.
  status_[kCursor] = pane(QString(), 1, true);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    status_[kCursor]->setMaximumWidth(screen->geometry().width() / 4);
  }
  for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
    QLabel* label = pane(QString::fromLatin1(indicator), 0, true);
    label->setEnabled(false);  // the lock states are not known here
  }
  // The message and the cursor's panes share the room the others leave; long texts are cut
  // rather than widening the window beyond its minimum size.
  for (const int i : {0, static_cast<int>(kCursor)}) {
    status_[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  for (const int i : {0, static_cast<int>(kVideoInfo), static_cast<int>(kCursor)}) {
    status_[i]->setMinimumWidth(40);
  }
  status_[1]->setText(QStringLiteral("Scale: 100%"));
  status_[2]->setText(QStringLiteral("Current View: No"));
}

QAction* MainWindow::action(int id) const {
  return commands_->action(id);
}

QMenu* MainWindow::submenu(const QString& title) const {
  return commands_->submenu(title);
}

QString MainWindow::statusText(int pane) const {
  return status_[pane]->text();
}

QList<int> MainWindow::gridRowSizes() const {
  return grid_->sizes();
}

QList<int> MainWindow::gridColumnSizes() const {
  return gridRows_[0]->sizes();
}

void MainWindow::showStatus(int field, const QString& text) {
  switch (static_cast<StatusField>(field)) {
    case StatusField::Scale:
      status_[1]->setText(text);
      break;
    case StatusField::CurrentView:
      status_[2]->setText(text);
      break;
    case StatusField::Learning:
      status_[3]->setText(text);
      break;
    case StatusField::Message:
      status_[0]->setText(text);
      break;
  }
}

void MainWindow::showScaleAndView(float scale, int view) {
  status_[1]->setText(QString::asprintf("Scale: %.0f%%", double{scale} * 100.0));
  status_[2]->setText(QStringLiteral("Current View:") +
                      QLatin1String(view >= 0 && view < 4 ? kViewNames[view] : " No"));
}

// --- snapshots and check marks ---------------------------------------------------------------

void MainWindow::onSnapshot() {
  const Snapshot& s = bridge_.snapshot();
  if (s.online) connecting_ = false;
  for (ImagePane* pane : panes_) pane->update();
  controlBar_->onSnapshot(s);
  controlPanel_->onSnapshot(s);
  if (displayDialog_->isVisible()) displayDialog_->updateImage(s.display);
  showSnapshotTexts(s);
  refreshChecks();
}

void MainWindow::showSnapshotTexts(const Snapshot& s) {
  // Online the title and the tool tip name the live source.
  const std::string& shown = s.online ? s.captureSource : s.videoPath;
  if (shown != shownVideoPath_) {
    shownVideoPath_ = shown;
    setWindowTitle(WindowTitle(shown));
  }
  const QString info = VideoInfoText(s);
  if (status_[kVideoInfo]->text() != info) {
    status_[kVideoInfo]->setText(info);
    status_[kVideoInfo]->setToolTip(QString::fromStdString(shown));
    // The line keeps its room up to a limit that leaves the window its minimum width.
    constexpr int kInfoRoom = 360;
    status_[kVideoInfo]->setMinimumWidth(
        std::min(status_[kVideoInfo]->sizeHint().width(), kInfoRoom));
  }
  const bool alarm = s.alarmFlag != 0;
  QLabel* alarmState = status_[kAlarmState];
  if ((alarmState->text() == QLatin1String("ALARM")) != alarm) {
    alarmState->setText(alarm ? QStringLiteral("ALARM") : QStringLiteral("No alarm"));
    alarmState->setStyleSheet(alarm ? QStringLiteral("QLabel { color: white; background: red; "
                                                     "font-weight: bold; padding: 0 6px; }")
                                    : QString());
  }
  for (int i = 0; i < 4; ++i) paneFrames_[i]->setCaption(PaneCaption(i, s, doc_));
  // The top-left pane's red frame while the alarm is on.
  paneFrames_[0]->setAlarm(alarm);
  if (alarmIntervalsDialog_ != nullptr && alarmIntervalsDialog_->isVisible()) {
    alarmIntervalsDialog_->showIntervals(s);
  }
}

CommandContext MainWindow::commandContext() const {
  const Snapshot& s = bridge_.snapshot();
  CommandContext c;
  c.mode = s.mode;
  c.auxiliaryOperation = s.auxiliaryOperation;
  c.topLeftOperation = s.topLeftOperation;
  c.logDisplay = s.logDisplay;
  c.fftCircle = s.fftCircle;
  c.waveletView = s.waveletView;
  c.bottomRightOperation = s.bottomRightOperation;
  c.topLeftGrad = s.topLeftGrad;
  c.bottomLeftGrads = s.bottomLeftGrads;
  c.colourTesting = s.colourTesting;
  c.online = s.online || connecting_;
  c.snakeModelMark = snakeModelMark_;
  c.currentTool = doc_.currentTool;
  c.fourViews = fourViews_;
  c.ptz = ptz_;
  c.displayDialogShown = displayDialog_ != nullptr && displayDialog_->isVisible();
  c.displayDialogTopmost = displayDialog_ != nullptr && displayDialog_->isTopmost();
  c.lbpVarShown = lbpVarDialog_ != nullptr && lbpVarDialog_->isVisible();
  c.selectionSquare = panes_[0] != nullptr && panes_[0]->selectionSquare();
  c.toolbarShown = commands_->toolBar()->isVisibleTo(this);
  c.statusBarShown = statusBar()->isVisibleTo(this);
  c.looping = s.looping;
  c.fitToPane = doc_.fitToPane;
  c.alarmIntervalsShown = alarmIntervalsDialog_ != nullptr && alarmIntervalsDialog_->isVisible();
  return c;
}

void MainWindow::refreshChecks() {
  commands_->refreshChecks(commandContext());
}

// --- commands --------------------------------------------------------------------------------

void MainWindow::runCommand(int id) {
  const CommandInfo* info = FindCommand(id);
  if (info == nullptr || !IsCommandEnabled(*info)) return;
  if (info->handler == CommandHandler::Mode) {
    modeCommand(id);
    return;
  }
  if (info->handler == CommandHandler::Analysis) {
    const Snapshot& s = bridge_.snapshot();
    // A network recogniser that is still to be trained first asks for a smoke-free video.
    if (AnalysisNeedsNetwork(id) && s.networkTraining && s.topLeftOperation != id) {
      const QString video = ChooseNonFireVideo(*this);
      if (video.isEmpty()) return;
      bridge_.post(
          [path = video.toStdString()](Session& session) { session.OpenSecondSource(path); });
    }
    // An analysis that draws into the display dialog shows the dialog, sized to its picture.
    if (AnalysisShowsDisplay(id) && s.topLeftOperation != id && s.auxiliaryOperation != id) {
      auto picture = std::make_shared<Dib>();
      bridge_.postThen(
          [id, picture](Session& session) {
            session.RunAnalysisCommand(id);
            picture->CopyFrom(session.GetPanes().display, false);
          },
          this, [this, picture] { displayDialog_->showImage(*picture); });
    } else {
      bridge_.post([id](Session& session) { session.RunAnalysisCommand(id); });
    }
    return;
  }
  switch (id) {
    case cmd::kFileNew:
      reinitialise();
      break;
    case cmd::kFileOpen:
      choosePicture();
      break;
    case cmd::kFileSave:
    case cmd::kFileSaveAs:
      chooseSavePath();
      break;
    case cmd::kExit:
      close();
      break;
    case cmd::kToolbar:
      commands_->toolBar()->setVisible(!commands_->toolBar()->isVisibleTo(this));
      break;
    case cmd::kStatusBar:
      statusBar()->setVisible(!statusBar()->isVisibleTo(this));
      break;
    case cmd::kShowDisplayDialog:
      showDisplayDialog(!displayDialog_->isVisible());
      break;
    case cmd::kDisplayDialogTopmost:
      displayDialog_->setTopmost(!displayDialog_->isTopmost());
      break;
    case cmd::kSetLbpVar:
      toggleLbpVar();
      break;
    case cmd::kZoom:
    case cmd::kPan:
      toolCommand(id);
      break;
    case cmd::kFourOrOneViews:
      toggleFourViews();
      break;
    case cmd::kGeneratePositive:
      panes_[0]->setSelectionSquare(!panes_[0]->selectionSquare());
      break;
    case cmd::kGradOfView00:
      bridge_.post([](Session& s) { s.ToggleTopLeftGrad(); });
      break;
    case cmd::kWaveletTransform:
      bridge_.post([](Session& s) { s.WaveletTransformOnce(); });
      break;
    case cmd::kColourTesting: {
      const bool on = !bridge_.snapshot().colourTesting;
      bridge_.post([on](Session& s) { s.SetColourTesting(on); });
      break;
    }
    case cmd::kGrads:
      bridge_.post([](Session& s) { s.ToggleBottomLeftGrads(); });
      break;
    case cmd::kSnakeModelMark:
      snakeModelMark_ = !snakeModelMark_;
      break;
    case cmd::kBottomRightGrad:
    case cmd::kBottomRightDifference:
      bridge_.post([id](Session& s) { s.SelectBottomRightOperation(id); });
      break;
    case cmd::kSaveDisplayPicture:
      displayDialog_->saveImageAs();
      break;
    case cmd::kPtz:
      // The second choice only takes the check mark away; the dialog stays.
      ptz_ = !ptz_;
      if (ptz_) ptzDialog_->show();
      break;
    case cmd::kPseudoColour:
      showPseudoColour();
      break;
    case cmd::kWaveletView:
      // As a mode command: the engine turns the view on or off, the window re-initialises.
      bridge_.post([](Session& s) { s.ToggleWaveletView(); });
      reinitialise();
      break;
    case cmd::kInfrared:
      modeCommand(ModeNumber(ModeId::Infrared));
      break;
    case cmd::kInfraredParameters:
      showInfraredSetup();
      break;
    case cmd::kAutoThreshold:
      bridge_.post([](Session& s) { s.AutoThreshold(); });
      break;
    case cmd::kOfflineDetection:
      chooseOfflineVideo();
      break;
    case cmd::kFuzzyCMeans:
      sampleTools_->fuzzyCMeans(doc_.samplesRoot);
      break;
    case cmd::kGetVoc:
      sampleTools_->getVoc(doc_.samplesRoot);
      break;
    case cmd::kGenerateSamples:
      sampleTools_->generateSamples(doc_.samplesRoot);
      break;
    case cmd::kRenameByTime:
      RenameByTimeCommand(*this, bridge_);
      break;
    case kOnlineLearningCommand:
      onlineLearning_->start();
      break;
    case cmd::kVideoOnLine:
      toggleOnline();
      break;
    case cmd::kOnlineDetection:
      chooseOnlineDetection();
      break;
    case cmd::kAbout:
      showAbout();
      break;
    case cmd::kPreviousPane:
      focusPreviousChild();
      break;
    case cmd::kPlayPause:
    case cmd::kNextFrame:
    case cmd::kPreviousFrame:
    case cmd::kFirstFrame:
    case cmd::kLastFrame:
    case cmd::kLoop:
    case cmd::kPlayAtFileRate:
      playerCommand(id);
      break;
    case cmd::kFitToPane:
      toggleFitToPane();
      break;
    case cmd::kAlarmIntervals:
      showAlarmIntervals(alarmIntervalsDialog_ == nullptr || !alarmIntervalsDialog_->isVisible());
      break;
    default:
      break;
  }
  refreshChecks();
}

void MainWindow::modeCommand(int mode) {
  // Switching a learning or classifier mode off stops a learning run.
  const ModeId current = bridge_.snapshot().mode;
  if (ModeNumber(current) == mode && mode >= ModeNumber(ModeId::Training) &&
      current != ModeId::Detecting) {
    onlineLearning_->requestStop();
  }
  // Selecting the current mode switches it off; menu modes clear the alarm state.
  bridge_.post([mode](Session& s) { s.SelectMode(static_cast<ModeId>(mode)); });
  reinitialise();
}

void MainWindow::playerCommand(int id) {
  switch (id) {
    case cmd::kPlayPause:
      bridge_.post([](Session& s) { s.PlayPause(); });
      break;
    case cmd::kNextFrame:
      bridge_.post([](Session& s) { s.StepForward(); });
      break;
    case cmd::kPreviousFrame:
      bridge_.post([](Session& s) { s.StepBack(); });
      break;
    case cmd::kFirstFrame:
      bridge_.post([](Session& s) { s.GoToFrame(0); });
      break;
    case cmd::kLastFrame:
      bridge_.post([](Session& s) { s.GoToFrame(s.Source().FrameCount() - 1); });
      break;
    case cmd::kLoop: {
      const bool on = !bridge_.snapshot().looping;
      bridge_.post([on](Session& s) { s.SetLooping(on); });
      break;
    }
    case cmd::kPlayAtFileRate:
      bridge_.post([](Session& s) { s.PlayAtFileRate(); });
      break;
    default:
      break;
  }
}

void MainWindow::toggleFitToPane() {
  doc_.fitToPane = !doc_.fitToPane;
  // The wheel's magnification gives way to the chosen fit.
  for (PaneZoom& zoom : doc_.paneZoom) zoom.wheel = false;
  doc_.repaintPanes(-1);
}

void MainWindow::showAlarmIntervals(bool shown) {
  if (alarmIntervalsDialog_ == nullptr) {
    alarmIntervalsDialog_ = new AlarmIntervalsDialog(this);
    connect(alarmIntervalsDialog_, &AlarmIntervalsDialog::frameChosen, this,
            [this](int frame) { bridge_.post([frame](Session& s) { s.GoToFrame(frame); }); });
    connect(alarmIntervalsDialog_, &AlarmIntervalsDialog::shownChanged, this,
            &MainWindow::refreshChecks);
  }
  if (!shown) {
    alarmIntervalsDialog_->hide();
    return;
  }
  alarmIntervalsDialog_->showIntervals(bridge_.snapshot());
  alarmIntervalsDialog_->show();
  alarmIntervalsDialog_->raise();
}

void MainWindow::reinitialise() {
  const Snapshot& shown = bridge_.snapshot();
  setWindowTitle(WindowTitle(shown.online ? shown.captureSource : shown.videoPath));
  controlBar_->reinitialise(bridge_.snapshot());
  controlPanel_->reinitialise();
  // The start directory is the working directory at this moment.
  const std::string directory = QDir::currentPath().toStdString() + "/";
  bridge_.post([directory](Session&) { SetStartDirectory(directory); });
}

void MainWindow::toolCommand(int tool) {
  doc_.currentTool = doc_.currentTool == tool ? 0 : tool;
  if (doc_.currentView < 0) doc_.currentView = 0;
  if (doc_.currentTool != 0) {
    for (ImagePane* pane : panes_) pane->recreateZoomBuffer();
    if (doc_.currentTool == kToolZoom) {
      ImagePane* current = panes_[doc_.currentView];
      const Dib& picture = current->picture();
      current->setPanCentre(QPoint(picture.Width() / 2, picture.Height() / 2));
    }
  }
  doc_.repaintPanes(-1);
}

void MainWindow::setGridSizes(int row0, int row1, int column0, int column1) {
  grid_->setSizes({row0, row1});
  for (QSplitter* row : gridRows_) row->setSizes({column0, column1});
}

void MainWindow::toggleFourViews() {
  fourViews_ = !fourViews_;
  if (fourViews_) {
    setGridSizes(kCellHeight, kCellHeight, kCellWidth, kCellWidth);
    return;
  }
  if (doc_.currentView == -1) doc_.currentView = 0;
  const int view = doc_.currentView;
  if (view < 0 || view > 3) return;
  const int row = view / 2;
  const int column = view % 2;
  setGridSizes(row == 0 ? kOneView : 0, row == 0 ? 0 : kOneView, column == 0 ? kOneView : 0,
               column == 0 ? 0 : kOneView);
  doc_.repaintPanes(-1);
}

// --- dialogs ---------------------------------------------------------------------------------

void MainWindow::showDisplayDialog(bool shown) {
  if (shown) {
    displayDialog_->showImage(bridge_.snapshot().display);
  } else {
    displayDialog_->hide();
  }
}

void MainWindow::toggleLbpVar() {
  if (lbpVarDialog_ == nullptr) {
    lbpVarDialog_ = new LbpVarDialog(this);
    doc_.lbpVarDialog = lbpVarDialog_;
    connect(lbpVarDialog_, &LbpVarDialog::optionsChanged, panes_[0],
            [this] { panes_[0]->update(); });
  }
  lbpVarDialog_->setShown(!lbpVarDialog_->isVisible());
}

void MainWindow::showPseudoColour() {
  if (pseudoColourDialog_ == nullptr) {
    pseudoColourDialog_ = new PseudoColourDialog(this);
    connect(pseudoColourDialog_, &PseudoColourDialog::applyScheme, this, [this](int scheme) {
      bridge_.post([scheme](Session& s) { s.ApplyPseudoColour(scheme); });
    });
  }
  pseudoColourDialog_->show();
  pseudoColourDialog_->raise();
}

void MainWindow::showInfraredSetup() {
  // The dialog starts from the global settings, read on the engine thread.
  auto current = std::make_shared<InfraredParams>();
  bridge_.postThen([current](Session& s) { *current = s.State().flame.infrared; }, this,
                   [this, current] {
                     InfraredSetupDialog dialog(this);
                     dialog.setValues(*current);
                     if (dialog.exec() != QDialog::Accepted) return;
                     const InfraredParams chosen = dialog.values();
                     bridge_.post([chosen](Session& s) { s.State().flame.infrared = chosen; });
                   });
}

void MainWindow::showAbout() {
  QDialog about(this);
  about.setWindowTitle(QStringLiteral("About DXQ"));
  auto* layout = new QHBoxLayout(&about);
  auto* icon = new QLabel(&about);
  icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
  layout->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  texts->addWidget(new QLabel(QStringLiteral("Fumewatch(FWX 2.0)"), &about));
  texts->addWidget(
      new QLabel(QStringLiteral("Smoke and fire detection workbench for Linux"), &about));
  texts->addWidget(new QLabel(QStringLiteral("Written by the Fumewatch developers"), &about));
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  texts->addWidget(ok);
  layout->addLayout(texts);
  about.exec();
}

// --- window ----------------------------------------------------------------------------------

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_S || event->key() == Qt::Key_F4) {
    CurrentUiSink().Message("hi", "", MessageButtons::Ok);
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  openFile(urls.front().toLocalFile());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Playback stops before the window goes; the engine has finished its frame when this returns.
  if (!closing_) {
    closing_ = true;
    bridge_.cancelCapture();
    bridge_.call([](Session& s) {
      s.Stop();
      s.EndLoopIfStopped();
      s.StopCapture();
    });
  }
  QMainWindow::closeEvent(event);
}

}  // namespace fw

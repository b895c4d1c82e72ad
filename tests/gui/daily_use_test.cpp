// The desktop for daily use, driven as a user drives it under the offscreen platform: opening
// (File Open's dialog, a file given to the program, a drop), a failed open, the player's keys,
// the slider and the frame field, the status line, the captions and the alarm frame, the alarm
// interval list, fit and wheel zoom with the mouse mappings that follow them, and the menus'
// reasons for disabled commands.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <string>

#include "app/commands.h"
#include "app/mode_table.h"
#include "app/session.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/control_bar.h"
#include "gui/dialogs/alarm_intervals_dialog.h"
#include "gui/panes/image_pane.h"
#include "gui/panes/pane_frame.h"
#include "gui/shell/desk_texts.h"
#include "gui/shell/main_window.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

struct Desk {
  RecordingUiSink sink;
  ScopedUiSink scopedSink{sink};
  EngineBridge bridge{nullptr};
  MainWindow window{bridge};

  Desk() {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }
  ~Desk() {
    bridge.call([](Session& s) {
      s.Stop();
      s.EndLoopIfStopped();
    });
  }
  // Waits until everything posted so far has run and its snapshot is shown, replies included.
  void settle() {
    for (int i = 0; i < 3; ++i) {
      bridge.call([](Session&) {});
      QApplication::processEvents();
    }
  }
  const Snapshot& snapshot() const { return bridge.snapshot(); }
  void key(Qt::Key key) {
    QTest::keyClick(&window, key);
    settle();
  }
};

// Grey level of the generated clips' frames: it tells which frame a picture is.
int FrameOf(const Dib& picture) {
  return picture.Row(20)[0] / 10;
}

// Answers the next file dialog with `path` once it is open, after checking it with `check`.
void AnswerNextFileDialog(const QString& path, std::function<void(QFileDialog&)> check = {}) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, path, check] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    timer->stop();
    timer->deleteLater();
    if (check) check(*dialog);
    // As a user types it: the whole path into the file name field, then Enter.
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
  });
  timer->start();
}

// The panes of a snapshot, byte for byte equal to the session's.
bool SamePanes(const Snapshot& shown, const Session& reference) {
  for (int i = 0; i < kPaneCount; ++i) {
    const Dib& a = shown.panes[i];
    const Dib& b = reference.State().panes.image[i];
    if (a.PixelBytes() != b.PixelBytes() ||
        !std::equal(a.Pixels(), a.Pixels() + a.PixelBytes(), b.Pixels())) {
      return false;
    }
  }
  return true;
}

}  // namespace

class DailyUseTest : public QObject {
  Q_OBJECT

 private slots:
  void openingByDialogArgumentAndDrop();
  void aFailedOpenLeavesThePreviousVideoPlaying();
  void playerKeysSliderAndFrameField();
  void statusLineCaptionsAndAlarmFrame();
  void alarmIntervalListSeeks();
  void fitWheelAndTheMappingsThatFollow();
  void disabledCommandsSayWhy();
};

void DailyUseTest::openingByDialogArgumentAndDrop() {
  Desk d;
  MainWindow& w = d.window;
  const QString video = QString::fromStdString(test::MakeClip("use_open", 48, 32, 6));
  const QString folder = QFileInfo(video).absolutePath();

  // File Open keeps its title and picture filters and gains the videos and all files; a video
  // chosen there plays as after the Open button.
  QStringList filters;
  QString title;
  AnswerNextFileDialog(video, [&](QFileDialog& dialog) {
    filters = dialog.nameFilters();
    title = dialog.windowTitle();
  });
  w.runCommand(cmd::kFileOpen);
  d.settle();
  QCOMPARE(title, QStringLiteral("打开位图图像"));
  QCOMPARE(filters.mid(0, 3),
           QStringList({QStringLiteral("JPG图像(*.jpg)"), QStringLiteral("BMP图像(*.bmp)"),
                        QStringLiteral("所有文件(*.*)")}));
  QVERIFY(filters.size() == 5 && filters[3].contains(QStringLiteral("*.avi")));
  QCOMPARE(filters[4], QStringLiteral("All files (*)"));
  QCOMPARE(QString::fromStdString(d.snapshot().videoPath), video);
  QVERIFY(d.snapshot().loopExists);
  QCOMPARE(w.windowTitle(), QStringLiteral("use_open.avi - FWX - ") + kProductTitle);
  QCOMPARE(w.recentFiles().value(0), video);
  QCOMPARE(w.lastFolder(), folder);

  // The next dialog starts in the last folder; a picture chosen there goes into the pane.
  d.bridge.call([](Session& s) {
    s.Stop();
    s.EndLoopIfStopped();
  });
  const QString picture = folder + "/frame.bmp";
  d.bridge.call([&](Session& s) { s.SavePicture(0, picture.toStdString()); });
  QString startFolder;
  AnswerNextFileDialog(picture,
                       [&](QFileDialog& dialog) { startFolder = dialog.directory().path(); });
  w.runCommand(cmd::kFileOpen);
  d.settle();
  QCOMPARE(startFolder, folder);
  QCOMPARE(w.recentFiles().value(0), picture);
  QCOMPARE(QString::fromStdString(d.snapshot().videoPath), video);  // still the video's

  // A file given to the program opens the same way (main hands it to openFile).
  const QString second = QString::fromStdString(test::MakeClip("use_argument", 40, 30, 4));
  w.openFile(second);
  d.settle();
  QCOMPARE(QString::fromStdString(d.snapshot().videoPath), second);
  QCOMPARE(d.snapshot().videoWidth, 40);

  // A file dropped onto the window too.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(video)});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &drop);
  d.settle();
  QCOMPARE(QString::fromStdString(d.snapshot().videoPath), video);
  QVERIFY(d.sink.Messages().empty());
}

void DailyUseTest::aFailedOpenLeavesThePreviousVideoPlaying() {
  Desk d;
  MainWindow& w = d.window;
  const QString video = QString::fromStdString(test::MakeClip("use_failed", 48, 32, 6));
  const QString damaged = QString::fromStdString(test::TempDir("use_damaged")) + "/damaged.avi";
  QFile file(damaged);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("RIFF....AVI not a video");
  file.close();
  d.bridge.call([](Session& s) { s.SetFrameRate(1.0f); });
  w.openVideo(video);
  d.settle();
  d.bridge.call([](Session& s) { s.PlayPause(); });  // paused, so that frames are counted here
  d.settle();
  int due = 0;  // the frame the video would read next
  d.bridge.call([&due](Session& s) { due = s.CurrentFrame(); });

  w.openVideo(damaged);
  d.settle();
  QCOMPARE(d.sink.Messages().size(), size_t{1});
  QCOMPARE(QString::fromStdString(d.sink.Messages()[0].caption), QStringLiteral("Kestrin"));
  QVERIFY(QString::fromStdString(d.sink.Messages()[0].text)
              .startsWith(QStringLiteral("Avi Error!\n") + damaged + QStringLiteral(": ")));
  QCOMPARE(w.recentFiles().value(0), video);
  QVERIFY(!w.recentFiles().contains(damaged));
  QCOMPARE(QString::fromStdString(d.snapshot().videoPath), video);
  QCOMPARE(w.windowTitle(), QStringLiteral("use_failed.avi - FWX - ") + kProductTitle);
  // The previous video plays on from where it was.
  d.key(Qt::Key_Right);
  QCOMPARE(d.snapshot().frameNumber, due);
  QCOMPARE(FrameOf(d.snapshot().panes[0]), due);
}

void DailyUseTest::playerKeysSliderAndFrameField() {
  Desk d;
  MainWindow& w = d.window;
  ControlBar& bar = *w.controlBar();
  const std::string clip = test::MakeClip("use_player", 48, 32, 8, VideoCodec::RawBgr24, 12);
  // A reference session runs the same frames in the same mode: the desktop must show its panes.
  Session reference;
  QVERIFY(reference.Open(clip));
  reference.SelectMode(ModeId::Mixture);
  d.bridge.call([&](Session& s) {
    s.Open(clip);
    s.SelectMode(ModeId::Mixture);
  });
  d.settle();
  const auto expectFrame = [&](int frame) {
    QCOMPARE(d.snapshot().frameNumber, frame);
    QCOMPARE(FrameOf(d.snapshot().panes[0]), frame);
    QVERIFY(bar.frameNumberEdit()->text().startsWith(QStringLiteral("%1 / 8 (").arg(frame)));
    QCOMPARE(bar.frameSlider()->value(), frame);
    QVERIFY2(SamePanes(d.snapshot(), reference), "the mode's output differs");
  };

  // Right and "." step forward, Left and "," back (a jump for the mode), End and Home jump.
  d.key(Qt::Key_Right);
  reference.StepForward();
  expectFrame(0);
  for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Period, Qt::Key_Right}) {
    d.key(key);
    reference.StepForward();
  }
  expectFrame(3);
  d.key(Qt::Key_Left);
  reference.StepBack();
  expectFrame(2);
  d.key(Qt::Key_Comma);
  reference.StepBack();
  expectFrame(1);
  d.key(Qt::Key_End);
  reference.GoToFrame(7);
  expectFrame(7);
  d.key(Qt::Key_Home);
  reference.GoToFrame(0);
  expectFrame(0);

  // The slider shows the frame under it while nothing plays.
  bar.frameSlider()->setSliderPosition(5);
  d.settle();
  reference.GoToFrame(5);
  expectFrame(5);
  // So does a frame typed into the frame field.
  bar.frameNumberEdit()->setFocus();
  bar.frameNumberEdit()->selectAll();
  QTest::keyClicks(bar.frameNumberEdit(), QStringLiteral("6"));
  QTest::keyClick(bar.frameNumberEdit(), Qt::Key_Return);
  d.settle();
  reference.GoToFrame(6);
  expectFrame(6);
  QVERIFY(bar.frameNumberEdit()->text().endsWith(QStringLiteral("(0:00.5)")));  // 6 / 12 s

  // Space plays and pauses; Start resumes a paused loop.
  d.bridge.call([](Session& s) { s.SetFrameRate(100.0f); });
  d.key(Qt::Key_Space);
  QVERIFY(d.snapshot().loopExists && !d.snapshot().paused);
  const uint64_t before = d.snapshot().framesProcessed;
  QTRY_VERIFY_WITH_TIMEOUT(d.snapshot().framesProcessed > before + 2, 10000);
  d.key(Qt::Key_Space);
  QVERIFY(d.snapshot().paused);
  const int pausedAt = d.snapshot().frameNumber;
  QTest::qWait(50);
  d.settle();
  QCOMPARE(d.snapshot().frameNumber, pausedAt);
  bar.button(1002)->click();  // Start
  d.settle();
  QVERIFY(!d.snapshot().paused && d.snapshot().loopExists);
  d.key(Qt::Key_Space);
  QVERIFY(d.snapshot().paused);

  // "Loop" and "Play at the file's rate".
  QVERIFY(w.action(cmd::kLoop)->isChecked());
  w.runCommand(cmd::kLoop);
  d.settle();
  QVERIFY(!d.snapshot().looping);
  QVERIFY(!w.action(cmd::kLoop)->isChecked());
  w.runCommand(cmd::kPlayAtFileRate);
  d.settle();
  QCOMPARE(d.snapshot().frameRate, 12.0f);
  QCOMPARE(bar.frameRateSpin()->value(), 12);
  QVERIFY(d.sink.Messages().empty());
}

void DailyUseTest::statusLineCaptionsAndAlarmFrame() {
  Desk d;
  MainWindow& w = d.window;
  const std::string clip = test::MakeClip("use_status", 48, 32, 4);
  d.bridge.call([&](Session& s) { s.Open(clip); });
  w.runCommand(ModeNumber(ModeId::BlockSmoke));
  d.settle();
  QCOMPARE(w.statusText(MainWindow::kVideoInfo),
           QStringLiteral("use_status.avi | 48x32 | 25 fps | 7011 Fumewatch(Block)"));
  QCOMPARE(w.statusText(MainWindow::kAlarmState), QStringLiteral("No alarm"));
  const ModeInfo& mode = *FindMode(ModeId::BlockSmoke);
  for (int i = 0; i < 4; ++i) QCOMPARE(w.paneFrame(i)->caption(), QString(mode.captions[i]));
  QVERIFY(!w.paneFrame(0)->alarm());

  // The alarm: the red frame around the top-left pane and a red "ALARM".
  d.bridge.call([](Session& s) { s.State().alarmFlag = 1; });
  d.settle();
  QCOMPARE(w.statusText(MainWindow::kAlarmState), QStringLiteral("ALARM"));
  QVERIFY(w.paneFrame(0)->alarm());
  QVERIFY(!w.paneFrame(1)->alarm());

  // A selection beside the mode names what it puts into its pane; mode 0 says so.
  w.runCommand(cmd::kBottomRightGrad);
  w.runCommand(ModeNumber(ModeId::BlockSmoke));
  d.settle();
  QCOMPARE(w.paneFrame(3)->caption(),
           QStringLiteral("Grad: Sobel magnitude of the top-right pane"));
  QCOMPARE(w.paneFrame(1)->caption(), QStringLiteral("No mode chosen"));
  QCOMPARE(w.paneFrame(0)->caption(), QStringLiteral("Current frame"));
  QCOMPARE(w.statusText(MainWindow::kAlarmState), QStringLiteral("No alarm"));

  // The cursor's picture point and value.
  ImagePane& pane = *w.pane(0);
  QTest::mouseMove(&pane, pane.view().toClient(QPoint(5, 20)));
  QCOMPARE(w.statusText(MainWindow::kCursor), QStringLiteral("x 5, y 20: R 0 G 0 B 0"));
}

void DailyUseTest::alarmIntervalListSeeks() {
  Desk d;
  MainWindow& w = d.window;
  const std::string clip = test::MakeClip("use_intervals", 32, 24, 10, VideoCodec::RawBgr24, 10);
  d.bridge.call([&](Session& s) {
    s.Open(clip);
    // Mode 0 keeps the flag as set: an alarm on frames 2..4 and one from frame 7 on.
    for (const int alarm : {0, 0, 1, 1, 1, 0, 0, 1}) {
      s.State().alarmFlag = static_cast<uint8_t>(alarm);
      s.Step();
    }
  });
  w.runCommand(cmd::kAlarmIntervals);
  d.settle();
  AlarmIntervalsDialog& dialog = *w.alarmIntervalsDialog();
  QVERIFY(dialog.isVisible());
  QVERIFY(w.action(cmd::kAlarmIntervals)->isChecked());
  QTableWidget& table = *dialog.table();
  QCOMPARE(table.rowCount(), 2);
  QCOMPARE(table.item(0, 0)->text(), QStringLiteral("2"));
  QCOMPARE(table.item(0, 1)->text(), QStringLiteral("5"));
  QCOMPARE(table.item(0, 2)->text(), QStringLiteral("0:00.2"));
  QCOMPARE(table.item(1, 0)->text(), QStringLiteral("7"));
  QCOMPARE(table.item(1, 1)->text(), QStringLiteral("(on)"));

  // A click on an interval goes to its first frame.
  const QRect cell = table.visualItemRect(table.item(0, 0));
  QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  d.settle();
  QCOMPARE(d.snapshot().frameNumber, 2);
  QCOMPARE(FrameOf(d.snapshot().panes[0]), 2);
  // The jump ended the open interval at the frame after the last one played.
  QCOMPARE(table.rowCount(), 3);
  QCOMPARE(table.item(1, 1)->text(), QStringLiteral("8"));
}

void DailyUseTest::fitWheelAndTheMappingsThatFollow() {
  Desk d;
  MainWindow& w = d.window;
  const std::string clip = test::MakeClip("use_fit", 64, 48, 4);
  d.bridge.call([&](Session& s) { s.Open(clip); });
  w.runCommand(ModeNumber(ModeId::BlockSmoke));
  d.settle();
  ImagePane& pane = *w.pane(0);
  QVERIFY(!pane.view().magnified());  // pictures at their natural size at first

  // Fit to pane: the picture fills the pane's width or height.
  QVERIFY(!w.action(cmd::kFitToPane)->isChecked());
  w.runCommand(cmd::kFitToPane);
  QVERIFY(w.action(cmd::kFitToPane)->isChecked());
  const PaneView fitted = pane.view();
  QVERIFY(fitted.magnified());
  const QRect whole = fitted.clientRect(0, 0, 63, 47);
  QVERIFY(std::abs(whole.width() - pane.width()) <= 1 ||
          std::abs(whole.height() - pane.height()) <= 1);

  // A click picks the block under the mouse through the fitted view.
  QTest::mouseClick(&pane, Qt::LeftButton, Qt::NoModifier,
                    fitted.clientRect(40, 20, 40, 20).center());
  QPoint block;
  d.bridge.call(
      [&](Session& s) { block = QPoint(s.State().smoke.blockColumn, s.State().smoke.blockRow); });
  QCOMPARE(block, QPoint(2, 1));

  // The wheel zooms the bottom-left pane around the cursor: the point under it stays.
  ImagePane& other = *w.pane(2);
  const QPoint at(other.width() / 3, other.height() / 3);
  const QPoint under = other.view().toPicture(at);
  QWheelEvent wheel(QPointF(at), other.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 240),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&other, &wheel);
  QVERIFY(other.view().scale() > fitted.scale());
  QVERIFY((other.view().toPicture(at) - under).manhattanLength() <= 1);
  QVERIFY(w.statusText(1).startsWith(QStringLiteral("Scale: ")));
  // Fit to pane again gives the wheel's zoom up.
  w.runCommand(cmd::kFitToPane);
  QVERIFY(!other.view().magnified());
}

void DailyUseTest::disabledCommandsSayWhy() {
  Desk d;
  MainWindow& w = d.window;
  int explained = 0;
  for (const CommandInfo& c : Commands()) {
    QAction* a = w.action(c.id);
    const bool pending = !IsCommandEnabled(c) && c.handler != CommandHandler::None;
    QCOMPARE(a->toolTip().contains(QStringLiteral("Not in this build yet")), pending);
    if (pending) ++explained;
  }
  QVERIFY(explained > 0);
  // Left without a handler on purpose: disabled, without a reason.
  for (const int id : {cmd::kUndo, cmd::kCut, cmd::kCopy, cmd::kPaste, cmd::kSplit, 137}) {
    QVERIFY(!w.action(id)->isEnabled());
    QVERIFY(!w.action(id)->toolTip().contains(QStringLiteral("Not in this build")));
  }
  QVERIFY(!w.controlBar()->button(1003)->isEnabled());  // Close
  QVERIFY(w.submenu(QStringLiteral("Bottom View"))->toolTipsVisible());
}

}  // namespace fw

int main(int argc, char** argv) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  QApplication app(argc, argv);
  fw::DailyUseTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "daily_use_test.moc"

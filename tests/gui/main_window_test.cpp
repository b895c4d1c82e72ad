// The desktop shell end to end under the offscreen platform: menus built from the command table,
// mode commands with their check marks, the current view and the status bar, the control bar's
// entries, playback on a generated clip, pictures in and out of the panes, and the screenshot
// option of the program.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/commands.h"
#include "app/mode_table.h"
#include "app/session.h"
#include "core/ui_sink.h"
#include "detect/smoke/smoke_modes.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/control_bar.h"
#include "gui/panes/image_pane.h"
#include "gui/shell/desk_texts.h"
#include "gui/shell/main_window.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

// One window with its own engine and a recording message sink.
struct Desk {
  RecordingUiSink sink;
  ScopedUiSink scopedSink{sink};
  EngineBridge bridge{nullptr};
  MainWindow window{bridge};

  Desk() {
    window.show();
    QApplication::processEvents();
  }
  ~Desk() {
    bridge.call([](Session& s) {
      s.Stop();
      s.EndLoopIfStopped();
    });
  }
  // Waits until everything posted so far has run and its snapshot is shown.
  void settle() {
    bridge.call([](Session&) {});
    bridge.call([](Session&) {});
    QApplication::processEvents();
  }
  const Snapshot& snapshot() const { return bridge.snapshot(); }
  // Opens a video without playing it.
  void open(const std::string& path) {
    bool opened = false;
    bridge.call([path, &opened](Session& s) { opened = s.Open(path).ok(); });
    QVERIFY(opened);
    settle();
  }
  bool checked(int id) const { return window.action(id)->isChecked(); }
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const RecordingUiSink::Entry& e : sink.Messages()) texts.push_back(e.text);
    return texts;
  }
};

void DoubleClick(QWidget* widget, Qt::MouseButton button = Qt::LeftButton) {
  QTest::mouseDClick(widget, button, Qt::NoModifier, QPoint(20, 20));
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void menusFollowTheCommandTable();
  void modeCommandsToggleWithTheirCheckMarks();
  void currentViewToolsAndStatusBar();
  void controlBarEntries();
  void openStartModeStop();
  void picturesInAndOutOfThePanes();
  void topLeftPanePointing();
  void screenshotOption();
};

void MainWindowTest::menusFollowTheCommandTable() {
  Desk d;
  MainWindow& w = d.window;
  QCOMPARE(w.windowTitle(), QStringLiteral("FWX - ") + QString::fromUtf8(kProductTitle));
  QVERIFY(QString::fromUtf8(kProductTitle).startsWith(QStringLiteral("Fumewatch 2.0 (")));
  for (const CommandInfo& c : Commands()) {
    QAction* a = w.action(c.id);
    QVERIFY2(a != nullptr, qPrintable(QString::number(c.id)));
    const std::string_view label = CommandLabel(c);
    QCOMPARE(a->text(), QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())));
    QCOMPARE(a->isEnabled(), IsCommandEnabled(c));
    QCOMPARE(a->isCheckable(), IsCheckable(c));
  }
  // The Bottom View submenu in menu order, the Adaboost modes in their own submenu.
  QStringList shown;
  for (QAction* a : w.submenu(QStringLiteral("Bottom View"))->actions()) {
    if (a->menu() != nullptr) {
      shown << a->menu()->title();
    } else if (!a->isSeparator()) {
      shown << QString::number(a->data().toInt());
    }
  }
  QCOMPARE(shown.join(' '),
           QStringLiteral("7004 7001 7002 7005 7006 7007 7008 7009 7010 7011 7012 "
                          "7013 7014 7015 7016 Adaboost 7021 7003 2020 2021 5001"));
  QCOMPARE(w.submenu(QStringLiteral("Adaboost"))->actions().size(), 7);
  // The panes' right-click menus are the Operation submenus.
  QVERIFY(w.submenu(QStringLiteral("Top left"))->actions().contains(w.action(cmd::kGradOfView00)));

  // The window cannot be made smaller than 1020 x 740, or than the screen where that is smaller.
  const QSize minimum = MinimumWindowSize(w.screen()->availableGeometry().size());
  QCOMPARE(w.minimumSize(), minimum);
  w.resize(300, 200);
  QApplication::processEvents();
  QVERIFY(w.width() >= minimum.width() && w.height() >= minimum.height());

  // S reaches the window: "hi".
  QTest::keyClick(&w, Qt::Key_S);
  QCOMPARE(d.messages(), std::vector<std::string>{"hi"});
}

void MainWindowTest::modeCommandsToggleWithTheirCheckMarks() {
  Desk d;
  d.open(test::MakeClip("shell_modes", 64, 48, 6));
  MainWindow& w = d.window;
  ControlBar& bar = *w.controlBar();

  // The frame-rate spin changes the rate; a mode command puts the spin back to 25 only.
  bar.frameRateSpin()->setValue(50);
  d.settle();
  QCOMPARE(d.snapshot().frameRate, 50.0f);

  w.runCommand(ModeNumber(ModeId::Smoke));
  d.settle();
  QCOMPARE(d.snapshot().mode, ModeId::Smoke);
  QVERIFY(d.checked(ModeNumber(ModeId::Smoke)));
  QCOMPARE(bar.frameRateSpin()->value(), ControlBar::kSpinStart);
  QCOMPARE(bar.frameRateEdit()->text(), QStringLiteral("50"));

  // The same command again switches the mode off.
  w.runCommand(ModeNumber(ModeId::Smoke));
  d.settle();
  QCOMPARE(d.snapshot().mode, ModeId::None);
  QVERIFY(!d.checked(ModeNumber(ModeId::Smoke)));

  // One mode's check mark moves to the next.
  w.runCommand(7004);
  d.settle();
  QVERIFY(d.checked(7004));
  w.runCommand(ModeNumber(ModeId::BlockSmoke));
  d.settle();
  QVERIFY(!d.checked(7004));
  QVERIFY(d.checked(ModeNumber(ModeId::BlockSmoke)));

  // A control-bar mode checks no menu item; the bottom-right operations share one check mark.
  bar.button(1014)->click();
  d.settle();
  QCOMPARE(d.snapshot().mode, ModeId::Gauss);
  for (const int id : SubmenuCommands("Bottom View")) QVERIFY(!d.checked(id));
  w.runCommand(cmd::kBottomRightGrad);
  d.settle();
  QVERIFY(d.checked(cmd::kBottomRightGrad));
  w.runCommand(cmd::kBottomRightDifference);
  d.settle();
  QVERIFY(!d.checked(cmd::kBottomRightGrad));
  QVERIFY(d.checked(cmd::kBottomRightDifference));

  // Commands whose work is missing stay disabled and do nothing.
  QVERIFY(!w.action(cmd::kFrameDifference)->isEnabled());
  w.action(cmd::kFrameDifference)->trigger();
  QVERIFY(!d.checked(cmd::kFrameDifference));
  QVERIFY(d.messages().empty());
}

void MainWindowTest::currentViewToolsAndStatusBar() {
  Desk d;
  d.open(test::MakeClip("shell_views", 64, 48, 4));
  MainWindow& w = d.window;
  WorkbenchDocument& doc = w.document();
  QCOMPARE(w.statusText(1), QStringLiteral("Scale: 100%"));
  QCOMPARE(w.statusText(2), QStringLiteral("Current View: No"));

  // Double-clicks toggle the top-left pane as the current view.
  DoubleClick(w.pane(0));
  QCOMPARE(doc.currentView, 0);
  QCOMPARE(w.statusText(2), QStringLiteral("Current View: Top left"));
  DoubleClick(w.pane(0));
  QCOMPARE(doc.currentView, -1);
  QCOMPARE(w.statusText(2), QStringLiteral("Current View: No"));
  // A middle double-click chooses another pane without a status text.
  DoubleClick(w.pane(2), Qt::MiddleButton);
  QCOMPARE(doc.currentView, 2);
  QCOMPARE(w.statusText(2), QStringLiteral("Current View: No"));
  DoubleClick(w.pane(0), Qt::MiddleButton);  // not on the top-left pane
  QCOMPARE(doc.currentView, 2);

  // One view shows the current pane alone; four views restore the grid.
  w.runCommand(cmd::kFourOrOneViews);
  QApplication::processEvents();
  QVERIFY(!w.action(cmd::kFourOrOneViews)->isChecked());
  QCOMPARE(w.gridRowSizes().at(0), 0);
  QCOMPARE(w.gridColumnSizes().at(1), 0);
  QVERIFY(w.gridRowSizes().at(1) > 0 && w.gridColumnSizes().at(0) > 0);
  w.runCommand(cmd::kFourOrOneViews);
  QApplication::processEvents();
  QVERIFY(w.action(cmd::kFourOrOneViews)->isChecked());
  // Equal halves (an odd height leaves one pixel over).
  QVERIFY(std::abs(w.gridRowSizes().at(0) - w.gridRowSizes().at(1)) <= 1);
  QVERIFY(std::abs(w.gridColumnSizes().at(0) - w.gridColumnSizes().at(1)) <= 1);
  // With no pane chosen, one view shows the top-left pane and makes it current.
  DoubleClick(w.pane(2), Qt::MiddleButton);
  QCOMPARE(doc.currentView, -1);
  w.runCommand(cmd::kFourOrOneViews);
  QCOMPARE(doc.currentView, 0);
  QCOMPARE(w.gridRowSizes().at(1), 0);
  w.runCommand(cmd::kFourOrOneViews);

  // The Zoom tool: a drag of 50 pixels upwards magnifies 1.5 times.
  w.runCommand(cmd::kZoom);
  QVERIFY(w.action(cmd::kZoom)->isChecked());
  QCOMPARE(w.pane(0)->panCentre(), QPoint(32, 24));
  QTest::mousePress(w.pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(100, 120));
  QTest::mouseMove(w.pane(0), QPoint(100, 70));
  QTest::mouseRelease(w.pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(100, 70));
  QCOMPARE(w.pane(0)->scale(), 1.5f);
  QCOMPARE(w.statusText(1), QStringLiteral("Scale: 150%"));
  w.runCommand(cmd::kPan);
  QVERIFY(!w.action(cmd::kZoom)->isChecked());
  QVERIFY(w.action(cmd::kPan)->isChecked());

  // Learning progress goes to its own pane only.
  w.showStatus(static_cast<int>(StatusField::Learning),
               QStringLiteral("Current Learning Frame: 17"));
  QCOMPARE(w.statusText(3), QStringLiteral("Current Learning Frame: 17"));
  QCOMPARE(w.statusText(1), QStringLiteral("Scale: 150%"));

  // Keys of the top-left pane: K starts playback, T stops it.
  QTest::keyClick(w.pane(0), Qt::Key_K);
  d.settle();
  QVERIFY(d.snapshot().loopExists);
  QTest::keyClick(w.pane(0), Qt::Key_T);
  d.settle();
  QCOMPARE(d.snapshot().loopState, LoopState::Stop);
  QVERIFY(d.messages().empty());
}

void MainWindowTest::controlBarEntries() {
  Desk d;
  ControlBar& bar = *d.window.controlBar();
  QLineEdit* threshold = bar.thresholdEdit();
  QLineEdit* gauss = bar.gaussThresholdEdit();
  d.settle();
  QCOMPARE(threshold->text(), QStringLiteral("5"));
  QCOMPARE(gauss->text(), QStringLiteral("25"));

  const struct {
    QLineEdit* edit;
    const char* text;
    const char* message;  // null: taken
  } cases[] = {
      {threshold, "2000", "Enter an integer between 0 and 1000."},
      {threshold, "-1", "Enter an integer between 0 and 1000."},
      {threshold, "abc", "Enter an integer."},
      {threshold, "37", nullptr},
      {gauss, "x", "Enter a number."},
      {gauss, "0.5", nullptr},
  };
  for (const auto& c : cases) {
    d.sink.Clear();
    c.edit->setFocus();
    c.edit->selectAll();
    QTest::keyClicks(c.edit, QString::fromLatin1(c.text));
    bar.frameNumberEdit()->setFocus();  // the edit loses the focus
    QApplication::processEvents();
    if (c.message) {
      QCOMPARE(d.messages(), std::vector<std::string>{c.message});
      QVERIFY(c.edit->hasFocus());  // a refused entry keeps the focus
    } else {
      QVERIFY(d.messages().empty());
    }
  }
  d.settle();
  QCOMPARE(d.snapshot().threshold, 37);
  QCOMPARE(d.snapshot().gaussThreshold, 0.5f);

  // Auto threshold writes the value back into the edit.
  d.bridge.call([](Session& s) {
    s.GetPanes().topRight().CreateSigned(4, 4, 24, false);
    s.GetPanes().topRight().Fill(5);
  });
  d.window.runCommand(cmd::kAutoThreshold);
  d.settle();
  QCOMPARE(threshold->text(), QStringLiteral("50"));
}

void MainWindowTest::openStartModeStop() {
  Desk d;
  const std::string clip = test::MakeClip("shell_play", 48, 32, 12);
  MainWindow& w = d.window;
  ControlBar& bar = *w.controlBar();
  d.bridge.call([](Session& s) { s.SetFrameRate(100.0f); });
  w.openVideo(QString::fromStdString(clip));
  QTRY_VERIFY_WITH_TIMEOUT(d.snapshot().frameNumber >= 3, 10000);
  QVERIFY(d.snapshot().loopExists);
  QCOMPARE(bar.sourceGroup()->title(), QStringLiteral("Source Video:12 frames"));
  QCOMPARE(bar.frameSlider()->maximum(), 12);
  QCOMPARE(bar.frameSlider()->pageStep(), 0);
  QCOMPARE(w.recentFiles().value(0), QFileInfo(QString::fromStdString(clip)).absoluteFilePath());

  // A mode chosen while playing: playback goes on in the new mode.
  w.runCommand(ModeNumber(ModeId::BlockSmoke));
  QTRY_VERIFY_WITH_TIMEOUT(d.snapshot().mode == ModeId::BlockSmoke, 10000);
  const int atSelection = d.snapshot().frameNumber;
  QTRY_VERIFY_WITH_TIMEOUT(d.snapshot().frameNumber != atSelection, 10000);
  QCOMPARE(d.snapshot().loopState, LoopState::Run);
  // The block mode draws its outlines over the top-left pane: at least the plotted block.
  QVERIFY(!d.snapshot().overlays.empty());

  // Stop: the frame number stands still, and the slider and "Frame No" show it.
  bar.button(1004)->click();
  // The loop ends after the stop, at its next turn; a busy machine may take a while to get there.
  QTRY_VERIFY_WITH_TIMEOUT((d.settle(), !d.snapshot().loopExists), 10000);
  const int stoppedAt = d.snapshot().frameNumber;
  QTest::qWait(100);
  d.settle();
  QCOMPARE(d.snapshot().frameNumber, stoppedAt);
  QCOMPARE(bar.frameSlider()->value(), stoppedAt);
  QVERIFY(bar.frameNumberEdit()->text().startsWith(QStringLiteral("%1 / 12 (").arg(stoppedAt)));

  // Start again, then seek with the slider.
  bar.button(1002)->click();
  QTRY_VERIFY_WITH_TIMEOUT(d.snapshot().loopExists, 10000);
  bar.button(1004)->click();
  QTRY_VERIFY_WITH_TIMEOUT((d.settle(), !d.snapshot().loopExists), 10000);
  bar.frameSlider()->triggerAction(QAbstractSlider::SliderToMaximum);
  d.bridge.call([](Session& s) { s.Step(); });
  d.settle();
  QCOMPARE(d.snapshot().frameNumber, 0);  // frame 12 does not exist: the video starts again
  QVERIFY(d.messages().empty());
}

void MainWindowTest::picturesInAndOutOfThePanes() {
  Desk d;
  MainWindow& w = d.window;
  const QString dir = QString::fromStdString(test::TempDir("shell_pictures"));
  d.open(test::MakeClip("shell_pictures", 40, 30, 3));

  // No pane chosen: saving is refused before any file dialog.
  w.runCommand(cmd::kFileSave);
  QCOMPARE(d.messages(), std::vector<std::string>{"No view specified!"});

  // An unknown extension saves nothing and names the file.
  d.sink.Clear();
  DoubleClick(w.pane(1), Qt::MiddleButton);
  w.savePicture(dir + "/pane.tif");
  d.settle();
  QCOMPARE(d.sink.Messages().size(), size_t{1});
  QVERIFY(QString::fromStdString(d.sink.Messages()[0].text).contains(QStringLiteral("pane.tif")));
  QVERIFY(!QFileInfo::exists(dir + "/pane.tif"));

  // Saved as BMP from the top-right pane, opened into the top-left pane with no pane chosen.
  d.sink.Clear();
  w.savePicture(dir + "/pane.bmp");
  d.settle();
  QVERIFY(QFileInfo::exists(dir + "/pane.bmp"));
  d.bridge.call([](Session& s) { s.GetPanes().topLeft().CreateSigned(8, 8, 24, false); });
  DoubleClick(w.pane(1), Qt::MiddleButton);
  QCOMPARE(w.document().currentView, -1);
  w.openPicture(dir + "/pane.bmp");
  d.settle();
  QCOMPARE(d.snapshot().panes[0].Width(), 40);
  QCOMPARE(w.pane(0)->panCentre(), QPoint(20, 15));
  QVERIFY(d.messages().empty());
}

void MainWindowTest::topLeftPanePointing() {
  Desk d;
  MainWindow& w = d.window;
  ImagePane& pane = *w.pane(0);
  const std::string samples = test::TempDir("shell_samples");
  w.document().samplesRoot = QString::fromStdString(samples);
  d.open(test::MakeClip("shell_pointing", 64, 48, 3));
  const QSize client = pane.size();
  const auto at = [&](int x, int y) { return PictureToClient(QPoint(x, y), client, 64, 48); };
  QCOMPARE(ClientToPicture(at(5, 7), client, 64, 48), QPoint(5, 7));

  // Colours are picked under the mouse while the pane is the current view; the frame's bright
  // square lies in its bottom rows.
  DoubleClick(&pane);
  QSignalSpy picked(&pane, &ImagePane::colourPicked);
  QTest::mouseMove(&pane, at(3, 3));
  QCOMPARE(picked.size(), 1);
  QCOMPARE(picked[0][0].value<uint8_t>(), 250);
  QCOMPARE(picked[0][2].value<uint8_t>(), 230);
  QTest::mouseMove(&pane, at(30, 30));
  QCOMPARE(picked.size(), 2);
  QCOMPARE(picked[1][0].value<uint8_t>(), 0);

  // The selection square: the wheel limits its side to the picture's smaller side less 2, and it
  // stays inside the picture.
  w.runCommand(cmd::kGeneratePositive);
  QVERIFY(w.action(cmd::kGeneratePositive)->isChecked());
  QTest::mouseMove(&pane, at(32, 40));
  QWheelEvent wheel(QPointF(at(32, 40)), pane.mapToGlobal(QPointF(at(32, 40))), QPoint(),
                    QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&pane, &wheel);
  QCOMPARE(pane.squareSide(), 46);
  QCOMPARE(pane.squareRect(), QRect(QPoint(9, 1), QPoint(55, 47)));

  // A double-click cuts a sample: missing folder, nothing saved, the view still toggles.
  DoubleClick(&pane);
  QCOMPARE(w.document().currentView, -1);
  QVERIFY(w.statusText(0).contains(QStringLiteral("smoke_0001.jpg")));
  const std::filesystem::path folder = std::filesystem::path(samples) / "Mysmoke" / "newSmoke";
  std::filesystem::create_directories(folder);
  DoubleClick(&pane);
  QCOMPARE(w.document().currentView, 0);
  const QImage sample(QString::fromStdString((folder / "smoke_0002.jpg").string()));
  QCOMPARE(sample.size(), QSize(100, 100));

  // In the block mode a click chooses the block whose edges the mode plots.
  w.runCommand(ModeNumber(ModeId::BlockSmoke));
  d.settle();
  QTest::mouseClick(&pane, Qt::LeftButton, Qt::NoModifier, at(40, 20));
  QPoint block;
  d.bridge.call([&block](Session& s) {
    block = QPoint(s.State().smoke.blockColumn, s.State().smoke.blockRow);
  });
  QCOMPARE(block, QPoint(2, 1));
  // The pane paints the chosen block's yellow outline from the snapshot.
  d.settle();
  bool outlined = false;
  for (const Overlay& o : d.snapshot().overlays) {
    outlined = outlined || (o.red == 255 && o.green == 255 && o.x0 == 2 * 16 + 1 && o.y0 == 16 + 1);
  }
  QVERIFY(outlined);
  QVERIFY(d.messages().empty());
}

void MainWindowTest::screenshotOption() {
  const QString clip = QString::fromStdString(test::MakeClip("shell_shot", 64, 48, 5));
  const QString out = QString::fromStdString(test::TempDir("shell_shot_out")) + "/shot.png";
  QProcess program;
  program.start(QStringLiteral(FW_FUMEWATCH_BIN),
                {"--screenshot", out, "--open", clip, "--mode", "7011", "--frames", "3"});
  QVERIFY(program.waitForFinished(60000));
  QCOMPARE(program.exitCode(), 0);
  const QImage shot(out);
  // The program runs on the same kind of screen as this test.
  const QSize minimum =
      MinimumWindowSize(QGuiApplication::primaryScreen()->availableGeometry().size());
  QVERIFY(shot.width() >= minimum.width() && shot.height() >= minimum.height());

  QProcess bad;
  bad.start(QStringLiteral(FW_FUMEWATCH_BIN), {"--screenshot", out, "--mode", "123456"});
  QVERIFY(bad.waitForFinished(60000));
  QVERIFY(bad.exitCode() != 0);
}

}  // namespace fw

int main(int argc, char** argv) {
  // The recent-file list is written to a settings folder of this run.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  QApplication app(argc, argv);
  fw::MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"

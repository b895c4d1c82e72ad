// The desktop's wiring of the analysis workbench under the offscreen platform: the "Top left"
// submenu's entries reach the session and carry the check mark of the selection, the histogram
// shows the display dialog with its picture, and "Color Key" reaches the session.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QRadioButton>
#include <QTest>

#include "app/session.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/control_panel.h"
#include "gui/dialogs/display_dialog.h"
#include "gui/shell/main_window.h"
#include "tests/support/clips.h"
#include "workbench/workbench_state.h"

namespace fw {
namespace {

namespace a = analysis;

class TopLeftMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void entriesSelectAndCheckTheOperation();
  void histogramShowsTheDisplayDialog();
  void colourKeyReachesTheSession();

 private:
  void open(EngineBridge& bridge, const std::string& clip) {
    bridge.call([clip](Session& s) { QVERIFY(s.Open(clip, true)); });
    settle(bridge);
  }
  void settle(EngineBridge& bridge) {
    bridge.call([](Session&) {});
    bridge.call([](Session&) {});
    QApplication::processEvents();
  }
  QAction* entry(MainWindow& window, int id) {
    for (QAction* action : window.submenu("Top left")->actions()) {
      if (action->data().toInt() == id) return action;
    }
    return nullptr;
  }
};

void TopLeftMenuTest::entriesSelectAndCheckTheOperation() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  EngineBridge bridge(nullptr);
  MainWindow window(bridge);
  window.show();
  open(bridge, test::MakeClip("top_left_menu", 48, 36, 4));
  QAction* mask = entry(window, a::kMaskByColourKey);
  QAction* boundary = entry(window, a::kBoundaryPixels);
  QVERIFY(mask && boundary);
  QVERIFY(mask->isEnabled());
  mask->trigger();
  settle(bridge);
  QCOMPARE(bridge.snapshot().topLeftOperation, a::kMaskByColourKey);
  QVERIFY(mask->isChecked());
  QCOMPARE(bridge.snapshot().panes[3].GetBitCount(), 24);
  QCOMPARE(bridge.snapshot().panes[3].Width(), 48);
  boundary->trigger();
  settle(bridge);
  QVERIFY(!mask->isChecked());
  QVERIFY(boundary->isChecked());
  boundary->trigger();
  settle(bridge);
  QCOMPARE(bridge.snapshot().topLeftOperation, 0);
  QVERIFY(!boundary->isChecked());
  QVERIFY(sink.Messages().empty());
}

void TopLeftMenuTest::histogramShowsTheDisplayDialog() {
  EngineBridge bridge(nullptr);
  MainWindow window(bridge);
  window.show();
  open(bridge, test::MakeClip("histogram_menu", 48, 36, 4));
  QAction* histogram = window.action(a::kHistogram);
  QVERIFY(histogram && histogram->isEnabled());
  histogram->trigger();
  settle(bridge);
  QVERIFY(histogram->isChecked());
  QVERIFY(window.displayDialog()->isVisible());
  QCOMPARE(window.displayDialog()->image().Width(), 256);
  QCOMPARE(window.displayDialog()->image().Height(), 256);
  // The snake has no background model to live in: nothing happens.
  window.action(a::kSnakeModel)->trigger();
  settle(bridge);
  QCOMPARE(bridge.snapshot().auxiliaryOperation, a::kHistogram);
}

void TopLeftMenuTest::colourKeyReachesTheSession() {
  EngineBridge bridge(nullptr);
  MainWindow window(bridge);
  window.show();
  auto* key = window.controlPanel()->findChild<QRadioButton*>("colourKeyRadio");
  QVERIFY(key);
  key->click();
  settle(bridge);
  QVERIFY(bridge.snapshot().colourKey);
  key->click();
  settle(bridge);
  QVERIFY(!bridge.snapshot().colourKey);
}

}  // namespace
}  // namespace fw

QTEST_MAIN(fw::TopLeftMenuTest)
#include "top_left_menu_test.moc"

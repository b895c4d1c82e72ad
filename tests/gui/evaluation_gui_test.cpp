// The desktop's evaluation: the "Evaluate..." dialog running the engine with its progress, table
// and picture, and the scene mask painted over the top-left pane with a tool of its own.
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/dialogs/evaluate_dialog.h"
#include "gui/panes/image_pane.h"
#include "gui/shell/evaluation_menu.h"
#include "gui/shell/main_window.h"
#include "gui/widgets/mask_painter.h"
#include "tests/support/clips.h"

namespace fw {

class EvaluationGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void dialogRunsShowsAndSaves();
  void dialogRefusesWhatIsMissing();
  void maskToolPaintsAndOtherwiseLetsTheMouseThrough();
};

namespace {

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

QString Worker() {
  return QStringLiteral(FW_BIN_DIR "/fumewatch-cli");
}

}  // namespace

void EvaluationGuiTest::dialogRunsShowsAndSaves() {
  const std::string dir = test::TempDir("gui_evaluate");
  const std::string clip = test::MakeClip("gui_evaluate_clip", 64, 48, 20);
  const std::string name = std::filesystem::path(clip).filename().string();
  std::ofstream(dir + "/truth.tsv") << name << "\t5\n";
  EvaluateDialog dialog(Worker(), QString::fromStdString(dir));
  dialog.setClips({QString::fromStdString(clip)});
  dialog.setCheckedModes({7010, 7011});
  dialog.setTruthFile(QString::fromStdString(dir + "/truth.tsv"));
  dialog.setOutputFolder(QString::fromStdString(dir + "/out"));
  dialog.setJobs(2);
  dialog.show();
  QSignalSpy finished(&dialog, &EvaluateDialog::finished);
  QVERIFY(dialog.start());
  QVERIFY(finished.wait(60000));
  QCOMPARE(dialog.progressMaximum(), 2);
  QCOMPARE(dialog.progressValue(), 2);
  QVERIFY(dialog.tableText().contains(QString::fromStdString(name)));
  QVERIFY(dialog.tableText().contains(QStringLiteral("missed")));
  QCOMPARE(dialog.timeline().height(), 2 * 84);

  QVERIFY(dialog.saveTable(QString::fromStdString(dir + "/table.csv")));
  QCOMPARE(Text(dir + "/table.csv"), "mode,clip,detected,delay_frames,delay_s,false_alarms\n7010," +
                                         name + ",0,,,0\n7011," + name + ",0,,,0\n");
  QVERIFY(dialog.saveTimeline(QString::fromStdString(dir + "/timeline.png")));
  QCOMPARE(QImage(QString::fromStdString(dir + "/timeline.png")).size(), dialog.timeline().size());
  QVERIFY(!std::filesystem::exists(std::filesystem::path(clip).replace_extension(".txt")));
  const QString shot = QString::fromStdString(dir + "/dialog.png");
  QVERIFY(dialog.grab().save(shot));
  qInfo("dialog picture: %s", qPrintable(shot));
}

void EvaluationGuiTest::dialogRefusesWhatIsMissing() {
  const std::string dir = test::TempDir("gui_evaluate_missing");
  EvaluateDialog dialog(Worker(), QString::fromStdString(dir));
  QVERIFY(!dialog.start());  // no clips
  dialog.setClips({QStringLiteral("/nowhere/a.avi")});
  QVERIFY(!dialog.start());  // no truth file
  std::ofstream(dir + "/truth.tsv") << "a.avi\tsoon\n";
  dialog.setTruthFile(QString::fromStdString(dir + "/truth.tsv"));
  QVERIFY(!dialog.start());
  bool named = false;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    named = named || label->text().contains(QStringLiteral("truth.tsv: line 1: the onset"));
  }
  QVERIFY(named);
  QVERIFY(!dialog.running());
}

void EvaluationGuiTest::maskToolPaintsAndOtherwiseLetsTheMouseThrough() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  EngineBridge bridge(nullptr);
  MainWindow window(bridge);
  window.show();
  bridge.call([](Session& s) { (void)s.Open(test::MakeClip("gui_mask", 64, 48, 3)); });
  bridge.call([](Session&) {});
  QApplication::processEvents();
  ImagePane& pane = *window.pane(0);
  auto* painter = window.findChild<MaskPainter*>();
  QVERIFY(painter);
  const QPoint at = PictureToClient(QPoint(20, 30), pane.size(), 64, 48);
  QCOMPARE(pane.childAt(at), nullptr);  // off: the pane's own mouse uses get every event

  QAction* paint = window.findChild<QAction*>(QStringLiteral("sceneMaskPaint"));
  QVERIFY(paint);
  paint->setChecked(true);
  QCOMPARE(pane.childAt(at), painter);
  QSignalSpy edited(painter, &MaskPainter::maskEdited);
  QTest::mousePress(painter, Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseRelease(painter, Qt::LeftButton, Qt::NoModifier, at);
  QCOMPARE(edited.size(), 1);
  bridge.call([](Session&) {});
  SceneMask used;
  bridge.call([&used](Session& s) { used = s.GetSceneMask(); });
  QCOMPARE(used.Width(), 64);
  const int r = painter->brushRadius();
  // Rows of the plane run from the top: picture row 30 is plane row 17.
  QCOMPARE(used.Plane()[17 * 64 + 20], uint8_t{1});
  QCOMPARE(used.Plane()[17 * 64 + 20 + r + 1], uint8_t{0});
  QCOMPARE(used.MaskedCount() > 3 * r * r, true);
  paint->setChecked(false);
  QCOMPARE(pane.childAt(at), nullptr);
  // Saved as a picture, the mask reads back the same.
  const std::string saved = test::TempDir("gui_mask_saved") + "/mask.png";
  QVERIFY(MaskPicture(used).save(QString::fromStdString(saved), "PNG"));
  SceneMask back;
  QVERIFY(back.Load(saved).ok());
  QCOMPARE(back.Plane(), used.Plane());
  QVERIFY(sink.Messages().empty());
}

}  // namespace fw

QTEST_MAIN(fw::EvaluationGuiTest)
#include "evaluation_gui_test.moc"

// The display dialog's placement and topmost rule, the LBP-VAR dialog's entry rules, the
// pseudo-colour chooser's start and preview, and the alarm sound without an audio device.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <string>
#include <thread>

#include "core/data_files.h"
#include "core/pseudo_colour.h"
#include "core/ui_sink.h"
#include "gui/bridge/qt_alarm_sound.h"
#include "gui/dialogs/display_dialog.h"
#include "gui/dialogs/infrared_setup_dialog.h"
#include "gui/dialogs/lbp_var_dialog.h"
#include "gui/dialogs/pseudo_colour_dialog.h"
#include "gui/shell/workbench_document.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

// Rejects the next modal dialog once it is open, after running `whileOpen`.
void RejectNextModal(std::function<void()> whileOpen) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, whileOpen] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    whileOpen();
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    timer->stop();
    timer->deleteLater();
  });
  timer->start();
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void displayDialogFitsAndCentresThePicture();
  void displayDialogStaysTopmostAcrossTheSaveDialog();
  void lbpVarWindowSizeIsRangeCheckedAndPositioningDrawsTheWindow();
  void pseudoColourChooserStartsWithHotMetal();
  void infraredSetupShowsTheSettingsAndRefusesAnEmptyWindow();
  void alarmSoundWithoutAudioDeviceIsHarmless();
};

void DialogsTest::displayDialogFitsAndCentresThePicture() {
  WorkbenchDocument doc;
  DisplayDialog dialog(doc);
  QVERIFY(!dialog.isVisible());
  dialog.setGeometry(100, 100, 471, 374);

  Dib picture;
  picture.CreateSigned(640, 480, 24, false);
  picture.SetPixelRgb(0, 0, 255, 0, 0);  // bottom-left corner of a bottom-up picture
  QSignalSpy shown(&dialog, &DisplayDialog::shownChanged);
  dialog.showImage(picture);
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));

  // Client area exactly the picture, centred where the old one was (integer halves).
  QCOMPARE(dialog.geometry(), QRect(100 + (471 - 640) / 2, 100 + (374 - 480) / 2, 640, 480));
  QVERIFY(dialog.isTopmost());
  QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QVERIFY(doc.displayDialogShown);
  QCOMPARE(shown.count(), 1);

  // Drawn upright: the picture's first memory row is the bottom row on screen.
  const QImage grabbed = dialog.grab().toImage();
  QCOMPARE(grabbed.pixelColor(0, 479), QColor(255, 0, 0));
  QCOMPARE(grabbed.pixelColor(0, 0), QColor(0, 0, 0));

  // A new snapshot's picture keeps the place; switching topmost off is not a hide.
  picture.SetPixelRgb(0, 0, 0, 0, 255);
  dialog.updateImage(picture);
  dialog.setTopmost(false);
  QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QCOMPARE(dialog.geometry().size(), QSize(640, 480));
  QCOMPARE(dialog.grab().toImage().pixelColor(0, 479), QColor(0, 0, 255));
  QCOMPARE(shown.count(), 1);
  dialog.hide();
  QVERIFY(!doc.displayDialogShown);
}

void DialogsTest::displayDialogStaysTopmostAcrossTheSaveDialog() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  WorkbenchDocument doc;
  DisplayDialog dialog(doc);
  Dib picture;
  picture.Create(40, 30, 24, false);
  dialog.showImage(picture);
  QVERIFY(dialog.isTopmost());

  bool topmostWhileOpen = true;
  RejectNextModal([&] { topmostWhileOpen = dialog.isTopmost(); });
  dialog.saveImageAs();
  QVERIFY(!topmostWhileOpen);
  QVERIFY(dialog.isTopmost());
  QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  // JPEG and BMP names are written; another extension writes nothing and says nothing.
  const std::string folder = test::TempDir("display_dialog_save");
  QVERIFY(dialog.saveImageTo(QString::fromStdString(folder + "/shot.bmp")));
  Dib read;
  QVERIFY(read.LoadBmp(folder + "/shot.bmp").ok());
  QCOMPARE(read.Width(), 40);
  QVERIFY(!dialog.saveImageTo(QString::fromStdString(folder + "/shot.png")));
  QVERIFY(!std::filesystem::exists(folder + "/shot.png"));
  QVERIFY(sink.Messages().empty());
  // A folder that does not exist is reported.
  QVERIFY(!dialog.saveImageTo(QString::fromStdString(folder + "/missing/shot.jpg")));
  QCOMPARE(sink.Messages().size(), size_t{1});
}

void DialogsTest::lbpVarWindowSizeIsRangeCheckedAndPositioningDrawsTheWindow() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  LbpVarDialog dialog;
  QSignalSpy changed(&dialog, &LbpVarDialog::optionsChanged);
  auto* size = dialog.findChild<QLineEdit*>("windowSizeEdit");
  auto* ok = dialog.findChild<QPushButton*>("okButton");
  auto* positioning = dialog.findChild<QCheckBox*>("positioningCheck");
  auto* rectangle = dialog.findChild<QCheckBox*>("displayRectangleCheck");
  QCOMPARE(size->text(), QString("40"));
  dialog.show();

  size->setText("0");
  positioning->setChecked(true);
  ok->click();
  QCOMPARE(sink.Messages().size(), size_t{1});
  QCOMPARE(QString::fromStdString(sink.Messages().front().text),
           QString("Enter an integer between 1 and 1000."));
  QCOMPARE(dialog.options().windowSize, 40);
  QVERIFY(!dialog.options().positioning);
  QCOMPARE(changed.count(), 0);

  size->setText("1000");
  ok->click();
  QCOMPARE(sink.Messages().size(), size_t{1});
  QCOMPARE(dialog.options().windowSize, 1000);
  QVERIFY(dialog.options().positioning);
  QVERIFY(dialog.options().displayRectangle);
  QVERIFY(rectangle->isChecked());
  QVERIFY(dialog.isVisible());  // OK does not close it
  QCOMPARE(changed.count(), 1);

  // "View LBP Hist" asks for the preview at once and forgets the cached frame.
  QSignalSpy refresh(&dialog, &LbpVarDialog::lbpHistRequested);
  dialog.setCachedFrameNumber(12);
  dialog.findChild<QCheckBox*>("viewLbpHistCheck")->click();
  QCOMPARE(refresh.count(), 1);
  QCOMPARE(dialog.cachedFrameNumber(), -1);
}

void DialogsTest::pseudoColourChooserStartsWithHotMetal() {
  PseudoColourDialog dialog;
  QCOMPARE(dialog.selectedScheme(), 11);
  auto* list = dialog.findChild<QComboBox*>("schemeList");
  QCOMPARE(list->count(), 12);
  QCOMPARE(list->currentText(), QString::fromUtf8("11   热金属编码 1"));

  // The preview ramp runs from black to near white: column x shows entry x * 255 / (w - 1).
  const Dib& ramp = dialog.preview();
  const int w = ramp.Width();
  const auto at = [&](int x) {
    const uint8_t* p = ramp.Row(ramp.Height() / 2) + 3 * x;
    return QColor(p[2], p[1], p[0]);
  };
  QCOMPARE(at(0), QColor(0, 0, 0));
  QCOMPARE(at(w - 1), QColor(255, 255, 252));
  QCOMPARE(at(w / 2), QColor(255, 0, 0));  // entry 128 of hot metal 1

  QSignalSpy apply(&dialog, &PseudoColourDialog::applyScheme);
  list->setCurrentIndex(2);  // red saturation
  QCOMPARE(at(w - 1), QColor(255, 0, 0));
  dialog.findChild<QPushButton*>("okButton")->click();
  QCOMPARE(apply.count(), 1);
  QCOMPARE(apply.front().front().toInt(), 3);

  // A ramp one column wide shows entry 0.
  Dib narrow;
  narrow.Create(1, 2, 24, true);
  narrow.Fill(7);
  DrawPseudoColourRamp(narrow, 2);
  QCOMPARE(int{narrow.Row(1)[0]}, 255);
}

void DialogsTest::alarmSoundWithoutAudioDeviceIsHarmless() {
  QtAlarmSound sound;
  const std::string wav = FindDataFile("kdz.wav");
  QVERIFY(std::filesystem::exists(wav));

  // The engine thread asks; the player acts on its own thread.
  std::thread engine([&] {
    sound.Stop();  // nothing playing: nothing to do
    sound.StartLoop(wav);
  });
  engine.join();
  QTRY_VERIFY(sound.isLooping());
  QCOMPARE(sound.source(), QString::fromStdString(wav));

  std::thread again([&] { sound.PlayOnce(wav); });
  again.join();
  QTRY_VERIFY(!sound.isLooping());
  QVERIFY(sound.isActive());

  std::thread stop([&] {
    sound.Stop();
    sound.StartLoop("/nonexistent/kdz.wav");  // a missing file is not heard, and not fatal
    sound.Stop();
  });
  stop.join();
  QTRY_VERIFY(!sound.isActive());
  QTest::qWait(50);
}

void DialogsTest::infraredSetupShowsTheSettingsAndRefusesAnEmptyWindow() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  InfraredSetupDialog dialog;
  QCOMPARE(dialog.windowTitle(), QString::fromUtf8("设置红外图像火焰探测参数"));
  InfraredParams settings;
  settings.greyThreshold = 150;
  settings.alarmWindow = 10 * 25;
  settings.shapeThreshold = 0.25f;
  settings.method = InfraredParams::kHotRegion;
  dialog.setValues(settings);
  using E = InfraredSetupDialog::Edit;
  QCOMPARE(dialog.edit(E::Grey)->text(), QString("150"));
  QCOMPARE(dialog.edit(E::Seconds)->text(), QString("10"));
  QCOMPARE(dialog.edit(E::Shape)->text(), QString("0.25"));
  QCOMPARE(dialog.edit(E::Probability)->text(), QString("0.8"));

  auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  dialog.show();
  dialog.edit(E::Seconds)->setText("0");
  ok->click();
  QCOMPARE(sink.Messages().size(), size_t{1});
  QCOMPARE(QString::fromStdString(sink.Messages().front().text),
           QString("Enter an integer between 1 and 3600."));
  QVERIFY(dialog.isVisible());
  QCOMPARE(dialog.values().alarmWindow, 250);

  dialog.edit(E::Seconds)->setText("3");
  dialog.edit(E::Interval)->setText("4");
  ok->click();
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(dialog.values().alarmWindow, 75);
  QCOMPARE(dialog.values().frameInterval, 4);
  QCOMPARE(dialog.values().greyThreshold, uint8_t{150});
  QCOMPARE(dialog.values().method, InfraredParams::kHotRegion);  // not edited here
}

}  // namespace fw

QTEST_MAIN(fw::DialogsTest)
#include "dialogs_test.moc"

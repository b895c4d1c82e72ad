// The control panel against a real engine: entry validation with the dialogs' messages, the HSV
// shift into the bottom-right pane, the strip charts of the per-frame colour pick, and the alarm
// picture's animation.
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/colour.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/control_panel.h"
#include "gui/shell/workbench_document.h"
#include "gui/widgets/alarm_picture_widget.h"
#include "gui/widgets/colour_wheel_widget.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

// Ends the entry in an edit as tabbing out of it does, and lets the panel read it.
void Leave(QLineEdit* edit) {
  if (edit->hasFocus()) {
    QTest::keyClick(edit, Qt::Key_Tab);
  } else {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
  }
  QCoreApplication::processEvents();
}

void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  if (edit->text() != text) edit->setText(text);  // the edit may not hold the keyboard focus
}

bool SamePixels(const Dib& a, const Dib& b) {
  if (!a.SameFormat(b) || a.HeaderHeight() != b.HeaderHeight()) return false;
  const size_t rowBytes = static_cast<size_t>(a.Width()) * a.BytesPerPixel();
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.Row(y), b.Row(y), rowBytes) != 0) return false;
  }
  return true;
}

// One processed frame, as the engine publishes it.
void Publish(ControlPanel& panel, Snapshot& s, int frame, uint8_t alarm) {
  ++s.sequence;
  s.frameNumber = frame;
  s.framesProcessed = static_cast<uint64_t>(frame);  // one processed frame per frame number
  s.alarmFlag = alarm;
  panel.onSnapshot(s);
}

}  // namespace

class ControlPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void entriesAreValidatedOnLeaving_data();
  void entriesAreValidatedOnLeaving();
  void hueTrackbarAtZeroGivesAShiftTheEditRefuses();
  void trackbarsShiftTheFrameIntoTheBottomRightPane();
  void framePickIsPlottedEveryIntervalAndWraps();
  void alarmPictureStepsOncePerProcessedFrame();
  void missingOrBrokenAlarmPicturesAreBlack();
  void draggingTheWheelMarkerPicksAColour();
};

void ControlPanelTest::entriesAreValidatedOnLeaving_data() {
  QTest::addColumn<QString>("edit");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("message");  // empty: accepted
  QTest::addColumn<QString>("shown");    // the edit's text afterwards

  QTest::newRow("hue 1 is hue 0") << "hueEdit"
                                  << "1.0"
                                  << ""
                                  << "0";
  QTest::newRow("hue above 1") << "hueEdit"
                               << "1.5"
                               << "Enter a number between 0 and 1."
                               << "1.5";
  QTest::newRow("red above a byte") << "redEdit"
                                    << "300"
                                    << "Enter an integer between 0 and 255."
                                    << "300";
  QTest::newRow("green") << "greenEdit"
                         << "128"
                         << ""
                         << "128";
  QTest::newRow("shift not a number") << "valueShiftEdit"
                                      << "abc"
                                      << "Enter a number."
                                      << "abc";
  QTest::newRow("shift") << "saturationShiftEdit"
                         << "0.25"
                         << ""
                         << "0.25";
  QTest::newRow("negative interval") << "intervalEdit"
                                     << "-2"
                                     << "Enter a positive integer."
                                     << "-2";
  QTest::newRow("interval") << "intervalEdit"
                            << "5"
                            << ""
                            << "5";
}

void ControlPanelTest::entriesAreValidatedOnLeaving() {
  QFETCH(QString, edit);
  QFETCH(QString, typed);
  QFETCH(QString, message);
  QFETCH(QString, shown);

  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  EngineBridge bridge(nullptr);
  WorkbenchDocument doc;
  ControlPanel panel(bridge, doc);
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));
  const ControlPanelValues before = panel.values();

  auto* field = panel.findChild<QLineEdit*>(edit);
  QVERIFY(field);
  Type(field, typed);
  Leave(field);

  const auto messages = sink.Messages();
  if (message.isEmpty()) {
    QVERIFY2(messages.empty(), messages.empty() ? "" : messages.front().text.c_str());
  } else {
    QCOMPARE(messages.size(), size_t{1});
    QCOMPARE(QString::fromStdString(messages.front().text), message);
  }
  QCOMPARE(field->text(), shown);

  const ControlPanelValues& after = panel.values();
  if (edit == "hueEdit" && message.isEmpty()) {
    // Red at full saturation and value stays red with hue 0.
    QCOMPARE(after.hsv.hue, 0.0f);
    QCOMPARE(int{after.red}, 255);
    QCOMPARE(int{after.green}, 0);
    QCOMPARE(panel.colourWheel().hsv().hue, 0.0f);
  } else if (edit == "greenEdit") {
    // Red 255, green 128: the other colour spaces follow.
    QCOMPARE(int{after.green}, 128);
    QCOMPARE(panel.findChild<QLineEdit*>("hueEdit")->text(), QString("0.0836601"));
    QVERIFY(std::abs(after.yiq.a - (0.299f + 0.587f * 128 / 255)) < 1e-3f);
  } else if (edit == "saturationShiftEdit") {
    // The trackbar follows the shift: 0.25 / 0.01 + 100.
    QCOMPARE(panel.findChild<QSlider*>("saturationTrackbar")->value(), 125);
    QCOMPARE(after.saturationShift, 0.25f);
  } else if (edit == "intervalEdit" && message.isEmpty()) {
    QCOMPARE(after.interval, 5u);
  } else {
    // A refused entry changes nothing.
    QCOMPARE(after.red, before.red);
    QCOMPARE(after.hsv.hue, before.hsv.hue);
    QCOMPARE(after.valueShift, before.valueShift);
    QCOMPARE(after.interval, before.interval);
  }
}

void ControlPanelTest::hueTrackbarAtZeroGivesAShiftTheEditRefuses() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  EngineBridge bridge(nullptr);
  WorkbenchDocument doc;
  ControlPanel panel(bridge, doc);
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));

  panel.findChild<QSlider*>("hueTrackbar")->setValue(0);
  auto* shift = panel.findChild<QLineEdit*>("hueShiftEdit");
  QCOMPARE(shift->text(), QString("-0.5"));
  QVERIFY(sink.Messages().empty());

  shift->setFocus();
  Leave(shift);
  const auto messages = sink.Messages();
  QCOMPARE(messages.size(), size_t{1});
  QCOMPARE(QString::fromStdString(messages.front().text),
           QString("Enter a number between 0 and 1."));
  QCOMPARE(panel.values().hueShift, -0.5f);
  QCOMPARE(panel.values().trackbar[0], 0);

  // A mode command puts the trackbars back to 100.
  panel.reinitialise();
  QCOMPARE(panel.findChild<QSlider*>("hueTrackbar")->value(), 100);
}

void ControlPanelTest::trackbarsShiftTheFrameIntoTheBottomRightPane() {
  const std::string clip = test::MakeClip("panel_shift", 48, 32, 4);
  EngineBridge bridge(nullptr);
  WorkbenchDocument doc;
  ControlPanel panel(bridge, doc);
  bool opened = false;
  bridge.call([&](Session& s) {
    opened = s.Open(clip, true).ok();
    s.Step();
    s.Step();  // frame 1: grey 10 with the bright square
  });
  QVERIFY(opened);
  Dib frame;
  Dib bottomRight;
  bridge.call([&](Session& s) {
    frame.CopyFrom(s.GetPanes().topLeft(), false);
    bottomRight.CopyFrom(s.GetPanes().bottomRight(), false);
  });
  QVERIFY(!SamePixels(frame, bottomRight));

  // Value trackbar at 40: every pixel's value drops by 0.6 (within one step: the reference
  // converts bytes with its own unit).
  const auto valueDropped = [&](const Dib& pane) {
    if (!pane.SameFormat(frame)) return false;
    for (int y = 0; y < frame.Height(); ++y) {
      for (int x = 0; x < frame.Width(); ++x) {
        const uint8_t* p = frame.Row(y) + 3 * x;
        const Hsv hsv = RgbToHsv(p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f);
        const float v = hsv.value - 0.6f;
        const Rgb8 expected = HsvToRgb(hsv.hue, hsv.saturation, v < 0.0f ? 0.0f : v);
        const uint8_t* q = pane.Row(y) + 3 * x;
        if (std::abs(q[2] - expected.red) > 1 || std::abs(q[1] - expected.green) > 1 ||
            std::abs(q[0] - expected.blue) > 1) {
          return false;
        }
      }
    }
    return true;
  };
  auto* value = panel.findChild<QSlider*>("valueTrackbar");
  value->setValue(40);
  QTRY_VERIFY(valueDropped(bridge.snapshot().panes[3]));

  // Back at 100, 100, 100: the frame unchanged.
  value->setValue(100);
  bridge.call([](Session&) {});
  QTRY_VERIFY(SamePixels(bridge.snapshot().panes[3], bridge.snapshot().panes[0]));
  QVERIFY(SamePixels(bridge.snapshot().panes[3], frame));
}

void ControlPanelTest::framePickIsPlottedEveryIntervalAndWraps() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  EngineBridge bridge(nullptr);
  WorkbenchDocument doc;
  doc.paneClientSize[0] = QSize(12, 12);  // the 8 x 8 frame sits at (2, 2)
  doc.paneClientSize[2] = QSize(3, 73);   // chart rows 15..58, scale 43
  doc.lastMousePoint = QPoint(5, 6);
  ControlPanel panel(bridge, doc);
  auto* interval = panel.findChild<QLineEdit*>("intervalEdit");
  Type(interval, "5");
  Leave(interval);
  panel.findChild<QCheckBox*>("pickerColourCheck")->click();
  panel.findChild<QCheckBox*>("drawRgbCheck")->click();
  QVERIFY(doc.pickerColour && doc.drawRgb);
  QCOMPARE(doc.hsvPlot.Width(), 3);
  QCOMPARE(doc.hsvPlot.Height(), 73);
  QVERIFY(doc.hsvPlot.IsBottomUp());

  Snapshot s;
  s.panes[0].CreateSigned(8, 8, 24, false);
  const auto paint = [&](uint8_t r, uint8_t g, uint8_t b) {
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) s.panes[0].SetPixelRgb(x, y, r, g, b);
    }
  };
  // The chart column as (row from the bottom -> colour), everything else white.
  const auto columnIs = [](const Dib& chart, int x, std::map<int, Rgb8> marks) {
    for (int y = 0; y < chart.Height(); ++y) {
      const uint8_t* p = chart.Row(y) + 3 * x;
      Rgb8 want{255, 255, 255};
      if (auto it = marks.find(y); it != marks.end()) want = it->second;
      if (p[2] != want.red || p[1] != want.green || p[0] != want.blue) return false;
    }
    return true;
  };
  const Rgb8 red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, black{0, 0, 0};

  // (100, 200, 150): hue 0.4167, saturation 0.5, value 0.784 -> rows 32, 36, 48.
  paint(100, 200, 150);
  for (int frame = 1; frame <= 4; ++frame) Publish(panel, s, frame, 0);
  QVERIFY(columnIs(doc.hsvPlot, 0, {}));
  Publish(panel, s, 5, 0);
  const std::map<int, Rgb8> first{{15, black}, {32, red}, {36, green}, {48, blue}, {58, black}};
  QVERIFY(columnIs(doc.hsvPlot, 0, first));
  QVERIFY(columnIs(doc.hsvPlot, 1, {}));
  // The RGB chart takes the column after the HSV one: rows 31, 48, 40 at scale 43 / 255.
  const std::map<int, Rgb8> firstRgb{{15, black}, {31, red}, {48, green}, {40, blue}, {58, black}};
  QVERIFY(columnIs(doc.rgbPlot, 1, firstRgb));
  QCOMPARE(panel.values().pickerFrames, 5u);

  for (int frame = 6; frame <= 15; ++frame) Publish(panel, s, frame, 0);
  QVERIFY(columnIs(doc.hsvPlot, 1, first));
  QVERIFY(columnIs(doc.hsvPlot, 2, first));
  // (50, 50, 200): hue 0.6667, saturation 0.75 -> rows 43, 47, 48; wraps to column 0.
  paint(50, 50, 200);
  for (int frame = 16; frame <= 20; ++frame) Publish(panel, s, frame, 0);
  std::map<int, Rgb8> wrapped = first;
  wrapped[43] = red;
  wrapped[47] = green;
  QVERIFY(columnIs(doc.hsvPlot, 0, wrapped));
  QCOMPARE(panel.values().plotColumn, 1);

  // A pointer outside the frame picks nothing.
  doc.lastMousePoint = QPoint(11, 6);
  for (int frame = 21; frame <= 25; ++frame) Publish(panel, s, frame, 0);
  QCOMPARE(panel.values().pickerFrames, 20u);
  QVERIFY(sink.Messages().empty());
}

void ControlPanelTest::alarmPictureStepsOncePerProcessedFrame() {
  EngineBridge bridge(nullptr);
  WorkbenchDocument doc;
  ControlPanel panel(bridge, doc);
  AlarmPictureWidget& alarm = panel.alarmPicture();
  QVERIFY(alarm.loadProblems().empty());
  // The pictures are the system's files, in order.
  for (int i = 0; i < 5; ++i) {
    Dib file;
    QVERIFY(file.LoadBmp(FindDataFile(AlarmPicture::FileName(i))).ok());
    QVERIFY(SamePixels(alarm.picture(i), file));
  }

  Snapshot s;
  std::vector<int> shown;
  for (int frame = 1; frame <= 6; ++frame) {
    Publish(panel, s, frame, 1);
    shown.push_back(alarm.shownPicture());
    // A command's publication between frames does not advance the animation.
    Publish(panel, s, frame, 1);
  }
  QCOMPARE(shown, (std::vector<int>{1, 2, 3, 4, 1, 2}));
  Publish(panel, s, 7, 0);
  QCOMPARE(alarm.shownPicture(), 0);
  Publish(panel, s, 8, 1);
  QCOMPARE(alarm.shownPicture(), 3);  // resumes where the last alarm stopped

  // Drawn at natural size, centred by the idle picture's size.
  AlarmPictureWidget lone;
  for (int i = 0; i < 3; ++i) lone.step(true);
  QCOMPARE(lone.shownPicture(), 3);
  lone.resize(lone.picture(0).Width() + 20, lone.picture(0).Height() + 10);
  const QImage grabbed = lone.grab().toImage();
  const Dib& picture = lone.picture(3);
  QCOMPARE(picture.Width(), lone.picture(0).Width());
  int differing = 0;
  for (int py = 0; py < picture.Height(); ++py) {
    const uint8_t* row = picture.Row(picture.IsBottomUp() ? picture.Height() - 1 - py : py);
    for (int px = 0; px < picture.Width(); ++px) {
      const uint8_t* p = row + 3 * px;
      if (grabbed.pixelColor(10 + px, 5 + py) != QColor(p[2], p[1], p[0])) ++differing;
    }
  }
  QCOMPARE(differing, 0);
}

void ControlPanelTest::missingOrBrokenAlarmPicturesAreBlack() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  // The start directory holds a broken third picture; the data directory holds nothing.
  const std::string start = test::TempDir("broken_alarm_pictures");
  const std::string empty = test::TempDir("no_alarm_pictures");
  {
    std::FILE* f = std::fopen((start + "/FireAlarm03.bmp").c_str(), "wb");
    QVERIFY(f);
    std::fputs("BM not a picture", f);
    std::fclose(f);
  }
  const std::string startDirectory = StartDirectory();
  SetStartDirectory(start);
  const char* dataDirectory = std::getenv("FUMEWATCH_DATA_DIR");
  const std::string savedData = dataDirectory ? dataDirectory : "";
  setenv("FUMEWATCH_DATA_DIR", empty.c_str(), 1);
  AlarmPictureWidget alarm;
  SetStartDirectory(startDirectory);
  if (dataDirectory) {
    setenv("FUMEWATCH_DATA_DIR", savedData.c_str(), 1);
  } else {
    unsetenv("FUMEWATCH_DATA_DIR");
  }

  // Missing files say nothing; the broken one is named.
  QCOMPARE(alarm.loadProblems().size(), size_t{1});
  QVERIFY(alarm.loadProblems().front().find("FireAlarm03.bmp") != std::string::npos);
  QCOMPARE(sink.Messages().size(), size_t{1});
  for (int i = 0; i < 5; ++i) {
    QCOMPARE(alarm.picture(i).Width(), 16);
    QCOMPARE(alarm.picture(i).Height(), 16);
  }
  alarm.step(true);
  alarm.step(true);
  QCOMPARE(alarm.shownPicture(), 2);
  alarm.resize(40, 40);
  QCOMPARE(alarm.grab().toImage().pixelColor(20, 20), QColor(0, 0, 0));
}

void ControlPanelTest::draggingTheWheelMarkerPicksAColour() {
  EngineBridge bridge(nullptr);
  WorkbenchDocument doc;
  ControlPanel panel(bridge, doc);
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));
  ColourWheelWidget& widget = panel.colourWheel();
  const ColourWheel& wheel = widget.wheel();
  QVERIFY(wheel.HasPicture());
  const QPoint origin(wheel.PictureOrigin().x, wheel.PictureOrigin().y);
  const auto client = [&](ColourWheel::Point p) { return origin + QPoint(p.x, p.y); };
  QSignalSpy picked(&widget, &ColourWheelWidget::colourPicked);

  // Red: the marker sits on the wheel's right edge. Drag it to the top: hue 0.25.
  const ColourWheel::Point centre = wheel.WheelCentre();
  QTest::mousePress(&widget, Qt::LeftButton, {}, client(wheel.HueSaturationMarker()));
  QTest::mouseMove(&widget, client({centre.x, centre.y - wheel.Radius()}));
  QTest::mouseRelease(&widget, Qt::LeftButton, {}, client({centre.x, centre.y - wheel.Radius()}));
  QCOMPARE(picked.count(), 1);
  QCOMPARE(panel.values().hsv.hue, 0.25f);
  QCOMPARE(panel.values().hsv.saturation, 1.0f);
  QCOMPARE(panel.findChild<QLineEdit*>("redEdit")->text(), QString("127"));
  QCOMPARE(panel.findChild<QLineEdit*>("greenEdit")->text(), QString("255"));

  // A press away from both markers starts no drag.
  QTest::mousePress(&widget, Qt::LeftButton, {}, client(centre));
  QTest::mouseMove(&widget, client({centre.x + 3, centre.y}));
  QTest::mouseRelease(&widget, Qt::LeftButton, {}, client({centre.x + 3, centre.y}));
  QCOMPARE(picked.count(), 1);
}

}  // namespace fw

QTEST_MAIN(fw::ControlPanelTest)
#include "control_panel_test.moc"

// The desktop's online mode under the offscreen platform: "Video on line" with its source
// chooser (remembered in the settings), the check mark, Start and Stop driving the capture
// stream, the status bar's source, rate and dropped frames, and going offline again.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "app/commands.h"
#include "app/session.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/control_bar.h"
#include "gui/dialogs/live_source_dialog.h"
#include "gui/shell/main_window.h"
#include "tests/support/clips.h"

namespace fw {

class OnlineTest : public QObject {
  Q_OBJECT

 private slots:
  void chooserNamesTheSources();
  void videoOnLineStartStopAndOffline();
};

namespace {

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
      s.StopCapture();
    });
  }
  void settle() {
    for (int i = 0; i < 3; ++i) {
      bridge.call([](Session&) {});
      QApplication::processEvents();
    }
  }
  // Serves events until the condition holds (live frames come at their own pace).
  bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition() && std::chrono::steady_clock::now() < deadline) QTest::qWait(20);
    return condition();
  }
  const Snapshot& snapshot() const { return bridge.snapshot(); }
};

// Answers the next source chooser once it is open: `fill` sets its controls, then OK.
void AnswerNextChooser(std::function<void(LiveSourceDialog&)> fill) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, fill] {
    auto* dialog = qobject_cast<LiveSourceDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    timer->stop();
    timer->deleteLater();
    fill(*dialog);
    dialog->accept();
  });
  timer->start();
}

}  // namespace

void OnlineTest::chooserNamesTheSources() {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  LiveSourceDialog dialog({{QStringLiteral("/dev/video4"), QStringLiteral("/dev/video4  Cam")}});
  const struct {
    QString address;
    bool reconnect;
  } cases[] = {
      {QStringLiteral("sim:"), false},
      {QStringLiteral("sim:/videos/a clip.avi"), false},
      {QStringLiteral("/dev/video4"), false},
      {QStringLiteral("rtsp://camera/live"), true},
  };
  for (const auto& c : cases) {
    dialog.setChoice({c.address, c.reconnect});
    QCOMPARE(dialog.choice().address, c.address);
    QCOMPARE(dialog.choice().reconnect, c.reconnect);
  }
  // Each kind enables its own field.
  dialog.streamButton()->setChecked(true);
  QVERIFY(dialog.urlEdit()->isEnabled());
  QVERIFY(!dialog.fileEdit()->isEnabled());
  QVERIFY(!dialog.deviceBox()->isEnabled());
  // A URL that names no source is refused with a message; the dialog stays open.
  dialog.urlEdit()->setText(QStringLiteral("ftp://host/x"));
  dialog.show();
  dialog.accept();
  QVERIFY(dialog.isVisible());
  QCOMPARE(sink.Messages().size(), size_t{1});
  QVERIFY(sink.Messages()[0].text.rfind("ftp://host/x: ", 0) == 0);
  dialog.urlEdit()->setText(QStringLiteral("tcp://127.0.0.1:5000"));
  dialog.accept();
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.result(), int{QDialog::Accepted});

  // Without a capture device the device choice cannot be made.
  LiveSourceDialog none({});
  QVERIFY(!none.deviceButton()->isEnabled());
  none.setChoice({QStringLiteral("/dev/video0"), false});
  QVERIFY(none.simulatedButton()->isChecked());
}

void OnlineTest::videoOnLineStartStopAndOffline() {
  const std::string folder = test::TempDir("gui_online");
  const std::string previous = StartDirectory();
  SetStartDirectory(folder + "/");
  const std::string clip = test::MakeClip("gui_online_video", 64, 48, 5);
  {
    Desk d;
    MainWindow& w = d.window;
    bool opened = false;
    d.bridge.call([&](Session& s) { opened = s.Open(clip).ok(); });
    QVERIFY(opened);
    d.settle();
    QAction* online = w.action(cmd::kVideoOnLine);
    QVERIFY(online->isEnabled());
    QVERIFY(online->isCheckable());
    QVERIFY(!online->isChecked());

    // The chooser answers with the simulated card's test pattern.
    AnswerNextChooser([](LiveSourceDialog& dialog) {
      dialog.simulatedButton()->setChecked(true);
      dialog.fileEdit()->clear();
    });
    w.runCommand(cmd::kVideoOnLine);
    QVERIFY(online->isChecked());  // at once, while the source starts
    QVERIFY(d.waitFor([&] { return d.snapshot().online && d.snapshot().framesProcessed >= 30; }));
    QVERIFY(online->isChecked());
    QCOMPARE(QSettings(QStringLiteral("Local AppWizard-Generated Applications"),
                       QStringLiteral("Fumewatch"))
                 .value(QStringLiteral("liveSource"))
                 .toString(),
             QStringLiteral("sim:"));
    QCOMPARE(d.snapshot().panes[0].Width(), 352);
    QVERIFY(d.waitFor([&] { return d.snapshot().captureRate > 0.0; }));
    QVERIFY(w.statusText(MainWindow::kVideoInfo).startsWith(QStringLiteral("sim: | 352x288 | ")));
    QVERIFY(w.statusText(MainWindow::kVideoInfo).contains(QStringLiteral(" fps | ")));
    QVERIFY(w.statusText(MainWindow::kVideoInfo).contains(QStringLiteral(" dropped")));
    QCOMPARE(w.controlBar()->frameSlider()->maximum(), 100000000);
    QCOMPARE(w.controlBar()->frameSlider()->pageStep(), 5000000);
    QCOMPARE(w.controlBar()->frameSlider()->value(), 0);

    // Stop and Start stop and restart the stream.
    w.controlBar()->button(1004)->click();
    QVERIFY(d.waitFor([&] { return !d.snapshot().captureStreaming; }));
    QVERIFY(w.statusText(MainWindow::kVideoInfo).contains(QStringLiteral("stopped")));
    const uint64_t frames = d.snapshot().framesProcessed;
    w.controlBar()->button(1002)->click();
    QVERIFY(d.waitFor([&] { return d.snapshot().framesProcessed > frames + 5; }));
    QVERIFY(!w.statusText(MainWindow::kVideoInfo).contains(QStringLiteral("stopped")));

    // Offline again: no chooser; the video is back in the frame pane.
    w.runCommand(cmd::kVideoOnLine);
    QVERIFY(d.waitFor([&] { return !d.snapshot().online; }));
    QVERIFY(!online->isChecked());
    QCOMPARE(d.snapshot().panes[0].Width(), 64);
    QCOMPARE(d.snapshot().frameCount, 5);
    QVERIFY(w.statusText(MainWindow::kVideoInfo).startsWith(QStringLiteral("gui_online_video")));
    QVERIFY(d.sink.Messages().empty());

    // A source that does not start: its message box, and the check mark stays (online, no
    // stream), as the card's initialisation failure leaves it.
    AnswerNextChooser([](LiveSourceDialog& dialog) {
      dialog.simulatedButton()->setChecked(true);
      dialog.fileEdit()->setText(QStringLiteral("/nonexistent/clip.avi"));
    });
    w.runCommand(cmd::kVideoOnLine);
    QVERIFY(d.waitFor([&] { return d.snapshot().online; }));
    d.settle();
    QCOMPARE(d.sink.Messages().size(), size_t{1});
    QCOMPARE(d.sink.Messages()[0].text, std::string("can not init DSPs\n"));
    QVERIFY(online->isChecked());
    QVERIFY(!d.snapshot().captureStreaming);
    w.runCommand(cmd::kVideoOnLine);
    QVERIFY(d.waitFor([&] { return !d.snapshot().online; }));
  }
  SetStartDirectory(previous);
  std::filesystem::remove_all(folder);
}

}  // namespace fw

int main(int argc, char** argv) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  QApplication app(argc, argv);
  fw::OnlineTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "online_test.moc"

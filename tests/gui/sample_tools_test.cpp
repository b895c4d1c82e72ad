// The wiring of the sample tools in the desktop: Fuzzy C-Means and Get VOC run on their worker
// thread with the progress window and end with a message box and their reports in the start
// directory; Generate sample images cuts the current frame into the samples root.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>

#include "app/commands.h"
#include "app/session.h"
#include "core/data_files.h"
#include "core/image_file.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/shell/main_window.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// Runs the command, waits (at most 20 s) for the message box it ends with, returns its text and
// closes it. A timer closes it, since the box runs its own event loop.
QString MessageOf(MainWindow& window, int command) {
  QString text;
  bool seen = false;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || seen) return;
    text = box->text();
    seen = true;
    box->accept();
  });
  timer.start();
  window.runCommand(command);
  QElapsedTimer clock;
  clock.start();
  while (!seen && clock.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return text;
}

// A 24-bit picture of grey levels paint(x, y).
template <typename Paint>
void SavePicture(const std::string& path, Paint paint) {
  Dib image;
  image.Create(24, 24, 24, false);
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 24; ++x) {
      uint8_t* p = image.Row(y) + 3 * x;
      p[0] = p[1] = p[2] = static_cast<uint8_t>(paint(x, y));
    }
  }
  QVERIFY(SaveJpeg(image, path, 95).ok());
}

}  // namespace

class SampleToolsTest : public QObject {
  Q_OBJECT

 private slots:
  void toolsRunFromTheMenuAndReport();
};

void SampleToolsTest::toolsRunFromTheMenuAndReport() {
  const std::string dir = test::TempDir("gui_sample_tools");
  const std::string root = dir + "/root";
  for (const char* f : {"lib81/smoke", "lib101/smoke", "lib101/non"}) {
    fs::create_directories(root + "/" + f);
  }
  for (int i = 0; i < 3; ++i) {
    const std::string n = "/" + std::to_string(i) + ".jpg";
    SavePicture(root + "/lib81/smoke" + n, [i](int, int) { return 30 + i; });
    SavePicture(root + "/lib81/smoke/b" + n.substr(1), [i](int x, int y) { return (x + y + i) % 2 ? 240 : 120; });
    SavePicture(root + "/lib101/smoke" + n, [i](int x, int y) { return (x * y + i) % 200; });
    SavePicture(root + "/lib101/non" + n, [i](int x, int) { return x < 12 + i ? 20 : 220; });
  }
  const std::string start = StartDirectory();
  SetStartDirectory(dir + "/");
  {
    EngineBridge bridge{nullptr};
    MainWindow window{bridge};
    window.show();
    window.document().samplesRoot = QString::fromStdString(root);

    const QString fcm = MessageOf(window, cmd::kFuzzyCMeans);
    QVERIFY2(fcm.contains(QStringLiteral("3 pictures as A, 3 as B")), qPrintable(fcm));
    QVERIFY(fs::exists(dir + "/FCM_Details.txt"));
    QVERIFY(fs::exists(root + "/lib81/smoke_classified/B00003.jpg"));

    const QString voc = MessageOf(window, cmd::kGetVoc);
    QVERIFY2(voc.contains(QStringLiteral("类间距：")), qPrintable(voc));
    QVERIFY(fs::exists(dir + "/LBP_Feature_Performance.txt"));

    // Without a frame there is nothing to cut.
    QVERIFY(!MessageOf(window, cmd::kGenerateSamples).isEmpty());
    QVERIFY(!fs::exists(root + "/lib302/forest/候车_00001.jpg"));
    const std::string clip = test::MakeClip("gui_sample_tools_clip", 200, 100, 2);
    bool opened = false;
    bridge.call([clip, &opened](Session& s) { opened = s.Open(clip).ok(); });
    QVERIFY(opened);
    bridge.call([](Session&) {});
    QApplication::processEvents();
    const QString generated = MessageOf(window, cmd::kGenerateSamples);
    QVERIFY2(generated.startsWith(QStringLiteral("3 samples written")), qPrintable(generated));
    QVERIFY(fs::exists(root + "/lib302/forest/候车_00003.jpg"));
  }
  SetStartDirectory(start);
}

}  // namespace fw

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  fw::SampleToolsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "sample_tools_test.moc"

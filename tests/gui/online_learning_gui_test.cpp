// "Online Adaboost learning" in the desktop: the command stops playback, learns on the frame
// shown from the smoke pictures of the samples root, writes OL_Float_RealAdaboost.kdz into the
// start directory and starts playback again; without a video it says what it needs.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>

#include "app/session.h"
#include "core/data_files.h"
#include "core/image_file.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/shell/main_window.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

constexpr int kOnlineLearning = 32795;

// Serves events until `done` holds or 30 s pass; a message box that comes meanwhile is taken
// (its text returned in `box`) and closed.
template <typename Done>
bool WaitFor(Done done, QString& box) {
  QTimer closer;
  closer.setInterval(20);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box = b->text();
      b->accept();
    }
  });
  closer.start();
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 30000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace

class OnlineLearningGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void learnsOnTheFrameShownAndPlaysOn();
};

void OnlineLearningGuiTest::learnsOnTheFrameShownAndPlaysOn() {
  const std::string dir = test::TempDir("gui_online_learning");
  const std::string root = dir + "/root";
  fs::create_directories(root + "/lib100/smoke");
  for (int i = 0; i < 2; ++i) {
    Dib picture;
    picture.Create(24, 24, 24, false);
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 24; ++x) {
        uint8_t* p = picture.Row(y) + 3 * x;
        p[0] = p[1] = p[2] = static_cast<uint8_t>(100 + 40 * i + (x + y) % 7);
      }
    }
    QVERIFY(SaveJpeg(picture, root + "/lib100/smoke/" + std::to_string(i) + ".jpg", 95).ok());
  }
  const std::string start = StartDirectory();
  SetStartDirectory(dir + "/");
  const std::string learned = dir + "/OL_Float_RealAdaboost.kdz";
  {
    EngineBridge bridge{nullptr};
    MainWindow window{bridge};
    window.show();
    window.document().samplesRoot = QString::fromStdString(root);

    // Without a video there is no scene to take the negatives from.
    QString box;
    window.runCommand(kOnlineLearning);
    QVERIFY(WaitFor([&] { return !box.isEmpty(); }, box));
    QVERIFY2(box.contains(QStringLiteral("Open a video first")), qPrintable(box));
    QVERIFY(!fs::exists(learned));

    const std::string clip = test::MakeClip("gui_online_learning_clip", 96, 72, 400);
    bridge.call([](Session& s) { s.SetFrameRate(50.0f); });
    window.openVideo(QString::fromStdString(clip));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.snapshot().loopExists, 10000);
    box.clear();
    window.runCommand(kOnlineLearning);
    QVERIFY(WaitFor([&] { return fs::exists(learned); }, box));
    QVERIFY2(box.isEmpty(), qPrintable(box));
    QVERIFY(fs::file_size(learned) > 0);
    // Playback goes on once the run has ended.
    QVERIFY(WaitFor([&] { return bridge.snapshot().loopExists; }, box));
    const int frame = bridge.snapshot().frameNumber;
    QVERIFY(WaitFor([&] { return bridge.snapshot().frameNumber != frame; }, box));
    QVERIFY2(box.isEmpty(), qPrintable(box));
  }
  SetStartDirectory(start);
}

}  // namespace fw

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  fw::OnlineLearningGuiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "online_learning_gui_test.moc"

// fumewatch: the desktop workbench.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/analysis_commands.h"
#include "app/mode_table.h"
#include "app/session.h"
#include "core/data_files.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/bridge/qt_alarm_sound.h"
#include "gui/bridge/qt_ui_sink.h"
#include "gui/shell/fonts.h"
#include "gui/shell/main_window.h"

namespace {

constexpr const char* kUsage =
    "usage: fumewatch [--samples-root DIR] [FILE]\n"
    "       fumewatch --screenshot OUT.png [--open VIDEO | --live SOURCE] [--mode N]\n"
    "                 [--analysis A] [--frames K] [--screen] [--samples-root DIR]\n"
    "\n"
    "The desktop workbench for smoke and fire detection in video. FILE, a video or a picture\n"
    "(.jpg, .bmp), is opened as File > Open opens it: a video plays, a picture goes into the\n"
    "top-left pane.\n"
    "\n"
    "options:\n"
    "  --screenshot OUT.png  render the main window to a PNG picture and exit: the video is\n"
    "                        opened, the mode selected and K frames processed first\n"
    "  --open VIDEO          the video to open (with --screenshot)\n"
    "  --live SOURCE         or go on line with this live source first (sim:, sim:FILE,\n"
    "                        /dev/videoN or a stream URL); the mode is selected on the first\n"
    "                        live frame and K live frames are processed\n"
    "  --mode N              the detection mode to select (with --screenshot)\n"
    "  --analysis A          then the analysis to choose, as its menu entry does (with\n"
    "                        --screenshot; 'fumewatch-cli analyses' lists them)\n"
    "  --frames K            frames to process before the picture is taken (default 0)\n"
    "  --screen              with --screenshot: the whole screen rather than the window (needs\n"
    "                        a display, e.g. xvfb-run)\n"
    "  --samples-root DIR    folder below which smoke samples are cut (default: samples/ in\n"
    "                        the working directory)\n"
    "  --help                this text\n"
    "\n"
    "Without a display, run it with QT_QPA_PLATFORM=offscreen or under xvfb-run.\n";

struct Options {
  std::string screenshot;
  std::string video;
  std::string live;
  int mode = 0;
  int analysis = 0;
  int frames = 0;
  std::string samplesRoot;
  std::string file;
  bool screen = false;
};

std::optional<int> ParseCount(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 1000000000) return std::nullopt;
  return static_cast<int>(value);
}

// Returns an exit status when the program should end at once (help, bad arguments).
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--screen") {
      options.screen = true;
      continue;
    }
    if (!arg.empty() && arg[0] != '-' && options.file.empty()) {
      options.file = arg;
      continue;
    }
    const bool takesValue = arg == "--screenshot" || arg == "--open" || arg == "--live" ||
                            arg == "--mode" || arg == "--analysis" || arg == "--frames" ||
                            arg == "--samples-root";
    if (!takesValue) {
      std::fprintf(stderr, "fumewatch: unknown argument \"%s\"\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "fumewatch: %s needs a value\n", arg.c_str());
      return 2;
    }
    const char* value = argv[++i];
    if (arg == "--screenshot") {
      options.screenshot = value;
    } else if (arg == "--open") {
      options.video = value;
    } else if (arg == "--live") {
      options.live = value;
    } else if (arg == "--samples-root") {
      options.samplesRoot = value;
    } else {
      const std::optional<int> count = ParseCount(value);
      if (!count) {
        std::fprintf(stderr, "fumewatch: %s needs a whole number, not \"%s\"\n", arg.c_str(),
                     value);
        return 2;
      }
      (arg == "--mode"       ? options.mode
       : arg == "--analysis" ? options.analysis
                             : options.frames) = *count;
    }
  }
  if (options.screenshot.empty() &&
      (!options.video.empty() || !options.live.empty() || options.mode || options.analysis ||
       options.frames || options.screen)) {
    std::fprintf(stderr,
                 "fumewatch: --open, --live, --mode, --analysis, --frames and --screen go with "
                 "--screenshot\n");
    return 2;
  }
  if (!options.video.empty() && !options.live.empty()) {
    std::fprintf(stderr, "fumewatch: --open and --live do not go together\n");
    return 2;
  }
  if (!options.screenshot.empty() && !options.file.empty()) {
    std::fprintf(stderr, "fumewatch: with --screenshot the video is given with --open\n");
    return 2;
  }
  if (options.analysis != 0 && fw::AnalysisLabel(options.analysis) == nullptr) {
    std::fprintf(stderr,
                 "fumewatch: there is no analysis %d ('fumewatch-cli analyses' lists them)\n",
                 options.analysis);
    return 2;
  }
  if (options.mode != 0 && fw::FindMode(options.mode) == nullptr) {
    std::fprintf(stderr, "fumewatch: there is no mode %d ('fumewatch-cli modes' lists them)\n",
                 options.mode);
    return 2;
  }
  return std::nullopt;
}

// Goes on line with the live source, selects the mode on the first live frame and processes the
// frames as they come. False when the source does not stream.
bool RunLive(fw::Session& s, const Options& options) {
  if (!s.SetCaptureAddress(options.live) || !s.StartCapture()) return false;
  const auto patience = std::chrono::seconds(10);
  for (int i = 0; i < std::max(options.frames, 1); ++i) {
    if (s.RunCaptureFrame(std::chrono::steady_clock::now() + patience) != fw::LiveWait::Frame) {
      return false;
    }
    if (i == 0 && options.mode != 0) s.SelectMode(static_cast<fw::ModeId>(options.mode));
  }
  s.HandleCaptureReports();
  return true;
}

// Opens the video, selects the mode and processes the frames on the engine thread, waits until
// the window shows the result, and saves the window as a picture.
int TakeScreenshot(fw::EngineBridge& bridge, fw::MainWindow& window, const Options& options) {
  bool opened = true;
  bridge.call([&](fw::Session& s) {
    if (!options.video.empty()) {
      // As the Open button does, without leaving the loop running.
      opened = s.OpenAndPlay(options.video);
      s.Stop();
      s.EndLoopIfStopped();
    }
    if (!opened) return;
    if (!options.live.empty()) {
      opened = RunLive(s, options);
      return;
    }
    if (options.mode != 0) s.SelectMode(static_cast<fw::ModeId>(options.mode));
    if (options.analysis != 0 && !s.RunAnalysisCommand(options.analysis)) {
      std::fprintf(stderr, "fumewatch: %s needs a background model (--mode)\n",
                   fw::AnalysisLabel(options.analysis));
    }
    for (int i = 0; i < options.frames; ++i) s.Step();
  });
  if (!opened) {
    std::fprintf(stderr, "fumewatch: cannot open %s\n",
                 (options.live.empty() ? options.video : options.live).c_str());
    return 1;
  }
  if (options.mode != 0 || options.analysis != 0) window.reinitialise();
  // The snapshot of that command is taken before a second command's answer arrives.
  bridge.call([](fw::Session&) {});
  QApplication::processEvents();
  QScreen* screen = window.screen();
  const QPixmap picture =
      options.screen && screen != nullptr ? screen->grabWindow(0) : window.grab();
  if (!picture.save(QString::fromStdString(options.screenshot), "PNG")) {
    std::fprintf(stderr, "fumewatch: cannot write %s\n", options.screenshot.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const std::optional<int> status = ParseArguments(argc, argv, options)) return *status;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Fumewatch"));
  QApplication::setFont(fw::ApplicationFont(QApplication::font()));
  fw::SetStartDirectory(QDir::currentPath().toStdString() + "/");

  const bool interactive = options.screenshot.empty();
  fw::QtUiSink sink;
  // A picture taken without a person at the screen reports to stderr instead of message boxes.
  if (interactive) fw::SetUiSink(&sink);

  fw::QtAlarmSound sound;
  int status = 0;
  {
    fw::EngineBridge bridge(&sound);
    fw::MainWindow window(bridge);
    if (!options.samplesRoot.empty()) {
      window.document().samplesRoot = QString::fromStdString(options.samplesRoot);
    }
    sink.setParentWindow(&window);
    QObject::connect(&sink, &fw::QtUiSink::statusText, &window, &fw::MainWindow::showStatus);
    window.show();
    QApplication::processEvents();
    if (!options.file.empty()) window.openFile(QString::fromStdString(options.file));

    status = interactive ? QApplication::exec() : TakeScreenshot(bridge, window, options);

    // The engine is idle before the window and the bridge go.
    bridge.call([](fw::Session& s) {
      s.Stop();
      s.EndLoopIfStopped();
      s.StopCapture();
    });
    fw::SetUiSink(nullptr);
  }
  return status;
}

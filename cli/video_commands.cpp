// info, modes, frame and detect: the commands that open a video.
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "app/mode_table.h"
#include "app/session.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "detect/alarm.h"

namespace fw::cli {

namespace fs = std::filesystem;

int Fail(const std::string& message) {
  std::fprintf(stderr, "fumewatch-cli: %s\n", message.c_str());
  return 1;
}

namespace {

bool WantsHelp(const ArgList& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

int Usage(const char* text, const ArgList& args, int positional, const Args& parsed) {
  if (WantsHelp(args)) {
    std::fputs(text, stdout);
    return 0;
  }
  if (!parsed.ok()) return Fail(parsed.error());
  if (static_cast<int>(parsed.Positional().size()) != positional) {
    std::fputs(text, stderr);
    return 2;
  }
  return -1;
}

// Opens a video into a session as the Open button does; the reason goes to stderr on failure.
bool OpenVideo(Session& session, const std::string& path) {
  if (const Result opened = session.Open(path, /*quiet=*/true); !opened) {
    Fail(opened.message());
    return false;
  }
  if (session.Reader().FrameCount() <= 0) {
    Fail(path + ": the video has no frames");
    return false;
  }
  return true;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

constexpr const char* kInfoHelp =
    "usage: fumewatch-cli info VIDEO\n\n"
    "Prints width=W height=H frames=N fps=F for a video file.\n";

constexpr const char* kModesHelp =
    "usage: fumewatch-cli modes [--params]\n\n"
    "Lists every detection mode: its number and its label.\n\n"
    "options:\n"
    "  --params        also list, below each mode, the parameters 'detect --set' takes: name,\n"
    "                  range, default and meaning (the control values first, for every mode)\n";

constexpr const char* kFrameHelp =
    "usage: fumewatch-cli frame VIDEO INDEX OUT.bmp\n\n"
    "Saves frame INDEX (counted from 0) as a 24-bit BMP picture, exactly as the top-left pane\n"
    "holds it.\n";

constexpr const char* kDetectHelp =
    "usage: fumewatch-cli detect --mode N VIDEO [options]\n\n"
    "Plays VIDEO once from frame 0 (no looping, no pacing), runs detection mode N on every frame\n"
    "as the desktop does, appends the alarm intervals to the alarm log beside the video\n"
    "(VIDEO without its last three characters, followed by \"txt\") and prints one line per\n"
    "alarm interval, then a summary line \"frames=N alarms=K\".\n\n"
    "options:\n"
    "  --mode N        detection mode (see 'fumewatch-cli modes')\n"
    "  --set NAME=V    set a parameter before the mode is selected (may repeat; see\n"
    "                  'fumewatch-cli modes --params'), e.g. --set threshold=12 or\n"
    "                  --set clusterSeed=7 to fix the clustering seed of mode 264\n"
    "  --frames K      process only the first K frames\n"
    "  --events FILE   also write one JSON object per alarm interval to FILE\n"
    "  --panes DIR     save the four panes as DIR/NNNNNN_tl.bmp, _tr, _bl, _br ...\n"
    "  --every K       ... after every frame whose number is a multiple of K (default 1)\n";

}  // namespace

int RunInfo(const ArgList& args) {
  Args parsed(args, {}, {"help"});
  if (const int r = Usage(kInfoHelp, args, 1, parsed); r >= 0) return r;
  Session session;
  if (!OpenVideo(session, parsed.Positional()[0])) return 1;
  const AviReader& reader = session.Reader();
  std::printf("width=%d height=%d frames=%d fps=%g\n", reader.Width(), reader.Height(),
              reader.FrameCount(), reader.FramesPerSecond());
  return 0;
}

namespace {

void PrintParams(std::span<const ParamField> fields) {
  for (const ParamField& f : fields) {
    std::printf("  %s\t%s\tdefault %.10g\t%s\n", f.name, ParamRangeText(f).c_str(), f.defaultValue,
                f.label);
  }
}

}  // namespace

int RunModes(const ArgList& args) {
  Args parsed(args, {}, {"help", "params"});
  if (const int r = Usage(kModesHelp, args, 0, parsed); r >= 0) return r;
  const bool params = parsed.Has("params");
  if (params) {
    std::printf("every mode:\n");
    PrintParams(ControlFields());
  }
  for (const ModeInfo& mode : Modes()) {
    std::printf("%d\t%s\n", mode.number(), mode.label);
    if (params) PrintParams(mode.params);
  }
  return 0;
}

int RunFrame(const ArgList& args) {
  Args parsed(args, {}, {"help"});
  if (const int r = Usage(kFrameHelp, args, 3, parsed); r >= 0) return r;
  const std::string& video = parsed.Positional()[0];
  int index = 0;
  if (!ParseInt(parsed.Positional()[1], index)) {
    return Fail("frame index must be a whole number (got \"" + parsed.Positional()[1] + "\")");
  }
  Session session;
  if (!OpenVideo(session, video)) return 1;
  const int count = session.Reader().FrameCount();
  if (index < 0 || index >= count) {
    return Fail(video + ": frame " + std::to_string(index) + " is out of range (0.." +
                std::to_string(count - 1) + ")");
  }
  Dib& frame = session.GetPanes().topLeft();
  if (!session.ReadFrame(index)) {
    return Fail(video + ": frame " + std::to_string(index) + " cannot be decoded");
  }
  if (const Result saved = frame.SaveBmp(parsed.Positional()[2]); !saved) {
    return Fail(saved.message());
  }
  return 0;
}

int RunDetect(const ArgList& args) {
  Args parsed(args, {"mode", "frames", "events", "panes", "every", "set"}, {"help"});
  if (const int r = Usage(kDetectHelp, args, 1, parsed); r >= 0) return r;
  int mode = 0;
  int frames = -1;
  int every = 1;
  if (!parsed.Has("mode")) return Fail("detect needs --mode N (see 'fumewatch-cli modes')");
  if (!parsed.IntValue("mode", 0, 1 << 30, mode) ||
      !parsed.IntValue("frames", 0, 1 << 30, frames) ||
      !parsed.IntValue("every", 1, 1 << 30, every)) {
    return Fail(parsed.error());
  }
  const ModeInfo* info = FindMode(mode);
  if (!info) return Fail("unknown mode " + std::to_string(mode) + " (see 'fumewatch-cli modes')");
  const std::string video = parsed.Positional()[0];

  const std::string panesDir = parsed.Value("panes").value_or("");
  if (!panesDir.empty()) {
    std::error_code ec;
    fs::create_directories(panesDir, ec);
    if (!fs::is_directory(panesDir)) return Fail(panesDir + ": cannot create the folder");
  }
  std::ofstream events;
  if (const auto path = parsed.Value("events")) {
    events.open(*path, std::ios::binary | std::ios::trunc);
    if (!events) return Fail(*path + ": cannot write the events file");
  }

  Session session;  // no sound in batch runs
  if (!OpenVideo(session, video)) return 1;
  int total = session.Reader().FrameCount();
  if (frames >= 0 && frames < total) total = frames;

  int alarms = 0;
  bool logWarned = false;
  session.State().onAlarmInterval = [&](const AlarmInterval& interval) {
    ++alarms;
    if (!interval.logged && !logWarned) {
      std::fprintf(stderr, "fumewatch-cli: warning: cannot append to the alarm log %s\n",
                   AlarmLogPath(video).c_str());
      logWarned = true;
    }
    std::printf("Fire alarm at frame # %d to %d. \n", interval.start, interval.end);
    std::fflush(stdout);
    if (events.is_open()) {
      events << "{\"mode\":" << mode << ",\"start\":" << interval.start
             << ",\"end\":" << interval.end << ",\"video\":" << JsonString(video) << "}\n";
      events.flush();
    }
  };

  for (const std::string& assignment : parsed.Values("set")) {
    if (const Result set = session.SetParameter(info->id, assignment); !set) {
      return Fail(set.message());
    }
  }
  // The mode command, as a button or a menu command would run it on the first frame.
  session.SelectMode(info->id);

  const bool progress = isatty(STDERR_FILENO) != 0;
  int processed = 0;
  bool stoppedEarly = false;
  // Panes are saved as they were shown, before the end-of-frame steps exchange buffers.
  Snapshot shown;
  for (int i = 0; i < total; ++i) {
    const bool savePanes = !panesDir.empty() && i % every == 0;
    session.SetSnapshotTarget(savePanes ? &shown : nullptr);
    const FrameRead read = session.Step();
    if (read != FrameRead::Read) {
      Fail(video + ": frame " + std::to_string(i) + " cannot be decoded; stopping there");
      stoppedEarly = true;
      break;
    }
    ++processed;
    if (savePanes) {
      static const char* const kSuffix[kPaneCount] = {"tl", "tr", "bl", "br"};
      for (int p = 0; p < kPaneCount; ++p) {
        char name[32];
        std::snprintf(name, sizeof name, "/%06d_%s.bmp", i, kSuffix[p]);
        if (const Result saved = shown.panes[p].SaveBmp(panesDir + name); !saved) {
          return Fail(saved.message());
        }
      }
    }
    if (progress && (i % 25 == 0 || i + 1 == total)) {
      std::fprintf(stderr, "\rframe %d/%d", i + 1, total);
      if (i + 1 == total) std::fputc('\n', stderr);
    }
  }
  // An alarm still on after the last frame ends with the run.
  CloseOpenAlarmInterval(session.State(), processed);
  std::printf("frames=%d alarms=%d\n", processed, alarms);
  return stoppedEarly ? 1 : 0;
}

}  // namespace fw::cli

// info, modes, frame and detect: the commands that open a video.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "app/analysis_commands.h"
#include "app/memory_budget.h"
#include "app/mode_table.h"
#include "app/session.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "cli/run_outputs.h"
#include "core/image_file.h"
#include "core/ui_sink.h"
#include "detect/alarm.h"

namespace fw::cli {

namespace fs = std::filesystem;

int Fail(const std::string& message) {
  std::fprintf(stderr, "fumewatch-cli: %s\n", message.c_str());
  return 1;
}

namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == y;
         });
}

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

// "VIDEO: 3 damaged frames (33, 61-62) showed the frame before them" on stderr.
void ReportDamagedFrames(const std::string& video, const std::vector<int>& damaged) {
  if (damaged.empty()) return;
  const size_t n = damaged.size();
  std::fprintf(stderr, "fumewatch-cli: %s: %zu damaged frame%s (%s) showed the frame before %s\n",
               video.c_str(), n, n == 1 ? "" : "s", FrameRanges(damaged).c_str(),
               n == 1 ? "it" : "them");
}

// A picture File Open takes, by its extension (JPEG or BMP, in any case).
bool IsPictureName(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".jpg" || ext == ".bmp";
}

// Loads a picture into the top-left pane as File Open does; no alarm log is written for it.
bool OpenStill(Session& session, const std::string& path) {
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  if (!session.OpenPicture(-1, path)) {
    const std::vector<RecordingUiSink::Entry> said = sink.Messages();
    Fail(said.empty() ? path + ": cannot read the picture" : said.back().text);
    return false;
  }
  session.State().alarmLogEnabled = false;
  return true;
}

// The analysis's menu command. A refusal the workbench explains comes back as its message, in
// place of the message box; the snake without a background model is refused silently.
Result ChooseAnalysis(Session& session, int analysis) {
  RecordingUiSink sink;
  bool chosen = false;
  {
    ScopedUiSink scoped(sink);
    chosen = session.RunAnalysisCommand(analysis);
  }
  if (chosen) return Result::Ok();
  const std::vector<RecordingUiSink::Entry> said = sink.Messages();
  if (!said.empty()) return Result::Error(said.back().text);
  return Result::Error(std::string(AnalysisLabel(analysis)) +
                       " needs a background model: choose one with --mode (1, 2, 257, 258, 260, "
                       "264, 7001, 7002 or 7004)");
}

// The display dialog's picture once something has drawn into it (a fresh one is 16 x 16 black).
bool DisplayDrawn(const Dib& display) {
  if (display.Width() != 16 || display.Height() != 16 || display.GetBitCount() != 8) return true;
  const uint8_t* p = display.Pixels();
  return std::any_of(p, p + display.PixelBytes(), [](uint8_t b) { return b != 0; });
}

}  // namespace

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

bool WantsLive(const ArgList& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& a) {
    return a == "--live" || a.starts_with("--live=");
  });
}

const ModeInfo* ModeOption(Args& parsed, int fallback) {
  int mode = fallback;
  if (!parsed.Has("mode") && fallback < 0) {
    Fail("detect needs --mode N (see 'fumewatch-cli modes')");
    return nullptr;
  }
  if (!parsed.IntValue("mode", 0, 1 << 30, mode)) {
    Fail(parsed.error());
    return nullptr;
  }
  const ModeInfo* info = FindMode(mode);
  if (!info) Fail("unknown mode " + std::to_string(mode) + " (see 'fumewatch-cli modes')");
  return info;
}

bool ApplySettings(Session& session, const ModeInfo& mode, const Args& parsed) {
  for (const std::string& assignment : parsed.Values("set")) {
    if (const Result set = session.SetParameter(mode.id, assignment); !set) {
      Fail(set.message());
      return false;
    }
  }
  return true;
}

bool OpenEvents(const Args& parsed, std::ofstream& events) {
  const auto path = parsed.Value("events");
  if (!path) return true;
  events.open(*path, std::ios::binary | std::ios::trunc);
  if (!events) {
    Fail(*path + ": cannot write the events file");
    return false;
  }
  return true;
}

void PrintAlarmIntervals(Session& session, int mode, const std::string& key,
                         const std::string& source, std::ofstream& events, int& alarms) {
  session.State().onAlarmInterval = [&session, mode, key, source, &events, &alarms,
                                     warned = false](const AlarmInterval& interval) mutable {
    ++alarms;
    if (!interval.logged && !warned) {
      std::fprintf(stderr, "fumewatch-cli: warning: cannot append to the alarm log %s\n",
                   AlarmLogOf(session.State()).c_str());
      warned = true;
    }
    // The events file first: whoever reads the printed line finds the event written.
    if (events.is_open()) {
      events << "{\"mode\":" << mode << ",\"start\":" << interval.start
             << ",\"end\":" << interval.end << ",\"" << key << "\":" << JsonString(source) << "}\n";
      events.flush();
    }
    std::printf("Fire alarm at frame # %d to %d. \n", interval.start, interval.end);
    std::fflush(stdout);
  };
}

namespace {

constexpr const char* kInfoHelp =
    "usage: fumewatch-cli info VIDEO\n"
    "       fumewatch-cli info --live SOURCE [--reconnect]\n\n"
    "Prints width=W height=H frames=N fps=F for a video file (N counts every frame 'detect'\n"
    "plays, damaged ones included; the damaged frames the file's structure shows are listed on\n"
    "stderr). With --live (sim:, sim:FILE,\n"
    "/dev/videoN or a stream URL, as 'detect --live' takes them) it opens the source and prints\n"
    "source=NAME width=352 height=288 input=WxH fps=F format=FORMAT: the frames it delivers, the\n"
    "pictures it reads before they are scaled, the rate it announces (0: none) and their format.\n";

constexpr const char* kModesHelp =
    "usage: fumewatch-cli modes [--params]\n\n"
    "Lists every detection mode: its number and its label.\n\n"
    "options:\n"
    "  --params        also list, below each mode, the parameters 'detect --set' takes: name,\n"
    "                  range, default and meaning (the control values first, for every mode)\n";

constexpr const char* kFrameHelp =
    "usage: fumewatch-cli frame VIDEO INDEX OUT.bmp|OUT.jpg\n\n"
    "Saves frame INDEX (counted from 0) exactly as the top-left pane holds it: a 24-bit BMP\n"
    "picture, or a JPEG (quality 100), as the extension of OUT says.\n";

constexpr const char* kDetectHelp =
    "usage: fumewatch-cli detect --mode N VIDEO [options]\n"
    "       fumewatch-cli detect --analysis A [--mode N] VIDEO|PICTURE [options]\n"
    "       fumewatch-cli detect --mode N --live SOURCE [--seconds S] [--frames K] [options]\n\n"
    "Plays VIDEO once from frame 0 (no looping, no pacing), runs detection mode N on every frame\n"
    "as the desktop does, appends the alarm intervals to the alarm log beside the video and\n"
    "prints one line per alarm interval, then a summary line \"frames=N alarms=K\". The log is\n"
    "VIDEO with its last three characters replaced by \"txt\" when it ends in \".\" and three\n"
    "characters other than \"txt\" (clip.avi -> clip.txt), else VIDEO followed by \".txt\"\n"
    "(clip.ts -> clip.ts.txt). A log that cannot be written (a read-only folder, a link, a FIFO,\n"
    "a device or a folder in the way, a full disk) ends the run with an error. A damaged frame\n"
    "shows the frame before it; their numbers are listed on stderr.\n\n"
    "With --analysis the analysis A (see 'fumewatch-cli analyses') is chosen after the mode, as\n"
    "its menu entry does, and runs beside it on every frame. A JPEG, PNG or BMP PICTURE instead "
    "of\n"
    "a video is loaded into the top-left pane and analysed as a still frame (--frames times,\n"
    "default 1; no alarm log).\n\n"
    "With --live, watches a live source instead, at its own pace: the mode is selected on the\n"
    "first live frame and runs on every frame that reaches it (a frame that comes while the\n"
    "previous one is still being processed replaces the one waiting and counts as dropped).\n"
    "Each alarm interval is printed as it closes; the alarm log is SOURCE_DATE.txt in the\n"
    "working directory (the source's name made a file name, then the date). The run ends after\n"
    "--seconds or --frames, on Ctrl+C, or when the source ends; an interval still open then is\n"
    "closed and logged. The summary line adds \"dropped=D\". Exit status 0 when the run ended\n"
    "by its limit or Ctrl+C, 1 when the source failed or ended first.\n\n"
    "options:\n"
    "  --mode N        detection mode (see 'fumewatch-cli modes'; default 0 with --analysis)\n"
    "  --analysis A    an analysis of the workbench beside the mode\n"
    "  --non-fire V    the smoke-free video whose frames the network recognisers train on as\n"
    "                  negative examples (2015, 2016)\n"
    "  --set NAME=V    set a parameter before the mode is selected (may repeat; see\n"
    "                  'fumewatch-cli modes --params'), e.g. --set threshold=12 or\n"
    "                  --set clusterSeed=7 to fix the clustering seed of mode 264\n"
    "  --frames K      process only the first K frames\n"
    "  --log FILE      append the alarm log to FILE instead of beside the video\n"
    "  --no-log        write no alarm log (the intervals are still printed)\n"
    "  --scores FILE   write FILE as CSV: frame,time_s,alarm,evidence, one row per frame; the\n"
    "                  evidence is what the mode's decision counts (votes, flagged pixels or\n"
    "                  blocks), empty for a mode without such a value\n"
    "  --plot FILE.png draw the run's timeline: the evidence curve, the alarm intervals as red\n"
    "                  bars and, with --truth, the clip's onset (green) and end frame\n"
    "  --truth FILE    the truth file (see 'fumewatch-cli eval --help') whose row for VIDEO\n"
    "                  --plot marks\n"
    "  --mask MASK     a black-and-white picture: pixels under black are set to the background\n"
    "                  (their look in the first frame) before any mode sees the frame, so\n"
    "                  nothing there can raise the alarm; stretched over the frame when its\n"
    "                  size differs\n"
    "  --events FILE   also write one JSON object per alarm interval to FILE, each line\n"
    "                  flushed as the interval closes\n"
    "  --panes DIR     save the four panes as DIR/NNNNNN_tl.bmp, _tr, _bl, _br (and the\n"
    "                  display dialog's picture as _dd.bmp once something has drawn it) ...\n"
    "  --every K       ... after every frame whose number is a multiple of K (default 1)\n"
    "  --memory-budget SIZE  what the mode's buffers may take, e.g. 512M or 2G (default: half\n"
    "                  of the physical memory); a mode that needs more is refused\n"
    "  --wavelet-view  run \"View Wavelet and zero crossing\" beside the mode\n"
    "  --point X,Y     the point picked in the top-left pane, x from the left, y up from the\n"
    "                  bottom row (default 0,0): the wavelet view looks there, mode 7011 plots\n"
    "                  the block holding it\n\n"
    "The infrared settings of mode 7008 are parameters: --set greyThreshold=, frameInterval=,\n"
    "alarmSeconds=, shapeThreshold=, fireProbability=, noiseSize=, method= (1 shape change,\n"
    "2 hot region).\n\n"

    "live options:\n"
    "  --live SOURCE   sim: (the simulated card's test pattern), sim:FILE (the simulated card\n"
    "                  replaying a video file), /dev/videoN (a V4L2 camera or capture card), or\n"
    "                  an rtsp://, http(s)://, tcp:// or udp:// stream URL\n"
    "  --seconds S     end after S seconds\n"
    "  --rate R        frames per second asked of the simulated card and of V4L2 devices\n"
    "                  (1..200, default 25; streams come at the sender's rate)\n"
    "  --reconnect     when a stream drops, open it again after 0.5 s, then after a delay that\n"
    "                  doubles up to 30 s, until it answers\n";

}  // namespace

int RunInfo(const ArgList& args) {
  if (WantsLive(args) && !WantsHelp(args)) return RunLiveInfo(args);
  Args parsed(args, {}, {"help"});
  if (const int r = Usage(kInfoHelp, args, 1, parsed); r >= 0) return r;
  Session session;
  if (!OpenVideo(session, parsed.Positional()[0])) return 1;
  const AviReader& reader = session.Reader();
  std::printf("width=%d height=%d frames=%d fps=%g\n", reader.Width(), reader.Height(),
              reader.FrameCount(), reader.FramesPerSecond());
  ReportDamagedFrames(parsed.Positional()[0], reader.DamagedFrames());
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
  const std::string& out = parsed.Positional()[2];
  int index = 0;
  if (!ParseInt(parsed.Positional()[1], index)) {
    return Fail("frame index must be a whole number (got \"" + parsed.Positional()[1] + "\")");
  }
  const std::string ext = fs::path(out).extension().string();
  if (!EqualsIgnoringCase(ext, ".bmp") && !EqualsIgnoringCase(ext, ".jpg")) {
    return Fail(out + ": the picture must be a .bmp or .jpg file");
  }
  Session session;
  if (!OpenVideo(session, video)) return 1;
  const int count = session.Reader().FrameCount();
  if (index < 0 || index >= count) {
    return Fail(video + ": frame " + std::to_string(index) + " is out of range (0.." +
                std::to_string(count - 1) + ")");
  }
  if (!session.ReadFrame(index)) {
    return Fail(video + ": frame " + std::to_string(index) + " cannot be decoded");
  }
  ReportDamagedFrames(video, session.Reader().DamagedFrames());
  if (const Result saved = SaveImageAs(session.GetPanes().topLeft(), out); !saved) {
    return Fail(saved.message());
  }
  return 0;
}

namespace {

// The events file: one JSON object per alarm interval, each line flushed and checked, so that a
// full disk ends the run with an error instead of losing intervals silently.
class EventsFile {
 public:
  ~EventsFile() {
    if (file_) std::fclose(file_);
  }
  Result Open(const std::string& path) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return Problem();
    return Result::Ok();
  }
  bool IsOpen() const { return file_ != nullptr; }
  Result Write(const std::string& line) {
    if (std::fputs(line.c_str(), file_) < 0 || std::fflush(file_) != 0) return Problem();
    return Result::Ok();
  }
  Result Close() {
    std::FILE* file = file_;
    file_ = nullptr;
    if (file && std::fclose(file) != 0) return Problem();
    return Result::Ok();
  }

 private:
  Result Problem() const {
    return Result::Error(path_ + ": cannot write the events file (" + std::strerror(errno) + ")");
  }
  std::string path_;
  std::FILE* file_ = nullptr;
};

}  // namespace

int RunDetect(const ArgList& args) {
  if (WantsLive(args) && !WantsHelp(args)) return RunLiveDetect(args);
  Args parsed(args,
              {"mode", "frames", "events", "panes", "every", "set", "memory-budget", "analysis",
               "non-fire", "point", "log", "scores", "plot", "mask", "truth"},
              {"help", "wavelet-view", "no-log"});
  if (const int r = Usage(kDetectHelp, args, 1, parsed); r >= 0) return r;
  int mode = 0;
  int frames = -1;
  int every = 1;
  int analysis = 0;
  uint64_t budget = DefaultMemoryBudget();
  if (!parsed.Has("mode") && !parsed.Has("analysis")) {
    return Fail("detect needs --mode N (see 'fumewatch-cli modes') or --analysis A");
  }
  if (!parsed.IntValue("mode", 0, 1 << 30, mode) ||
      !parsed.IntValue("frames", 0, 1 << 30, frames) ||
      !parsed.IntValue("every", 1, 1 << 30, every) ||
      !parsed.IntValue("analysis", 0, 1 << 30, analysis) ||
      !parsed.MemoryValue("memory-budget", budget)) {
    return Fail(parsed.error());
  }
  const ModeInfo* info = FindMode(mode);
  if (!info) return Fail("unknown mode " + std::to_string(mode) + " (see 'fumewatch-cli modes')");
  if (parsed.Has("analysis") && AnalysisLabel(analysis) == nullptr) {
    return Fail("unknown analysis " + std::to_string(analysis) + " (see 'fumewatch-cli analyses')");
  }
  const std::string video = parsed.Positional()[0];
  if (parsed.Has("log") && parsed.Has("no-log")) {
    return Fail("--log and --no-log exclude each other");
  }
  RunFiles files;
  if (const Result ready = PrepareRunFiles(parsed, video, files); !ready) {
    return Fail(ready.message());
  }
  // With an analysis a picture is analysed as a still frame; a mode alone needs a video.
  const bool still = parsed.Has("analysis") && IsPictureName(video);

  const std::string panesDir = parsed.Value("panes").value_or("");
  if (!panesDir.empty()) {
    std::error_code ec;
    fs::create_directories(panesDir, ec);
    if (!fs::is_directory(panesDir)) return Fail(panesDir + ": cannot create the folder");
  }
  EventsFile events;
  if (const auto path = parsed.Value("events")) {
    if (const Result opened = events.Open(*path); !opened) return Fail(opened.message());
  }

  Session session;  // no sound in batch runs
  session.SetMemoryBudget(budget);
  int total = 0;
  if (still) {
    if (!OpenStill(session, video)) return 1;
    total = frames >= 0 ? frames : 1;
  } else {
    if (!OpenVideo(session, video)) return 1;
    if (const auto log = parsed.Value("log")) session.State().alarmLog = *log;
    session.State().alarmLogEnabled = !parsed.Has("no-log");
    // A log that cannot be written is found before the run, not after the first alarm.
    const std::string log = AlarmLogOf(session.State());
    if (session.State().alarmLogEnabled) {
      if (const Result safe = CheckLogIsNotTheVideo(log, video); !safe) return Fail(safe.message());
      if (const Result writable = CheckAlarmLog(log); !writable) return Fail(writable.message());
    }
    total = session.Reader().FrameCount();
    if (frames >= 0 && frames < total) total = frames;
  }
  files.mode = mode;
  if (!files.mask.Empty()) session.SetSceneMask(std::move(files.mask));
  files.series.fps = still ? 0.0 : session.Reader().FramesPerSecond();
  if (files.Recording()) files.series.Reserve(total);
  int pointX = 0;
  int pointY = 0;
  if (const auto point = parsed.Value("point")) {
    const size_t comma = point->find(',');
    const int w = session.Reader().Width();
    const int h = session.Reader().Height();
    if (comma == std::string::npos || !ParseInt(point->substr(0, comma), pointX) ||
        !ParseInt(point->substr(comma + 1), pointY) || pointX < 0 || pointY < 0 || pointX >= w ||
        pointY >= h) {
      return Fail("--point must be X,Y inside the " + std::to_string(w) + " x " +
                  std::to_string(h) + " frame (got \"" + *point + "\")");
    }
  }

  int alarms = 0;
  Result failure;  // the first interval that could not be logged or written as an event
  session.State().onAlarmInterval = [&](const AlarmInterval& interval) {
    if (!failure) return;
    if (!interval.logged && session.State().alarmLogEnabled) {
      failure = Result::Error(interval.problem + "; the alarm at frame # " +
                              std::to_string(interval.start) + " to " +
                              std::to_string(interval.end) + " is not logged");
      return;
    }
    ++alarms;
    std::printf("Fire alarm at frame # %d to %d. \n", interval.start, interval.end);
    std::fflush(stdout);
    if (files.Recording()) files.intervals.push_back({interval.start, interval.end});
    if (events.IsOpen()) {
      failure = events.Write(
          "{\"mode\":" + std::to_string(mode) + ",\"start\":" + std::to_string(interval.start) +
          ",\"end\":" + std::to_string(interval.end) + ",\"video\":" + JsonString(video) + "}\n");
    }
  };

  for (const std::string& assignment : parsed.Values("set")) {
    if (const Result set = session.SetParameter(info->id, assignment); !set) {
      return Fail(set.message());
    }
  }
  // The mode command, as a button or a menu command would run it on the first frame, then the
  // analysis's menu command, the wavelet view's command and the click on the top-left pane.
  if (const Result fits = session.CheckMemory(info->id); !fits) return Fail(fits.message());
  if (!session.SelectMode(info->id)) return 1;  // out of memory after all: reported
  // A mode whose file is missing or unusable has said so and stays off.
  if (session.State().Mode() != info->id) return 1;
  if (const auto nonFire = parsed.Value("non-fire")) {
    if (const Result opened = session.OpenSecondSource(*nonFire, /*quiet=*/true); !opened) {
      return Fail(opened.message());
    }
  }
  if (analysis != 0) {
    if (const Result chosen = ChooseAnalysis(session, analysis); !chosen) {
      return Fail(chosen.message());
    }
  }
  if (parsed.Has("wavelet-view")) session.ToggleWaveletView();
  if (parsed.Has("point")) session.PickPicturePoint(pointX, pointY);
  session.SetDisplayDialogShown(!panesDir.empty());

  const bool progress = isatty(STDERR_FILENO) != 0;
  int processed = 0;
  // Panes are saved as they were shown, before the end-of-frame steps exchange buffers.
  Snapshot shown;
  try {
    for (int i = 0; i < total && failure; ++i) {
      const bool savePanes = !panesDir.empty() && i % every == 0;
      session.SetSnapshotTarget(savePanes ? &shown : nullptr);
      // A still picture stays in the top-left pane: there is no frame to read.
      if (session.Step() != FrameRead::Read && !still) {
        return Fail(video + ": frame " + std::to_string(i) + " cannot be read; stopping there");
      }
      ++processed;
      if (files.Recording()) files.series.Record(session.State());
      if (savePanes) {
        static const char* const kSuffix[kPaneCount] = {"tl", "tr", "bl", "br"};
        for (int p = 0; p < kPaneCount; ++p) {
          char name[32];
          std::snprintf(name, sizeof name, "/%06d_%s.bmp", i, kSuffix[p]);
          if (const Result saved = shown.panes[p].SaveBmp(panesDir + name); !saved) {
            return Fail(saved.message());
          }
        }
        if (DisplayDrawn(shown.display)) {
          char name[32];
          std::snprintf(name, sizeof name, "/%06d_dd.bmp", i);
          if (const Result saved = shown.display.SaveBmp(panesDir + name); !saved) {
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
    if (failure) CloseOpenAlarmInterval(session.State(), processed);
  } catch (const std::bad_alloc&) {
    return Fail(video + ": out of memory at frame " + std::to_string(processed));
  }
  if (!still) ReportDamagedFrames(video, session.Reader().DamagedFrames());
  if (failure) failure = events.Close();
  if (failure) failure = files.Write(video);
  if (!failure) return Fail(failure.message());
  std::printf("frames=%d alarms=%d\n", processed, alarms);
  return 0;
}

}  // namespace fw::cli

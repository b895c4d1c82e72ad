// info, modes, frame and detect: the commands that open a video.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "app/memory_budget.h"
#include "app/mode_table.h"
#include "app/session.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "core/image_file.h"
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
    "Prints width=W height=H frames=N fps=F for a video file. N counts every frame 'detect'\n"
    "plays, damaged ones included; the damaged frames the file's structure shows (chunks whose\n"
    "header is broken) are listed on stderr.\n";

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
    "usage: fumewatch-cli detect --mode N VIDEO [options]\n\n"
    "Plays VIDEO once from frame 0 (no looping, no pacing), runs detection mode N on every frame\n"
    "as the desktop does, appends the alarm intervals to the alarm log beside the video and\n"
    "prints one line per alarm interval, then a summary line \"frames=N alarms=K\". The log is\n"
    "VIDEO with its last three characters replaced by \"txt\" when it ends in \".\" and three\n"
    "characters other than \"txt\" (clip.avi -> clip.txt), else VIDEO followed by \".txt\"\n"
    "(clip.ts -> clip.ts.txt). A log that cannot be written (a read-only folder, a link, a FIFO,\n"
    "a device or a folder in the way, a full disk) ends the run with an error. A damaged frame\n"
    "shows the frame before it; their numbers are listed on stderr.\n\n"
    "options:\n"
    "  --mode N        detection mode (see 'fumewatch-cli modes')\n"
    "  --set NAME=V    set a parameter before the mode is selected (may repeat; see\n"
    "                  'fumewatch-cli modes --params'), e.g. --set threshold=12 or\n"
    "                  --set clusterSeed=7 to fix the clustering seed of mode 264\n"
    "  --frames K      process only the first K frames\n"
    "  --events FILE   also write one JSON object per alarm interval to FILE\n"
    "  --panes DIR     save the four panes as DIR/NNNNNN_tl.bmp, _tr, _bl, _br ...\n"
    "  --every K       ... after every frame whose number is a multiple of K (default 1)\n"
    "  --memory-budget SIZE  what the mode's buffers may take, e.g. 512M or 2G (default: half\n"
    "                  of the physical memory); a mode that needs more is refused\n";

}  // namespace

int RunInfo(const ArgList& args) {
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
  Args parsed(args, {"mode", "frames", "events", "panes", "every", "set", "memory-budget"},
              {"help"});
  if (const int r = Usage(kDetectHelp, args, 1, parsed); r >= 0) return r;
  int mode = 0;
  int frames = -1;
  int every = 1;
  uint64_t budget = DefaultMemoryBudget();
  if (!parsed.Has("mode")) return Fail("detect needs --mode N (see 'fumewatch-cli modes')");
  if (!parsed.IntValue("mode", 0, 1 << 30, mode) ||
      !parsed.IntValue("frames", 0, 1 << 30, frames) ||
      !parsed.IntValue("every", 1, 1 << 30, every) ||
      !parsed.MemoryValue("memory-budget", budget)) {
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
  EventsFile events;
  if (const auto path = parsed.Value("events")) {
    if (const Result opened = events.Open(*path); !opened) return Fail(opened.message());
  }

  Session session;  // no sound in batch runs
  session.SetMemoryBudget(budget);
  if (!OpenVideo(session, video)) return 1;
  // A log that cannot be written is found before the run, not after the first alarm.
  const std::string log = AlarmLogOf(session.State());
  if (const Result writable = CheckAlarmLog(log); !writable) return Fail(writable.message());
  int total = session.Reader().FrameCount();
  if (frames >= 0 && frames < total) total = frames;

  int alarms = 0;
  Result failure;  // the first interval that could not be logged or written as an event
  session.State().onAlarmInterval = [&](const AlarmInterval& interval) {
    if (!failure) return;
    if (!interval.logged) {
      failure = Result::Error(interval.problem + "; the alarm at frame # " +
                              std::to_string(interval.start) + " to " +
                              std::to_string(interval.end) + " is not logged");
      return;
    }
    ++alarms;
    std::printf("Fire alarm at frame # %d to %d. \n", interval.start, interval.end);
    std::fflush(stdout);
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
  // The mode command, as a button or a menu command would run it on the first frame.
  if (const Result fits = session.CheckMemory(info->id); !fits) return Fail(fits.message());
  if (!session.SelectMode(info->id)) return 1;  // out of memory after all: reported

  const bool progress = isatty(STDERR_FILENO) != 0;
  int processed = 0;
  // Panes are saved as they were shown, before the end-of-frame steps exchange buffers.
  Snapshot shown;
  try {
    for (int i = 0; i < total && failure; ++i) {
      const bool savePanes = !panesDir.empty() && i % every == 0;
      session.SetSnapshotTarget(savePanes ? &shown : nullptr);
      if (session.Step() != FrameRead::Read) {
        return Fail(video + ": frame " + std::to_string(i) + " cannot be read; stopping there");
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
    if (failure) CloseOpenAlarmInterval(session.State(), processed);
  } catch (const std::bad_alloc&) {
    return Fail(video + ": out of memory at frame " + std::to_string(processed));
  }
  ReportDamagedFrames(video, session.Reader().DamagedFrames());
  if (failure) failure = events.Close();
  if (!failure) return Fail(failure.message());
  std::printf("frames=%d alarms=%d\n", processed, alarms);
  return 0;
}

}  // namespace fw::cli

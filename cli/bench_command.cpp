// bench: frames per second of ProcessFrame per mode, on frames decoded before the timing.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/memory_budget.h"
#include "app/mode_table.h"
#include "app/session.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "video/avi_reader.h"
#include "video/frame_source.h"

namespace fw::cli {

namespace {

constexpr const char* kBenchHelp =
    "usage: fumewatch-cli bench [--mode N|all] [--size WxH] [--frames K] [--set NAME=V]\n"
    "                           [--wavelet-view] [VIDEO]\n"
    "       fumewatch-cli bench --live SOURCE [--mode N] [--seconds S] [--rate R]\n\n"
    "Measures ProcessFrame per detection mode on the same frames, decoded before the timing: the\n"
    "first K frames of VIDEO, or a generated scene (a textured background with a drifting grey\n"
    "plume and a flickering flame) when no video is given. Each mode runs over the frames once\n"
    "untimed (learning phases included), then once timed, on one thread. One line per mode:\n"
    "  mode=N fps=F ms=M label=\"...\"\n\n"
    "options:\n"
    "  --mode N|all    the mode to measure (default all)\n"
    "  --size WxH      size of the generated scene (default 352x288)\n"
    "  --frames K      number of frames (default 200, or the whole video when shorter)\n"
    "  --set NAME=V    set a parameter before each mode is selected, as 'detect --set' does\n"
    "                  (may repeat; a parameter a mode does not take is left out for it)\n"
    "  --wavelet-view  run \"View Wavelet and zero crossing\" beside each mode\n"
    "  --memory-budget SIZE  what the frames and the modes' buffers may take, e.g. 512M or\n"
    "                  2G (default: half of the physical memory)\n\n"
    "With --live, runs mode N (default 7010) on a live source (as 'detect --live' takes it) for S\n"
    "seconds (default 10) at its own pace, without an alarm log, and measures what the whole\n"
    "program spends: capture (reading, decoding, conversion to 352 x 288 4:2:0) and detection.\n"
    "One line:\n"
    "  source=NAME mode=N frames=F seconds=T fps=R dropped=D cpu=P% ms=M\n"
    "fps is the rate of frames that reached the pipeline, cpu the processor time as a share of\n"
    "one core, ms the processor time per frame.\n";

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

// A deterministic outdoor-like scene: grass and sky texture, a grey plume that widens and drifts
// to the right, and a flame that flickers at its foot.
Dib GeneratedFrame(int width, int height, int index) {
  Dib frame;
  frame.CreateSigned(width, height, 24, false);
  const double fx = (0.45 + 0.002 * index) * width;  // plume axis drifts right
  const double baseY = 0.2 * height;                 // memory row 0 is the bottom
  for (int y = 0; y < height; ++y) {
    uint8_t* row = frame.Row(y);
    const bool sky = y > height * 2 / 3;
    for (int x = 0; x < width; ++x) {
      const uint32_t n = Hash(static_cast<uint32_t>(x * 7919 + y * 104729)) & 31;
      double b = sky ? 200 + n : 40 + n;
      double g = sky ? 180 + n : 110 + n;
      double r = sky ? 160 + n : 60 + n;
      // Plume: translucent grey above the fire, wider as it rises.
      const double rise = (y - baseY) / height;
      if (rise > 0) {
        const double spread = 0.04 * width + rise * 0.25 * width;
        const double dx = (x - fx - rise * 0.2 * width) / spread;
        const double wobble = 0.15 * std::sin(0.21 * index + 9.0 * rise);
        const double alpha = 0.65 * std::exp(-(dx + wobble) * (dx + wobble)) * (1.0 - 0.6 * rise);
        b += alpha * (128 - b);
        g += alpha * (128 - g);
        r += alpha * (128 - r);
      }
      // Flame: orange pixels whose extent flickers from frame to frame.
      const double flick = 0.03 * width * (1.0 + 0.5 * ((Hash(index * 31 + x) & 7) / 7.0));
      if (std::fabs(y - baseY) < flick * 0.6 && std::fabs(x - fx) < flick) {
        b = 20;
        g = 120 + (Hash(index * 131 + x * 17 + y) & 63);
        r = 250;
      }
      row[3 * x] = static_cast<uint8_t>(b > 255 ? 255 : b);
      row[3 * x + 1] = static_cast<uint8_t>(g > 255 ? 255 : g);
      row[3 * x + 2] = static_cast<uint8_t>(r > 255 ? 255 : r);
    }
  }
  return frame;
}

bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  return ParseInt(text.substr(0, x), width) && ParseInt(text.substr(x + 1), height) &&
         width >= 16 && height >= 16 && width <= 8192 && height <= 8192;
}

// The frames held in memory, the session's images and the largest of the modes' buffers must fit
// the budget before anything is decoded or generated.
Result CheckBenchMemory(const std::vector<const ModeInfo*>& modes, int frameCount, int width,
                        int height, uint64_t budget) {
  const DetectionState defaults;
  uint64_t largest = 0;
  const ModeInfo* hungriest = modes.front();
  for (const ModeInfo* mode : modes) {
    const uint64_t bytes = mode->memoryEstimate(defaults, width, height);
    if (bytes > largest) {
      largest = bytes;
      hungriest = mode;
    }
  }
  const uint64_t frameBytes =
      static_cast<uint64_t>(DibStride(width, 24)) * static_cast<uint64_t>(height) + sizeof(Dib);
  const uint64_t needed =
      static_cast<uint64_t>(frameCount) * frameBytes + SessionMemory(width, height) + largest;
  if (needed <= budget) return Result::Ok();
  return Result::Error("bench needs about " + MemoryText(needed) + " for " +
                       std::to_string(frameCount) + " frames of " + std::to_string(width) + " x " +
                       std::to_string(height) + " and mode " + std::to_string(hungriest->number()) +
                       ", more than the memory budget of " + MemoryText(budget));
}

struct Measurement {
  double fps = 0;
  double ms = 0;
  bool selected = true;  // false: the mode stayed off (its file is missing; it said why)
};

struct BenchOptions {
  std::vector<std::string> assignments;
  bool waveletView = false;
};

Measurement MeasureMode(FrameList& frames, ModeId mode, const BenchOptions& options) {
  Session session;
  session.SetMemoryBudget(UINT64_MAX);  // checked for all the modes before the frames were made
  session.OpenFrames(frames);
  session.State().alarmLogEnabled = false;  // no log file beside a video that does not exist
  for (const std::string& assignment : options.assignments) session.SetParameter(mode, assignment);
  session.SelectMode(mode);
  if (mode != ModeId::None && session.State().Mode() != mode) return {0, 0, false};
  if (options.waveletView) session.ToggleWaveletView();
  const int count = frames.FrameCount();
  for (int i = 0; i < count; ++i) session.Step();  // learning phases, warm caches
  session.Seek(0);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) session.Step();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Measurement m;
  m.ms = seconds * 1000.0 / count;
  m.fps = seconds > 0 ? count / seconds : 0;
  return m;
}

}  // namespace

int RunBench(const ArgList& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kBenchHelp, stdout);
      return 0;
    }
  }
  if (WantsLive(args)) return RunLiveBench(args);
  Args parsed(args, {"mode", "size", "frames", "set", "memory-budget"}, {"help", "wavelet-view"});
  if (!parsed.ok()) return Fail(parsed.error());
  if (parsed.Positional().size() > 1) {
    std::fputs(kBenchHelp, stderr);
    return 2;
  }
  int frameCount = 200;
  uint64_t budget = DefaultMemoryBudget();
  if (!parsed.IntValue("frames", 1, 100000, frameCount) ||
      !parsed.MemoryValue("memory-budget", budget)) {
    return Fail(parsed.error());
  }
  int width = 352;
  int height = 288;
  if (const auto size = parsed.Value("size"); size && !ParseSize(*size, width, height)) {
    return Fail("--size must be WxH with each side from 16 to 8192 (got \"" + *size + "\")");
  }
  BenchOptions options;
  options.assignments = parsed.Values("set");
  options.waveletView = parsed.Has("wavelet-view");
  for (const std::string& assignment : options.assignments) {
    // A name no mode knows, or a value out of range, is an error before anything runs.
    bool known = false;
    DetectionState probe;
    for (const ModeInfo& m : Modes()) {
      const std::string_view name = std::string_view(assignment).substr(0, assignment.find('='));
      if (!FindParam(m.params, name) && !FindParam(ControlFields(), name)) continue;
      known = true;
      const std::span<const ParamField> fields =
          FindParam(ControlFields(), name) ? ControlFields() : m.params;
      if (const Result set = SetParam(fields, probe, assignment); !set) return Fail(set.message());
      break;
    }
    if (!known) return Fail("no mode takes the parameter in \"" + assignment + "\"");
  }
  std::vector<const ModeInfo*> modes;
  const std::string modeText = parsed.Value("mode").value_or("all");
  if (modeText == "all") {
    for (const ModeInfo& m : Modes()) modes.push_back(&m);
  } else {
    int number = 0;
    const ModeInfo* info = ParseInt(modeText, number) ? FindMode(number) : nullptr;
    if (!info) return Fail("unknown mode " + modeText + " (see 'fumewatch-cli modes')");
    modes.push_back(info);
  }

  std::vector<Dib> decoded;
  AviReader reader;
  Dib frame;
  if (!parsed.Positional().empty()) {
    const std::string& video = parsed.Positional()[0];
    if (const Result opened = reader.OpenInto(video, frame, OpenReport::Quiet); !opened) {
      return Fail(opened.message());
    }
    width = reader.Width();
    height = reader.Height();
    frameCount = std::min(frameCount, reader.FrameCount());
  }
  if (const Result fits = CheckBenchMemory(modes, frameCount, width, height, budget); !fits) {
    return Fail(fits.message());
  }
  if (parsed.Positional().empty()) {
    for (int i = 0; i < frameCount; ++i) decoded.push_back(GeneratedFrame(width, height, i));
  } else {
    const std::string& video = parsed.Positional()[0];
    for (int i = 0; i < frameCount; ++i) {
      if (!reader.GetFrame(i, frame))
        return Fail(video + ": frame " + std::to_string(i) + " cannot be decoded");
      decoded.emplace_back().CopyFrom(frame, false);
    }
    if (decoded.empty()) return Fail(video + ": the video has no frames");
  }
  FrameList frames(std::move(decoded));
  std::fprintf(stderr, "%d frames of %d x %d\n", frames.FrameCount(), frames.Width(),
               frames.Height());

  for (const ModeInfo* info : modes) {
    const Measurement m = MeasureMode(frames, info->id, options);
    if (!m.selected) {
      std::printf("mode=%d not measured: it stayed off label=\"%s\"\n", info->number(),
                  info->label);
      continue;
    }
    std::printf("mode=%d fps=%.1f ms=%.3f label=\"%s\"\n", info->number(), m.fps, m.ms,
                info->label);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace fw::cli

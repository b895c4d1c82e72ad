// samples fcm|voc|generate: the sample preparation tools. Sample folders default to their
// places under the samples root (lib81/smoke, lib101/smoke and lib101/non, lib302/forest);
// reports go to the current directory, as the desktop writes them into its start directory.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/learning_cli.h"
#include "learn/samples/fuzzy_cmeans.h"
#include "learn/samples/lbp_separation.h"
#include "learn/samples/sample_generator.h"
#include "video/avi_reader.h"

namespace fw::cli {

namespace {

constexpr char kSamplesUsage[] =
    "usage: fumewatch-cli samples fcm [--samples-root DIR] [--input DIR] [--output DIR] [--seed S]\n"
    "       fumewatch-cli samples voc [--samples-root DIR] [--positives DIR] [--negatives DIR]\n"
    "       fumewatch-cli samples generate --video V [--frame K] [--samples-root DIR] [--out DIR]\n"
    "           [--side S] [--step T]\n\n"
    "fcm: \"Fuzzy C-Means for smoke images\". The JPEG pictures of INPUT (default\n"
    "SAMPLES_ROOT/lib81/smoke) become points (mean, variance of the grey); two centres start at\n"
    "random places drawn from the seed (default 1) and move for 200 iterations; each picture is\n"
    "copied into OUTPUT (default SAMPLES_ROOT/lib81/smoke_classified) as A00001.jpg, ... or\n"
    "B00001.jpg, ... after its nearer centre. Report: FCM_Details.txt.\n\n"
    "voc: \"Get VOC\". The LBP-VAR vectors of the JPEG pictures of POSITIVES and NEGATIVES\n"
    "(default SAMPLES_ROOT/lib101/smoke and SAMPLES_ROOT/lib101/non): the mean distance between\n"
    "the classes and within each. Report: LBP_Feature_Performance.txt.\n\n"
    "generate: \"Generate sample images\". Squares of side S (default 96) every T pixels (default\n"
    "48) of frame K (default 0) of the video, each stretched to 48 x 48, saved as 候车_NNNNN.jpg\n"
    "into OUT (default SAMPLES_ROOT/lib302/forest); names already taken are passed over.\n\n"
    "Default samples root: samples. Reports are written in the current directory. Progress goes\n"
    "to stderr, results to stdout; Ctrl-C stops fcm and voc without a report.\n";

std::string Under(const Args& args, const char* option, const char* relative) {
  if (const auto v = args.Value(option)) return *v;
  return args.Value("samples-root").value_or("samples") + "/" + relative;
}

// Runs the work on a worker thread, as the desktop does, with Ctrl-C as its stop.
Result RunJob(const LearningJob::Work& work) {
  InterruptStops interrupt;
  LearningJob job;
  job.Start(work);
  while (job.Running()) {
    if (InterruptStops::Flag()) job.RequestStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return job.Wait();
}

void ReportUnreadable(const std::vector<std::string>& files) {
  for (const std::string& f : files) {
    std::fprintf(stderr, "fumewatch-cli: %s: cannot be read as a sample picture, counted out\n",
                 f.c_str());
  }
}

int RunFcm(const ArgList& argv) {
  Args args(argv, {"samples-root", "input", "output", "seed"}, {});
  if (!args.ok()) return Fail(args.error());
  int seed = 1;
  if (!args.IntValue("seed", 0, 0x7fffffff, seed)) return Fail(args.error());
  const FcmParams params{Under(args, "input", "lib81/smoke"),
                         Under(args, "output", "lib81/smoke_classified"), "FCM_Details.txt",
                         static_cast<uint32_t>(seed)};
  StderrProgress sink;
  FcmOutcome outcome;
  const Result r = RunJob([&](const StopFlag& stop) {
    ProgressReporter progress(&sink, std::chrono::milliseconds(2000));
    outcome = RunFuzzyCMeans(params, stop, progress);
    return outcome.result;
  });
  ReportUnreadable(outcome.unreadable);
  if (!r) return Fail(r.message());
  if (!outcome.finished) return Fail("stopped: no report was written");
  std::printf("iterations=%d error=%f\n", outcome.iterations, static_cast<double>(outcome.error));
  for (int c = 0; c < 2; ++c) {
    std::printf("class=%c mean=%.6f variance=%.6f count=%d\n", c == 0 ? 'A' : 'B',
                static_cast<double>(outcome.centres[c].mean),
                static_cast<double>(outcome.centres[c].variance), outcome.counts[c]);
  }
  std::fprintf(stderr, "fumewatch-cli: copies in %s, report written to %s\n",
               params.output.c_str(), params.report.c_str());
  return outcome.copyFailures == 0 ? 0 : Fail(std::to_string(outcome.copyFailures) +
                                               " pictures could not be copied");
}

int RunVoc(const ArgList& argv) {
  Args args(argv, {"samples-root", "positives", "negatives"}, {});
  if (!args.ok()) return Fail(args.error());
  const SeparationParams params{Under(args, "positives", "lib101/smoke"),
                                Under(args, "negatives", "lib101/non"),
                                "LBP_Feature_Performance.txt"};
  StderrProgress sink;
  SeparationOutcome outcome;
  const Result r = RunJob([&](const StopFlag& stop) {
    ProgressReporter progress(&sink, std::chrono::milliseconds(2000));
    outcome = RunGetVoc(params, stop, progress);
    return outcome.result;
  });
  ReportUnreadable(outcome.unreadable);
  if (!r) return Fail(r.message());
  if (!outcome.finished) return Fail("stopped: no report was written");
  std::printf("positives=%d negatives=%d between=%f positive_within=%f negative_within=%f\n",
              outcome.positives, outcome.negatives, outcome.distances.between,
              outcome.distances.positiveWithin, outcome.distances.negativeWithin);
  std::fprintf(stderr, "fumewatch-cli: report written to %s\n", params.report.c_str());
  return 0;
}

int RunGenerate(const ArgList& argv) {
  Args args(argv, {"samples-root", "video", "frame", "out", "side", "step"}, {});
  if (!args.ok()) return Fail(args.error());
  if (!args.Has("video")) return Fail("samples generate needs --video");
  int frameIndex = 0;
  SampleTiling tiling;
  if (!args.IntValue("frame", 0, 0x7fffffff, frameIndex) ||
      !args.IntValue("side", 1, 100000, tiling.side) ||
      !args.IntValue("step", 1, 100000, tiling.step)) {
    return Fail(args.error());
  }
  AviReader reader;
  Dib frame;
  const std::string video = *args.Value("video");
  if (const Result opened = reader.OpenInto(video, frame, OpenReport::Quiet); !opened) {
    return Fail(opened.message());
  }
  if (frameIndex >= reader.FrameCount()) {
    return Fail(video + ": has " + std::to_string(reader.FrameCount()) + " frames, no frame " +
                std::to_string(frameIndex));
  }
  if (!reader.GetFrame(frameIndex, frame)) {
    return Fail(video + ": frame " + std::to_string(frameIndex) + " cannot be decoded");
  }
  SampleGenerator generator;
  const std::string folder = Under(args, "out", "lib302/forest");
  const GeneratedSamples r = generator.Generate(frame, folder, tiling);
  if (!r.result) return Fail(r.result.message());
  std::printf("written=%d folder=%s first=%s last=%s\n", r.written, folder.c_str(),
              r.first.c_str(), r.last.c_str());
  return 0;
}

struct Tool {
  const char* name;
  int (*run)(const ArgList&);
};
constexpr Tool kTools[] = {{"fcm", RunFcm}, {"voc", RunVoc}, {"generate", RunGenerate}};

}  // namespace

int RunSamples(const ArgList& argv) {
  if (argv.empty() || WantsHelpText(argv)) {
    std::fputs(kSamplesUsage, argv.empty() ? stderr : stdout);
    return argv.empty() ? 2 : 0;
  }
  for (const Tool& t : kTools) {
    if (argv[0] == t.name) return t.run(ArgList(argv.begin() + 1, argv.end()));
  }
  return Fail("unknown sample tool \"" + argv[0] + "\" (fcm, voc or generate)");
}

}  // namespace fw::cli

// eval-samples: detection and false-alarm rates of a cascade on folders of sample pictures, with
// the ROC sweep over the stage ratio and its chart; and the EOH evaluation run of the desktop's
// "Training" command.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/learning_cli.h"
#include "cli/network_commands.h"
#include "cli/png_file.h"
#include "core/image_file.h"
#include "learn/evaluation_run.h"
#include "learn/flavour_sample.h"
#include "learn/haar/haar_detector.h"
#include "learn/roc_chart.h"

namespace fw::cli {

namespace {

constexpr char kEvalUsage[] =
    "usage: fumewatch-cli eval-samples --classifier FILE [--flavour F] --positives DIR\n"
    "           --negatives DIR [--roc] [--plot FILE.png]\n"
    "       fumewatch-cli eval-samples --eoh-run [--samples-root DIR] [--classifier FILE]\n"
    "           [--positives DIR --negatives DIR]\n\n"
    "Classifies every picture (JPEG, PNG, BMP) of both folders with the cascade, each brought to\n"
    "the flavour's window with its run's crop, at the stage thresholds its detection mode uses,\n"
    "and prints\n"
    "  positives=P negatives=N detection_rate=D false_alarm_rate=F\n"
    "With --roc, one such line per common stage ratio 1.00, 0.99, ... 0.00, each starting with\n"
    "ratio=R. --plot draws the ROC curve (the mode's ratio marked) into a PNG picture.\n"
    "Pictures that cannot be read are named on stderr and counted out.\n\n"
    "--eoh-run is the desktop's \"Training\" command: the EOH cascade (default the shipped\n"
    "EOH_RealAdaboost.kdz) over the JPEG pictures of SAMPLES_ROOT/Mysmoke/white and\n"
    "SAMPLES_ROOT/lib302/forest (default samples root: samples), crop type 8, the default\n"
    "split of 200 weak records, every ratio; the report EOH_Hist_ROC.txt is written in the\n"
    "current directory.\n\n"
    "The Haar detector's file (--flavour haar, or a file named Adaboost.kdz) is decided as its\n"
    "modes decide it, every stage at 0.6, once with the lower field read as a threshold\n"
    "(\"Detecting\") and once as a polarity (\"Adaboost+Motion\"): one line for each, starting\n"
    "with reading=threshold or reading=polarity (no --roc).\n\n"
    "  --flavour F   byte, float, blbp, pltp, eoh or haar (default: from the file name); nn for a\n"
    "                network file (default for a name ending in NeuralNet.kdz), which classifies\n"
    "                each picture's LBP-VAR vector: smoke when the class is 0\n";

void ReportUnreadable(const std::vector<std::string>& files) {
  for (const std::string& f : files) {
    std::fprintf(stderr, "fumewatch-cli: %s: cannot be read as a sample picture, counted out\n",
                 f.c_str());
  }
  if (!files.empty()) std::fprintf(stderr, "fumewatch-cli: unreadable=%zu\n", files.size());
}

void PrintRates(const RocPoint& p, int positives, int negatives, bool withRatio) {
  if (withRatio) std::printf("ratio=%.2f ", static_cast<double>(p.ratio));
  std::printf("positives=%d negatives=%d detection_rate=%.6f false_alarm_rate=%.6f\n", positives,
              negatives, positives > 0 ? static_cast<double>(p.detected) / positives : 0.0,
              negatives > 0 ? static_cast<double>(p.falseAlarms) / negatives : 0.0);
}

int RunEohEvaluationCommand(const Args& args) {
  EohEvaluationParams params = DefaultEohEvaluation(args.Value("samples-root").value_or("samples"));
  if (const auto c = args.Value("classifier")) params.classifier = *c;
  if (args.Has("positives") != args.Has("negatives")) {
    return Fail("--positives and --negatives go together");
  }
  if (args.Has("positives")) params.folders = {*args.Value("positives"), *args.Value("negatives")};
  InterruptStops interrupt;
  StderrProgress progress;
  EohEvaluationOutcome outcome;
  LearningJob job;
  job.Start([&](const StopFlag& stop) {
    outcome = RunEohEvaluation(params, stop, &progress);
    return outcome.result;
  });
  while (job.Running()) {
    if (InterruptStops::Flag()) job.RequestStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const Result r = job.Wait();
  ReportUnreadable(outcome.unreadable);
  if (!r) return Fail(r.message());
  for (const RocPoint& p : outcome.points)
    PrintRates(p, outcome.positives, outcome.negatives, true);
  if (!outcome.finished) return Fail("stopped: " + params.report + " holds the ratios so far");
  std::fprintf(stderr, "fumewatch-cli: report written to %s\n", params.report.c_str());
  return 0;
}

bool IsHaarFile(const Args& args, const std::string& file) {
  if (const auto f = args.Value("flavour")) return *f == "haar";
  const size_t slash = file.find_last_of('/');
  return file.substr(slash == std::string::npos ? 0 : slash + 1) == kHaarFile;
}

// Rates of the Haar detector's file on the two folders, in both readings of its records.
int RunHaarEvaluation(const Args& args, const std::string& file) {
  if (args.Has("roc") || args.Has("plot")) {
    return Fail("the Haar detector decides every stage at 0.6: --roc and --plot do not apply");
  }
  HaarModel model;
  if (Result r = LoadHaarFile(file, model); !r) return Fail(r.message());
  std::unique_ptr<FlavourSample> sample = FlavourSample::Create(Flavour::Float);
  constexpr HaarReading kReadings[] = {HaarReading::Interval, HaarReading::Polarity};
  HaarDetector detectors[2];
  bool ready = false;
  int counts[2] = {0, 0};                 // readable pictures per folder
  int accepted[2][2] = {{0, 0}, {0, 0}};  // [reading][folder]
  std::vector<std::string> unreadable;
  InterruptStops interrupt;
  Dib picture;
  for (int folder = 0; folder < 2; ++folder) {
    const std::string dir = *args.Value(folder == 0 ? "positives" : "negatives");
    std::vector<std::string> files;
    if (Result r = ListPictures(dir, true, files); !r) return Fail(r.message());
    for (const std::string& f : files) {
      if (InterruptStops::Flag()) return Fail("stopped");
      if (!LoadImageFile(picture, f) || !sample->PrepareCrop(picture, 1)) {
        unreadable.push_back(f);
        continue;
      }
      if (!ready) {
        for (int k = 0; k < 2; ++k) detectors[k].SetUp(sample->Window(), model, kReadings[k]);
        ready = true;
      }
      ++counts[folder];
      for (int k = 0; k < 2; ++k) {
        detectors[k].BuildPlanes(sample->Window());
        accepted[k][folder] += detectors[k].Accepts(0, 0, 0) ? 1 : 0;
      }
    }
  }
  ReportUnreadable(unreadable);
  if (counts[0] == 0 || counts[1] == 0) {
    return Fail("no readable pictures in " +
                *args.Value(counts[0] == 0 ? "positives" : "negatives"));
  }
  for (int k = 0; k < 2; ++k) {
    std::printf("reading=%s positives=%d negatives=%d detection_rate=%.6f false_alarm_rate=%.6f\n",
                k == 0 ? "threshold" : "polarity", counts[0], counts[1],
                static_cast<double>(accepted[k][0]) / counts[0],
                static_cast<double>(accepted[k][1]) / counts[1]);
  }
  return 0;
}

}  // namespace

int RunEvalSamples(const ArgList& argv) {
  if (WantsHelpText(argv)) {
    std::fputs(kEvalUsage, stdout);
    return 0;
  }
  Args args(argv, {"classifier", "flavour", "positives", "negatives", "plot", "samples-root"},
            {"roc", "eoh-run"});
  if (!args.ok()) return Fail(args.error());
  if (!args.Positional().empty())
    return Fail("unexpected argument \"" + args.Positional()[0] + "\"");
  if (args.Has("eoh-run")) return RunEohEvaluationCommand(args);
  for (const char* required : {"classifier", "positives", "negatives"}) {
    if (!args.Has(required)) return Fail(std::string("eval-samples needs --") + required);
  }
  const std::string file = *args.Value("classifier");
  if (NamesNetwork(args, file)) return RunNetworkEvaluation(args);
  if (IsHaarFile(args, file)) return RunHaarEvaluation(args, file);
  std::string error;
  const std::optional<Flavour> flavour = FlavourOption(args, file, error);
  if (!flavour) return Fail(error);
  ClassifierSet model;
  if (Result r = model.Load(*flavour, file); !r) return Fail(r.message());
  model.UseModeRatio();
  const bool roc = args.Has("roc");
  const auto plot = args.Value("plot");

  InterruptStops interrupt;
  StderrProgress sink;
  SampleSet set;
  LoadedSamples loaded;
  std::vector<RocPoint> points;
  RocPoint atMode;
  LearningJob job;
  job.Start([&](const StopFlag& stop) {
    ProgressReporter progress(&sink, std::chrono::milliseconds(2000));
    loaded = LoadSampleFolders({*args.Value("positives"), *args.Value("negatives")}, true,
                               InfoOf(*flavour).cropType, model, set, stop, progress);
    if (!loaded.result || !loaded.finished) return loaded.result;
    atMode = EvaluateAtModeThresholds(set, model);
    if (roc || plot) points = SweepRatios(set, model, stop, progress);
    return Result::Ok();
  });
  while (job.Running()) {
    if (InterruptStops::Flag()) job.RequestStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (Result r = job.Wait(); !r) return Fail(r.message());
  if (InterruptStops::Flag()) return Fail("stopped");
  ReportUnreadable(loaded.unreadable);
  if (set.Positives() == 0 || set.Negatives() == 0) {
    return Fail(std::string("no readable pictures in ") +
                (set.Positives() == 0 ? *args.Value("positives") : *args.Value("negatives")));
  }
  if (roc) {
    for (const RocPoint& p : points) PrintRates(p, set.Positives(), set.Negatives(), true);
  } else {
    PrintRates(atMode, set.Positives(), set.Negatives(), false);
  }
  if (plot) {
    Dib chart;
    DrawRocChart(points, set.Positives(), set.Negatives(), InfoOf(*flavour).modeRatio, 480, 400,
                 chart);
    if (Result r = SavePng(chart, *plot); !r) return Fail(r.message());
  }
  return 0;
}

}  // namespace fw::cli

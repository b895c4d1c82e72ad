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
#include "learn/evaluation_run.h"
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
    "  --flavour F   byte, float, blbp, pltp or eoh (default: from the file name); nn for a\n"
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

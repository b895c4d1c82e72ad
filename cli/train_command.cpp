// train: builds a cascade from folders of sample pictures and writes its classifier file.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/learning_cli.h"
#include "core/image_file.h"
#include "cli/network_commands.h"
#include "learn/cascade_trainer.h"
#include "learn/evaluation_run.h"
#include "learn/haar/haar_training.h"
#include "video/avi_reader.h"

namespace fw::cli {

namespace {

constexpr char kTrainUsage[] =
    "usage: fumewatch-cli train --flavour F --positives DIR --negatives DIR --out FILE\n"
    "           [--stages N] [--hit-rate H] [--false-alarm F] [--seed S]\n"
    "           [--mine-video VIDEO] [--mine-frames K] [--threads T]\n"
    "       fumewatch-cli train --flavour nn --positives DIR --negatives DIR --out FILE\n"
    "           [--hidden H] [--epochs E] [--rate R] [--seed S] [--threads T]\n\n"
    "Trains a boosted cascade stage by stage from the pictures (JPEG, PNG, BMP) of a folder of\n"
    "positives (smoke) and a folder of negatives, and writes it as a classifier file that the\n"
    "detection modes load. Each stage aims to keep at least H of the positives that reach it\n"
    "and to pass at most F of its negatives; the negatives of later stages are windows of the\n"
    "negative pictures and of frames of the mining video that the stages so far accept.\n"
    "The same seed gives the same file. Progress goes to stderr; the recipe (counts and the\n"
    "rates reached per stage) to stdout. Ctrl-C stops the run without writing a file.\n\n"
    "  --flavour F        byte, float, blbp, pltp, eoh, haar (the Haar detector's\n"
    "                     Adaboost.kdz: stages passed at 0.6, one stage size in the file), or nn\n"
    "                     for the network\n"
    "  --stages N         stages (default 8; eoh 10, at least 10)\n"
    "  --hit-rate H       per stage, 0.5..1 (default 0.995)\n"
    "  --false-alarm F    per stage, 0..1 (default 0.5)\n"
    "  --seed S           mining seed (default 1)\n"
    "  --mine-video V     a video without smoke to mine negative windows from\n"
    "  --mine-frames K    frames taken evenly from it (default 60)\n"
    "  --threads T        worker threads, 1..2 (default 2)\n\n"
    "--flavour nn trains the three-layer network of the texture windows: every picture is\n"
    "stretched whole to 48 x 48 and gives its LBP-VAR vector (211 inputs); positives are\n"
    "class 0, negatives class 1; back-propagation over every sample per epoch, in an order\n"
    "shuffled by the seed. The recipe lists each epoch's mean error and rates.\n"
    "  --hidden H         hidden units, 1..1024 (default 32)\n"
    "  --epochs E         passes over the samples (default 60)\n"
    "  --rate R           learning rate (default 0.2)\n";

using Runner = int (*)(const std::string& flavour, const Args& args, TrainerOptions& options);

void PrintSummary(const std::string& name, const TrainerOptions& options,
                  const TrainingOutcome& result) {
  std::printf(
      "flavour=%s seed=%llu stages=%zu weak=%zu positives=%d negatives=%d "
      "mining_frames=%zu hit_rate=%g false_alarm=%g seconds=%.1f\n",
      name.c_str(), static_cast<unsigned long long>(options.seed), result.cascade.sizes.size(),
      result.cascade.weak.size(), result.positives, result.negatives, options.miningFrames.size(),
      options.hitRate, options.falseAlarm, result.seconds);
  for (size_t s = 0; s < result.stages.size(); ++s) {
    const StageSummary& st = result.stages[s];
    std::printf(
        "stage=%zu weak=%d positives=%d negatives=%d hit_rate=%.6f false_alarm=%.6f "
        "theta=%.6f bias=%.6f effective_ratio=%.6f mined_acceptance=%.6f\n",
        s + 1, st.weak, st.positives, st.negatives, st.hitRate, st.falseAlarm,
        static_cast<double>(st.theta), static_cast<double>(st.bias),
        static_cast<double>(st.effective), st.minedAcceptance);
  }
}

// Trains one of the five cascade flavours, writes its file and checks that the file, loaded as
// its mode loads it, accepts exactly the positives that the trained cascade accepted.
// The recipe's summary and last line: the rate on the training positives and whether the written
// file decided every one as the trained cascade did (`against` says what else was compared).
int ReportRoundTrip(const std::string& name, const TrainerOptions& options,
                    const TrainingOutcome& result, const std::string& out, int accepted, int index,
                    int differences, const char* against) {
  PrintSummary(name, options, result);
  std::printf("training_detection_rate=%.6f round_trip=%s\n",
              index > 0 ? static_cast<double>(accepted) / index : 0.0,
              differences == 0 ? "identical" : "DIFFERENT");
  if (differences != 0) {
    return Fail(out + ": the file decides " + std::to_string(differences) +
                " positives differently from " + against);
  }
  return 0;
}

int RunCascade(const std::string& name, const Args& args, TrainerOptions& options) {
  const Flavour flavour = *FlavourByName(name);
  const std::unique_ptr<TrainingFamily> family = CascadeTrainingFamily(flavour);
  const std::string out = *args.Value("out");
  InterruptStops interrupt;
  const TrainingOutcome result = TrainCascade(
      *family, options, InterruptStops::Flag(),
      [](const std::string& line) { std::fprintf(stderr, "train: %s\n", line.c_str()); });
  if (!result.result) return Fail(result.result.message());
  if (!result.finished) return Fail("stopped: no classifier file was written");
  if (Result r = family->Write(result.cascade, out); !r) return Fail(r.message());

  ClassifierSet model;
  if (Result r = model.Load(flavour, out); !r) return Fail(r.message());
  model.UseModeRatio();
  std::unique_ptr<FlavourSample> sample = FlavourSample::Create(flavour);
  sample->SetCascade(model);
  std::vector<std::string> files;
  if (Result r = ListPictures(options.positives, true, files); !r) return Fail(r.message());
  int index = 0, differences = 0, accepted = 0;
  Dib picture;
  for (const std::string& file : files) {
    if (!LoadImageFile(picture, file)) continue;
    const bool yes = sample->PrepareCrop(picture, family->CropType()) && sample->Decide().accepted;
    if (index < static_cast<int>(result.positiveAccepted.size()) &&
        yes != (result.positiveAccepted[index] == 1)) {
      ++differences;
    }
    accepted += yes ? 1 : 0;
    ++index;
  }
  return ReportRoundTrip(name, options, result, out, accepted, index, differences,
                         "the trained cascade");
}

// Trains the Haar detector's file and checks that the file, loaded as both modes load it (the
// lower field as a float threshold and as a polarity), accepts exactly the positives that the
// trained cascade accepted.
int RunHaar(const std::string& name, const Args& args, TrainerOptions& options) {
  const std::unique_ptr<TrainingFamily> family = HaarTrainingFamily();
  const std::string out = *args.Value("out");
  InterruptStops interrupt;
  const TrainingOutcome result = TrainCascade(
      *family, options, InterruptStops::Flag(),
      [](const std::string& line) { std::fprintf(stderr, "train: %s\n", line.c_str()); });
  if (!result.result) return Fail(result.result.message());
  if (!result.finished) return Fail("stopped: no detector file was written");
  if (Result r = family->Write(result.cascade, out); !r) return Fail(r.message());

  HaarModel model;
  if (Result r = LoadHaarFile(out, model); !r) return Fail(r.message());
  std::unique_ptr<FlavourSample> sample = family->NewSample();
  std::vector<std::string> files;
  if (Result r = ListPictures(options.positives, true, files); !r) return Fail(r.message());
  HaarDetector readings[2];
  int index = 0, differences = 0, accepted = 0;
  bool ready = false;
  Dib picture;
  for (const std::string& file : files) {
    if (!LoadImageFile(picture, file)) continue;
    bool yes[2] = {false, false};
    if (sample->PrepareCrop(picture, family->CropType())) {
      if (!ready) {
        readings[0].SetUp(sample->Window(), model, HaarReading::Interval);
        readings[1].SetUp(sample->Window(), model, HaarReading::Polarity);
        ready = true;
      }
      for (int k = 0; k < 2; ++k) {
        readings[k].BuildPlanes(sample->Window());
        yes[k] = readings[k].Accepts(0, 0, 0);
      }
    }
    if (yes[0] != yes[1] || (index < static_cast<int>(result.positiveAccepted.size()) &&
                             yes[0] != (result.positiveAccepted[index] == 1))) {
      ++differences;
    }
    accepted += yes[0] ? 1 : 0;
    ++index;
  }
  return ReportRoundTrip(name, options, result, out, accepted, index, differences,
                         "the trained cascade or between its two readings");
}

struct Trainer {
  const char* name;
  Runner run;
};
constexpr Trainer kTrainers[] = {
    {"byte", RunCascade}, {"float", RunCascade}, {"blbp", RunCascade},
    {"pltp", RunCascade}, {"eoh", RunCascade},   {"haar", RunHaar},
};

// Frames taken evenly from a video, decoded once.
bool LoadMiningFrames(const std::string& path, int count, std::vector<Dib>& frames) {
  AviReader reader;
  Dib frame;
  if (const Result opened = reader.OpenInto(path, frame, OpenReport::Quiet); !opened) {
    Fail(opened.message());
    return false;
  }
  const int total = reader.FrameCount();
  count = std::min(count, total);
  for (int k = 0; k < count; ++k) {
    const int index = static_cast<int>(static_cast<long long>(k) * total / count);
    if (!reader.GetFrame(index, frame)) {
      Fail(path + ": frame " + std::to_string(index) + " cannot be decoded");
      return false;
    }
    frames.emplace_back().CopyFrom(frame, false);
  }
  return true;
}

}  // namespace

int RunTrain(const ArgList& argv) {
  if (WantsHelpText(argv)) {
    std::fputs(kTrainUsage, stdout);
    return 0;
  }
  Args args(argv,
            {"flavour", "positives", "negatives", "out", "stages", "hit-rate", "false-alarm",
             "seed", "mine-video", "mine-frames", "threads", "hidden", "epochs", "rate"},
            {});
  if (!args.ok()) return Fail(args.error());
  if (!args.Positional().empty())
    return Fail("unexpected argument \"" + args.Positional()[0] + "\"");
  for (const char* required : {"flavour", "positives", "negatives", "out"}) {
    if (!args.Has(required)) return Fail(std::string("train needs --") + required);
  }
  const std::string flavour = *args.Value("flavour");
  if (flavour == "nn") return RunNetworkTraining(args);
  for (const char* networkOnly : {"hidden", "epochs", "rate"}) {
    if (args.Has(networkOnly)) return Fail(std::string("--") + networkOnly + " is for --flavour nn");
  }
  const Trainer* trainer = nullptr;
  for (const Trainer& t : kTrainers) {
    if (flavour == t.name) trainer = &t;
  }
  if (!trainer)
    return Fail("unknown flavour \"" + flavour + "\" (byte, float, blbp, pltp, eoh, haar or nn)");
  TrainerOptions options;
  options.positives = *args.Value("positives");
  options.negatives = *args.Value("negatives");
  int frames = 60;
  std::string error;
  if (!args.IntValue("stages", 1, 20, options.stages) ||
      !args.IntValue("threads", 1, 2, options.threads) ||
      !args.IntValue("mine-frames", 1, 10000, frames)) {
    return Fail(args.error());
  }
  if (!DoubleOption(args, "hit-rate", 0.5, 1.0, options.hitRate, error) ||
      !DoubleOption(args, "false-alarm", 0.0, 1.0, options.falseAlarm, error)) {
    return Fail(error);
  }
  if (const auto seed = args.Value("seed")) {
    const auto [ptr, ec] = std::from_chars(seed->data(), seed->data() + seed->size(), options.seed);
    if (ec != std::errc() || ptr != seed->data() + seed->size() || seed->empty()) {
      return Fail("--seed must be a whole number from 0 (got \"" + *seed + "\")");
    }
  }
  if (const auto video = args.Value("mine-video")) {
    if (!LoadMiningFrames(*video, frames, options.miningFrames)) return 1;
  }
  return trainer->run(flavour, args, options);
}

}  // namespace fw::cli

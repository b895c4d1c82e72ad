// online-learn: the desktop's "Online Adaboost learning" on one frame of a video, without a
// window: the Float cascade re-learned on smoke pictures and the frame's windows, written as a
// classifier file, then loaded as detection loads it and tried on the frame.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/learning_cli.h"
#include "core/data_files.h"
#include "learn/online/online_learning.h"
#include "video/avi_reader.h"

namespace fw::cli {

namespace {

constexpr char kOnlineLearnUsage[] =
    "usage: fumewatch-cli online-learn --video V [--frame K] (--positives DIR | --samples-root "
    "DIR)\n"
    "           [--out FILE] [--classifier FILE]\n\n"
    "Learns the Float cascade anew for the scene of a video, as the desktop's \"Online Adaboost\n"
    "learning\" does: the positives are the JPEG pictures of the folder, each whole and\n"
    "mirrored; the negatives are every window of frame K (taken to show no smoke), 48 and 24\n"
    "pixels a side, a quarter side apart; AdaBoost re-selects half of the cascade's weak\n"
    "classifiers on them. The result is written to FILE, loaded at the stage ratio 0.58 and\n"
    "tried on frame K. The report DetailedFeatures.txt and the loaded cascade's statistics go\n"
    "to the current directory. Progress goes to stderr; Ctrl-C stops without writing a file.\n"
    "Prints\n"
    "  positives=P negatives=N selected=S out=FILE accepted_windows=A neural_net=...\n\n"
    "  --video V          the video (frame K is the scene without smoke)\n"
    "  --frame K          frame number, from 0 (default 0)\n"
    "  --positives DIR    folder of JPEG smoke pictures\n"
    "  --samples-root DIR the samples root: the positives are DIR/lib100/smoke\n"
    "  --out FILE         default OL_Float_RealAdaboost.kdz in the current directory\n"
    "  --classifier FILE  the cascade to re-learn (default the shipped Float_RealAdaboost.kdz)\n";

}  // namespace

int RunOnlineLearn(const ArgList& argv) {
  if (WantsHelpText(argv)) {
    std::fputs(kOnlineLearnUsage, stdout);
    return 0;
  }
  Args args(argv, {"video", "frame", "positives", "samples-root", "out", "classifier"}, {});
  if (!args.ok()) return Fail(args.error());
  if (!args.Positional().empty())
    return Fail("unexpected argument \"" + args.Positional()[0] + "\"");
  if (!args.Has("video")) return Fail("online-learn needs --video");
  if (args.Has("positives") == args.Has("samples-root")) {
    return Fail("online-learn needs one of --positives and --samples-root");
  }
  int index = 0;
  if (!args.IntValue("frame", 0, 100000000, index)) return Fail(args.error());
  OnlineLearningParams params = DefaultOnlineLearning(args.Value("samples-root").value_or(""));
  if (const auto p = args.Value("positives")) params.positives = *p;
  if (const auto o = args.Value("out")) params.output = *o;
  if (const auto c = args.Value("classifier")) params.selection.candidates = *c;

  const std::string video = *args.Value("video");
  AviReader reader;
  Dib frame;
  if (const Result opened = reader.OpenInto(video, frame, OpenReport::Quiet); !opened) {
    return Fail(opened.message());
  }
  if (index >= reader.FrameCount()) {
    return Fail(video + ": has " + std::to_string(reader.FrameCount()) + " frames, no frame " +
                std::to_string(index));
  }
  if (!reader.GetFrame(index, frame)) {
    return Fail(video + ": frame " + std::to_string(index) + " cannot be decoded");
  }

  InterruptStops interrupt;
  StderrProgress progress;
  OnlineLearningCommand command;
  command.Start(frame, params, &progress);
  while (command.Running()) {
    if (InterruptStops::Flag()) command.RequestStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const OnlineLearningOutcome outcome = command.Wait();
  for (const std::string& f : outcome.unreadable) {
    std::fprintf(stderr, "fumewatch-cli: %s: cannot be read as a sample picture, left out\n",
                 f.c_str());
  }
  if (!outcome.result) return Fail(outcome.result.message());
  if (!outcome.finished) return Fail("stopped: no classifier file was written");

  OnlineClassifier learned;
  if (Result r = LoadOnlineClassifier(params.output, frame, learned); !r) return Fail(r.message());
  const int accepted = learned.CountAcceptedWindows(frame);
  std::printf("positives=%d negatives=%d selected=%d out=%s accepted_windows=%d neural_net=%s\n",
              outcome.positives, outcome.negatives, outcome.selected, params.output.c_str(),
              accepted, learned.neuralNet ? "loaded" : "missing");
  if (!learned.neuralNet) {
    std::fprintf(stderr, "fumewatch-cli: %s (detection goes on without it)\n",
                 learned.neuralNet.message().c_str());
  }
  return 0;
}

}  // namespace fw::cli

#include "learn/online/online_learning.h"

#include <filesystem>
#include <system_error>

#include "core/data_files.h"
#include "core/image_file.h"
#include "core/input_file.h"
#include "core/resample.h"
#include "learn/evaluation_run.h"
#include "learn/sample_set.h"

namespace fw {

namespace {

constexpr int kNegativeSides[] = {48, 24};

std::string Below(const std::string& root, const char* relative) {
  std::string dir = root.empty() ? std::string(".") : root;
  if (dir.back() != '/') dir += '/';
  return dir + relative;
}

}  // namespace

OnlineLearningParams DefaultOnlineLearning(const std::string& samplesRoot) {
  return {Below(samplesRoot, kOnlinePositiveFolder), Below(samplesRoot, kOnlineNegativeFolder),
          DefaultSelectionFiles(), StartDirectory() + kOnlineClassifierFile};
}

int CountNegativeWindows(int width, int height) {
  int n = 0;
  for (const int s : kNegativeSides) {
    const int step = s / 4;
    if (width < s || height < s) continue;
    n += ((width - s) / step + 1) * ((height - s) / step + 1);
  }
  return n;
}

OnlineLearningOutcome RunOnlineLearning(const Dib& frame, const OnlineLearningParams& params,
                                        const StopFlag& stop, ProgressSink* sink) {
  OnlineLearningOutcome out;
  ProgressReporter progress(sink);
  struct HideAtEnd {
    ProgressReporter& progress;
    ~HideAtEnd() { progress.Hide(); }
  } hide{progress};
  if (frame.GetBitCount() != 24) {
    out.result = Result::Error("online learning needs a colour frame: open a video first");
    return out;
  }
  std::vector<std::string> files;
  if (Result r = ListPictures(params.positives, false, files); !r) {
    out.result = r;
    return out;
  }
  if (files.empty()) {
    out.result = Result::Error(params.positives + ": no JPEG pictures for the positives");
    return out;
  }
  const int negatives = CountNegativeWindows(frame.Width(), frame.Height());
  if (negatives == 0) {
    out.result = Result::Error("the frame (" + std::to_string(frame.Width()) + " x " +
                               std::to_string(frame.Height()) +
                               ") holds no 24 x 24 window for the negatives");
    return out;
  }
  const int positives = 2 * static_cast<int>(files.size());
  SampleSet set;
  set.Prepare(positives, negatives);
  set.UseCentredPool();
  set.positiveFolder = params.positives;
  set.negativeFolder = params.negativeName;

  ProgressState& shown = progress.State();
  shown.status = "正在装载正负样本，请稍候...";
  shown.secondMaximum = positives + negatives;
  int added = 0;
  auto report = [&] {
    if (!progress.Due()) return;
    shown.status = "装载第" + std::to_string(added) + "个样本图像...";
    shown.secondPosition = added;
    progress.Publish(true);
  };
  // Every positive whole and mirrored (crop types 1 and 7), label 1.
  int next = 0;
  Dib picture;
  for (const std::string& file : files) {
    if (stop) return out;
    if (!LoadImageFile(picture, file) || !set.Add(picture, 1, 1, next) ||
        !set.Add(picture, 7, 1, next + 1)) {
      out.unreadable.push_back(file);
      continue;
    }
    next += 2;
    added += 2;
    report();
  }
  if (next == 0) {
    out.result = Result::Error(params.positives + ": none of its JPEG pictures can be read");
    return out;
  }
  // Every window of the frame, label 0.
  Dib window;
  int k = 0;
  for (const int s : kNegativeSides) {
    const int step = s / 4;
    for (int y = 0; y + s <= frame.Height(); y += step) {
      for (int x = 0; x + s <= frame.Width(); x += step) {
        if (stop) return out;
        Crop(frame, window, x, y, x + s, y + s);
        if (Result r = set.Add(window, 1, 0, positives + k); !r) {
          out.result = r;
          return out;
        }
        ++k;
        ++added;
        report();
      }
    }
  }
  if (next < positives) set.Shrink(next, negatives);
  out.positives = set.Positives();
  out.negatives = set.Negatives();

  ClassifierSet model;
  model.flavour = Flavour::Float;
  const SelectionOutcome selection =
      SelectWeakClassifiers(set, model, 0, params.selection, stop, progress);
  if (!selection.result) {
    out.result = selection.result;
    return out;
  }
  out.selected = selection.selected;
  if (!selection.finished) return out;
  out.result = model.Save(params.output);
  out.finished = out.result.ok();
  return out;
}

bool OnlineLearningCommand::Start(const Dib& frame, OnlineLearningParams params,
                                  ProgressSink* sink) {
  if (job_.Running()) return false;
  frame_.CopyFrom(frame, false);
  params_ = std::move(params);
  outcome_ = {};
  return job_.Start([this, sink](const StopFlag& stop) {
    outcome_ = RunOnlineLearning(frame_, params_, stop, sink);
    return outcome_.result;
  });
}

OnlineLearningOutcome OnlineLearningCommand::Wait() {
  (void)job_.Wait();  // the outcome carries the run's result
  return outcome_;
}

Result CheckNeuralNetFile(const std::string& path) {
  if (Result r = CheckInputFile(path); !r) return r.In(path);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return Result::Error(path + ": " + ec.message());
  if (size < 12) return Result::Error(path + ": too short for a network file");
  return Result::Ok();
}

Result LoadOnlineClassifier(const std::string& path, const Dib& frame, OnlineClassifier& out) {
  if (frame.GetBitCount() != 24) return Result::Error("the learned cascade needs a colour frame");
  OnlineClassifier loaded;
  if (Result r = loaded.model.Load(Flavour::Float, path, LoadReports::Write); !r) return r;
  loaded.model.SetStageRatio(kOnlineStageRatio * 100.0f);
  loaded.width = frame.Width();
  loaded.height = frame.Height();
  loaded.cascade.Compile(loaded.model, {kWindowBase, loaded.width});
  BuildWindowPlanes(frame, loaded.planes);
  loaded.neuralNet = CheckNeuralNetFile(FindDataFile(kNeuralNetFile));
  out = std::move(loaded);
  return Result::Ok();
}

int OnlineClassifier::CountAcceptedWindows(const Dib& frame) {
  if (frame.GetBitCount() != 24 || frame.Width() != width || frame.Height() != height) return 0;
  BuildWindowPlanes(frame, planes);
  int accepted = 0;
  constexpr int kStep = kWindowBase / 4;
  for (int y = 0; y + kWindowBase <= height; y += kStep) {
    for (int x = 0; x + kWindowBase <= width; x += kStep) {
      const size_t origin = static_cast<size_t>(y) * width + x;
      accepted += cascade.Decide(planes, origin).accepted ? 1 : 0;
    }
  }
  return accepted;
}

}  // namespace fw

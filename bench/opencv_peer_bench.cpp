// Peer comparison: OpenCV's MOG2 and KNN background subtractors against our background-model
// modes on the same decoded frames, one thread each. Each subject sees the frames once untimed
// (learning) and once timed. Built only with -DFW_OPENCV_BENCH=ON; never linked into the product.
#include <opencv2/core.hpp>
#include <opencv2/video/background_segm.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/session.h"
#include "video/avi_reader.h"
#include "video/frame_source.h"

namespace {

double TimedFps(int frames, const std::function<void(int)>& step) {
  for (int i = 0; i < frames; ++i) step(i);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) step(i);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return frames / s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string video =
      argc > 1 ? argv[1] : std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";
  fw::AviReader reader;
  fw::Dib frame;
  if (const fw::Result opened = reader.OpenInto(video, frame, fw::OpenReport::Quiet); !opened) {
    std::fprintf(stderr, "%s\n", opened.message().c_str());
    return 1;
  }
  std::vector<fw::Dib> decoded;
  std::vector<cv::Mat> mats;
  for (int i = 0; i < reader.FrameCount() && reader.GetFrame(i, frame); ++i) {
    decoded.emplace_back().CopyFrom(frame, false);
    cv::Mat m(frame.Height(), frame.Width(), CV_8UC3);
    for (int y = 0; y < frame.Height(); ++y) {
      std::memcpy(m.ptr(y), frame.Row(y), static_cast<size_t>(frame.Width()) * 3);
    }
    mats.push_back(m);
  }
  const int n = static_cast<int>(decoded.size());
  fw::FrameList frames(std::move(decoded));
  cv::setNumThreads(1);
  std::printf("%d frames of %d x %d from %s, one thread\n", n, frames.Width(), frames.Height(),
              video.c_str());

  cv::Mat mask;
  auto mog2 = cv::createBackgroundSubtractorMOG2();
  const double mog2Fps = TimedFps(n, [&](int i) { mog2->apply(mats[i], mask); });
  auto knn = cv::createBackgroundSubtractorKNN();
  const double knnFps = TimedFps(n, [&](int i) { knn->apply(mats[i], mask); });
  std::printf("opencv MOG2  fps=%.1f\nopencv KNN   fps=%.1f\n", mog2Fps, knnFps);

  for (const int mode : {257, 258, 264}) {
    fw::Session session;
    session.OpenFrames(frames);
    session.State().alarmLogEnabled = false;
    session.SelectMode(static_cast<fw::ModeId>(mode));
    const double fps = TimedFps(n, [&](int i) {
      if (i == 0) session.Seek(0);
      session.Step();
    });
    std::printf("mode %-4d    fps=%.1f  (x%.2f of MOG2, x%.2f of KNN)\n", mode, fps, fps / mog2Fps,
                fps / knnFps);
  }
  return 0;
}

#include "learn/samples/fuzzy_cmeans.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "core/image_file.h"
#include "core/ui_sink.h"
#include "learn/classifier_set.h"
#include "learn/evaluation_run.h"

namespace fw {

namespace {

float SquaredDistance(const FcmPoint& a, const FcmPoint& b) {
  const float dm = a.mean - b.mean, dv = a.variance - b.variance;
  return dm * dm + dv * dv;
}

template <typename... T>
std::string Format(const char* format, T... values) {
  char text[512];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

}  // namespace

FcmPoint GreyMeanVariance(const Dib& picture) {
  const int depth = picture.GetBitCount();
  const int w = picture.Width(), h = picture.Height();
  if ((depth != 8 && depth != 24) || w == 0 || h == 0) return {};
  double sum = 0.0, squares = 0.0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = picture.Row(y);
    for (int x = 0; x < w; ++x) {
      const int g = depth == 8 ? p[x] : (30 * p[3 * x + 2] + 59 * p[3 * x + 1] + 11 * p[3 * x]) / 100;
      sum += g;
      squares += static_cast<double>(g) * g;
    }
  }
  const double n = static_cast<double>(w) * h;
  const double mean = sum / n;
  return {static_cast<float>(mean), static_cast<float>(squares / n - mean * mean)};
}

std::array<float, 2> FcmMemberships(const FcmPoint& point, const FcmCentres& centres) {
  const float d[2] = {SquaredDistance(point, centres[0]), SquaredDistance(point, centres[1])};
  if (d[0] == 0.0f || d[1] == 0.0f) {
    const float on[2] = {d[0] == 0.0f ? 1.0f : 0.0f, d[1] == 0.0f ? 1.0f : 0.0f};
    const float share = on[0] + on[1];
    return {on[0] / share, on[1] / share};
  }
  const float s = 1.0f / d[0] + 1.0f / d[1];
  return {1.0f / (d[0] * s), 1.0f / (d[1] * s)};
}

int NearerCentre(const FcmPoint& point, const FcmCentres& centres) {
  return SquaredDistance(point, centres[1]) < SquaredDistance(point, centres[0]) ? 1 : 0;
}

float FcmIterate(std::span<const FcmPoint> points, FcmCentres& centres) {
  double weight[2] = {0, 0}, mean[2] = {0, 0}, variance[2] = {0, 0};
  for (const FcmPoint& p : points) {
    const std::array<float, 2> u = FcmMemberships(p, centres);
    for (int j = 0; j < 2; ++j) {
      const double w = static_cast<double>(u[j]) * u[j];
      weight[j] += w;
      mean[j] += w * p.mean;
      variance[j] += w * p.variance;
    }
  }
  float error = 0.0f;
  for (int j = 0; j < 2; ++j) {
    if (weight[j] <= 0.0) continue;
    const FcmPoint moved{static_cast<float>(mean[j] / weight[j]),
                         static_cast<float>(variance[j] / weight[j])};
    error += SquaredDistance(moved, centres[j]);
    centres[j] = moved;
  }
  return error;
}

FcmCentres RandomCentres(uint32_t seed) {
  uint32_t state = seed;
  auto next = [&state] {
    state = state * 214013u + 2531011u;
    return static_cast<float>((state >> 16) & 0x7fff) * 255.0f / 32767.0f;
  };
  FcmCentres c;
  for (FcmPoint& p : c) {
    p.mean = next();
    p.variance = next();
  }
  return c;
}

FcmOutcome RunFuzzyCMeans(const FcmParams& params, const StopFlag& stop, ProgressReporter& progress) {
  FcmOutcome out;
  const auto started = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::steady_clock::now() - started)
                                .count());
  };
  std::vector<std::string> files;
  if (out.result = ListPictures(params.input, false, files); !out.result) return out;
  ProgressState& ps = progress.State();
  ps.firstMaximum = static_cast<int>(files.size());
  std::vector<FcmPoint> points;
  std::vector<std::string> read;
  Dib picture;
  for (const std::string& file : files) {
    if (stop) return out;
    if (!LoadImageFile(picture, file)) {
      out.unreadable.push_back(file);
      continue;
    }
    points.push_back(GreyMeanVariance(picture));
    read.push_back(file);
    if (progress.Due()) {
      ps.status = Format("装载并提取第%d个样本图像的均值与方差...", static_cast<int>(points.size()));
      ps.firstPosition = static_cast<int>(points.size());
      progress.Publish();
    }
  }
  if (points.empty()) {
    out.result = Result::Error(params.input + ": no readable JPEG pictures to cluster");
    return out;
  }
  out.centres = RandomCentres(params.seed);
  ps.secondMaximum = kFcmIterations;
  float error = 1e9f;
  for (int i = 1; i <= kFcmIterations; ++i) {
    if (stop) return out;
    ps.status = Format("上一轮聚类中心为：类型%d=(%10.6f, %10.6f), 类型%d=(%10.6f, %10.6f)\r\n上一轮迭代误差为：%10f",
                       1, out.centres[0].mean, out.centres[0].variance, 2, out.centres[1].mean,
                       out.centres[1].variance, error);
    error = FcmIterate(points, out.centres);
    ps.secondText = Format("已经耗时%d秒，正在进行第%d次迭代...", seconds(), i);
    ps.secondPosition = i;
    progress.Publish();
    out.iterations = i;
  }
  out.error = error;

  std::error_code ec;
  std::filesystem::create_directories(params.output, ec);
  for (size_t k = 0; k < points.size(); ++k) {
    if (stop) return out;
    const int c = NearerCentre(points[k], out.centres);
    const int number = ++out.counts[c];
    const std::string target =
        (std::filesystem::path(params.output) / Format("%c%05d.jpg", c == 0 ? 'A' : 'B', number))
            .string();
    std::filesystem::copy_file(read[k], target, std::filesystem::copy_options::overwrite_existing,
                               ec);
    if (ec) {
      ++out.copyFailures;
      CurrentUiSink().Message("复制文件失败！", "Fumewatch", MessageButtons::Ok);
    }
    if (progress.Due()) {
      ps.secondText = Format("已经耗时%d秒，正在进行分类、复制第%d个样本...", seconds(),
                             static_cast<int>(k + 1));
      progress.Publish();
    }
  }
  std::string report = Format("迭代次数：%d, 误差：%10f \r\n聚类中心为：", out.iterations, out.error);
  for (int c = 0; c < 2; ++c) {
    report += Format("类型%d=(%10.6f, %10.6f),数目=%5d\r\n", c + 1, out.centres[c].mean,
                     out.centres[c].variance, out.counts[c]);
  }
  out.result = WriteFileAtomically(params.report, report);
  out.finished = out.result.ok();
  return out;
}

}  // namespace fw

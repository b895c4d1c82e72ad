#include "learn/classifier_set.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/data_files.h"
#include "learn/code_count_features.h"
#include "learn/texture_features.h"
#include "learn/window_features.h"

namespace fw {

Thresholds ThresholdsOf(const WeakRecord& r, ThresholdType type) {
  switch (type) {
    case ThresholdType::UInt8:
      return {static_cast<double>(ThresholdAs<uint8_t>(r.threshold1)),
              static_cast<double>(ThresholdAs<uint8_t>(r.bias))};
    case ThresholdType::Float:
      return {static_cast<double>(ThresholdAs<float>(r.threshold1)),
              static_cast<double>(ThresholdAs<float>(r.bias))};
    case ThresholdType::Int16:
      return {static_cast<double>(ThresholdAs<int16_t>(r.threshold1)),
              static_cast<double>(ThresholdAs<int16_t>(r.bias))};
    default:
      return {static_cast<double>(ThresholdAs<int32_t>(r.threshold1)),
              static_cast<double>(ThresholdAs<int32_t>(r.bias))};
  }
}

void SetThresholds(WeakRecord& r, ThresholdType type, double t1, double t2) {
  switch (type) {
    case ThresholdType::UInt8:
      SetThreshold(r.threshold1, static_cast<uint8_t>(t1));
      SetThreshold(r.bias, static_cast<uint8_t>(t2));
      break;
    case ThresholdType::Float:
      SetThreshold(r.threshold1, static_cast<float>(t1));
      SetThreshold(r.bias, static_cast<float>(t2));
      break;
    case ThresholdType::Int16:
      SetThreshold(r.threshold1, static_cast<int16_t>(t1));
      SetThreshold(r.bias, static_cast<int16_t>(t2));
      break;
    case ThresholdType::Int32:
      SetThreshold(r.threshold1, static_cast<int32_t>(t1));
      SetThreshold(r.bias, static_cast<int32_t>(t2));
      break;
  }
}

ClassifierSet::ClassifierSet() : records(kMaxRecords) {}

void ClassifierSet::SetStageRatio(float percent) {
  stageRatio = percent / 100.0f;
  stageThresholds.fill(stageRatio);
}

void ClassifierSet::UseModeRatio() {
  const FlavourInfo& info = InfoOf(flavour);
  if (info.ownThresholds) {
    stageRatio = info.modeRatio;
  } else {
    SetStageRatio(info.modeRatio * 100.0f);
  }
}

void ClassifierSet::RebuildByGrowth(int total) {
  int size = 10;
  int sum = 10;
  int s = 0;
  stageSizes[0] = 10;
  while (sum < total && s + 1 < kMaxStages) {
    size = 4 * size / 3;
    stageSizes[++s] = size;
    sum += size;
  }
  stageSizes[s] += total - sum;
}

void ClassifierSet::UseDefaultSplit() {
  stageSizes.fill(0);
  std::copy(kDefaultSplit.begin(), kDefaultSplit.end(), stageSizes.begin());
}

int ClassifierSet::StageCount() const {
  int s = 0;
  while (s < kMaxStages && stageSizes[s] != 0) ++s;
  return s;
}

int ClassifierSet::RecordsInStages() const {
  int64_t n = 0;  // the sizes are public: no sum of them may overflow
  for (int s = 0; s < StageCount(); ++s) n += stageSizes[s];
  return static_cast<int>(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX));
}

float ClassifierSet::StageTheta(int s) const {
  return InfoOf(flavour).ownThresholds ? stageThresholds[s] : stageRatio;
}

bool IsEvaluable(Flavour flavour, const WeakRecord& r) {
  const FlavourInfo& info = InfoOf(flavour);
  switch (info.family) {
    case FeatureFamily::Window: {
      const WindowForm form = flavour == Flavour::Byte ? WindowForm::Byte : WindowForm::Float;
      return IsWindowCode(r.featureCode, form) && r.w >= 1 && r.h >= 1 &&
             r.x + r.w <= kWindowBase && r.y + r.h <= kWindowBase;
    }
    case FeatureFamily::CodeCount: {
      const CountRect second = std::bit_cast<CountRect>(r.minValue);
      return IsCountFeature(flavour == Flavour::Blbp ? CodeFamily::Blbp : CodeFamily::Pltp,
                            r.featureCode, {r.x, r.y, r.w, r.h}, second);
    }
    case FeatureFamily::Texture:
      return IsTextureFeature(r.featureCode, r.x, r.y, r.w, r.h);
  }
  return false;
}

namespace {

int32_t ReadInt(std::string_view bytes, size_t at) {
  int32_t v;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

void Append(std::string& out, const void* data, size_t size) {
  out.append(static_cast<const char*>(data), size);
}

// The largest file any valid pair of counts describes.
constexpr size_t kMaxFileBytes =
    8 + 8 * ClassifierSet::kMaxStages + sizeof(WeakRecord) * ClassifierSet::kMaxRecords;

}  // namespace

Result ClassifierSet::Load(Flavour f, const std::string& path, LoadReports reports) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Result::Error(path + ": cannot open the classifier file");
  std::string bytes;
  bytes.resize(kMaxFileBytes + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return Result::Error(path + ": cannot read the classifier file");
  bytes.resize(static_cast<size_t>(in.gcount()));
  return LoadFromBytes(f, bytes, path, reports);
}

Result ClassifierSet::LoadFromBytes(Flavour f, std::string_view bytes, const std::string& path,
                                    LoadReports reports) {
  auto fail = [&path](const std::string& problem) { return Result::Error(path + ": " + problem); };
  if (bytes.size() < 8) {
    return fail("too short for a classifier file (" + std::to_string(bytes.size()) + " bytes)");
  }
  const int32_t s = ReadInt(bytes, 0);
  const int32_t n = ReadInt(bytes, 4);
  if (s < 0 || s > kMaxStages) {
    return fail("holds " + std::to_string(s) + " stages; at most 20 fit the model");
  }
  if (n < 0 || n > kMaxRecords) {
    return fail("holds " + std::to_string(n) + " weak records; at most 1000 fit the model");
  }
  const FlavourInfo& info = InfoOf(f);
  const bool withThresholds = info.readsThresholds && s > 1;
  const size_t body = 8 + 4 * static_cast<size_t>(s) + sizeof(WeakRecord) * n;
  const size_t full = body + 4 * static_cast<size_t>(s);
  if (bytes.size() != full && (withThresholds || bytes.size() != body)) {
    if (bytes.size() > kMaxFileBytes) return fail("is longer than any classifier file");
    return fail(std::to_string(s) + " stages and " + std::to_string(n) + " weak records need " +
                std::to_string(full) + " bytes, the file has " + std::to_string(bytes.size()));
  }

  ClassifierSet model;
  model.flavour = f;
  if (info.ownThresholds) model.stageThresholds.fill(info.modeRatio);
  for (int k = 0; k < s; ++k) {
    model.stageSizes[k] = ReadInt(bytes, 8 + 4 * k);
    if (model.stageSizes[k] < 0) {
      return fail("stage " + std::to_string(k + 1) + " has a negative size");
    }
    if (model.stageSizes[k] > kMaxRecords) {
      return fail("stage " + std::to_string(k + 1) + " has " + std::to_string(model.stageSizes[k]) +
                  " weak records; at most 1000 fit the model");
    }
  }
  std::memcpy(model.records.data(), bytes.data() + 8 + 4 * s, sizeof(WeakRecord) * n);
  if (withThresholds) std::memcpy(model.stageThresholds.data(), bytes.data() + body, 4 * s);
  model.stageRatio = 0.01f;

  switch (info.stages) {
    case StageRule::Growth:
      model.RebuildByGrowth(model.stageSizes[0]);
      break;
    case StageRule::AsRead:
      break;
    case StageRule::AsReadOrDefaultSplit:
      if (s >= 1 && model.stageSizes[1] == 0) {
        if (n < kDefaultSplitRecords) {
          return fail(
              "a single-stage EOH file needs 200 weak records for the default split, "
              "it holds " +
              std::to_string(n));
        }
        model.UseDefaultSplit();
      }
      break;
  }
  const int used = model.RecordsInStages();
  if (used > n) {
    return fail("its stages use " + std::to_string(used) + " weak records but it holds " +
                std::to_string(n));
  }
  for (int k = 0; k < used; ++k) {
    if (!IsEvaluable(f, model.records[k])) {
      return fail("weak record " + std::to_string(k + 1) + " (feature code " +
                  std::to_string(model.records[k].featureCode) + ", rectangle " +
                  std::to_string(model.records[k].x) + "," + std::to_string(model.records[k].y) +
                  "," + std::to_string(model.records[k].w) + "," +
                  std::to_string(model.records[k].h) + ") is no feature the " + info.label +
                  " cascade can evaluate");
    }
  }
  if (reports == LoadReports::Write) {
    const Result r = f == Flavour::Eoh ? WriteEohReport(model, StartDirectory() + kEohReportFile)
                     : (f == Flavour::Byte || f == Flavour::Float)
                         ? WriteStatisticsReport(model, StartDirectory())
                         : Result::Ok();
    if (!r) return r;
  }
  *this = std::move(model);
  return Result::Ok();
}

Result ClassifierSet::Save(const std::string& path) const {
  const int32_t s = StageCount();
  const int32_t n = RecordsInStages();
  if (n > kMaxRecords) return Result::Error(path + ": the stages hold more than 1000 records");
  std::string out;
  out.reserve(8 + 8 * s + sizeof(WeakRecord) * n);
  Append(out, &s, 4);
  Append(out, &n, 4);
  Append(out, stageSizes.data(), 4 * static_cast<size_t>(s));
  Append(out, records.data(), sizeof(WeakRecord) * n);
  Append(out, stageThresholds.data(), 4 * static_cast<size_t>(s));
  return WriteFileAtomically(path, out);
}

Result WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".part";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) return Result::Error(path + ": cannot create the file");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !written) {
    std::remove(temporary.c_str());
    return Result::Error(path + ": cannot write the file");
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::remove(temporary.c_str());
    return Result::Error(path + ": cannot replace the file (" + ec.message() + ")");
  }
  return Result::Ok();
}

}  // namespace fw

#include "learn/cascade_trainer.h"

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>

#include "core/image_file.h"
#include "learn/boosting.h"
#include "learn/evaluation_run.h"
#include "learn/negative_miner.h"
#include "learn/reports.h"
#include "learn/training_pools.h"
#include "learn/weak_learner.h"

namespace fw {

CascadeResult TrainedCascade::Decide(std::span<const double> values) const {
  return RunStages(
      sizes.data(), theta.data(), static_cast<int>(sizes.size()),
      [this](int r) { return weak[r].alpha; },
      [&](int r) { return WeakYes(values[r], weak[r].t1, weak[r].t2); });
}

std::vector<FeatureChoice> TrainedCascade::Features() const {
  std::vector<FeatureChoice> choices;
  for (const TrainedWeak& w : weak) choices.push_back(w.feature);
  return choices;
}

ClassifierSet ModelOf(const TrainedCascade& cascade, Flavour flavour) {
  const FlavourInfo& info = InfoOf(flavour);
  const bool codeCount = info.family == FeatureFamily::CodeCount;
  ClassifierSet m;
  m.flavour = flavour;
  for (size_t k = 0; k < cascade.weak.size() && k < m.records.size(); ++k) {
    const TrainedWeak& w = cascade.weak[k];
    WeakRecord& r = m.records[k];
    r.minValue = w.minValue;
    r.maxValue = w.maxValue;
    SetFeature(r, w.feature, codeCount);
    SetThresholds(r, info.thresholds, w.t1, w.t2);
    r.alpha = w.alpha;
  }
  m.stageRatio = info.modeRatio;
  if (info.stages == StageRule::Growth) {
    m.stageSizes[0] = static_cast<int32_t>(cascade.weak.size());
    m.stageThresholds[0] = info.modeRatio;
  } else {
    for (size_t s = 0; s < cascade.sizes.size() && s < m.stageSizes.size(); ++s) {
      m.stageSizes[s] = cascade.sizes[s];
      m.stageThresholds[s] = info.ownThresholds ? cascade.theta[s] : info.modeRatio;
    }
  }
  return m;
}

namespace {

int GrowthSize(int stage) {
  int size = 10;
  for (int s = 0; s < stage; ++s) size = 4 * size / 3;
  return size;
}

class CascadeFamily : public TrainingFamily {
 public:
  explicit CascadeFamily(Flavour f) : flavour_(f), info_(InfoOf(f)) {}
  std::string Label() const override { return info_.label; }
  std::vector<FeatureChoice> Pool() const override { return TrainingPool(flavour_); }
  std::unique_ptr<FlavourSample> NewSample() const override {
    return FlavourSample::Create(flavour_);
  }
  int CropType() const override { return info_.cropType; }
  ThresholdType Thresholds() const override { return info_.thresholds; }
  StagePolicy Policy() const override {
    StagePolicy p;
    p.ratio = info_.modeRatio;
    switch (info_.stages) {
      case StageRule::Growth:
        p.kind = StagePolicy::Kind::FixedRatio;
        p.size = GrowthSize;
        break;
      case StageRule::AsRead:
        p.kind = StagePolicy::Kind::FreeRatio;
        p.maxSize = 100;
        break;
      case StageRule::AsReadOrDefaultSplit:
        p.kind = StagePolicy::Kind::OwnThreshold;
        p.size = [](int s) {
          return s < static_cast<int>(kDefaultSplit.size()) ? kDefaultSplit[s] : 30;
        };
        break;
    }
    return p;
  }
  std::optional<BiasWeak> Bias() const override {
    const FeatureChoice whole{
        0, 0, 0, static_cast<uint8_t>(info_.baseWindow), static_cast<uint8_t>(info_.baseWindow),
        {}};
    FeatureChoice f = whole;
    switch (flavour_) {
      case Flavour::Byte:  // mean colour range below 255: every window but pure primaries
        f.code = kRangeCodeOffset + 1;
        return BiasWeak{f, 255.0, 0.0};
      case Flavour::Float:  // mean grey, any finite value
        f.code = 1;
        return BiasWeak{f, static_cast<double>(FLT_MAX), -static_cast<double>(FLT_MAX)};
      case Flavour::Blbp:
      case Flavour::Pltp:  // a class count, any count
        f.code = CountFeatureCode(0, 0, 1);
        return BiasWeak{f, 32767.0, -32768.0};
      case Flavour::Eoh:
        return std::nullopt;
    }
    return std::nullopt;
  }
  int DefaultStages() const override {
    return info_.stages == StageRule::AsReadOrDefaultSplit ? 10 : 8;
  }
  int MinimumStages() const override {
    return info_.stages == StageRule::AsReadOrDefaultSplit ? static_cast<int>(kDefaultSplit.size())
                                                           : 1;
  }
  Result Write(const TrainedCascade& cascade, const std::string& path) const override {
    return ModelOf(cascade, flavour_).Save(path);
  }

 private:
  Flavour flavour_;
  const FlavourInfo& info_;
};

}  // namespace

std::unique_ptr<TrainingFamily> CascadeTrainingFamily(Flavour flavour) {
  return std::make_unique<CascadeFamily>(flavour);
}

namespace {

using Clock = std::chrono::steady_clock;

// Where one sample's window comes from.
struct Source {
  const Dib* picture = nullptr;
  int cropType = 0;  // > 0: this crop of the whole picture, else `region`
  SampleRect region;
  bool mirror = false;
};

bool PrepareSource(FlavourSample& sample, const Source& s) {
  return s.cropType > 0 ? sample.PrepareCrop(*s.picture, s.cropType)
                        : sample.PrepareRegion(*s.picture, s.region, s.mirror);
}

struct PoolData {
  std::vector<FeatureChoice> choices;
  std::vector<Cuts> cuts;
  std::vector<float> minValue;
  std::vector<float> maxValue;
  int Size() const { return static_cast<int>(choices.size()); }
};

// Bins of every pool feature for each source: `rows` gets one row of pool-size bins per source
// (appended), `ok` whether the source gave a window and `bias` (appended) whether the bias says
// yes to it. Minimum and maximum values are widened.
void ExtractRows(const TrainingFamily& family, PoolData& pool, std::span<const Source> sources,
                 std::vector<uint8_t>& rows, std::vector<uint8_t>& ok, std::vector<uint8_t>& bias,
                 int threads) {
  const int f = pool.Size();
  const size_t first = rows.size(), firstBias = bias.size();
  rows.resize(first + sources.size() * f);
  bias.resize(firstBias + sources.size(), 1);
  ok.assign(sources.size(), 0);
  const std::optional<BiasWeak> b = family.Bias();
  std::vector<FeatureChoice> choices = pool.choices;
  if (b) choices.push_back(b->feature);
  std::vector<std::vector<float>> lo(threads, pool.minValue), hi(threads, pool.maxValue);
  ParallelFor(threads, threads, [&](int t0, int t1) {
    for (int t = t0; t < t1; ++t) {
      std::unique_ptr<FlavourSample> sample = family.NewSample();
      sample->SetFeatures(choices);
      std::vector<double> values(choices.size());
      const size_t begin = sources.size() * t / threads, end = sources.size() * (t + 1) / threads;
      for (size_t i = begin; i < end; ++i) {
        if (!PrepareSource(*sample, sources[i])) continue;
        ok[i] = 1;
        sample->Values(values);
        uint8_t* row = rows.data() + first + i * f;
        for (int k = 0; k < f; ++k) {
          row[k] = BinOf(pool.cuts[k], values[k]);
          lo[t][k] = std::min(lo[t][k], static_cast<float>(values[k]));
          hi[t][k] = std::max(hi[t][k], static_cast<float>(values[k]));
        }
        if (b) bias[firstBias + i] = WeakYes(values[f], b->t1, b->t2) ? 1 : 0;
      }
    }
  });
  for (int t = 0; t < threads; ++t) {
    for (int k = 0; k < f; ++k) {
      pool.minValue[k] = std::min(pool.minValue[k], lo[t][k]);
      pool.maxValue[k] = std::max(pool.maxValue[k], hi[t][k]);
    }
  }
}

// Cut points of every feature from at most 1024 positives and 1024 negatives, evenly spread.
void ComputeCuts(const TrainingFamily& family, PoolData& pool, const std::vector<Source>& positives,
                 const std::vector<Source>& negatives, int threads) {
  const int f = pool.Size();
  std::vector<Source> subset;
  for (const auto* list : {&positives, &negatives}) {
    const size_t n = std::min<size_t>(list->size(), 1024);
    for (size_t i = 0; i < n; ++i) subset.push_back((*list)[i * list->size() / n]);
  }
  std::vector<float> values(subset.size() * f, 0.0f);  // feature-major
  std::vector<uint8_t> ok(subset.size(), 0);
  ParallelFor(threads, threads, [&](int t0, int t1) {
    for (int t = t0; t < t1; ++t) {
      std::unique_ptr<FlavourSample> sample = family.NewSample();
      sample->SetFeatures(pool.choices);
      std::vector<double> v(f);
      const size_t begin = subset.size() * t / threads, end = subset.size() * (t + 1) / threads;
      for (size_t i = begin; i < end; ++i) {
        if (!PrepareSource(*sample, subset[i])) continue;
        ok[i] = 1;
        sample->Values(v);
        for (int k = 0; k < f; ++k) values[k * subset.size() + i] = static_cast<float>(v[k]);
      }
    }
  });
  pool.cuts.assign(f, {});
  ParallelFor(f, threads, [&](int k0, int k1) {
    std::vector<double> column;
    for (int k = k0; k < k1; ++k) {
      column.clear();
      for (size_t i = 0; i < subset.size(); ++i) {
        if (ok[i]) column.push_back(values[k * subset.size() + i]);
      }
      pool.cuts[k] = CutsOf(column, family.Thresholds());
    }
  });
}

// The stage's samples: active positives, then the negatives, as a feature-major bin matrix.
void Transpose(const std::vector<uint8_t>& posRows, const std::vector<int>& active,
               const std::vector<uint8_t>& negRows, int negatives, int f, BinMatrix& bins) {
  const int pa = static_cast<int>(active.size());
  bins.Resize(f, pa + negatives);
  constexpr int kBlock = 64;
  for (int f0 = 0; f0 < f; f0 += kBlock) {
    const int f1 = std::min(f, f0 + kBlock);
    for (int i = 0; i < pa + negatives; ++i) {
      const uint8_t* row = i < pa ? posRows.data() + static_cast<size_t>(active[i]) * f
                                  : negRows.data() + static_cast<size_t>(i - pa) * f;
      for (int k = f0; k < f1; ++k) bins.Column(k)[i] = row[k];
    }
  }
}

struct StageResult {
  std::vector<TrainedWeak> weak;
  std::vector<float> votes;  // V per sample, in record order (the bias last)
  float total = 0.0f;        // W
  float theta = 0.0f;
  float bias = 0.0f;
  double hit = 0.0;
  double falseAlarm = 1.0;
  double bound = 1.0;
};

struct StageContext {
  const TrainingFamily& family;
  const PoolData& pool;
  const BinMatrix& bins;
  const std::vector<uint8_t>& biasYes;  // per sample of the matrix
  int positives;                        // the first samples of the matrix
  int negatives;
  StagePolicy policy;
  int stage;
  double hitRate;
  double falseAlarm;
  int threads;
  const StopFlag& stop;
  std::function<void(const StageResult&, int round, int target)> onRound;
};

int Kept(const StageContext& c) {
  return std::clamp(static_cast<int>(std::ceil(c.hitRate * c.positives - 1e-9)), 1, c.positives);
}

// Whether sample i passes with the learned votes and a bias of weight `a` after them, summed as
// the cascade sums them.
inline bool PassesWithBias(const StageContext& c, const std::vector<float>& votes, float total,
                           float a, float theta, int i) {
  const float v = c.biasYes[i] ? votes[i] + a : votes[i];
  return StagePasses(v, total + a, theta);
}

int PositivesPassing(const StageContext& c, const std::vector<float>& votes, float total, float a,
                     float theta) {
  int n = 0;
  for (int i = 0; i < c.positives; ++i) n += PassesWithBias(c, votes, total, a, theta, i) ? 1 : 0;
  return n;
}

// The least bias weight with which the stage keeps the hit rate (bisection on the exact test).
float BiasWeight(const StageContext& c, const std::vector<float>& votes, float total, float theta) {
  const int keep = Kept(c);
  if (PositivesPassing(c, votes, total, 0.0f, theta) >= keep) return 0.0f;
  double lo = 0.0, hi = std::max(1.0, 2.0 * total / (1.0 - theta));
  while (PositivesPassing(c, votes, total, static_cast<float>(hi), theta) < keep && hi < 1e30) {
    hi *= 2.0;
  }
  for (int k = 0; k < 80; ++k) {
    const double mid = 0.5 * (lo + hi);
    (PositivesPassing(c, votes, total, static_cast<float>(mid), theta) >= keep ? hi : lo) = mid;
  }
  return static_cast<float>(hi);
}

// Hit and false-alarm rates of the stage as it stands (learned votes, bias weight r.bias).
void Rates(const StageContext& c, StageResult& r) {
  int hits = 0, alarms = 0;
  for (int i = 0; i < c.positives + c.negatives; ++i) {
    if (!PassesWithBias(c, r.votes, r.total, r.bias, r.theta, i)) continue;
    (i < c.positives ? hits : alarms) += 1;
  }
  r.hit = c.positives > 0 ? static_cast<double>(hits) / c.positives : 1.0;
  r.falseAlarm = c.negatives > 0 ? static_cast<double>(alarms) / c.negatives : 0.0;
}

// The highest threshold at which at least the hit rate of the positives pass.
float ThresholdKeeping(const StageContext& c, const StageResult& r) {
  if (c.positives == 0 || !(r.total > 0.0f)) return 0.0f;
  std::vector<float> v(r.votes.begin(), r.votes.begin() + c.positives);
  std::sort(v.begin(), v.end(), std::greater<float>());
  const float least = v[Kept(c) - 1];
  float theta = least / r.total;
  while (theta > 0.0f && !StagePasses(least, r.total, theta)) theta = std::nextafter(theta, 0.0f);
  return theta;
}

StageResult TrainStage(const StageContext& c) {
  StageResult r;
  const int n = c.positives + c.negatives;
  std::vector<float> weight(n);
  for (int i = 0; i < n; ++i) {
    weight[i] = static_cast<float>(0.5 / (i < c.positives ? c.positives : c.negatives));
  }
  r.votes.assign(n, 0.0f);
  r.theta = c.policy.kind == StagePolicy::Kind::OwnThreshold ? 0.0f : c.policy.ratio;
  std::vector<double> signedWeight(n);
  std::vector<uint8_t> yes(n);
  const std::optional<BiasWeak> bias = c.family.Bias();
  const bool free = c.policy.kind == StagePolicy::Kind::FreeRatio;
  const int size = free ? c.policy.maxSize : c.policy.size(c.stage);
  const int rounds = bias ? size - 1 : size;
  for (int round = 0; round < rounds && !c.stop; ++round) {
    double positive = 0.0, negative = 0.0;
    for (int i = 0; i < n; ++i) {
      signedWeight[i] = i < c.positives ? weight[i] : -static_cast<double>(weight[i]);
      (i < c.positives ? positive : negative) += weight[i];
    }
    const WeakChoice choice =
        c.family.ChooseWeak(c.bins, c.pool.cuts, signedWeight, positive, negative, c.threads);
    if (choice.feature < 0) break;
    const Cuts& cuts = c.pool.cuts[choice.feature];
    const std::vector<uint8_t> accept = AcceptTable(choice, static_cast<int>(cuts.size()) + 1);
    const uint8_t* column = c.bins.Column(choice.feature);
    double epsilon = 0.0;
    for (int i = 0; i < n; ++i) {
      yes[i] = accept[column[i]];
      if ((yes[i] == 1) != (i < c.positives)) epsilon += weight[i];
    }
    const BoostStep step = BoostStepOf(epsilon);
    const ThresholdPair t = ThresholdsOfChoice(choice, cuts, c.family.Thresholds());
    r.weak.push_back({c.pool.choices[choice.feature], t.t1, t.t2, step.alpha,
                      c.pool.minValue[choice.feature], c.pool.maxValue[choice.feature]});
    r.bound = NextErrorBound(r.bound, epsilon);
    UpdateWeights(
        n, [&](size_t i) -> float& { return weight[i]; }, step.beta,
        [&](size_t i) { return (yes[i] == 1) == (static_cast<int>(i) < c.positives); });
    r.total += step.alpha;
    for (int i = 0; i < n; ++i) {
      if (yes[i]) r.votes[i] += step.alpha;
    }
    const bool last = round + 1 == rounds;
    if (bias && (free || last || c.onRound)) r.bias = BiasWeight(c, r.votes, r.total, r.theta);
    if (free || last || c.onRound) Rates(c, r);
    if (c.onRound) c.onRound(r, round + 1, rounds);
    if (free && r.hit >= c.hitRate && r.falseAlarm <= c.falseAlarm) break;
  }
  if (c.policy.kind == StagePolicy::Kind::OwnThreshold) r.theta = ThresholdKeeping(c, r);
  if (bias) {
    r.weak.push_back({bias->feature, bias->t1, bias->t2, r.bias, 0.0f, 0.0f});
    for (int i = 0; i < n; ++i) {
      if (c.biasYes[i]) r.votes[i] += r.bias;
    }
    r.total += r.bias;
    r.bias = 0.0f;  // now part of the votes
  }
  Rates(c, r);
  return r;
}

// Candidate windows from the miner that the cascade so far accepts, in the miner's order, until
// `need` are found or `limit` were tried (`tried` counts them).
std::vector<Source> MineNegatives(const TrainingFamily& family, const TrainedCascade& cascade,
                                  NegativeMiner& miner, int need, int limit, int threads,
                                  const StopFlag& stop, int& tried) {
  std::vector<Source> found, batch;
  const std::vector<FeatureChoice> chosen = cascade.Features();
  std::vector<uint8_t> pass;
  constexpr int kBatch = 4096;
  tried = 0;
  while (static_cast<int>(found.size()) < need && tried < limit && !stop) {
    batch.clear();
    for (int k = 0; k < kBatch; ++k) {
      const Candidate c = miner.Next();
      batch.push_back({c.picture, 0, c.region, c.mirror});
    }
    pass.assign(batch.size(), 0);
    ParallelFor(threads, threads, [&](int t0, int t1) {
      for (int t = t0; t < t1; ++t) {
        std::unique_ptr<FlavourSample> sample = family.NewSample();
        sample->SetFeatures(chosen);
        std::vector<double> values(chosen.size());
        const size_t b = batch.size() * t / threads, e = batch.size() * (t + 1) / threads;
        for (size_t i = b; i < e; ++i) {
          if (!PrepareSource(*sample, batch[i])) continue;
          sample->Values(values);
          pass[i] = cascade.Decide(values).accepted ? 1 : 0;
        }
      }
    });
    for (size_t i = 0; i < batch.size() && static_cast<int>(found.size()) < need; ++i) {
      ++tried;
      if (pass[i]) found.push_back(batch[i]);
    }
  }
  return found;
}

std::string Duration(double seconds) {
  const int s = static_cast<int>(seconds + 0.5);
  return s >= 60 ? Format("%dm%02ds", s / 60, s % 60) : Format("%ds", s);
}

}  // namespace

TrainingOutcome TrainCascade(const TrainingFamily& family, const TrainerOptions& options,
                             const StopFlag& stop, const TrainerLog& log) {
  TrainingOutcome out;
  const auto start = Clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  auto say = [&](const std::string& line) {
    if (log) log(line);
  };
  const int stages = options.stages > 0 ? options.stages : family.DefaultStages();
  StagePolicy policy = family.Policy();
  const int threads = std::max(1, options.threads);
  if (stages < family.MinimumStages() || stages > ClassifierSet::kMaxStages) {
    out.result = Result::Error(Format("the %s cascade takes %d to 20 stages",
                                      family.Label().c_str(), family.MinimumStages()));
    return out;
  }
  if (policy.kind != StagePolicy::Kind::FreeRatio) {
    // The stage that reaches 1000 weak classifiers is cut there, as the growth load cuts it.
    std::vector<int> sizes;
    int total = 0;
    for (int s = 0; s < stages; ++s) {
      sizes.push_back(std::min(policy.size(s), ClassifierSet::kMaxRecords - total));
      total += sizes.back();
    }
    if (sizes.back() <= 0) {
      out.result =
          Result::Error(Format("%d stages of the %s cascade do not fit the 1000 weak "
                               "classifiers of a classifier file",
                               stages, family.Label().c_str()));
      return out;
    }
    policy.size = [sizes](int s) { return sizes[s]; };
  }

  // Sample pictures.
  std::vector<Dib> positivePictures, negativePictures;
  for (int k = 0; k < 2; ++k) {
    const std::string& folder = k == 0 ? options.positives : options.negatives;
    std::vector<std::string> files;
    if (Result r = ListPictures(folder, true, files); !r) {
      out.result = r;
      return out;
    }
    std::vector<Dib>& pictures = k == 0 ? positivePictures : negativePictures;
    pictures.reserve(files.size());
    for (const std::string& file : files) {
      if (stop) return out;
      Dib picture;
      if (!LoadImageFile(picture, file)) {
        out.unreadable.push_back(file);
        say(file + ": cannot be read as a picture, left out");
        continue;
      }
      pictures.push_back(std::move(picture));
    }
    if (pictures.empty()) {
      out.result = Result::Error(folder + ": no readable sample pictures");
      return out;
    }
  }
  std::vector<Source> positiveSources, negativeSources;
  for (const Dib& p : positivePictures)
    positiveSources.push_back({&p, family.CropType(), {}, false});
  for (const Dib& p : negativePictures)
    negativeSources.push_back({&p, family.CropType(), {}, false});
  say(Format("%s: %zu positives, %zu negatives, %zu mining frames", family.Label().c_str(),
             positiveSources.size(), negativeSources.size(), options.miningFrames.size()));

  PoolData pool;
  pool.choices = family.Pool();
  const int f = pool.Size();
  pool.minValue.assign(f, 100000.0f);
  pool.maxValue.assign(f, -100000.0f);
  ComputeCuts(family, pool, positiveSources, negativeSources, threads);
  std::vector<uint8_t> posRows, negRows, posBias, negBias, ok;
  ExtractRows(family, pool, positiveSources, posRows, ok, posBias, threads);
  std::vector<int> active;
  for (size_t i = 0; i < ok.size(); ++i) {
    if (ok[i]) active.push_back(static_cast<int>(i));
  }
  ExtractRows(family, pool, negativeSources, negRows, ok, negBias, threads);
  int negatives = 0;
  for (size_t i = 0; i < ok.size(); ++i) {  // compact away pictures that gave no window
    if (!ok[i]) continue;
    std::copy_n(negRows.begin() + static_cast<ptrdiff_t>(i * f), f,
                negRows.begin() + static_cast<ptrdiff_t>(negatives) * f);
    negBias[negatives] = negBias[i];
    ++negatives;
  }
  negRows.resize(static_cast<size_t>(negatives) * f);
  negBias.resize(static_cast<size_t>(negatives));
  out.positives = static_cast<int>(active.size());
  out.negatives = negatives;
  const int quota = negatives;
  say(Format("%d features in the pool, values binned (%s)", f, Duration(elapsed()).c_str()));

  NegativeMiner miner(&negativePictures, &options.miningFrames, family.NewSample()->Base(),
                      options.seed);
  BinMatrix bins;
  std::vector<uint8_t> stageBias;
  for (int s = 0; s < stages; ++s) {
    if (stop) return out;
    if (active.empty()) {
      out.result = Result::Error("no positive sample is left for stage " + std::to_string(s + 1));
      return out;
    }
    Transpose(posRows, active, negRows, negatives, f, bins);
    stageBias.clear();
    for (int i : active) stageBias.push_back(posBias[i]);
    stageBias.insert(stageBias.end(), negBias.begin(), negBias.end());
    auto lastLog = Clock::now();
    const auto stageStart = Clock::now();
    StageContext context{
        family,    pool,   bins,   stageBias,       static_cast<int>(active.size()),
        negatives, policy, s,      options.hitRate, options.falseAlarm,
        threads,   stop,   nullptr};
    context.onRound = [&](const StageResult& r, int round, int target) {
      if (Clock::now() - lastLog < std::chrono::seconds(2) && round != target) return;
      lastLog = Clock::now();
      const double perRound =
          std::chrono::duration<double>(Clock::now() - stageStart).count() / std::max(round, 1);
      int left = target - round;
      if (policy.kind != StagePolicy::Kind::FreeRatio) {
        for (int k = s + 1; k < stages; ++k) left += policy.size(k);
      }
      say(
          Format("stage %d/%d: weak %d/%d, hit rate %.4f, false alarm %.4f, error bound %.3g, "
                 "%s, about %s left",
                 s + 1, stages, round, target, r.hit, r.falseAlarm, r.bound,
                 Duration(elapsed()).c_str(), Duration(perRound * left).c_str()));
    };
    const StageResult stage = TrainStage(context);
    if (stop) return out;
    if (out.cascade.weak.size() + stage.weak.size() > ClassifierSet::kMaxRecords) {
      say("the next stage would not fit a classifier file: training ends here");
      break;
    }
    StageSummary summary;
    summary.weak = static_cast<int>(stage.weak.size());
    summary.positives = static_cast<int>(active.size());
    summary.negatives = negatives;
    summary.hitRate = stage.hit;
    summary.falseAlarm = stage.falseAlarm;
    summary.theta = stage.theta;
    const bool biased = family.Bias().has_value();
    summary.bias = biased ? stage.weak.back().alpha : 0.0f;
    const float learned = stage.total - summary.bias;
    summary.effective =
        learned > 0.0f ? (stage.theta * stage.total - summary.bias) / learned : stage.theta;
    out.cascade.weak.insert(out.cascade.weak.end(), stage.weak.begin(), stage.weak.end());
    out.cascade.sizes.push_back(summary.weak);
    out.cascade.theta.push_back(stage.theta);

    // Positives and negatives the stage passes go on.
    std::vector<int> kept;
    for (size_t i = 0; i < active.size(); ++i) {
      if (StagePasses(stage.votes[i], stage.total, stage.theta)) kept.push_back(active[i]);
    }
    active = std::move(kept);
    int retained = 0;
    for (int i = 0; i < negatives; ++i) {
      if (!StagePasses(stage.votes[context.positives + i], stage.total, stage.theta)) continue;
      std::copy_n(negRows.begin() + static_cast<ptrdiff_t>(i) * f, f,
                  negRows.begin() + static_cast<ptrdiff_t>(retained) * f);
      negBias[retained] = negBias[i];
      ++retained;
    }
    negRows.resize(static_cast<size_t>(retained) * f);
    negBias.resize(static_cast<size_t>(retained));
    negatives = retained;

    // Mined negatives the cascade so far accepts.
    int tried = 0, accepted = 0;
    if (s + 1 < stages && miner.HasSources()) {
      const std::vector<Source> found = MineNegatives(family, out.cascade, miner, quota - negatives,
                                                      60 * quota, threads, stop, tried);
      accepted = static_cast<int>(found.size());
      ExtractRows(family, pool, found, negRows, ok, negBias, threads);
      negatives += accepted;
    }
    summary.minedAcceptance = tried > 0 ? static_cast<double>(accepted) / tried : 0.0;
    out.stages.push_back(summary);
    say(
        Format("stage %d/%d done: %d weak classifiers, hit rate %.4f, false alarm %.4f, a window "
               "needs %.4f of the learned weights, %d positives left, %d negatives for the next "
               "stage (%d of %d mined windows accepted), %s",
               s + 1, stages, summary.weak, summary.hitRate, summary.falseAlarm,
               static_cast<double>(summary.effective), static_cast<int>(active.size()), negatives,
               accepted, tried, Duration(elapsed()).c_str()));
    const int minimum = std::max(50, quota / 100);
    if (s + 1 < stages && negatives < minimum &&
        static_cast<int>(out.stages.size()) >= family.MinimumStages()) {
      say(Format("only %d negatives are still accepted: the cascade ends after %d stages",
                 negatives, s + 1));
      break;
    }
  }
  out.positiveAccepted.assign(positiveSources.size(), 0);
  for (int i : active) out.positiveAccepted[i] = 1;
  out.finished = true;
  out.seconds = elapsed();
  return out;
}

}  // namespace fw

#include "learn/sample_set.h"

#include <algorithm>
#include <bit>

namespace fw {

void SampleSet::Prepare(int positives, int negatives) {
  positives_ = std::max(positives, 0);
  negatives_ = std::max(negatives, 0);
  next_ = 0;
  samples_.assign(static_cast<size_t>(Size()), TrainingSample{});
  added_.assign(static_cast<size_t>(Size()), 0);
  slots_.clear();
  table_.clear();
  choices_.clear();
  chosen_.clear();
  poolCounts_.fill(0);
  sample_.reset();
}

namespace {

void UseFeatures(std::vector<FeatureDesc>& table, std::vector<FeatureChoice>& choices,
                 std::vector<uint8_t>& chosen) {
  choices.clear();
  for (const FeatureDesc& d : table) choices.push_back({d.featureCode, d.x, d.y, d.w, d.h, {}});
  chosen.assign(table.size(), 0);
}

}  // namespace

void SampleSet::UseCentredPool() {
  const WindowPool pool = CentredPool();
  table_ = pool.features;
  poolCounts_ = pool.shapeCounts;
  UseFeatures(table_, choices_, chosen_);
  floatValues_ = true;
  sample_ = FlavourSample::Create(Flavour::Float);
  sample_->SetFeatures(choices_);
  slots_.assign(static_cast<size_t>(Size()) * table_.size(), 0);
}

void SampleSet::UseCascadeRecords(const ClassifierSet& model) {
  table_.clear();
  choices_.clear();
  for (int k = 0; k < model.RecordsInStages(); ++k) {
    const WeakRecord& r = model.records[k];
    table_.push_back({r.featureCode, r.x, r.y, r.w, r.h});
    choices_.push_back(SpecOf(r));
  }
  chosen_.assign(table_.size(), 0);
  poolCounts_.fill(0);
  floatValues_ = model.flavour == Flavour::Float;
  sample_ = FlavourSample::Create(model.flavour);
  sample_->SetFeatures(choices_);
  slots_.assign(static_cast<size_t>(Size()) * table_.size(), 0);
}

Result SampleSet::Add(const Dib& picture, int cropType, int label, int index) {
  if (!sample_) return Result::Error("the sample set has no features");
  if (index < 0 || index >= Size()) {
    return Result::Error("sample " + std::to_string(index) + " is outside the sample set");
  }
  if (!sample_->PrepareCrop(picture, cropType)) {
    return Result::Error("crop type " + std::to_string(cropType) +
                         " gives no sample window of this picture");
  }
  const size_t f = table_.size();
  scratch_.resize(f);
  sample_->Values(scratch_);
  uint32_t* slots = slots_.data() + static_cast<size_t>(index) * f;
  for (size_t i = 0; i < f; ++i) {
    const double v = scratch_[i];
    slots[i] = floatValues_ ? std::bit_cast<uint32_t>(static_cast<float>(v))
                            : static_cast<uint32_t>(static_cast<int32_t>(v));
    table_[i].minValue = std::min(table_[i].minValue, static_cast<float>(v));
    table_[i].maxValue = std::max(table_[i].maxValue, static_cast<float>(v));
  }
  TrainingSample& s = samples_[index];
  s.label = label == 1 ? 1 : 0;
  const int classSize = s.label == 1 ? positives_ : negatives_;
  s.weight = classSize > 0 ? 0.5f / static_cast<float>(classSize) : 0.0f;
  added_[index] = 1;
  next_ = std::max(next_, index + 1);
  return Result::Ok();
}

void SampleSet::Shrink(int positives, int negatives) {
  positives = std::clamp(positives, 0, positives_);
  negatives = std::clamp(negatives, 0, negatives_);
  const size_t f = table_.size();
  for (int k = 0; k < negatives; ++k) {
    const int from = positives_ + k, to = positives + k;
    samples_[to] = samples_[from];
    added_[to] = added_[from];
    std::copy_n(slots_.begin() + static_cast<ptrdiff_t>(from * f), f,
                slots_.begin() + static_cast<ptrdiff_t>(to * f));
  }
  positives_ = positives;
  negatives_ = negatives;
  samples_.resize(static_cast<size_t>(Size()));
  added_.resize(static_cast<size_t>(Size()));
  slots_.resize(static_cast<size_t>(Size()) * f);
  next_ = std::min(next_, Size());
  for (TrainingSample& s : samples_) {
    const int classSize = s.label == 1 ? positives_ : negatives_;
    s.weight = classSize > 0 ? 0.5f / static_cast<float>(classSize) : 0.0f;
  }
}

double SampleSet::Value(int s, int f) const {
  const uint32_t slot = slots_[static_cast<size_t>(s) * table_.size() + f];
  return floatValues_ ? static_cast<double>(std::bit_cast<float>(slot))
                      : static_cast<double>(static_cast<int32_t>(slot));
}

}  // namespace fw

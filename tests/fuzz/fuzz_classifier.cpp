// Classifier files: the first byte picks the flavour, the rest is the file. A file the load
// refuses must leave the model empty; a file it accepts must be decidable on a sample and on a
// frame window at a larger scale without reading out of bounds.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "learn/classifier_set.h"
#include "learn/compiled_cascade.h"
#include "learn/flavour_sample.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

const fw::Dib& Picture(int width, int height, uint32_t seed) {
  static fw::Dib pictures[2];
  fw::Dib& p = pictures[seed % 2];
  if (p.Width() != width) {
    p.Create(width, height, 24, false);
    for (size_t i = 0; i < p.PixelBytes(); ++i) {
      seed = seed * 1103515245u + 12345u;
      p.Pixels()[i] = static_cast<uint8_t>(seed >> 16);
    }
  }
  return p;
}

// The cascade over a window of side 2 x base at the bottom-right corner of a frame.
void DecideOnFrame(const fw::ClassifierSet& m) {
  const fw::Dib& frame = Picture(100, 100, 1);
  switch (fw::InfoOf(m.flavour).family) {
    case fw::FeatureFamily::Window: {
      fw::WindowPlanes planes;
      fw::BuildWindowPlanes(frame, planes);
      const size_t origin = static_cast<size_t>(100 - 48) * 100 + (100 - 48);
      if (m.flavour == fw::Flavour::Byte) {
        fw::CompiledCascade<fw::WindowByteFamily> c;
        c.Compile(m, {48, 100});
        c.Decide(planes, origin);
      } else {
        fw::CompiledCascade<fw::WindowFloatFamily> c;
        c.Compile(m, {48, 100});
        c.Decide(planes, origin);
      }
      break;
    }
    case fw::FeatureFamily::CodeCount: {
      fw::CodeCountPlanes planes;
      fw::BuildCodeCountPlanes(
          frame, m.flavour == fw::Flavour::Blbp ? fw::CodeFamily::Blbp : fw::CodeFamily::Pltp,
          planes);
      fw::CompiledCascade<fw::CodeCountFamily> c;
      c.Compile(m, {&planes, 2});
      c.Decide(planes, fw::CountWindowOrigin(planes, 100 - 96, 100 - 96));
      break;
    }
    case fw::FeatureFamily::Texture: {
      fw::TexturePlanes planes;
      planes.Compute(frame);
      fw::CompiledCascade<fw::TextureFamily> c;
      c.Compile(m, {planes.Width()});
      c.Decide(planes, {100 - 24, 100 - 24});
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::fuzz::SetUpFuzzing();
  if (size < 1) return 0;
  const auto flavour = static_cast<fw::Flavour>(data[0] % fw::kFlavours.size());
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  fw::ClassifierSet m;
  if (!m.LoadFromBytes(flavour, bytes, "fuzz.kdz")) {
    if (m.StageCount() != 0 || m.records.size() != fw::ClassifierSet::kMaxRecords) std::abort();
    return 0;
  }
  if (m.RecordsInStages() > fw::ClassifierSet::kMaxRecords) std::abort();
  m.UseModeRatio();
  const auto sample = fw::FlavourSample::Create(flavour);
  sample->SetCascade(m);
  if (sample->PrepareCrop(Picture(32, 24, 2), fw::InfoOf(flavour).cropType)) sample->Decide();
  DecideOnFrame(m);
  return 0;
}

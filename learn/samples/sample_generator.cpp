#include "learn/samples/sample_generator.h"

#include <cstdio>
#include <filesystem>

#include "core/image_file.h"
#include "core/resample.h"

namespace fw {

GeneratedSamples SampleGenerator::Generate(const Dib& frame, const std::string& folder,
                                           SampleTiling tiling) {
  GeneratedSamples out;
  if (frame.GetBitCount() != 24 || frame.Width() == 0) {
    out.result = Result::Error("no colour frame to cut samples from");
    return out;
  }
  if (tiling.side < 1 || tiling.step < 1 || tiling.side > frame.Width() ||
      tiling.side > frame.Height()) {
    out.result = Result::Error("squares of side " + std::to_string(tiling.side) + " every " +
                               std::to_string(tiling.step) + " pixels do not fit a " +
                               std::to_string(frame.Width()) + " x " +
                               std::to_string(frame.Height()) + " frame");
    return out;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder)) {
    out.result = Result::Error(folder + ": cannot create the sample folder");
    return out;
  }
  if (!sample_.SameFormat(kSampleSide, kSampleSide, 24)) sample_.CreateSigned(kSampleSide, kSampleSide, 24, false);
  for (int y = 0; y + tiling.side <= frame.Height(); y += tiling.step) {
    for (int x = 0; x + tiling.side <= frame.Width(); x += tiling.step) {
      ResampleRect(frame, sample_, {x, y, x + tiling.side - 1, y + tiling.side - 1},
                   {0, 0, kSampleSide - 1, kSampleSide - 1});
      std::string path;
      do {
        char name[64];
        std::snprintf(name, sizeof name, "候车_%05d.jpg", ++counter_);
        path = (std::filesystem::path(folder) / name).string();
      } while (std::filesystem::exists(path, ec));
      if (Result r = SaveJpeg(sample_, path, 100); !r) {
        out.result = r;
        return out;
      }
      if (out.written++ == 0) out.first = path;
      out.last = path;
    }
  }
  return out;
}

}  // namespace fw

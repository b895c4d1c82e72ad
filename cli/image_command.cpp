// image: one image operation applied to a picture file, so that the toolkit can be used and
// checked from the shell.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "core/colour.h"
#include "core/gradient.h"
#include "core/histogram.h"
#include "core/image_file.h"
#include "core/morphology.h"
#include "core/pseudo_colour.h"
#include "core/regions.h"
#include "core/ui_sink.h"
#include "core/wavelet.h"
#include "detect/fourier_analyzer.h"

namespace fw::cli {

namespace {

// The picture in grey (8-bit); an 8-bit picture is copied as it is.
void Grey(const Dib& source, Dib& grey) {
  if (source.GetBitCount() == 8) {
    grey.CopyFrom(source, false);
    return;
  }
  grey.CreateSigned(source.Width(), source.HeaderHeight(), 8, false);
  ToGray(source, grey);
}

// Packed width x height bytes of an 8-bit image.
std::vector<uint8_t> Plane(const Dib& grey) {
  std::vector<uint8_t> plane(static_cast<size_t>(grey.Width()) * grey.Height());
  for (int y = 0; y < grey.Height(); ++y) {
    std::copy_n(grey.Row(y), grey.Width(), plane.data() + static_cast<size_t>(y) * grey.Width());
  }
  return plane;
}

using OpResult = std::string;  // empty on success, else the problem

struct Operation {
  const char* name;
  const char* arguments;
  const char* help;
  int minArgs;
  int maxArgs;
  OpResult (*run)(const Dib& in, Dib& out, const std::vector<int>& args);
};

OpResult OpGrey(const Dib& in, Dib& out, const std::vector<int>&) {
  Grey(in, out);
  return {};
}

OpResult OpGradient(const Dib& in, Dib& out, const std::vector<int>& a) {
  GradientMagnitude(in, out, static_cast<uint8_t>(a.empty() ? 0 : a[0]));
  return {};
}

OpResult OpSobel(const Dib& in, Dib& out, const std::vector<int>&) {
  SobelMagnitude(in, out);
  return {};
}

OpResult OpDegrade(const Dib& in, Dib& out, const std::vector<int>& a) {
  if (in.GetBitCount() != 24) return "degrade needs a colour picture";
  DegradeLevels(in, out, a[0], false);
  return {};
}

OpResult OpMedian(const Dib& in, Dib& out, const std::vector<int>&) {
  Dib grey;
  Grey(in, grey);
  const std::vector<uint8_t> plane = Plane(grey);
  std::vector<uint8_t> filtered(plane.size());
  MedianFilter3(plane.data(), filtered.data(), grey.Width(), grey.Height());
  out.CopyFrom(grey, false);
  out.SetFromBytes(filtered.data(), grey.Width(), grey.Height());
  return {};
}

OpResult OpWavelet(const Dib& in, Dib& out, const std::vector<int>& a) {
  const int levels = a.empty() ? 3 : a[0];
  Dib work;
  work.CopyFrom(in, false);
  out.CopyFrom(in, false);
  out.Clear();
  if (!FloatWavelet(work, levels, &out)) {
    return "the picture's power-of-two part cannot be halved " + std::to_string(levels) + " times";
  }
  return {};
}

OpResult OpFftMagnitude(const Dib& in, Dib& out, const std::vector<int>&) {
  Dib grey;
  Grey(in, grey);
  FourierAnalyzer fourier;
  if (!fourier.Transform2D(grey.Pixels(), grey.Width(), grey.Height(), 8, true, true)) {
    return "the picture is too small for a Fourier transform";
  }
  out.CreateSigned(fourier.TransformWidth(), fourier.TransformHeight(), 8, false);
  fourier.MagnitudeImage(out.Pixels(), out.Width(), out.Height(), 8);
  return {};
}

OpResult OpPseudoColour(const Dib& in, Dib& out, const std::vector<int>& a) {
  if (a[0] < 1 || a[0] > kPseudoColourSchemeCount) return "the scheme must be 1 to 12";
  Grey(in, out);
  ApplyPseudoColour(out, a[0]);
  return {};
}

OpResult OpLabelRegions(const Dib& in, Dib& out, const std::vector<int>& a) {
  const int threshold = a.empty() ? 128 : a[0];
  Dib grey;
  Grey(in, grey);
  std::vector<uint8_t> plane = Plane(grey);
  for (uint8_t& v : plane) v = v >= threshold ? 1 : 0;
  RegionSet regions;
  regions.LabelRegions(plane.data(), grey.Width(), grey.Height());
  std::printf("regions=%d\n", regions.RegionCount());
  for (int i = 0; i < regions.RegionCount(); ++i) {
    std::printf("label=%d size=%d\n", regions.RegionLabels()[i], regions.RegionSizes()[i]);
  }
  // Show each region in its own colour: labels spread over a pseudo-colour table.
  for (uint8_t& v : plane) {
    if (v >= kFirstRegionLabel && v < kFirstRegionLabel + kMaxRegions) {
      v = static_cast<uint8_t>(64 + ((v - kFirstRegionLabel) * 37) % 192);
    } else {
      v = 0;
    }
  }
  out.CopyFrom(grey, false);
  out.SetFromBytes(plane.data(), grey.Width(), grey.Height());
  ApplyPseudoColour(out, kDefaultPseudoColourScheme);
  return {};
}

const Operation kOperations[] = {
    {"grey", "", "grey picture (30 R + 59 G + 11 B) / 100", 0, 0, OpGrey},
    {"gradient", "[T]", "gradient magnitude; with T, a mask of magnitudes >= T", 0, 1, OpGradient},
    {"sobel", "", "Sobel edge magnitude", 0, 0, OpSobel},
    {"degrade", "N", "grey quantised to N levels", 1, 1, OpDegrade},
    {"median", "", "3 x 3 median of the grey picture", 0, 0, OpMedian},
    {"wavelet", "[LEVELS]", "float wavelet transform (default 3 levels)", 0, 1, OpWavelet},
    {"fft-magnitude", "", "centred 2-D Fourier magnitude of the grey picture", 0, 0,
     OpFftMagnitude},
    {"pseudo-colour", "N", "grey picture in pseudo-colour scheme N (1..12)", 1, 1, OpPseudoColour},
    {"label-regions", "[T]", "regions of grey >= T (default 128), largest first", 0, 1,
     OpLabelRegions},
};

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: fumewatch-cli image OP IN OUT [ARGS...]\n\n"
               "Applies an image operation to the picture IN (JPEG, PNG or BMP) and writes the\n"
               "result to OUT (.bmp or .jpg).\n\noperations:\n");
  for (const Operation& op : kOperations) {
    const std::string usage = std::string(op.name) + (*op.arguments ? " " : "") + op.arguments;
    std::fprintf(out, "  %-20s %s\n", usage.c_str(), op.help);
  }
}

}  // namespace

int RunImage(const ArgList& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      PrintHelp(stdout);
      return 0;
    }
  }
  if (args.size() < 3) {
    PrintHelp(stderr);
    return 2;
  }
  const Operation* op = nullptr;
  for (const Operation& o : kOperations) {
    if (args[0] == o.name) op = &o;
  }
  if (!op)
    return Fail("unknown image operation \"" + args[0] + "\" (see 'fumewatch-cli image --help')");
  const int given = static_cast<int>(args.size()) - 3;
  if (given < op->minArgs || given > op->maxArgs) {
    return Fail(std::string(op->name) + " takes " +
                (*op->arguments ? op->arguments : "no arguments"));
  }
  std::vector<int> numbers;
  for (size_t i = 3; i < args.size(); ++i) {
    int v = 0;
    if (!ParseInt(args[i], v) || v < 0 || v > 255) {
      return Fail(std::string(op->name) + ": \"" + args[i] + "\" is not a number from 0 to 255");
    }
    numbers.push_back(v);
  }

  Dib in;
  {
    // The loader's own message (shown to the desktop's user as a box) comes back in its result,
    // which names the file: it is printed once, from there.
    RecordingUiSink quiet;
    ScopedUiSink scoped(quiet);
    if (const Result r = LoadImageFile(in, args[1]); !r) return Fail(r.message());
  }
  Dib out;
  if (const OpResult problem = op->run(in, out, numbers); !problem.empty()) {
    return Fail(args[1] + ": " + problem);
  }
  if (const Result r = SaveImageAs(out, args[2]); !r) return Fail(r.message());
  return 0;
}

}  // namespace fw::cli

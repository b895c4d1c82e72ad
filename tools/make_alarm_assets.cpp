// Writes the alarm's own files into a folder: "kdz.wav", a two-tone alarm of about 1.6 s that the
// desktop loops, and "FireAlarm01.bmp" (idle: a grey flame on a calm background) to
// "FireAlarm05.bmp" (four frames of a burning flame in a pulsing red ring). Output is the same
// on every run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/dib.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// --- sound ------------------------------------------------------------------------------------

void PutLe(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteAlarmSound(const std::string& path) {
  constexpr int kRate = 22050;
  constexpr int kSegments = 8;              // alternating high and low tones
  constexpr int kSegment = kRate / 5;       // 0.2 s each
  constexpr int kFade = kRate / 200;        // 5 ms ramps against clicks
  const double tones[2] = {1046.5, 784.0};  // C6 and G5
  std::vector<int16_t> samples;
  samples.reserve(kSegments * kSegment);
  double phase = 0.0;
  for (int s = 0; s < kSegments; ++s) {
    const double step = 2.0 * kPi * tones[s % 2] / kRate;
    for (int i = 0; i < kSegment; ++i) {
      double gain = 1.0;
      if (i < kFade) gain = static_cast<double>(i) / kFade;
      if (kSegment - i < kFade) gain = static_cast<double>(kSegment - i) / kFade;
      // A little third harmonic makes the tone cut through background noise.
      const double v = std::sin(phase) + 0.25 * std::sin(3.0 * phase);
      samples.push_back(static_cast<int16_t>(std::lround(gain * v * 0.6 * 32767.0 / 1.25)));
      phase += step;
      if (phase > 2.0 * kPi) phase -= 2.0 * kPi;
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  PutLe(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  PutLe(out, 16, 4);         // format chunk size
  PutLe(out, 1, 2);          // PCM
  PutLe(out, 1, 2);          // mono
  PutLe(out, kRate, 4);      // sample rate
  PutLe(out, kRate * 2, 4);  // byte rate
  PutLe(out, 2, 2);          // block align
  PutLe(out, 16, 2);         // bits per sample
  out.write("data", 4);
  PutLe(out, dataBytes, 4);
  for (const int16_t v : samples) PutLe(out, static_cast<uint16_t>(v), 2);
  return static_cast<bool>(out);
}

// --- pictures ---------------------------------------------------------------------------------

constexpr int kSize = 96;

struct Colour {
  double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Clamp01(double v) {
  return v < 0 ? 0 : (v > 1 ? 1 : v);
}

// Signed depth inside a flame shape at picture coordinates (x right, y up, both 0..1): positive
// inside. The flame is a teardrop whose tip sways with `sway` and whose height is `height`.
double FlameDepth(double x, double y, double sway, double height, double scale) {
  const double base = 0.25;
  const double v = (y - base) / (height * scale);  // 0 at the base, 1 at the tip
  if (v < -0.25 || v > 1.0) return -1.0;
  const double centre = 0.5 + sway * v * v;
  double halfWidth;
  if (v < 0) {
    halfWidth = 0.34 * scale * std::sqrt(1.0 - (v / 0.25) * (v / 0.25));  // round bottom
  } else {
    halfWidth = 0.34 * scale * std::pow(1.0 - v, 0.9) * (1.0 - 0.35 * v);
  }
  if (halfWidth <= 0) return -1.0;
  return 1.0 - std::fabs(x - centre) / halfWidth;
}

void DrawPicture(fw::Dib& image, int frame) {
  image.CreateSigned(kSize, kSize, 24, false);
  const bool idle = frame < 0;
  const double t = idle ? 0.0 : frame / 4.0;
  const double sway = idle ? 0.0 : 0.09 * std::sin(2.0 * kPi * t);
  const double height = idle ? 0.56 : 0.56 + 0.05 * std::sin(2.0 * kPi * t + 1.3);
  const double pulse = idle ? 0.0 : 0.5 + 0.5 * std::cos(2.0 * kPi * t);

  for (int py = 0; py < kSize; ++py) {
    // Memory row 0 is the bottom row of a bottom-up picture.
    uint8_t* row = image.Row(py);
    const double y = (py + 0.5) / kSize;
    for (int px = 0; px < kSize; ++px) {
      const double x = (px + 0.5) / kSize;
      const double dx = x - 0.5;
      const double dy = y - 0.5;
      const double radius = std::sqrt(dx * dx + dy * dy);

      Colour c = idle ? Colour{0.17, 0.19, 0.21} : Colour{0.20 + 0.12 * pulse, 0.04, 0.03};
      // Ring: green and calm when idle, pulsing red in alarm.
      const double ring = 1.0 - std::fabs(radius - 0.44) / 0.035;
      if (ring > 0) {
        const Colour ringColour =
            idle ? Colour{0.25, 0.62, 0.32} : Mix({0.75, 0.05, 0.05}, {1.0, 0.35, 0.25}, pulse);
        c = Mix(c, ringColour, Clamp01(ring * 1.5));
      }
      // Flame: outer body, inner core, hot centre.
      const double outer = FlameDepth(x, y, sway, height, 1.0);
      if (outer > 0) {
        const double inner = FlameDepth(x, y, sway * 0.7, height * 0.72, 0.62);
        const double core = FlameDepth(x, y, sway * 0.5, height * 0.42, 0.34);
        Colour flame = idle ? Colour{0.55, 0.57, 0.60} : Colour{0.93, 0.24, 0.05};
        if (inner > 0) {
          flame = Mix(flame, idle ? Colour{0.72, 0.74, 0.76} : Colour{1.0, 0.62, 0.08},
                      Clamp01(inner * 2.0));
        }
        if (core > 0) {
          flame = Mix(flame, idle ? Colour{0.86, 0.87, 0.88} : Colour{1.0, 0.95, 0.65},
                      Clamp01(core * 2.0));
        }
        c = Mix(c, flame, Clamp01(outer * 6.0));  // soft anti-aliased edge
      }
      row[3 * px] = static_cast<uint8_t>(std::lround(Clamp01(c.b) * 255));
      row[3 * px + 1] = static_cast<uint8_t>(std::lround(Clamp01(c.g) * 255));
      row[3 * px + 2] = static_cast<uint8_t>(std::lround(Clamp01(c.r) * 255));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_alarm_assets OUTPUT_FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  if (folder.back() != '/') folder += '/';
  if (!WriteAlarmSound(folder + "kdz.wav")) {
    std::fprintf(stderr, "make_alarm_assets: cannot write %skdz.wav\n", folder.c_str());
    return 1;
  }
  for (int picture = 0; picture < 5; ++picture) {
    fw::Dib image;
    DrawPicture(image, picture - 1);
    char name[32];
    std::snprintf(name, sizeof name, "FireAlarm%02d.bmp", picture + 1);
    if (const fw::Result saved = image.SaveBmp(folder + name); !saved) {
      std::fprintf(stderr, "make_alarm_assets: %s\n", saved.message().c_str());
      return 1;
    }
  }
  return 0;
}

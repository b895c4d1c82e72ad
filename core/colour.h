// Colour conversions: grey weightings, hue-saturation-value, YIQ, YUV, intensity-saturation,
// planar 4:2:0 frames to 24-bit pixels, and the hue/saturation/value shift of a whole picture.
// Pixel bytes are blue, green, red; colour tables hold red, green, blue per entry.
#pragma once

#include <cstdint>

#include "core/dib.h"

namespace fw {

struct Hsv {
  float hue = 0.0f;         // [0, 1): a full turn is 1
  float saturation = 0.0f;  // [0, 1]
  float value = 0.0f;       // [0, 1]
};

struct Rgb8 {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

struct Triple {
  float a = 0.0f;
  float b = 0.0f;
  float c = 0.0f;
};

// Grey weightings (integer division truncates).
inline int GreyHundredths(int red, int green, int blue) {
  return (30 * red + 59 * green + 11 * blue) / 100;
}
inline int GreyThousandths(int red, int green, int blue) {
  return (299 * red + 587 * green + 114 * blue) / 1000;
}

// Unit red, green, blue in [0, 1].
Hsv RgbToHsv(float red, float green, float blue);
// Bytes by truncation; a hue of exactly 1 is treated as 0.
Rgb8 HsvToRgb(float hue, float saturation, float value);
Triple RgbToYiq(float red, float green, float blue);  // Y, I, Q
Triple RgbToYuv(float red, float green, float blue);  // Y, U, V
// Fills `count` entries (red, green, blue bytes) of a hue ramp from hue a to hue b; when a >= b
// the ramp runs upward through 1 back to 0.
void HueRamp(uint8_t* table, int count, float a, float b);

// Grey (hundredths) of a 24-bit image into an 8-bit destination of the same size.
void ToGray(const Dib& source, Dib& destination);
// Grey (thousandths); mode 1 writes 255 where grey > threshold, else 0.
void ToGrayThousandths(const Dib& source, Dib& destination, uint8_t threshold, int mode);
// I = (b + g + r) / 3 into byte 0, S = 255 - min * 255 / I into byte 1 (third byte untouched).
void ToIntensitySaturation(const Dib& source, Dib& destination);
void IntensitySaturationInPlace(Dib& image);

// Fixed-point tables for the 4:2:0 conversion; filled once before live capture starts.
void InitYuvTables();
// Planar 4:2:0 frame (luma, then two quarter-size chroma planes) into this 24-bit image of the
// same even width and height, rows written bottom-up. Nothing happens when enable is false.
void Yuv420ToRgb(const uint8_t* frame, Dib& image, bool enable);

// HSV plane of an image: width x height (hue, saturation, value) triples.
void AllocHsvPlane(Dib& image);
void ComputeHsvPlane(Dib& image);
// destination pixel = HsvToRgb of the source's HSV triple shifted by (dh, ds, dv); the source
// must have its HSV plane computed.
void ShiftHsv(Dib& destination, float dh, float ds, float dv, const Dib& source);

}  // namespace fw

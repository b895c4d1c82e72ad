// Colour conversions: grey weightings, hue-saturation-value, YIQ, YUV, intensity-saturation,
// planar 4:2:0 frames to 24-bit pixels, and the hue/saturation/value shift of a whole picture.
// Pixel bytes are blue, green, red; colour tables hold red, green, blue per entry.
#pragma once

#include <cstddef>
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

// Exact quotients of the weighted sums by reciprocal multiplication, for the per-frame loops.
// Each is equal to the plain division over the whole range named (checked exhaustively by the
// tests), so results stay bit-identical to the formulas above.
// x / 100 for 0 <= x <= 25500 (a hundredths-weighted byte triple).
inline uint32_t DivideBy100(uint32_t x) {
  return (x * 5243u) >> 19;
}
// x / 1000 for 0 <= x <= 255000 (a thousandths-weighted byte triple).
inline uint32_t DivideBy1000(uint32_t x) {
  return ((x >> 3) * 33555u) >> 22;
}
// x / 200 for 0 <= x <= 51000 (the sum of two hundredths-weighted differences).
inline uint32_t DivideBy200(uint32_t x) {
  return ((x >> 3) * 5243u) >> 17;
}

// Unit red, green, blue in [0, 1].
Hsv RgbToHsv(float red, float green, float blue);
// Bytes by truncation; a hue of exactly 1 is treated as 0. A hue outside [0, 1] (or NaN) gives
// black; components outside [0, 1] are clamped to the byte range.
Rgb8 HsvToRgb(float hue, float saturation, float value);
Triple RgbToYiq(float red, float green, float blue);  // Y, I, Q
Triple RgbToYuv(float red, float green, float blue);  // Y, U, V
// Fills `count` entries (red, green, blue bytes) of a hue ramp from hue a to hue b; when a >= b
// the ramp runs upward through 1 back to 0. A ramp of one entry holds hue a alone.
void HueRamp(uint8_t* table, int count, float a, float b);

// The image conversions require a destination of the source's width and height with the depth
// stated; any other destination, or a source of another depth, is left unchanged.

// Grey (hundredths) of a 24-bit image into an 8-bit destination of the same size.
void ToGray(const Dib& source, Dib& destination);
// Grey (thousandths); mode 1 writes 255 where grey > threshold, else 0.
void ToGrayThousandths(const Dib& source, Dib& destination, uint8_t threshold, int mode);
// I = (b + g + r) / 3 into byte 0, S = 255 - min * 255 / I into byte 1 (third byte untouched).
void ToIntensitySaturation(const Dib& source, Dib& destination);
void IntensitySaturationInPlace(Dib& image);

// Fixed-point tables for the 4:2:0 conversion. They are built at compile time, so calling this
// is optional; it is kept for the capture start-up sequence.
void InitYuvTables();
// Bytes of a planar 4:2:0 frame of this size: width x height luma, two quarter chroma planes.
inline size_t Yuv420FrameBytes(int width, int height) {
  return static_cast<size_t>(width) * height + 2 * static_cast<size_t>(width / 2) * (height / 2);
}
// Planar 4:2:0 frame (luma, then the Cb and the Cr quarter planes, Yuv420FrameBytes long) into this
// 24-bit image of the same even width and height, rows written bottom-up. Nothing happens when
// enable is false, the frame is null, or the image is not 24-bit with even width and height.
void Yuv420ToRgb(const uint8_t* frame, Dib& image, bool enable);

// HSV plane of an image: width x height (hue, saturation, value) triples.
void AllocHsvPlane(Dib& image);
// Fills the plane from a 24-bit image (allocating it when its size does not match); other depths
// leave the plane as it is.
void ComputeHsvPlane(Dib& image);
// destination pixel = HsvToRgb of the source's HSV triple shifted by (dh, ds, dv). The source
// must have its HSV plane computed and the destination must be 24-bit of the source's size;
// otherwise nothing is written.
void ShiftHsv(Dib& destination, float dh, float ds, float dv, const Dib& source);

}  // namespace fw

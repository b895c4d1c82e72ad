// A small dyadic wavelet kit: one three-tap analysis pair, low (0.25, 0.5, 0.25) and high
// (-0.25, 0.5, -0.25), with symmetric extension (x[-k] = x[k], x[n-1+k] = x[n-1-k]) done by
// index reflection. A transformed line holds the low band in its first half and the high band in
// its second half. The float flavour serves the whole-picture views, the integer flavour the
// flicker test of a pixel's history and the energy of 8 x 8 blocks.
//
// The line and plane routines check nothing: lines must have an even length of at least 2 at
// every level and the planes must hold the region (callers size them). The Dib operations at
// the end check their image and refuse what they cannot transform.
#pragma once

#include <cstdint>

#include "core/dib.h"

namespace fw {

// 2^floor(log2 n) for n >= 1; -1 for n <= 0.
int LargestPowerOfTwo(int n);

// --- one line of n samples; element strides in elements ---
void Analyze1D(int n, const uint8_t* input, int inputStride, float* output, int outputStride);
void Analyze1D(int n, const float* input, int inputStride, float* output, int outputStride);
// Integer terms truncated one by one: low = x[i]/2 + x[i+1]/4 + x[i-1]/4,
// high = x[i+1]/2 - x[i+2]/4 - x[i]/4.
void Analyze1D(int n, const uint8_t* input, int inputStride, int32_t* output, int outputStride);
// As above with arithmetic shifts (>> 1, >> 2) in place of the divisions.
void Analyze1D(int n, const int32_t* input, int inputStride, int32_t* output, int outputStride);

// --- one level of a region: rows into plane A, then columns of plane A into plane B ---
// Afterwards plane B holds low-low top left, horizontal high top right, vertical high bottom left
// and high-high bottom right.
// Float from bytes: one channel of a picture (pixelStride bytes apart, rows rowStride apart);
// planes packed with rows of `width`.
void Analyze2D(int width, int height, const uint8_t* picture, int rowStride, int pixelStride,
               float* planeA, float* planeB);
// Float from floats: the input rows are inputStride apart, the planes' rows planeStride apart.
// The input may be plane B itself.
void Analyze2D(int width, int height, const float* input, int inputStride, float* planeA,
               float* planeB, int planeStride);
// Integer from bytes: the rectangle at (x, y) of one channel of a picture (`picture` points at
// the channel's byte of pixel (0, 0)); planes packed with rows of `width`.
void Analyze2D(const uint8_t* picture, int x, int y, int width, int height, int bytesPerPixel,
               int rowStride, int32_t* planeA, int32_t* planeB);
// Integer from integers, as the float form.
void Analyze2D(int width, int height, const int32_t* input, int inputStride, int32_t* planeA,
               int32_t* planeB, int planeStride);

// --- several levels; each further level transforms the top-left quarter of plane B again ---
// Float: one channel of a width x height picture region starting at `picture`; result in plane B
// (rows of `width`).
void AnalyzeLevels(const uint8_t* picture, int width, int height, int bytesPerPixel, int rowStride,
                   float* planeA, float* planeB, int levels);
// Integer: the rectangle at (x, y) of one channel; result in plane B (rows of `width`).
void AnalyzeLevels(const uint8_t* picture, int x, int y, int width, int height, int bytesPerPixel,
                   int rowStride, int32_t* planeA, int32_t* planeB, int levels);
// One-dimensional integer form: N = LargestPowerOfTwo(n) bytes into plane A; each further level
// transforms all N values again into the other plane. Returns the plane holding the result
// (A after an odd number of levels, B after an even number).
int32_t* AnalyzeLevels(const uint8_t* bytes, int n, int32_t* planeA, int32_t* planeB, int levels);

// Inverse of the float AnalyzeLevels of a width x height plane, in place; `scratch` holds width x
// height floats of work space (the other wavelet plane).
void SynthesizeLevels(int width, int height, float* plane, float* scratch, int levels);

// Mean square of everything outside the top-left quarter-by-quarter band of a width x height
// integer plane: S / (width x height x 0.75).
float DetailEnergy(const int32_t* plane, int width, int height);

// --- Dib operations (8-bit or 24-bit images) ---
// Transforms the top-left W x H part of the image (W, H the largest powers of two within its
// size), each channel into its own W x H section of the image's float wavelet planes, and shows
// the magnitudes of plane B in the destination (or in the image itself when none is given),
// clipped to its size. Returns false and changes nothing when the depth is not 8 or 24, W or H
// does not halve evenly `levels` times, or the destination's depth differs from the image's.
bool FloatWavelet(Dib& image, int levels, Dib* destination);
// Inverts the last FloatWavelet of this image in plane B and shows it as FloatWavelet does.
// Returns false and changes nothing when the planes do not hold a transform of this size.
bool FloatWaveletInverse(Dib& image, int levels, Dib* destination);
// Integer transform of channel c of the rectangle into the image's integer wavelet planes, shown
// in the destination when one is given (an 8-bit destination shows plane B as magnitudes).
// Returns false and changes nothing when the rectangle is not inside the image, the channel not
// in the image, a side does not halve evenly `levels` times, the integer planes hold fewer than
// width x height values, or the destination is smaller than the rectangle.
bool IntWaveletRect(Dib& image, int x, int y, int width, int height, int channel, int levels,
                    Dib* destination);

}  // namespace fw

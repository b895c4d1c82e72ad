// The one image type of the system: a device-independent bitmap with a BMP information header,
// a grey palette for 8-bit images and rows padded to a multiple of 4 bytes. Frames, pane pictures,
// masks and samples are all Dibs. Image operations address rows by their position in memory and
// never look at the sign of the header height; only drawing and BMP files do.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "core/result.h"

namespace fw {

// The 40-byte BMP information header, field for field.
struct BitmapInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;  // negative: top-down (memory row 0 shown at the top)
  uint16_t planes = 1;
  uint16_t bitCount = 8;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};

struct RgbQuad {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
};

// Outcome of reading a BMP: the image is replaced only on Ok.
enum class BmpStatus { Ok, NotBmp, OutOfMemory, Malformed, Truncated, CannotOpen };
using BmpResult = StatusResult<BmpStatus>;

class Dib {
 public:
  // A fresh image is 16 x 16, 8-bit, top-down, black, with the grey palette.
  Dib();
  ~Dib() = default;
  Dib(const Dib&) = delete;  // copying is explicit: CopyFrom
  Dib& operator=(const Dib&) = delete;
  Dib(Dib&&) noexcept = default;
  Dib& operator=(Dib&&) noexcept = default;

  // --- creation (each replaces header and pixels) ---
  // Top-down image (header height -height). keepPixels false zeroes every pixel byte.
  void Create(int width, int height, int bitCount, bool keepPixels);
  // As Create, but the header height is the argument unchanged (positive: bottom-up).
  void CreateSigned(int width, int height, int bitCount, bool keepPixels);
  // 8-bit top-down black image; leaves the float copy alone.
  void CreateGray(int width, int height);

  // --- queries ---
  int Width() const { return header_.width; }
  int Height() const { return header_.height < 0 ? -header_.height : header_.height; }
  int HeaderHeight() const { return header_.height; }
  bool IsBottomUp() const { return header_.height > 0; }
  int GetBitCount() const { return header_.bitCount; }
  int BytesPerPixel() const { return header_.bitCount / 8; }
  int Stride() const { return stride_; }
  size_t PixelBytes() const { return pixels_.size(); }
  const BitmapInfoHeader& Header() const { return header_; }
  // Sets the header height (orientation) without touching the pixels.
  void SetHeaderHeight(int height) { header_.height = height; }
  // True when the header block carries a 256-entry palette (every depth but 24 bits).
  bool HasPaletteBlock() const { return hasPaletteBlock_; }
  std::array<RgbQuad, 256>& GetPalette() { return palette_; }
  const std::array<RgbQuad, 256>& GetPalette() const { return palette_; }
  // Number of palette entries a header announces; remembers whether it was an information
  // header (true) or a 12-byte core header.
  int GetPaletteSize(const BitmapInfoHeader& header);
  bool InfoHeaderSeen() const { return infoHeaderFlag_; }
  // Equal bit counts, widths and height magnitudes.
  bool SameFormat(const Dib& other) const;
  bool SameFormat(int width, int height, int bitCount) const;

  // --- pixel access ---
  uint8_t* Pixels() { return pixels_.data(); }
  const uint8_t* Pixels() const { return pixels_.data(); }
  uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * stride_; }
  const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * stride_; }

  // Writes one 24-bit pixel; outside the image nothing happens.
  void SetPixelRgb(int x, int y, uint8_t red, uint8_t green, uint8_t blue);
  // Packed plane (rows of `width` bytes) into memory rows 0..height-1 of an 8-bit image.
  void SetFromBytes(const uint8_t* plane, int width, int height);
  void SetFromGray(const uint8_t* plane, int width, int height, int gain);
  void SetFromThreshold(const uint8_t* plane, int width, int height, uint8_t threshold);
  void Clear();
  void Fill(uint8_t value);
  void MirrorLeftRight(bool enable);
  // Expands an 8-bit image into 4 bytes per pixel (v, v, v, v != 0 ? 255 : 0).
  void ToAlphaPlane(std::vector<uint8_t>& plane) const;
  // Exchanges pixel buffers with an image of the same format (no copy).
  void SwapPixels(Dib& other);

  // --- float copy: one float per pixel byte, rows packed ---
  void MakeFloatCopy();
  bool HasFloatCopy() const { return floatCopyFlag_; }
  std::vector<float>& FloatCopy() { return floatCopy_; }
  const std::vector<float>& FloatCopy() const { return floatCopy_; }

  // --- copying ---
  // pixelsOnly: copies the source's pixel bytes into this image's buffer (equal format required)
  // and refreshes the float copy. Otherwise re-creates this image as an exact copy of the source.
  void CopyFrom(const Dib& source, bool pixelsOnly);

  // --- BMP files ---
  // Reads one BMP from the stream's current position. On failure the image is unchanged.
  // "Out of memory for DIB bits" goes to the UI sink when the pixel block cannot be allocated (the
  // result is then marked reported).
  BmpResult Read(std::istream& in);
  BmpResult ReadFromMemory(std::span<const uint8_t> bytes);
  // Opens the file and reads it; the message names the file.
  BmpResult LoadBmp(const std::string& path);
  // Writes a BMP (with a 1024-byte palette area whatever the depth). The path is `name` alone
  // when folder and extension are empty, else folder + name + ".bmp". The message names the file
  // when it cannot be written.
  Result SaveBmp(const std::string& name, const std::string& folder = {},
                 const std::string& extension = {}) const;
  static std::string BmpPath(const std::string& name, const std::string& folder,
                             const std::string& extension);

  // --- per-image work buffers reused from frame to frame by the image operations ---
  std::vector<float>& HsvPlane() { return hsvPlane_; }
  const std::vector<float>& HsvPlane() const { return hsvPlane_; }
  std::vector<int32_t>& HistogramBuffer() { return histogram_; }
  std::vector<uint8_t>& GlyphAtlas() { return glyphAtlas_; }
  int& GlyphAtlasWidth() { return glyphAtlasWidth_; }
  int& GlyphAtlasHeight() { return glyphAtlasHeight_; }
  std::array<std::vector<float>, 2>& FloatWaveletPlanes() { return floatWavelet_; }
  // Integer wavelet planes are supplied by their user (a detector owns them).
  std::array<std::span<int32_t>, 2>& IntWaveletPlanes() { return intWavelet_; }

 private:
  void Allocate(int width, int height, int headerHeight, int bitCount, bool keepPixels,
                bool touchFloatCopy);
  void WriteGreyPalette();
  void RecomputeStride();

  BitmapInfoHeader header_;
  std::array<RgbQuad, 256> palette_{};
  bool hasPaletteBlock_ = true;
  std::vector<uint8_t> pixels_;
  int stride_ = 0;

  bool floatCopyFlag_ = false;
  std::vector<float> floatCopy_;
  bool infoHeaderFlag_ = true;

  std::vector<float> hsvPlane_;
  std::vector<int32_t> histogram_;
  std::vector<uint8_t> glyphAtlas_;
  int glyphAtlasWidth_ = 0;
  int glyphAtlasHeight_ = 0;
  std::array<std::vector<float>, 2> floatWavelet_;
  std::array<std::span<int32_t>, 2> intWavelet_;
};

// Bytes per row for a width and bit count: padded to a multiple of 4.
inline int DibStride(int width, int bitCount) {
  return (width * (bitCount / 8) + 3) & ~3;
}

}  // namespace fw

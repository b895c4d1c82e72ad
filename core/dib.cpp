#include "core/dib.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstring>
#include <fstream>
#include <istream>
#include <sstream>

#include "core/input_file.h"
#include "core/size_limits.h"
#include "core/ui_sink.h"

namespace fw {

namespace {

constexpr uint16_t kBmpType = 0x4D42;  // "BM"
constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kCoreHeaderSize = 12;
constexpr int kPaletteBytes = 1024;

// Largest pixel block a BMP may declare: a 32-bit picture at the pixel limit with its row
// padding. Beyond it the block is treated as unallocatable.
int64_t MaxPixelBlock() {
  const SizeLimits limits = CurrentSizeLimits();
  return 4 * limits.maxPixels + 4 * static_cast<int64_t>(limits.maxSide);
}

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

BitmapInfoHeader ParseInfoHeader(const uint8_t* p) {
  BitmapInfoHeader h;
  h.size = Le32(p);
  h.width = static_cast<int32_t>(Le32(p + 4));
  h.height = static_cast<int32_t>(Le32(p + 8));
  h.planes = Le16(p + 12);
  h.bitCount = Le16(p + 14);
  h.compression = Le32(p + 16);
  h.sizeImage = Le32(p + 20);
  h.xPelsPerMeter = static_cast<int32_t>(Le32(p + 24));
  h.yPelsPerMeter = static_cast<int32_t>(Le32(p + 28));
  h.clrUsed = Le32(p + 32);
  h.clrImportant = Le32(p + 36);
  return h;
}

void WriteInfoHeader(const BitmapInfoHeader& h, uint8_t* p) {
  Put32(p, h.size);
  Put32(p + 4, static_cast<uint32_t>(h.width));
  Put32(p + 8, static_cast<uint32_t>(h.height));
  Put16(p + 12, h.planes);
  Put16(p + 14, h.bitCount);
  Put32(p + 16, h.compression);
  Put32(p + 20, h.sizeImage);
  Put32(p + 24, static_cast<uint32_t>(h.xPelsPerMeter));
  Put32(p + 28, static_cast<uint32_t>(h.yPelsPerMeter));
  Put32(p + 32, h.clrUsed);
  Put32(p + 36, h.clrImportant);
}

bool ReadExact(std::istream& in, void* dst, std::streamsize n) {
  in.read(static_cast<char*>(dst), n);
  return in.gcount() == n;
}

}  // namespace

Dib::Dib() {
  CreateGray(16, 16);
}

void Dib::WriteGreyPalette() {
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    palette_[i] = RgbQuad{v, v, v, 0};
  }
}

void Dib::RecomputeStride() {
  stride_ = DibStride(header_.width, header_.bitCount);
}

void Dib::Allocate(int width, int height, int headerHeight, int bitCount, bool keepPixels,
                   bool touchFloatCopy) {
  assert(width >= 0 && bitCount > 0);
  const int rows = height < 0 ? -height : height;
  stride_ = DibStride(width, bitCount);
  header_ = BitmapInfoHeader{};
  header_.width = width;
  header_.height = headerHeight;
  header_.bitCount = static_cast<uint16_t>(bitCount);
  header_.sizeImage = static_cast<uint32_t>(stride_) * static_cast<uint32_t>(rows);
  hasPaletteBlock_ = bitCount == 8;
  palette_ = {};
  if (bitCount == 8) WriteGreyPalette();
  const size_t bytes = static_cast<size_t>(stride_) * static_cast<size_t>(rows);
  if (keepPixels) {
    pixels_.resize(bytes);
  } else {
    pixels_.assign(bytes, 0);
  }
  if (touchFloatCopy && floatCopyFlag_) {
    const size_t n = static_cast<size_t>(width) * (bitCount / 8) * rows;
    if (keepPixels) {
      floatCopy_.resize(n);
    } else {
      floatCopy_.assign(n, 0.0f);
    }
  }
}

void Dib::Create(int width, int height, int bitCount, bool keepPixels) {
  Allocate(width, height, -height, bitCount, keepPixels, true);
}

void Dib::CreateSigned(int width, int height, int bitCount, bool keepPixels) {
  Allocate(width, height, height, bitCount, keepPixels, true);
}

void Dib::CreateGray(int width, int height) {
  const int rows = height < 0 ? -height : height;
  Allocate(width, rows, -rows, 8, false, false);
}

int Dib::GetPaletteSize(const BitmapInfoHeader& header) {
  infoHeaderFlag_ = header.size != 12;
  if (infoHeaderFlag_ && header.clrUsed != 0) return static_cast<int>(header.clrUsed);
  switch (header.bitCount) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

bool Dib::SameFormat(const Dib& other) const {
  return GetBitCount() == other.GetBitCount() && Width() == other.Width() &&
         Height() == other.Height();
}

bool Dib::SameFormat(int width, int height, int bitCount) const {
  return GetBitCount() == bitCount && Width() == width &&
         Height() == (height < 0 ? -height : height);
}

void Dib::SetPixelRgb(int x, int y, uint8_t red, uint8_t green, uint8_t blue) {
  if (x < 0 || y < 0 || x >= Width() || y >= Height() || GetBitCount() != 24) return;
  uint8_t* p = Row(y) + 3 * x;
  p[0] = blue;
  p[1] = green;
  p[2] = red;
}

void Dib::SetFromBytes(const uint8_t* plane, int width, int height) {
  assert(GetBitCount() == 8 && width <= Width() && height <= Height());
  for (int y = 0; y < height; ++y)
    std::memcpy(Row(y), plane + static_cast<size_t>(y) * width, width);
}

void Dib::SetFromGray(const uint8_t* plane, int width, int height, int gain) {
  assert(GetBitCount() == 8 && width <= Width() && height <= Height());
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = plane + static_cast<size_t>(y) * width;
    uint8_t* dst = Row(y);
    for (int x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(std::min(gain * src[x], 255));
  }
}

void Dib::SetFromThreshold(const uint8_t* plane, int width, int height, uint8_t threshold) {
  assert(GetBitCount() == 8 && width <= Width() && height <= Height());
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = plane + static_cast<size_t>(y) * width;
    uint8_t* dst = Row(y);
    for (int x = 0; x < width; ++x) dst[x] = src[x] < threshold ? 0 : 255;
  }
}

void Dib::Clear() {
  std::fill(pixels_.begin(), pixels_.end(), uint8_t{0});
}

void Dib::Fill(uint8_t value) {
  std::fill(pixels_.begin(), pixels_.end(), value);
}

void Dib::MirrorLeftRight(bool enable) {
  if (!enable || GetBitCount() != 24) return;
  const int w = Width();
  for (int y = 0; y < Height(); ++y) {
    uint8_t* row = Row(y);
    for (int l = 0, r = w - 1; l < r; ++l, --r) {
      std::swap(row[3 * l], row[3 * r]);
      std::swap(row[3 * l + 1], row[3 * r + 1]);
      std::swap(row[3 * l + 2], row[3 * r + 2]);
    }
  }
}

void Dib::ToAlphaPlane(std::vector<uint8_t>& plane) const {
  const int w = Width();
  const int h = Height();
  plane.assign(static_cast<size_t>(w) * h * 4, 0);
  if (GetBitCount() != 8) return;
  uint8_t* out = plane.data();
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = Row(y);
    for (int x = 0; x < w; ++x, out += 4) {
      const uint8_t v = row[x];
      out[0] = v;
      out[1] = v;
      out[2] = v;
      out[3] = v != 0 ? 255 : 0;
    }
  }
}

void Dib::SwapPixels(Dib& other) {
  assert(SameFormat(other) && stride_ == other.stride_);
  pixels_.swap(other.pixels_);
}

void Dib::MakeFloatCopy() {
  const int bpp = BytesPerPixel();
  const int w = Width();
  const int h = Height();
  const size_t n = static_cast<size_t>(w) * bpp * h;
  if (floatCopy_.size() != n) floatCopy_.assign(n, 0.0f);
  if (GetBitCount() == 8 || GetBitCount() == 24) {
    float* out = floatCopy_.data();
    const int rowBytes = w * bpp;
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = Row(y);
      for (int i = 0; i < rowBytes; ++i) out[i] = row[i];
      out += rowBytes;
    }
  }
  floatCopyFlag_ = true;
}

void Dib::CopyFrom(const Dib& source, bool pixelsOnly) {
  if (pixelsOnly) {
    if (pixels_.empty()) return;
    assert(pixels_.size() >= source.pixels_.size());
    const size_t n = std::min(pixels_.size(), source.pixels_.size());
    std::copy_n(source.pixels_.begin(), n, pixels_.begin());
    if (floatCopyFlag_) MakeFloatCopy();
    return;
  }
  Create(source.Width(), source.Height(), source.GetBitCount(), false);
  std::copy(source.pixels_.begin(), source.pixels_.end(), pixels_.begin());
  header_ = source.header_;
  hasPaletteBlock_ = source.hasPaletteBlock_;
  palette_ = source.palette_;
  RecomputeStride();
}

// --- BMP reading -------------------------------------------------------------------------------

namespace {

BmpResult Bmp(BmpStatus status, std::string message) {
  return {status, Result::Error(std::move(message))};
}

// The image buffer's own message for a pixel block it will not allocate, with the size that
// was asked for and the limit; shown once, the result marked reported.
BmpResult OutOfMemory(const std::string& detail) {
  const std::string text = "Out of memory for DIB bits (" + detail + ")";
  CurrentUiSink().Message(text, "", MessageButtons::Ok);
  return {BmpStatus::OutOfMemory, Result::Reported(text)};
}

}  // namespace

BmpResult Dib::Read(std::istream& in) {
  const std::streampos start = in.tellg();
  uint8_t fileHeader[kFileHeaderSize];
  if (!ReadExact(in, fileHeader, kFileHeaderSize) || Le16(fileHeader) != kBmpType) {
    return Bmp(BmpStatus::NotBmp, "not a BMP file");
  }
  const uint32_t fileSize = Le32(fileHeader + 2);
  const uint32_t pixelOffset = Le32(fileHeader + 10);

  uint8_t raw[kInfoHeaderSize] = {};
  if (!ReadExact(in, raw, kInfoHeaderSize)) {
    // A short file may still hold a complete core header.
    in.clear();
  }
  BitmapInfoHeader header = ParseInfoHeader(raw);
  // The later versions of the information header (52, 56, 64, 108 and 124 bytes) begin with the
  // same 40 bytes; their palette follows the whole header.
  const uint32_t headerSize = header.size;
  bool coreHeader = false;
  if (headerSize == kCoreHeaderSize) {
    in.clear();
    in.seekg(start + std::streamoff{kFileHeaderSize});
    uint8_t core[kCoreHeaderSize];
    if (!ReadExact(in, core, kCoreHeaderSize))
      return Bmp(BmpStatus::Truncated, "file ends inside the BMP header");
    header = BitmapInfoHeader{};
    header.size = Le32(core);
    header.width = Le16(core + 4);
    header.height = Le16(core + 6);
    header.planes = Le16(core + 8);
    header.bitCount = Le16(core + 10);
    coreHeader = true;
  } else if (headerSize < kInfoHeaderSize || headerSize > 1024) {
    return Bmp(BmpStatus::Malformed, "unknown BMP header size " + std::to_string(headerSize));
  } else if (in.gcount() < kInfoHeaderSize) {
    return Bmp(BmpStatus::Truncated, "file ends inside the BMP header");
  }
  const int paletteEntries = GetPaletteSize(header);
  header.size = kInfoHeaderSize;

  const int bits = header.bitCount;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Bmp(BmpStatus::Malformed, "unsupported bit depth " + std::to_string(bits));
  }
  if (header.compression != 0) {
    return Bmp(BmpStatus::Malformed, "compressed BMP files are not supported");
  }
  const int64_t rows = header.height < 0 ? -static_cast<int64_t>(header.height) : header.height;
  if (header.width <= 0 || rows == 0) {
    return Bmp(BmpStatus::Malformed, "bad image size " + std::to_string(header.width) + " x " +
                                         std::to_string(header.height));
  }
  if (!WithinSizeLimits(header.width, rows)) {
    return OutOfMemory(SizeLimitProblem("picture size", header.width, rows));
  }

  std::array<RgbQuad, 256> palette{};
  if (bits != 24) {
    if (!coreHeader) {
      in.clear();
      in.seekg(start + std::streamoff{kFileHeaderSize} + std::streamoff{headerSize});
      uint8_t entries[kPaletteBytes];
      if (!ReadExact(in, entries, kPaletteBytes)) {
        return Bmp(BmpStatus::Truncated, "file ends inside the palette");
      }
      for (int i = 0; i < 256; ++i) {
        palette[i] =
            RgbQuad{entries[4 * i], entries[4 * i + 1], entries[4 * i + 2], entries[4 * i + 3]};
      }
    } else {
      const int n = std::min(paletteEntries, 256);
      for (int i = 0; i < n; ++i) {
        uint8_t e[3];
        if (!ReadExact(in, e, 3)) return Bmp(BmpStatus::Truncated, "file ends inside the palette");
        palette[i] = RgbQuad{e[0], e[1], e[2], 0};
      }
    }
  }

  // The pixel block runs from the pixel offset to the end the file header announces.
  const int64_t declared = static_cast<int64_t>(fileSize) - static_cast<int64_t>(pixelOffset);
  const int stride = DibStride(header.width, bits);
  const int64_t needed = static_cast<int64_t>(stride) * rows;
  if (declared < 0 || declared > MaxPixelBlock()) {
    // The unsigned difference is what the header asks to allocate.
    return OutOfMemory("a pixel block of " + std::to_string(fileSize - pixelOffset) +
                       " bytes is beyond the limit of " + std::to_string(MaxPixelBlock()) +
                       " bytes");
  }
  if (declared < needed) {
    return Bmp(BmpStatus::Malformed, "pixel block of " + std::to_string(declared) +
                                         " bytes is smaller than the image (" +
                                         std::to_string(needed) + " bytes)");
  }
  // A short file must not make us allocate what its header claims.
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  const std::streamoff pixelStart = start + std::streamoff{pixelOffset};
  if (end < 0 || end - pixelStart < needed) {
    return Bmp(BmpStatus::Truncated, "file ends inside the pixel data (the header declares " +
                                         std::to_string(needed) + " bytes of pixels)");
  }
  std::vector<uint8_t> pixels(static_cast<size_t>(needed));
  in.clear();
  in.seekg(pixelStart);
  if (!in || !ReadExact(in, pixels.data(), needed)) {
    return Bmp(BmpStatus::Truncated, "file ends inside the pixel data");
  }

  header_ = header;
  hasPaletteBlock_ = bits != 24;
  palette_ = palette;
  pixels_ = std::move(pixels);
  RecomputeStride();
  if (floatCopyFlag_) MakeFloatCopy();
  return {};
}

BmpResult Dib::ReadFromMemory(std::span<const uint8_t> bytes) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                        std::ios::binary);
  return Read(in);
}

BmpResult Dib::LoadBmp(const std::string& path) {
  if (const Result file = CheckInputFile(path); !file) {
    return Bmp(BmpStatus::CannotOpen, path + ": " + file.message());
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Bmp(BmpStatus::CannotOpen, path + ": cannot open file");
  const BmpResult result = Read(in);
  return {result.status(), result.In(path)};
}

// --- BMP writing -------------------------------------------------------------------------------

std::string Dib::BmpPath(const std::string& name, const std::string& folder,
                         const std::string& extension) {
  std::string ext = extension;
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (folder.empty() && ext.empty()) return name;
  return folder + name + ".bmp";
}

Result Dib::SaveBmp(const std::string& name, const std::string& folder,
                    const std::string& extension) const {
  const std::string path = BmpPath(name, folder, extension);
  const uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + kPaletteBytes;
  const size_t pixelBytes = static_cast<size_t>(stride_) * Height();
  std::vector<uint8_t> head(pixelOffset, 0);
  Put16(head.data(), kBmpType);
  Put32(head.data() + 2, static_cast<uint32_t>(pixelOffset + pixelBytes));
  Put32(head.data() + 10, pixelOffset);
  WriteInfoHeader(header_, head.data() + kFileHeaderSize);
  if (hasPaletteBlock_) {
    uint8_t* p = head.data() + kFileHeaderSize + kInfoHeaderSize;
    for (int i = 0; i < 256; ++i) {
      p[4 * i] = palette_[i].blue;
      p[4 * i + 1] = palette_[i].green;
      p[4 * i + 2] = palette_[i].red;
      p[4 * i + 3] = palette_[i].reserved;
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(reinterpret_cast<const char*>(head.data()),
              static_cast<std::streamsize>(head.size()));
    out.write(reinterpret_cast<const char*>(pixels_.data()),
              static_cast<std::streamsize>(std::min(pixelBytes, pixels_.size())));
    out.flush();
  }
  if (!out) return Result::Error(path + ": cannot write file");
  return Result::Ok();
}

}  // namespace fw

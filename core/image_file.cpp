#include "core/image_file.h"

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "core/input_file.h"
#include "core/size_limits.h"
#include "core/ui_sink.h"

namespace fw {

namespace fs = std::filesystem;

namespace {

// Files larger than this are not pictures this system can hold.
constexpr int64_t kMaxFileBytes = int64_t{1} << 30;

// A decoded picture: 24-bit rows padded to 4 bytes, memory row 0 at the bottom of the picture.
struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

Result Fail(const std::string& name, const std::string& problem) {
  return Result::Error(name + ": " + problem);
}

void AllocateDecoded(Decoded& out, int width, int height) {
  out.width = width;
  out.height = height;
  out.pixels.assign(static_cast<size_t>(DibStride(width, 24)) * height, 0);
}

std::string LowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// --- JPEG ---------------------------------------------------------------------------------------

class TjHandle {
 public:
  explicit TjHandle(tjhandle handle) : handle_(handle) {}
  ~TjHandle() {
    if (handle_) tjDestroy(handle_);
  }
  TjHandle(const TjHandle&) = delete;
  TjHandle& operator=(const TjHandle&) = delete;
  tjhandle get() const { return handle_; }

 private:
  tjhandle handle_;
};

bool DecodeJpeg(std::span<const uint8_t> bytes, Decoded& out, std::string& problem) {
  TjHandle tj(tjInitDecompress());
  if (!tj.get()) {
    problem = "cannot start the JPEG decoder";
    return false;
  }
  const auto size = static_cast<unsigned long>(bytes.size());
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(tj.get(), bytes.data(), size, &width, &height, &subsampling,
                          &colourspace) != 0) {
    problem = std::string("unreadable JPEG header (") + tjGetErrorStr2(tj.get()) + ")";
    return false;
  }
  if (!WithinSizeLimits(width, height)) {
    problem = SizeLimitProblem("picture size", width, height);
    return false;
  }
  if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
    problem = "CMYK JPEG pictures are not supported";
    return false;
  }
  AllocateDecoded(out, width, height);
  // A warning (premature end of data, corrupt entropy data) stops the decoding: such a picture
  // would come back partly grey. Progressive scans are limited so that a hostile file cannot
  // keep the decoder busy for minutes.
  const int flags = TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
  if (tjDecompress2(tj.get(), bytes.data(), size, out.pixels.data(), width, DibStride(width, 24),
                    height, TJPF_BGR, flags) != 0) {
    problem = std::string("corrupt or truncated JPEG data (") + tjGetErrorStr2(tj.get()) + ")";
    return false;
  }
  return true;
}

// --- PNG ----------------------------------------------------------------------------------------
// libpng reports errors with longjmp: the functions that call setjmp hold no object with a
// destructor, and everything they fill is plain data owned by their caller.

struct PngSource {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t position = 0;
  char error[200] = {};
};

void PngError(png_structp png, png_const_charp message) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  std::snprintf(source->error, sizeof source->error, "%s", message ? message : "unknown error");
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (count > source->size - source->position) png_error(png, "file ends inside the picture");
  std::memcpy(out, source->data + source->position, count);
  source->position += count;
}

struct PngLayout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  size_t rowBytes = 0;
  int channels = 0;
  int bitDepth = 0;
};

// Reads the header and sets the transformations to 8-bit blue, green, red.
bool PngReadHeader(png_structp png, png_infop info, PngLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int maxSide = CurrentSizeLimits().maxSide;
  png_set_user_limits(png, maxSide, maxSide);
  // A CRC error in any chunk, the ancillary ones included, means the file is damaged.
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_read_info(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  const int colourType = png_get_color_type(png, info);
  if (bitDepth == 16) png_set_strip_16(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  // Transparency (an alpha channel, or a tRNS chunk expanded with the palette) is dropped.
  png_set_strip_alpha(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  layout->width = png_get_image_width(png, info);
  layout->height = png_get_image_height(png, info);
  layout->rowBytes = png_get_rowbytes(png, info);
  layout->channels = png_get_channels(png, info);
  layout->bitDepth = png_get_bit_depth(png, info);
  return true;
}

// The rows, then the chunks after them up to IEND, so that damage there is found too.
bool PngReadRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

class PngReader {
 public:
  explicit PngReader(PngSource* source) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, source, PngError, PngWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (png_) png_set_read_fn(png_, source, PngRead);
  }
  ~PngReader() { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

bool DecodePng(std::span<const uint8_t> bytes, Decoded& out, std::string& problem) {
  PngSource source;
  source.data = bytes.data();
  source.size = bytes.size();
  PngReader reader(&source);
  if (!reader.png() || !reader.info()) {
    problem = "cannot start the PNG decoder";
    return false;
  }
  PngLayout layout;
  if (!PngReadHeader(reader.png(), reader.info(), &layout)) {
    problem = std::string("unreadable PNG header (") + source.error + ")";
    return false;
  }
  if (!WithinSizeLimits(layout.width, layout.height)) {
    problem = SizeLimitProblem("picture size", layout.width, layout.height);
    return false;
  }
  const int width = static_cast<int>(layout.width);
  const int height = static_cast<int>(layout.height);
  if (layout.channels != 3 || layout.bitDepth != 8 ||
      layout.rowBytes != static_cast<size_t>(width) * 3) {
    problem = "unsupported PNG pixel layout";
    return false;
  }
  AllocateDecoded(out, width, height);
  // The file's first row is the top of the picture: it goes to the last memory row.
  const size_t stride = static_cast<size_t>(DibStride(width, 24));
  std::vector<png_bytep> rows(height);
  for (int r = 0; r < height; ++r) rows[r] = out.pixels.data() + (height - 1 - r) * stride;
  if (!PngReadRows(reader.png(), rows.data())) {
    problem = std::string("corrupt or truncated PNG data (") + source.error + ")";
    return false;
  }
  return true;
}

// --- BMP ----------------------------------------------------------------------------------------

// One 16-bit pixel of the uncompressed 5-5-5 layout into blue, green, red bytes (the five bits
// repeated into the low bits, so that 31 becomes 255).
void Expand555(const uint8_t* pixel, uint8_t* bgr) {
  const int v = pixel[0] | (pixel[1] << 8);
  const int channels[3] = {v & 31, (v >> 5) & 31, (v >> 10) & 31};
  for (int c = 0; c < 3; ++c) {
    bgr[c] = static_cast<uint8_t>((channels[c] << 3) | (channels[c] >> 2));
  }
}

// Any depth the image buffer reads, turned into 24-bit bottom-up rows. `reported`: the image
// buffer has already shown its own message for the problem.
bool DecodeBmp(std::span<const uint8_t> bytes, Decoded& out, std::string& problem, bool& reported) {
  // The image buffer checks the size the header declares before it allocates anything.
  Dib bmp;
  const BmpResult read = bmp.ReadFromMemory(bytes);
  if (!read.ok()) {
    problem = read.message();
    reported = read.reported();
    return false;
  }
  const int width = bmp.Width();
  const int height = bmp.Height();
  const int bits = bmp.GetBitCount();
  if (!WithinSizeLimits(width, height)) {
    problem = SizeLimitProblem("picture size", width, height);
    return false;
  }
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    problem = "unsupported bit depth " + std::to_string(bits);
    return false;
  }
  AllocateDecoded(out, width, height);
  const size_t stride = static_cast<size_t>(DibStride(width, 24));
  const auto& palette = bmp.GetPalette();
  for (int y = 0; y < height; ++y) {
    // A top-down file shows memory row 0 at the top: it becomes the last memory row.
    const uint8_t* src = bmp.Row(bmp.IsBottomUp() ? y : height - 1 - y);
    uint8_t* dst = out.pixels.data() + y * stride;
    for (int x = 0; x < width; ++x, dst += 3) {
      switch (bits) {
        case 8: {
          const RgbQuad& e = palette[src[x]];
          dst[0] = e.blue;
          dst[1] = e.green;
          dst[2] = e.red;
          break;
        }
        case 16:
          Expand555(src + 2 * x, dst);
          break;
        default: {
          const uint8_t* p = src + x * (bits / 8);
          dst[0] = p[0];
          dst[1] = p[1];
          dst[2] = p[2];
        }
      }
    }
  }
  return true;
}

void Commit(Dib& image, const Decoded& decoded) {
  image.CreateSigned(decoded.width, decoded.height, 24, true);
  std::memcpy(image.Pixels(), decoded.pixels.data(), decoded.pixels.size());
  if (image.HasFloatCopy()) image.MakeFloatCopy();
}

// Shows the system's message for memory running out while loading, and the problem for the file.
Result ReportOutOfMemory(const std::string& name) {
  CurrentUiSink().Message("Memory allocation Error!\nExit now!", "", MessageButtons::Ok);
  return Result::Reported(name + ": out of memory");
}

// --- JPEG writing helpers ---------------------------------------------------------------------

bool HasGreyPalette(const Dib& image) {
  const auto& palette = image.GetPalette();
  for (int i = 0; i < 256; ++i) {
    const RgbQuad& e = palette[i];
    if (e.blue != i || e.green != i || e.red != i) return false;
  }
  return true;
}

// 24-bit copy of an 8-bit (through its palette), 16-bit or 32-bit image, same orientation.
std::vector<uint8_t> ExpandToBgr(const Dib& image) {
  const int width = image.Width();
  const int height = image.Height();
  const int bits = image.GetBitCount();
  const size_t stride = static_cast<size_t>(DibStride(width, 24));
  std::vector<uint8_t> bgr(stride * height);
  const auto& palette = image.GetPalette();
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = image.Row(y);
    uint8_t* dst = bgr.data() + y * stride;
    for (int x = 0; x < width; ++x, dst += 3) {
      if (bits == 8) {
        const RgbQuad& e = palette[src[x]];
        dst[0] = e.blue;
        dst[1] = e.green;
        dst[2] = e.red;
      } else if (bits == 16) {
        Expand555(src + 2 * x, dst);
      } else {
        std::memcpy(dst, src + 4 * x, 3);
      }
    }
  }
  return bgr;
}

}  // namespace

Result LoadImageFromMemory(Dib& image, std::span<const uint8_t> bytes, const std::string& name) {
  if (bytes.empty()) return Fail(name, "file is empty");
  static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  try {
    Decoded decoded;
    std::string problem;
    bool ok = false;
    bool reported = false;
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
      ok = DecodeJpeg(bytes, decoded, problem);
    } else if (bytes.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, bytes.begin())) {
      ok = DecodePng(bytes, decoded, problem);
    } else if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
      ok = DecodeBmp(bytes, decoded, problem, reported);
    } else {
      problem = "not a JPEG, PNG or BMP picture";
    }
    if (!ok) return reported ? Result::Reported(name + ": " + problem) : Fail(name, problem);
    Commit(image, decoded);
    return Result::Ok();
  } catch (const std::bad_alloc&) {
    return ReportOutOfMemory(name);
  }
}

Result LoadImageFile(Dib& image, const std::string& path) {
  if (const Result file = CheckInputFile(path); !file) return Fail(path, file.message());
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(path, "cannot open file");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) return Fail(path, "cannot read file");
  if (size > kMaxFileBytes) return Fail(path, "file is too large for a picture");
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return ReportOutOfMemory(path);
  }
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  if (in.gcount() != size) return Fail(path, "cannot read file");
  return LoadImageFromMemory(image, bytes, path);
}

Result SaveJpeg(const Dib& image, const std::string& path, int quality) {
  if (quality < 0 || quality > 100) {
    return Fail(path, "JPEG quality " + std::to_string(quality) + " is outside 0..100");
  }
  if (path.empty()) return Result::Error("no file name given for the JPEG picture");
  const int width = image.Width();
  const int height = image.Height();
  const int bits = image.GetBitCount();
  if (width <= 0 || height <= 0 || image.PixelBytes() == 0) return Fail(path, "image is empty");
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Fail(path, "cannot write a " + std::to_string(bits) + "-bit image as JPEG");
  }
  if (width > 65500 || height > 65500) return Fail(path, "image is too large for JPEG");

  std::vector<uint8_t> expanded;
  const uint8_t* source = image.Pixels();
  int pitch = image.Stride();
  int pixelFormat = TJPF_BGR;
  int subsampling = TJSAMP_420;
  if (bits == 8 && HasGreyPalette(image)) {
    pixelFormat = TJPF_GRAY;
    subsampling = TJSAMP_GRAY;
  } else if (bits == 32) {
    pixelFormat = TJPF_BGRX;
  } else if (bits != 24) {
    try {
      expanded = ExpandToBgr(image);
    } catch (const std::bad_alloc&) {
      return Fail(path, "out of memory");
    }
    source = expanded.data();
    pitch = DibStride(width, 24);
  }
  // A bottom-up image shows memory row 0 at the bottom; the JPEG is written as it is shown.
  const int flags = image.IsBottomUp() ? TJFLAG_BOTTOMUP : 0;

  TjHandle tj(tjInitCompress());
  if (!tj.get()) return Fail(path, "cannot start the JPEG encoder");
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  const int rc = tjCompress2(tj.get(), source, width, pitch, height, pixelFormat, &jpeg, &jpegSize,
                             subsampling, quality, flags);
  if (rc != 0) {
    tjFree(jpeg);
    return Fail(path, std::string("JPEG encoding failed (") + tjGetErrorStr2(tj.get()) + ")");
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(jpeg), static_cast<std::streamsize>(jpegSize));
  if (out) out.flush();
  tjFree(jpeg);
  if (!out) return Fail(path, "cannot write file");
  return Result::Ok();
}

Result CreateFolder(const std::string& path) {
  std::error_code ec;
  if (path.empty()) return Result::Error("no folder name given");
  fs::create_directories(path, ec);
  if (fs::is_directory(path)) return Result::Ok();
  return Result::Error(path + ": cannot create folder" + (ec ? " (" + ec.message() + ")" : ""));
}

bool DeleteFolderTree(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  if (trimmed.empty()) return false;
  const fs::path folder(trimmed);
  // Never the root of the file system, whatever the caller's path building produced.
  if (folder == folder.root_path()) return false;
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(folder, ec))) return false;
  fs::remove_all(folder, ec);
  return !fs::exists(fs::symlink_status(folder, ec));
}

Result SaveImageAs(const Dib& image, const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext == "jpg") return SaveJpeg(image, path, 100);
  if (ext == "bmp") {
    return image.SaveBmp(path);
  }
  return Fail(path, "not saved: only .jpg and .bmp pictures can be saved");
}

Result OpenImageFile(Dib& image, const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext == "jpg") return LoadImageFile(image, path);
  if (ext == "bmp") {
    const BmpResult read = image.LoadBmp(path);
    return read;
  }
  return Fail(path, "not opened: only .jpg and .bmp pictures can be opened");
}

}  // namespace fw

#include "cli/png_file.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fw::cli {

namespace {

// Everything libpng touches across its error jump lives here, outside the jumping frame.
struct PngWrite {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<png_byte> row;
};

bool Encode(PngWrite& w, const Dib& image) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  const int width = image.Width(), height = image.Height();
  const bool colour = image.GetBitCount() == 24;
  png_init_io(w.png, w.file);
  png_set_IHDR(w.png, w.info, width, height, 8, colour ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w.png, w.info);
  w.row.resize(static_cast<size_t>(width) * (colour ? 3 : 1));
  for (int r = 0; r < height; ++r) {
    const uint8_t* src = image.Row(image.IsBottomUp() ? height - 1 - r : r);
    if (colour) {
      for (int x = 0; x < width; ++x) {
        w.row[3 * x] = src[3 * x + 2];
        w.row[3 * x + 1] = src[3 * x + 1];
        w.row[3 * x + 2] = src[3 * x];
      }
    } else {
      std::copy_n(src, width, w.row.data());
    }
    png_write_row(w.png, w.row.data());
  }
  png_write_end(w.png, nullptr);
  return true;
}

}  // namespace

Result SavePng(const Dib& image, const std::string& path) {
  if (image.GetBitCount() != 24 && image.GetBitCount() != 8) {
    return Result::Error(path + ": only 8-bit and 24-bit pictures are written as PNG");
  }
  const std::string temporary = path + ".part";
  PngWrite w;
  w.file = std::fopen(temporary.c_str(), "wb");
  if (!w.file) return Result::Error(path + ": cannot create the file");
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  w.info = w.png ? png_create_info_struct(w.png) : nullptr;
  bool ok = w.info && Encode(w, image);
  png_destroy_write_struct(&w.png, &w.info);
  ok = std::fclose(w.file) == 0 && ok;
  std::error_code ec;
  if (ok) std::filesystem::rename(temporary, path, ec);
  if (!ok || ec) {
    std::remove(temporary.c_str());
    return Result::Error(path + ": cannot write the PNG file");
  }
  return Result::Ok();
}

}  // namespace fw::cli

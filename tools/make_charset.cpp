// Renders the glyph atlas "Charset.bmp" that text stamping reads: an 8-bit bottom-up BMP of
// 8 columns x 16 rows of cells, the cell of code c in column c mod 8 and row c / 8 from the top,
// each pixel the anti-aliased coverage (0 transparent, 255 full) of DejaVu Sans Mono. Codes
// without a printable glyph (0..31, 127) stay empty.
//
// Text stamping reads from each cell the middle 60 % of its width (from 2.5 % of the atlas width
// past the cell's left edge) and its full height, and scales that onto the character box. Cells
// of 20 x 24 pixels make that window exactly 12 x 24, so the common 12 x 24 characters are
// stamped pixel for pixel; the font is sized so that its 12-pixel advance fills the window.
//
// Usage: make_charset FONT.ttf OUTPUT.bmp
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/dib.h"

namespace {

constexpr int kCellWidth = 20;
constexpr int kCellHeight = 24;
constexpr int kColumns = 8;
constexpr int kRows = 16;
constexpr int kWindowLeft = 4;    // 0.025 x atlas width
constexpr int kWindowWidth = 12;  // 0.075 x atlas width
constexpr int kPixelSize = 20;    // DejaVu Sans Mono advances 0.6 em: 12 pixels

int Fail(const std::string& message) {
  std::fprintf(stderr, "make_charset: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: make_charset FONT.ttf OUTPUT.bmp");
  const std::string fontPath = argv[1];
  const std::string outPath = argv[2];

  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return Fail("cannot start FreeType");
  FT_Face face = nullptr;
  if (FT_New_Face(library, fontPath.c_str(), 0, &face) != 0) {
    FT_Done_FreeType(library);
    return Fail(fontPath + ": cannot open the font");
  }
  int status = 0;
  if (FT_Set_Pixel_Sizes(face, 0, kPixelSize) != 0) {
    status = Fail(fontPath + ": cannot set the pixel size");
  }
  // Baseline: the font's ascent below the cell top, leaving its descent inside the cell.
  const int ascent = static_cast<int>((face->size->metrics.ascender + 63) / 64);
  const int descent = static_cast<int>((-face->size->metrics.descender + 63) / 64);
  const int baseline = std::min(ascent, kCellHeight - descent);

  fw::Dib atlas;
  atlas.CreateSigned(kCellWidth * kColumns, kCellHeight * kRows, 8, false);
  const int atlasHeight = atlas.Height();
  for (int code = 32; code < 127 && status == 0; ++code) {
    if (FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) !=
        0) {
      status = Fail(fontPath + ": cannot render character " + std::to_string(code));
      break;
    }
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
      status = Fail(fontPath + ": glyphs are not rendered in grey levels");
      break;
    }
    // Centre the glyph's advance in the sampled window of its cell.
    const int advance = static_cast<int>((face->glyph->advance.x + 32) / 64);
    const int left = (code % kColumns) * kCellWidth + kWindowLeft + (kWindowWidth - advance) / 2 +
                     face->glyph->bitmap_left;
    const int top = (code / kColumns) * kCellHeight + baseline - face->glyph->bitmap_top;
    const int cellLeft = (code % kColumns) * kCellWidth;
    const int cellTop = (code / kColumns) * kCellHeight;
    for (unsigned r = 0; r < bitmap.rows; ++r) {
      const int y = top + static_cast<int>(r);
      if (y < cellTop || y >= cellTop + kCellHeight) continue;
      const unsigned char* src = bitmap.buffer + static_cast<long>(r) * bitmap.pitch;
      // The picture is bottom-up: its top row is the last memory row.
      uint8_t* dst = atlas.Row(atlasHeight - 1 - y);
      for (unsigned c = 0; c < bitmap.width; ++c) {
        const int x = left + static_cast<int>(c);
        if (x < cellLeft || x >= cellLeft + kCellWidth) continue;
        dst[x] = std::max(dst[x], src[c]);
      }
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  if (status != 0) return status;

  if (const fw::Result saved = atlas.SaveBmp(outPath); !saved) return Fail(saved.message());
  return 0;
}

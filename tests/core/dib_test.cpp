#include "core/dib.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/ui_sink.h"

namespace fw {
namespace {

std::vector<uint8_t> BmpBytes(const Dib& image) {
  // One file per process: the tests of this program run in parallel.
  const auto path = std::filesystem::temp_directory_path() /
                    ("fw_dib_test_roundtrip_" + std::to_string(::getpid()) + ".bmp");
  EXPECT_TRUE(image.SaveBmp(path.string(), "", ""));
  std::vector<uint8_t> bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::remove(path);
  return bytes;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(Dib, FreshImageIsSixteenSquareGreyTopDown) {
  Dib d;
  EXPECT_EQ(d.Width(), 16);
  EXPECT_EQ(d.Height(), 16);
  EXPECT_EQ(d.HeaderHeight(), -16);
  EXPECT_EQ(d.GetBitCount(), 8);
  EXPECT_EQ(d.Stride(), 16);
  EXPECT_TRUE(d.HasPaletteBlock());
  EXPECT_EQ(d.GetPalette()[37].green, 37);
  for (size_t i = 0; i < d.PixelBytes(); ++i) ASSERT_EQ(d.Pixels()[i], 0);
}

TEST(Dib, CreateSetsStrideOrientationAndHeaderBlock) {
  struct Case {
    int bits;
    bool signedHeight;
    int stride;
    int headerHeight;
    bool palette;
  };
  for (const Case c : {Case{24, false, 32, -5, false}, Case{8, false, 12, -5, true},
                       Case{24, true, 32, 5, false}}) {
    Dib d;
    d.Fill(7);
    if (c.signedHeight) {
      d.CreateSigned(10, 5, c.bits, false);
    } else {
      d.Create(10, 5, c.bits, false);
    }
    EXPECT_EQ(d.Stride(), c.stride);
    EXPECT_EQ(d.PixelBytes(), static_cast<size_t>(c.stride * 5));
    EXPECT_EQ(d.HeaderHeight(), c.headerHeight);
    EXPECT_EQ(d.Header().sizeImage, static_cast<uint32_t>(c.stride * 5));
    EXPECT_EQ(d.HasPaletteBlock(), c.palette);
    if (c.palette) {
      EXPECT_EQ(d.GetPalette()[200].blue, 200);
      EXPECT_EQ(d.GetPalette()[200].red, 200);
      EXPECT_EQ(d.GetPalette()[200].reserved, 0);
    }
    for (size_t i = 0; i < d.PixelBytes(); ++i) ASSERT_EQ(d.Pixels()[i], 0);
  }
}

TEST(Dib, SetPixelRgbIgnoresOutOfBounds) {
  Dib d;
  d.Create(4, 3, 24, false);
  d.SetPixelRgb(4, 0, 1, 2, 3);
  d.SetPixelRgb(0, 3, 1, 2, 3);
  d.SetPixelRgb(-1, 0, 1, 2, 3);
  for (size_t i = 0; i < d.PixelBytes(); ++i) ASSERT_EQ(d.Pixels()[i], 0);
  d.SetPixelRgb(3, 2, 10, 20, 30);
  const uint8_t* p = d.Row(2) + 9;
  EXPECT_EQ(p[0], 30);  // blue first
  EXPECT_EQ(p[1], 20);
  EXPECT_EQ(p[2], 10);
}

TEST(Dib, CopyFromKeepsOrientationAndHeader) {
  Dib src;
  src.CreateSigned(7, 3, 24, false);
  src.SetPixelRgb(6, 2, 9, 8, 7);
  Dib dst;
  dst.CopyFrom(src, false);
  EXPECT_EQ(dst.HeaderHeight(), 3);
  EXPECT_EQ(dst.Stride(), src.Stride());
  EXPECT_EQ(std::memcmp(&dst.Header(), &src.Header(), sizeof(BitmapInfoHeader)), 0);
  EXPECT_EQ(std::memcmp(dst.Pixels(), src.Pixels(), src.PixelBytes()), 0);
}

TEST(Dib, PixelOnlyCopyRefreshesFloatCopy) {
  Dib src;
  src.Create(3, 2, 8, false);
  src.Fill(9);
  Dib dst;
  dst.Create(3, 2, 8, false);
  dst.MakeFloatCopy();
  dst.CopyFrom(src, true);
  ASSERT_EQ(dst.FloatCopy().size(), 6u);
  for (float v : dst.FloatCopy()) EXPECT_EQ(v, 9.0f);
}

TEST(Dib, MirrorLeftRightReversesPixelsOfColourRows) {
  Dib d;
  d.Create(3, 1, 24, false);
  d.SetPixelRgb(0, 0, 1, 2, 3);
  d.SetPixelRgb(2, 0, 4, 5, 6);
  d.MirrorLeftRight(true);
  EXPECT_EQ(d.Row(0)[0], 6);
  EXPECT_EQ(d.Row(0)[8], 1);
}

TEST(Dib, BmpRoundTripKeepsPixelsAndHeader) {
  for (int bits : {8, 24}) {
    Dib d;
    d.CreateSigned(5, 3, bits, false);
    for (size_t i = 0; i < d.PixelBytes(); ++i) d.Pixels()[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> file = BmpBytes(d);
    ASSERT_EQ(file.size(), 1078u + d.PixelBytes());
    Dib back;
    ASSERT_TRUE(back.ReadFromMemory(file).ok());
    EXPECT_EQ(back.HeaderHeight(), 3);
    EXPECT_EQ(back.GetBitCount(), bits);
    EXPECT_EQ(std::memcmp(&back.Header(), &d.Header(), sizeof(BitmapInfoHeader)), 0);
    EXPECT_EQ(std::memcmp(back.Pixels(), d.Pixels(), d.PixelBytes()), 0);
  }
}

TEST(Dib, CoreHeaderPaletteComesFromThreeByteEntries) {
  // 14-byte file header, 12-byte core header, 256 three-byte entries, 4 x 2 pixels.
  std::vector<uint8_t> f(14 + 12 + 768 + 8, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, static_cast<uint32_t>(f.size()));
  Put32(f, 10, 14 + 12 + 768);
  Put32(f, 14, 12);
  f[18] = 4;           // width
  f[20] = 2;           // height (bottom-up)
  f[22] = 1;           // planes
  f[24] = 8;           // bits
  f[26 + 3 * 5] = 11;  // entry 5: blue 11, green 22, red 33
  f[26 + 3 * 5 + 1] = 22;
  f[26 + 3 * 5 + 2] = 33;
  f[26 + 768] = 5;
  Dib d;
  ASSERT_TRUE(d.ReadFromMemory(f).ok());
  EXPECT_FALSE(d.InfoHeaderSeen());
  EXPECT_EQ(d.Width(), 4);
  EXPECT_EQ(d.HeaderHeight(), 2);
  EXPECT_EQ(d.GetBitCount(), 8);
  EXPECT_EQ(d.GetPalette()[5].blue, 11);
  EXPECT_EQ(d.GetPalette()[5].green, 22);
  EXPECT_EQ(d.GetPalette()[5].red, 33);
  EXPECT_EQ(d.GetPalette()[5].reserved, 0);
  EXPECT_EQ(d.Row(0)[0], 5);
}

TEST(Dib, BadFilesLeaveTheImageUnchanged) {
  Dib good;
  good.Create(6, 4, 24, false);
  const std::vector<uint8_t> valid = BmpBytes(good);

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    BmpStatus status;
  };
  std::vector<Case> cases;
  {
    auto b = valid;
    b[0] = 'X';
    cases.push_back({"not BM", b, BmpStatus::NotBmp});
  }
  {
    auto b = valid;
    Put32(b, 2, 100);  // file size below the pixel offset
    cases.push_back({"size below offset", b, BmpStatus::OutOfMemory});
  }
  {
    auto b = valid;
    b.resize(b.size() - 10);
    cases.push_back({"truncated pixels", b, BmpStatus::Truncated});
  }
  {
    auto b = valid;
    Put32(b, 18, 1000);  // width larger than the pixel block holds
    cases.push_back({"pixel block too small", b, BmpStatus::Malformed});
  }
  {
    auto b = valid;
    Put32(b, 30, 1);  // RLE compression
    cases.push_back({"compressed", b, BmpStatus::Malformed});
  }
  {
    auto b = valid;
    Put32(b, 18, 5000);  // 5000 x 4000 declared: beyond the pixel limit, whatever the file holds
    Put32(b, 22, 4000);
    cases.push_back({"beyond the size limits", b, BmpStatus::OutOfMemory});
  }
  {
    auto b = valid;
    Put32(b, 14, 20);  // neither a core nor an information header
    cases.push_back({"unknown header size", b, BmpStatus::Malformed});
  }
  cases.push_back({"empty", {}, BmpStatus::NotBmp});

  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  for (const Case& c : cases) {
    Dib d;
    d.Create(3, 3, 8, false);
    d.Fill(42);
    const BmpResult r = d.ReadFromMemory(c.bytes);
    EXPECT_EQ(r.status(), c.status) << c.what;
    EXPECT_EQ(d.Width(), 3) << c.what;
    EXPECT_EQ(d.GetBitCount(), 8) << c.what;
    EXPECT_EQ(d.Pixels()[0], 42) << c.what;
  }
  // The image buffer's own message, with what was asked for and the limit.
  ASSERT_EQ(sink.Messages().size(), 2u);
  EXPECT_EQ(sink.Messages()[0].text.rfind("Out of memory for DIB bits (a pixel block of ", 0), 0u);
  EXPECT_EQ(sink.Messages()[1].text,
            "Out of memory for DIB bits (picture size 5000 x 4000 is beyond the limit of 16384 "
            "pixels a side and 16777216 pixels)");
}

// The later information headers (here the 124-byte fifth version) begin like the 40-byte one;
// the palette follows the whole header.
TEST(Dib, LongerInformationHeadersAreRead) {
  std::vector<uint8_t> f(14 + 124 + 1024 + 4, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, static_cast<uint32_t>(f.size()));
  Put32(f, 10, 14 + 124 + 1024);
  Put32(f, 14, 124);
  Put32(f, 18, 2);           // width
  Put32(f, 22, 1);           // height
  f[26] = 1;                 // planes
  f[28] = 8;                 // bits
  f[14 + 124 + 4 * 9] = 77;  // palette entry 9: blue 77
  f[14 + 124 + 1024] = 9;
  Dib d;
  ASSERT_TRUE(d.ReadFromMemory(f).ok());
  EXPECT_EQ(d.Width(), 2);
  EXPECT_EQ(d.GetBitCount(), 8);
  EXPECT_EQ(d.Header().size, 40u);
  EXPECT_EQ(d.GetPalette()[9].blue, 77);
  EXPECT_EQ(d.Row(0)[0], 9);
}

TEST(Dib, SaveBmpPathRule) {
  EXPECT_EQ(Dib::BmpPath("a", "/x/", "JPG"), "/x/a.bmp");
  EXPECT_EQ(Dib::BmpPath("a", "/x/", "bmp"), "/x/a.bmp");
  EXPECT_EQ(Dib::BmpPath("/full/p.bmp", "", ""), "/full/p.bmp");
}

TEST(Dib, SaveBmpReportsUnwritablePath) {
  Dib d;
  const Result saved = d.SaveBmp("/nonexistent-dir/x.bmp", "", "");
  EXPECT_FALSE(saved);
  EXPECT_NE(saved.message().find("/nonexistent-dir/x.bmp"), std::string::npos);
}

}  // namespace
}  // namespace fw

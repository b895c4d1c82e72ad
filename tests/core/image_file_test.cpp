#include "core/image_file.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/size_limits.h"
#include "core/ui_sink.h"
#include "tests/support/crafted.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

using test::Png;

std::string TempPath(const std::string& name) {
  return (fs::temp_directory_path() / ("fw_image_file_test_" + name)).string();
}

// Blue, green, red of the pixel shown at column x, row y from the top of a bottom-up image.
std::array<int, 3> Shown(const Dib& image, int x, int y) {
  const uint8_t* p = image.Row(image.Height() - 1 - y) + 3 * x;
  return {p[0], p[1], p[2]};
}

// Number of colour components of a baseline or progressive JPEG frame.
int JpegComponents(const Bytes& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return jpeg[i + 9];
  }
  return -1;
}

TEST(ImageFile, PngLayoutsBecomeBottomUpBlueGreenRed) {
  struct Case {
    const char* name;
    Bytes png;
    std::array<int, 3> topLeft;  // blue, green, red as shown
    std::array<int, 3> bottomRight;
  };
  const Case cases[] = {
      // 2 x 2 RGBA: alpha is dropped whatever its value.
      {"rgba",
       Png(2, 2, 8, 6, {{10, 20, 30, 0, 40, 50, 60, 128}, {1, 2, 3, 255, 4, 5, 6, 7}}),
       {30, 20, 10},
       {6, 5, 4}},
      // grey: three equal bytes.
      {"grey", Png(2, 2, 8, 0, {{0, 77}, {200, 255}}), {0, 0, 0}, {255, 255, 255}},
      // 1-bit grey expands to 0 and 255.
      {"grey1", Png(2, 2, 1, 0, {{0x80}, {0x40}}), {255, 255, 255}, {255, 255, 255}},
      // 16-bit grey with alpha keeps the high byte of the grey.
      {"grey_alpha16",
       Png(2, 2, 16, 4,
           {{0x12, 0x34, 0, 0, 0xAB, 0xCD, 0xFF, 0xFF}, {0, 0, 0, 0, 0x7F, 0xFF, 0, 0}}),
       {0x12, 0x12, 0x12},
       {0x7F, 0x7F, 0x7F}},
      // palette with a transparent entry: the colours stay, the transparency goes.
      {"palette",
       Png(2, 2, 8, 3, {{0, 1}, {1, 0}}, {9, 8, 7, 100, 150, 200}, {0}),
       {7, 8, 9},
       {7, 8, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib image;
    const Result r = LoadImageFromMemory(image, c.png, c.name);
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(image.GetBitCount(), 24);
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.HeaderHeight(), 2);  // bottom-up
    EXPECT_EQ(image.Stride(), 8);
    EXPECT_EQ(Shown(image, 0, 0), c.topLeft);
    EXPECT_EQ(Shown(image, 1, 1), c.bottomRight);
  }
  // The top row of the file is the last memory row.
  Dib image;
  ASSERT_TRUE(LoadImageFromMemory(image, cases[1].png, "grey").ok());
  EXPECT_EQ(image.Row(1)[3], 77);
  EXPECT_EQ(image.Row(0)[0], 200);
}

TEST(ImageFile, GreyJpegLoadsAsEqualBytes) {
  Dib grey;
  grey.Create(32, 16, 8, false);  // top-down
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) grey.Row(y)[x] = static_cast<uint8_t>(4 * x + 2 * y);
  }
  const std::string path = TempPath("grey.jpg");
  ASSERT_TRUE(SaveJpeg(grey, path, 100).ok());
  EXPECT_EQ(JpegComponents(test::ReadBytes(path)), 1);  // a grey JPEG, not a colour one

  Dib loaded;
  const Result r = LoadImageFile(loaded, path);
  ASSERT_TRUE(r.ok()) << r.message();
  ASSERT_EQ(loaded.GetBitCount(), 24);
  ASSERT_EQ(loaded.Width(), 32);
  ASSERT_EQ(loaded.HeaderHeight(), 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) {
      const auto [b, g, r8] = Shown(loaded, x, y);
      ASSERT_EQ(b, g);
      ASSERT_EQ(g, r8);
      // The top-down source shows its memory row 0 at the top.
      ASSERT_NEAR(b, grey.Row(y)[x], 2) << x << "," << y;
    }
  }
  fs::remove(path);
}

TEST(ImageFile, ColourJpegKeepsOrientationAndQualityBounds) {
  Dib colour;
  colour.CreateSigned(24, 8, 24, false);  // bottom-up: memory row 0 at the bottom
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 24; ++x) {
      colour.SetPixelRgb(x, y, static_cast<uint8_t>(10 * x), static_cast<uint8_t>(30 * y), 90);
    }
  }
  const std::string path = TempPath("colour.jpg");
  for (int quality : {0, 100}) {
    ASSERT_TRUE(SaveJpeg(colour, path, quality).ok()) << quality;
  }
  Dib loaded;
  ASSERT_TRUE(LoadImageFile(loaded, path).ok());
  ASSERT_EQ(loaded.HeaderHeight(), 8);
  // Quality 100 with 4:2:0 chroma: smooth ramps come back within a few levels.
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 24; ++x) {
      const uint8_t* a = colour.Row(y) + 3 * x;
      const uint8_t* b = loaded.Row(y) + 3 * x;
      for (int c = 0; c < 3; ++c) ASSERT_NEAR(a[c], b[c], 12) << x << "," << y << "," << c;
    }
  }

  for (int quality : {101, -1}) {
    const std::string refused = TempPath("refused.jpg");
    fs::remove(refused);
    const Result r = SaveJpeg(colour, refused, quality);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message().find(refused), std::string::npos);
    EXPECT_FALSE(fs::exists(refused)) << quality;
  }
  fs::remove(path);
}

TEST(ImageFile, BmpPicturesLoadAsColour) {
  Dib indexed;
  indexed.Create(3, 2, 8, false);  // top-down, palette entry 5 made orange
  indexed.GetPalette()[5] = RgbQuad{0, 128, 255, 0};
  indexed.Row(0)[2] = 5;
  const std::string path = TempPath("indexed.bmp");
  ASSERT_TRUE(indexed.SaveBmp(path, "", ""));
  Dib loaded;
  ASSERT_TRUE(LoadImageFile(loaded, path).ok());
  EXPECT_EQ(loaded.GetBitCount(), 24);
  EXPECT_EQ(loaded.HeaderHeight(), 2);
  EXPECT_EQ(Shown(loaded, 2, 0), (std::array<int, 3>{0, 128, 255}));
  EXPECT_EQ(Shown(loaded, 0, 1), (std::array<int, 3>{0, 0, 0}));
  fs::remove(path);
}

TEST(ImageFile, ExtensionDispatchIgnoresCaseAndRefusesOthers) {
  Dib image;
  image.Create(4, 4, 8, false);
  image.Fill(90);
  const std::string jpg = TempPath("upper.JPG");
  const std::string bmp = TempPath("mixed.Bmp");
  const std::string png = TempPath("other.png");
  fs::remove(png);
  ASSERT_TRUE(SaveImageAs(image, jpg).ok());
  const Bytes jpegBytes = test::ReadBytes(jpg);
  ASSERT_GE(jpegBytes.size(), 3u);
  EXPECT_EQ(jpegBytes[0], 0xFF);
  EXPECT_EQ(jpegBytes[1], 0xD8);
  ASSERT_TRUE(SaveImageAs(image, bmp).ok());
  EXPECT_EQ(test::ReadBytes(bmp).at(0), 'B');
  const Result refused = SaveImageAs(image, png);
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find(png), std::string::npos);
  EXPECT_FALSE(fs::exists(png));

  Dib opened;
  ASSERT_TRUE(OpenImageFile(opened, bmp).ok());
  EXPECT_EQ(opened.GetBitCount(), 8);  // BMP files keep their depth
  ASSERT_TRUE(OpenImageFile(opened, jpg).ok());
  EXPECT_EQ(opened.GetBitCount(), 24);
  EXPECT_NEAR(opened.Row(0)[0], 90, 1);
  test::WriteBytes(png, Png(1, 1, 8, 0, {{1}}));
  EXPECT_FALSE(OpenImageFile(opened, png).ok());
  EXPECT_EQ(opened.GetBitCount(), 24);
  for (const auto& p : {jpg, bmp, png}) fs::remove(p);
}

TEST(ImageFile, BadFilesLeaveTheImageAndNameTheFile) {
  Dib colour;
  colour.CreateSigned(16, 16, 24, false);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) colour.SetPixelRgb(x, y, static_cast<uint8_t>(16 * x), 60, 200);
  }
  const std::string jpgPath = TempPath("good.jpg");
  ASSERT_TRUE(SaveJpeg(colour, jpgPath, 90).ok());
  const Bytes jpeg = test::ReadBytes(jpgPath);
  fs::remove(jpgPath);
  const Bytes png = Png(3, 3, 8, 2, {Bytes(9, 50), Bytes(9, 60), Bytes(9, 70)});
  Dib bmpImage;
  bmpImage.Create(5, 5, 24, false);
  const std::string bmpPath = TempPath("good.bmp");
  ASSERT_TRUE(bmpImage.SaveBmp(bmpPath, "", ""));
  const Bytes bmp = test::ReadBytes(bmpPath);
  fs::remove(bmpPath);

  Bytes badCrc = png;
  badCrc[30] ^= 0xFF;        // inside the IHDR chunk's CRC
  Bytes corruptJpeg = jpeg;  // a Huffman table whose code counts overflow
  for (size_t i = 2; i + 21 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4) {
      std::fill(corruptJpeg.begin() + static_cast<long>(i) + 5,
                corruptJpeg.begin() + static_cast<long>(i) + 21, 0xFF);
      break;
    }
  }
  Bytes zeroSizePng = Png(0, 3, 8, 2, {});
  Bytes hugePng = Png(CurrentSizeLimits().maxSide + 1, 1, 8, 0, {Bytes(1, 0)});

  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o'}},
      {"truncated_jpeg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2)},
      {"corrupt_jpeg", corruptJpeg},
      {"jpeg_signature_only", Bytes{0xFF, 0xD8, 0xFF}},
      {"truncated_png", Bytes(png.begin(), png.end() - 30)},
      {"png_bad_crc", badCrc},
      {"png_zero_width", zeroSizePng},
      {"png_too_large", hugePng},
      {"truncated_bmp", Bytes(bmp.begin(), bmp.begin() + 1100)},
  };
  RecordingUiSink sink;
  ScopedUiSink scoped(sink);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempPath(c.name);
    test::WriteBytes(path, c.bytes);
    Dib image;
    image.CopyFrom(colour, false);
    const Result r = LoadImageFile(image, path);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.message().rfind(path + ": ", 0), 0u) << r.message();
    EXPECT_EQ(image.HeaderHeight(), 16);
    EXPECT_EQ(image.GetBitCount(), 24);
    ASSERT_EQ(image.PixelBytes(), colour.PixelBytes());
    EXPECT_TRUE(std::equal(colour.Pixels(), colour.Pixels() + colour.PixelBytes(), image.Pixels()));
    fs::remove(path);
  }
  Dib image;
  const std::string missing = TempPath("does_not_exist.jpg");
  const Result r = LoadImageFile(image, missing);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.message().find(missing), std::string::npos);
}

TEST(ImageFile, FolderHelpers) {
  const fs::path root =
      fs::temp_directory_path() / ("fw_image_file_test_tree_" + std::to_string(getpid()));
  fs::remove_all(root);
  ASSERT_TRUE(CreateFolder((root / "a" / "b").string()));
  EXPECT_TRUE(CreateFolder((root / "a").string()));  // already there
  test::WriteBytes((root / "one.txt").string(), {1});
  test::WriteBytes((root / "a" / "two.txt").string(), {2});
  test::WriteBytes((root / "a" / "b" / "three.txt").string(), {3});
  EXPECT_TRUE(DeleteFolderTree(root.string() + "/"));
  EXPECT_FALSE(fs::exists(root));
  EXPECT_FALSE(DeleteFolderTree(root.string() + "/"));  // nothing left to remove
  EXPECT_FALSE(DeleteFolderTree(""));
}

}  // namespace
}  // namespace fw

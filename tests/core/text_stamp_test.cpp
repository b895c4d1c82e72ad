#include "core/text_stamp.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/data_files.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// The glyph atlas comes from the build's data folder.
class TextStamp : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = StartDirectory();
    SetStartDirectory(FW_BUILD_DATA_DIR);
  }
  void TearDown() override { SetStartDirectory(previous_); }

  static Dib Canvas() {
    Dib image;
    image.CreateSigned(64, 160, 24, false);
    return image;
  }

  static bool Same(const Dib& a, const Dib& b) {
    return std::equal(a.Pixels(), a.Pixels() + a.PixelBytes(), b.Pixels());
  }

  // True when some pixel inside [x0, x1) x [y0, y1) is not black.
  static bool Inked(const Dib& image, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y) {
      for (int x = 3 * x0; x < 3 * x1; ++x) {
        if (image.Row(y)[x] != 0) return true;
      }
    }
    return false;
  }

 private:
  std::string previous_;
};

TEST_F(TextStamp, AtlasIsLoadedOnceIntoTheImage) {
  Dib image = Canvas();
  ASSERT_TRUE(EnsureGlyphAtlas(image));
  EXPECT_EQ(image.GlyphAtlasWidth(), 160);
  EXPECT_EQ(image.GlyphAtlasHeight(), 384);
  EXPECT_EQ(image.GlyphAtlas().size(), 160u * 384u * 4u);
  const uint8_t* before = image.GlyphAtlas().data();
  DrawText(image, "x", 0, 0, 12, 24, 255, 255, 255);
  EXPECT_EQ(image.GlyphAtlas().data(), before);  // reused, not reloaded
}

TEST_F(TextStamp, PenMovesByCellsAndLines) {
  Dib image = Canvas();
  DrawText(image, "12\n3", 10, 100, 12, 24, 255, 200, 0);

  // Cells of the 160 x 384 atlas: code c in column c % 8, memory band 15 - c / 8; the sampled
  // window is x from 4 + 20 v to 16 + 20 v and the band's 24 rows.
  Dib expected = Canvas();
  ASSERT_TRUE(EnsureGlyphAtlas(expected));
  const uint8_t* atlas = expected.GlyphAtlas().data();
  BlendGlyph(expected, {24, 216, 36, 240}, {10, 100, 22, 124}, atlas, 160, 384, 255, 200, 0);
  BlendGlyph(expected, {44, 216, 56, 240}, {22, 100, 34, 124}, atlas, 160, 384, 255, 200, 0);
  BlendGlyph(expected, {64, 216, 76, 240}, {10, 76, 22, 100}, atlas, 160, 384, 255, 200, 0);
  EXPECT_TRUE(Same(image, expected));
  EXPECT_TRUE(Inked(image, 10, 100, 22, 124));
  EXPECT_TRUE(Inked(image, 22, 100, 34, 124));
  EXPECT_TRUE(Inked(image, 10, 76, 22, 100));
  EXPECT_FALSE(Inked(image, 22, 76, 64, 100));
  EXPECT_FALSE(Inked(image, 34, 100, 64, 160));

  // A byte of 128 or above draws nothing and leaves the pen where it was.
  Dib skipped = Canvas();
  DrawText(skipped,
           "\xC8"
           "12\xC8\n3",
           10, 100, 12, 24, 255, 200, 0);
  EXPECT_TRUE(Same(skipped, image));

  // Text running off the picture is clipped.
  Dib edge = Canvas();
  DrawText(edge, "WW\nWW", 55, 150, 12, 24, 255, 255, 255);
  DrawText(edge, "W", -6, -10, 12, 24, 255, 255, 255);
  EXPECT_TRUE(Inked(edge, 55, 150, 64, 160));
}

TEST_F(TextStamp, BlendInterpolatesCoverage) {
  // Coverage 0 and 255 side by side, stretched over four pixels: 0, 127.5, 255, 255.
  const uint8_t atlas[] = {0, 0, 0, 0, 255, 255, 255, 255};
  Dib image;
  image.Create(4, 1, 24, false);
  image.Fill(100);
  BlendGlyph(image, {0, 0, 2, 1}, {0, 0, 4, 1}, atlas, 2, 1, 255, 0, 10);
  const int red[] = {100, 177, 255, 255};  // 255 a + 100 (1 - a), truncated
  const int green[] = {100, 50, 0, 0};
  const int blue[] = {100, 55, 10, 10};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(image.Row(0)[3 * x + 2], red[x]) << x;
    EXPECT_EQ(image.Row(0)[3 * x + 1], green[x]) << x;
    EXPECT_EQ(image.Row(0)[3 * x], blue[x]) << x;
  }
  // Shifted left by one pixel: the destination's first column falls outside and is skipped.
  Dib shifted;
  shifted.Create(3, 1, 24, false);
  shifted.Fill(100);
  BlendGlyph(shifted, {0, 0, 2, 1}, {-1, 0, 3, 1}, atlas, 2, 1, 255, 0, 10);
  EXPECT_EQ(shifted.Row(0)[2], 177);
  EXPECT_EQ(shifted.Row(0)[5], 255);
}

// While it lives, the data files (the glyph atlas among them) come from an empty temporary folder.
class ScopedDataFolder {
 public:
  ScopedDataFolder()
      : folder_(fs::temp_directory_path() /
                ("fw_text_stamp_test_empty_" + std::to_string(getpid()))) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const char* data = std::getenv("FUMEWATCH_DATA_DIR");
    hadData_ = data != nullptr;
    if (hadData_) keptData_ = data;
    setenv("FUMEWATCH_DATA_DIR", folder_.c_str(), 1);
    SetStartDirectory(folder_.string());
  }
  ~ScopedDataFolder() {
    if (hadData_) {
      setenv("FUMEWATCH_DATA_DIR", keptData_.c_str(), 1);
    } else {
      unsetenv("FUMEWATCH_DATA_DIR");
    }
    fs::remove_all(folder_);
  }
  ScopedDataFolder(const ScopedDataFolder&) = delete;
  ScopedDataFolder& operator=(const ScopedDataFolder&) = delete;

  std::string Atlas() const { return (folder_ / kGlyphAtlasFile).string(); }

 private:
  fs::path folder_;
  bool hadData_ = false;
  std::string keptData_;
};

TEST_F(TextStamp, MissingOrWrongAtlasDrawsNothing) {
  const ScopedDataFolder folder;
  Dib image = Canvas();
  EXPECT_FALSE(EnsureGlyphAtlas(image));
  DrawText(image, "123", 0, 0, 12, 24, 255, 255, 255);
  EXPECT_FALSE(Inked(image, 0, 0, 64, 160));

  Dib colourAtlas;  // a 24-bit "Charset.bmp" is not an atlas
  colourAtlas.Create(160, 384, 24, false);
  colourAtlas.Fill(255);
  ASSERT_TRUE(colourAtlas.SaveBmp(folder.Atlas(), "", ""));
  DrawText(image, "123", 0, 0, 12, 24, 255, 255, 255);
  EXPECT_FALSE(Inked(image, 0, 0, 64, 160));
  EXPECT_TRUE(image.GlyphAtlas().empty());
}

// What loading an atlas holds at once, from the header of the file it would load: at least the
// atlas and the picture it is made from (and not much more), for information and core headers and
// either row order; nothing for a file that gives no atlas, a FIFO among them (not waited on).
TEST_F(TextStamp, AtlasBytesFollowTheAtlasFile) {
  const ScopedDataFolder folder;
  EXPECT_EQ(GlyphAtlasBytes(), 0u);
  ASSERT_EQ(mkfifo(folder.Atlas().c_str(), 0600), 0);
  EXPECT_EQ(GlyphAtlasBytes(), 0u);
  fs::remove(folder.Atlas());

  Dib colourAtlas;
  colourAtlas.Create(42, 48, 24, false);
  ASSERT_TRUE(colourAtlas.SaveBmp(folder.Atlas(), "", ""));
  EXPECT_EQ(GlyphAtlasBytes(), 0u);

  const auto expectCovered = [](int width, int height) {
    Dib image = Canvas();
    ASSERT_TRUE(EnsureGlyphAtlas(image));
    ASSERT_EQ(image.GlyphAtlasWidth(), width);
    ASSERT_EQ(image.GlyphAtlasHeight(), height);
    const uint64_t held =
        image.GlyphAtlas().size() + static_cast<uint64_t>(DibStride(width, 8)) * height;
    EXPECT_GE(GlyphAtlasBytes(), held);
    EXPECT_LE(GlyphAtlasBytes(), held + 16384);
  };
  Dib topDown;  // negative header height
  topDown.Create(42, 48, 8, false);
  ASSERT_TRUE(topDown.SaveBmp(folder.Atlas(), "", ""));
  expectCovered(42, 48);

  // A 12-byte core header: 16-bit width and height, a palette of three-byte entries.
  constexpr int kWidth = 10;
  constexpr int kHeight = 6;
  constexpr int kOffset = 14 + 12 + 256 * 3;
  constexpr int kSize = kOffset + 12 * kHeight;
  std::vector<uint8_t> file(kSize, 0);
  const auto put = [&](int at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put(0, 'B' | ('M' << 8), 2);
  put(2, kSize, 4);
  put(10, kOffset, 4);
  put(14, 12, 4);
  put(18, kWidth, 2);
  put(20, kHeight, 2);
  put(22, 1, 2);
  put(24, 8, 2);
  std::ofstream(folder.Atlas(), std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), kSize);
  expectCovered(kWidth, kHeight);
}

}  // namespace
}  // namespace fw

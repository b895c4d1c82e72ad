#include "video/avi_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/ui_sink.h"
#include "tests/support/crafted.h"
#include "video/video_writer.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 30;

// A fresh folder per test program run for the generated clips, removed when the run ends.
fs::path TempDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("fw_video_test_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

class RemoveTempDir : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(TempDir(), ignored);
  }
};
const auto* const kRemoveTempDir = ::testing::AddGlobalTestEnvironment(new RemoveTempDir);

// Picture of frame `index` as a top-down image: blue carries the index, green a left-to-right
// ramp, red tells the upper half (200) from the lower half (50).
void PaintFrame(Dib& image, int width, int height, int index) {
  image.Create(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = static_cast<uint8_t>(index * 8);
      p[1] = static_cast<uint8_t>(x * 3);
      p[2] = y < height / 2 ? 200 : 50;
    }
  }
}

std::string WriteClip(const std::string& name, VideoCodec codec, int width, int height,
                      int frames = kFrames, int fps = 30) {
  const std::string path = (TempDir() / name).string();
  VideoWriter writer;
  EXPECT_EQ(writer.Open(path, width, height, fps, codec).message(), "");
  Dib frame;
  for (int i = 0; i < frames; ++i) {
    PaintFrame(frame, width, height, i);
    EXPECT_EQ(writer.Write(frame).message(), "");
  }
  EXPECT_EQ(writer.Close().message(), "");
  return path;
}

std::vector<uint8_t> Bytes(const Dib& image) {
  return {image.Pixels(), image.Pixels() + image.PixelBytes()};
}

// Blue at the centre of the picture, which carries the frame index.
int CentreBlue(const Dib& image) {
  return image.Row(image.Height() / 2)[(image.Width() / 2) * 3];
}

struct CodecCase {
  const char* name;
  VideoCodec codec;
  const char* extension;  // the container
  int tolerance;          // largest difference from the painted picture
};

class AviReaderCodecTest : public ::testing::TestWithParam<CodecCase> {};

// Size, count, the last frame and one past it, and random access equal to sequential reading
// byte for byte, for each codec the writer makes.
TEST_P(AviReaderCodecTest, ReadsEveryFrameTheSameWayInAnyOrder) {
  const CodecCase& c = GetParam();
  const std::string path = WriteClip(std::string(c.name) + c.extension, c.codec, 64, 48);
  AviReader reader;
  Dib image;
  ASSERT_EQ(reader.OpenInto(path, image).message(), "");
  EXPECT_EQ(reader.Width(), 64);
  EXPECT_EQ(reader.Height(), 48);
  EXPECT_EQ(reader.PixelCount(), 64 * 48);
  EXPECT_EQ(reader.FrameCount(), kFrames);
  EXPECT_DOUBLE_EQ(reader.FramesPerSecond(), 30.0);
  EXPECT_EQ(reader.Path(), path);
  EXPECT_EQ(image.GetBitCount(), 24);
  EXPECT_EQ(image.HeaderHeight(), 48);

  std::vector<std::vector<uint8_t>> sequential;
  Dib painted;
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
    sequential.push_back(Bytes(image));
    EXPECT_NEAR(CentreBlue(image), i * 8, c.tolerance) << "frame " << i;
    // Compare with the painted picture turned bottom-up; the lossy codecs blur the colour of
    // the rows next to the red edge in the middle, which are left out for them.
    PaintFrame(painted, 64, 48, i);
    int worst = 0;
    for (int y = 0; y < 48; ++y) {
      if (c.tolerance > 0 && std::abs(y - 24) <= 2) continue;
      const uint8_t* got = image.Row(47 - y);
      const uint8_t* want = painted.Row(y);
      for (int x = 0; x < 64 * 3; ++x) worst = std::max(worst, std::abs(got[x] - want[x]));
    }
    EXPECT_LE(worst, c.tolerance) << "frame " << i;
  }

  const std::vector<uint8_t> last = Bytes(image);
  EXPECT_FALSE(reader.GetFrame(kFrames, image));
  EXPECT_FALSE(reader.GetFrame(-1, image));
  EXPECT_EQ(Bytes(image), last);

  // Jumps backwards and forwards, a repeat, and a run of neighbours after a jump; then every
  // frame in steps of 7.
  std::vector<int> order = {17, 3, 29, 0, 12, 13, 14, 13, 25, 1, 11, 12, 28, 29, 5, 24, 6, 23};
  for (int k = 0; k < kFrames; ++k) order.push_back(k * 7 % kFrames);
  for (int i : order) {
    ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
    EXPECT_EQ(Bytes(image), sequential[i]) << "frame " << i;
  }
}

// B-frames are decoded out of order; AVI stores no presentation times for them, MP4 and
// Matroska do.
INSTANTIATE_TEST_SUITE_P(
    Codecs, AviReaderCodecTest,
    ::testing::Values(CodecCase{"rawvideo", VideoCodec::RawBgr24, ".avi", 0},
                      CodecCase{"mjpeg", VideoCodec::Mjpeg, ".avi", 12},
                      CodecCase{"mpeg4", VideoCodec::Mpeg4, ".avi", 12},
                      CodecCase{"mpeg4_bframes", VideoCodec::Mpeg4BFrames, ".avi", 12},
                      CodecCase{"mpeg4_bframes_mp4", VideoCodec::Mpeg4BFrames, ".mp4", 12},
                      CodecCase{"mpeg4_bframes_mkv", VideoCodec::Mpeg4BFrames, ".mkv", 12}),
    [](const auto& info) { return std::string(info.param.name); });

// The top row of the picture is memory row h-1, the padding after each row is zero, and a
// bottom-up source picture is written upright like a top-down one.
TEST(AviReaderTest, DeliversBottomUpRowsWithZeroPadding) {
  const int w = 63, h = 47;
  const std::string path = (TempDir() / "odd.avi").string();
  {
    VideoWriter writer;
    ASSERT_EQ(writer.Open(path, w, h, 25, VideoCodec::RawBgr24).message(), "");
    Dib topDown;
    PaintFrame(topDown, w, h, 1);
    ASSERT_TRUE(writer.Write(topDown));
    Dib bottomUp;
    bottomUp.CreateSigned(w, h, 24, false);
    for (int y = 0; y < h; ++y) {
      std::memcpy(bottomUp.Row(h - 1 - y), topDown.Row(y), static_cast<size_t>(w) * 3);
    }
    ASSERT_TRUE(writer.Write(bottomUp));
    ASSERT_TRUE(writer.Close());
  }
  AviReader reader;
  Dib image;
  ASSERT_TRUE(reader.OpenInto(path, image));
  ASSERT_EQ(reader.FrameCount(), 2);
  ASSERT_EQ(image.Stride(), 192);  // 189 bytes of pixels, 3 of padding
  Dib painted;
  PaintFrame(painted, w, h, 1);
  for (int i = 0; i < 2; ++i) {
    std::fill(image.Pixels(), image.Pixels() + image.PixelBytes(), 0xAB);
    ASSERT_TRUE(reader.GetFrame(i, image));
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = image.Row(h - 1 - y);
      EXPECT_EQ(0, std::memcmp(row, painted.Row(y), static_cast<size_t>(w) * 3))
          << "frame " << i << " picture row " << y;
      EXPECT_EQ(row[189], 0);
      EXPECT_EQ(row[190], 0);
      EXPECT_EQ(row[191], 0);
    }
    EXPECT_EQ(image.Row(h - 1)[2], 200);  // upper half red at the top
    EXPECT_EQ(image.Row(0)[2], 50);
  }
  // An image of another size is refused and left as it is.
  Dib wrongSize;
  wrongSize.Create(w + 1, h, 24, false);
  EXPECT_FALSE(reader.GetFrame(0, wrongSize));
}

// A failed open keeps the previous numbers, reports through the sink (or only through
// in the result alone when quiet) and leaves the reader without frames until a file opens.
TEST(AviReaderTest, FailedOpenKeepsNumbersAndDeliversNothing) {
  const std::string good = WriteClip("good.avi", VideoCodec::Mpeg4, 64, 48);
  const std::string garbage = (TempDir() / "garbage.avi").string();
  {
    std::mt19937 random(7);
    std::ofstream out(garbage, std::ios::binary);
    for (int i = 0; i < 100000; ++i) out.put(static_cast<char>(random()));
  }
  // A valid file with sound but no pictures: a minimal PCM WAV.
  const std::string wav = (TempDir() / "sound.wav").string();
  {
    std::ofstream out(wav, std::ios::binary);
    const uint32_t samples = 8000;
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    u32(36 + samples * 2);
    out << "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(8000), u32(16000), u16(2), u16(16);
    out << "data";
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) u16(static_cast<uint16_t>(i * 100));
  }
  const std::string missing = (TempDir() / "missing.avi").string();

  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {{missing, missing + ": No such file or directory"},
                        {garbage, garbage + ": "},
                        {wav, wav + ": no video stream"}};
  for (const Case& c : cases) {
    RecordingUiSink sink;
    ScopedUiSink scoped(sink);
    AviReader reader;
    Dib image;
    ASSERT_TRUE(reader.OpenInto(good, image));
    reader.SetCurrentFrame(7);
    const Result failed = reader.OpenInto(c.path, image);
    EXPECT_FALSE(failed) << c.path;
    EXPECT_EQ(reader.CurrentFrame(), 0);
    EXPECT_EQ(reader.Width(), 64);
    EXPECT_EQ(reader.Height(), 48);
    EXPECT_EQ(reader.PixelCount(), 64 * 48);
    EXPECT_EQ(reader.FrameCount(), kFrames);
    EXPECT_EQ(image.Width(), 64);
    EXPECT_EQ(image.HeaderHeight(), 48);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(failed.message().rfind(c.reason, 0), 0u) << failed.message();
    EXPECT_EQ(failed.message().find('\n'), std::string::npos);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].text, "Avi Error!");
    EXPECT_EQ(sink.Messages()[0].caption, "Kestrin");
    for (int i : {0, 5, kFrames - 1}) {
      EXPECT_FALSE(reader.GetFrame(i, image));
    }

    // Quietly: the same outcome without a message box.
    sink.Clear();
    EXPECT_EQ(reader.Open(c.path, OpenReport::Quiet).message(), failed.message());
    EXPECT_TRUE(sink.Messages().empty());

    // A good file opens again.
    ASSERT_EQ(reader.Open(good).message(), "");
    EXPECT_TRUE(reader.GetFrame(kFrames - 1, image));
  }
}

// A file cut short keeps its header's count but loses its index and last frames: the count
// comes from the frames that are there, and every frame reads the same in any order.
TEST(AviReaderTest, TruncatedFileCountsTheFramesThatAreThere) {
  // Noise in the top quarter makes every frame big enough for the cut to fall among frames.
  const std::string full = (TempDir() / "full.avi").string();
  {
    VideoWriter writer;
    ASSERT_TRUE(writer.Open(full, 64, 48, 30, VideoCodec::Mpeg4));
    std::mt19937 random(3);
    Dib frame;
    for (int i = 0; i < kFrames; ++i) {
      PaintFrame(frame, 64, 48, i);
      for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 64 * 3; ++x) frame.Row(y)[x] = static_cast<uint8_t>(random());
      }
      ASSERT_TRUE(writer.Write(frame));
    }
    ASSERT_TRUE(writer.Close());
  }
  const std::string cut = (TempDir() / "cut.avi").string();
  fs::copy_file(full, cut, fs::copy_options::overwrite_existing);
  fs::resize_file(cut, fs::file_size(full) * 6 / 10);

  AviReader reader;
  Dib image;
  ASSERT_EQ(reader.OpenInto(cut, image).message(), "");
  EXPECT_GT(reader.FrameCount(), 5);
  EXPECT_LT(reader.FrameCount(), kFrames);
  std::vector<std::vector<uint8_t>> sequential;
  int decoded = 0;
  for (int i = 0; i < reader.FrameCount(); ++i) {
    if (reader.GetFrame(i, image)) {
      ++decoded;
      EXPECT_NEAR(CentreBlue(image), i * 8, 12) << "frame " << i;
    }
    sequential.push_back(Bytes(image));
  }
  EXPECT_GE(decoded, reader.FrameCount() - 1);  // at most the cut frame is lost
  EXPECT_FALSE(reader.GetFrame(reader.FrameCount(), image));
  for (int i : {reader.FrameCount() - 2, 2, 9, 0, 13}) {
    ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
    EXPECT_EQ(Bytes(image), sequential[i]) << "frame " << i;
  }
}

// Frame times without a picture (empty chunks) repeat the picture before them, so frame
// numbers stay on the clip's time line.
TEST(AviReaderTest, DroppedFramesRepeatThePreviousPicture) {
  const std::string path = (TempDir() / "dropped.avi").string();
  {
    VideoWriter writer;
    ASSERT_TRUE(writer.Open(path, 32, 16, 10, VideoCodec::RawBgr24));
    Dib frame;
    for (int i = 0; i < 10; ++i) {
      if (i == 4) {
        ASSERT_TRUE(writer.Skip(3));
      }
      PaintFrame(frame, 32, 16, i);
      ASSERT_TRUE(writer.Write(frame));
    }
    ASSERT_TRUE(writer.Close());
  }
  AviReader reader;
  Dib image;
  ASSERT_TRUE(reader.OpenInto(path, image));
  ASSERT_EQ(reader.FrameCount(), 13);
  const int picture[13] = {0, 1, 2, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 0; k < 13; ++k) {
      const int i = pass == 0 ? k : (k * 5) % 13;  // in order, then jumping about
      ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
      EXPECT_EQ(CentreBlue(image), picture[i] * 8) << "frame " << i;
    }
  }
}

// Damaged bytes in the middle of a file: opening and reading every frame in both orders ends,
// without a crash, whatever each frame returns.
TEST(AviReaderTest, SurvivesDamagedFiles) {
  const std::string full = WriteClip("damage_src.avi", VideoCodec::Mpeg4, 64, 48);
  const auto size = fs::file_size(full);
  std::mt19937 random(11);
  for (int trial = 0; trial < 8; ++trial) {
    const std::string path = (TempDir() / ("damaged" + std::to_string(trial) + ".avi")).string();
    fs::copy_file(full, path, fs::copy_options::overwrite_existing);
    {
      std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
      // Early trials hit the headers, later ones the frames.
      const auto start = trial < 3 ? 16 + trial * 200 : size / 8 * trial;
      f.seekp(static_cast<std::streamoff>(start));
      for (int i = 0; i < 400; ++i) f.put(static_cast<char>(random()));
    }
    AviReader reader;
    Dib image;
    if (const Result opened = reader.OpenInto(path, image, OpenReport::Quiet); !opened) {
      EXPECT_FALSE(opened.message().empty());
      continue;
    }
    for (int i = 0; i < reader.FrameCount(); ++i) reader.GetFrame(i, image);
    for (int i = reader.FrameCount() - 1; i >= 0; i -= 3) reader.GetFrame(i, image);
    EXPECT_FALSE(reader.GetFrame(reader.FrameCount(), image));
  }
}

using test::Le32At;
using test::ReadBytes;

// A damaged frame keeps its number: the reader delivers the picture of the frame before it,
// counts it, and every later frame keeps its own number, whether the damage is in the chunk's
// data, its header, the index, or several of these; the same through a file and through bytes
// in memory, in order and jumping about.
TEST(AviReaderTest, DamagedFramesKeepTheirNumbers) {
  constexpr int kCount = 20;
  const std::string clean = WriteClip("damage_frames.avi", VideoCodec::Mjpeg, 64, 48, kCount);
  const std::vector<uint8_t> original = ReadBytes(clean);
  const test::AviChunks map = test::MapAviChunks(original);
  ASSERT_EQ(map.video.size(), static_cast<size_t>(kCount));
  ASSERT_NE(map.index, 0u);
  // Every frame of the clip is a keyframe, so a good frame of a damaged copy is byte for byte
  // the clean clip's.
  std::vector<std::vector<uint8_t>> pictures;
  {
    AviReader reader;
    Dib image;
    ASSERT_EQ(reader.OpenInto(clean, image).message(), "");
    for (int i = 0; i < kCount; ++i) {
      ASSERT_TRUE(reader.GetFrame(i, image));
      pictures.push_back(Bytes(image));
    }
  }

  using Bytes = std::vector<uint8_t>;
  const auto wipeData = [&](Bytes& b, int chunk) {
    const size_t at = map.video[chunk];
    std::fill(b.begin() + static_cast<long>(at) + 8,
              b.begin() + static_cast<long>(at + 8 + Le32At(b, at + 4)), 0);
  };
  const auto breakId = [&](Bytes& b, int chunk) {
    std::memcpy(b.data() + map.video[chunk], "\x01\x7f#!", 4);
  };
  const auto breakSize = [&](Bytes& b, int chunk) {
    test::PutLe32(b, map.video[chunk] + 4, 0x7ffffff0);
  };
  // idx1 entries are 16 bytes: id, flags, offset, size.
  const auto breakIndexEntry = [&](Bytes& b, int entry) {
    std::memcpy(b.data() + map.index + 8 + 16 * entry, "99dc", 4);
  };
  const auto dropIndex = [&](Bytes& b) { std::memcpy(b.data() + map.index, "JUNK", 4); };

  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    std::vector<int> damaged;
  };
  const Case cases[] = {
      {"data that cannot be decoded", [&](Bytes& b) { wipeData(b, 5), wipeData(b, 12); }, {5, 12}},
      {"a broken chunk id", [&](Bytes& b) { breakId(b, 5); }, {5}},
      {"a broken chunk size", [&](Bytes& b) { breakSize(b, 9); }, {9}},
      {"the first chunk's data", [&](Bytes& b) { wipeData(b, 0); }, {0}},
      {"a damaged index and a broken chunk",
       [&](Bytes& b) { breakIndexEntry(b, 8), breakId(b, 5); },
       {5}},
      {"no index and two broken chunks in a row",
       [&](Bytes& b) { dropIndex(b), breakId(b, 6), breakId(b, 7); },
       {6, 7}},
      {"no index, a broken size and undecodable data",
       [&](Bytes& b) { dropIndex(b), breakSize(b, 3), wipeData(b, 15); },
       {3, 15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = original;
    c.damage(bytes);
    const std::string path = (TempDir() / "damaged_frames.avi").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    // The picture each frame shows: its own, or the last good one before it (the first good one
    // for a damaged first frame).
    std::vector<int> shown(kCount);
    for (int i = 0; i < kCount; ++i) {
      const bool bad = std::count(c.damaged.begin(), c.damaged.end(), i) > 0;
      shown[i] = !bad ? i : i > 0 ? shown[i - 1] : -1;
    }
    for (int i = 0; shown[i] < 0; ++i) shown[i] = shown[c.damaged.size()];
    for (const bool inMemory : {false, true}) {
      AviReader reader;
      Dib image;
      const Result opened = inMemory ? reader.OpenMemory(bytes, "damaged.avi") : reader.Open(path);
      ASSERT_EQ(opened.message(), "");
      image.CreateSigned(64, 48, 24, false);
      ASSERT_EQ(reader.FrameCount(), kCount);
      std::vector<std::vector<uint8_t>> sequential;
      for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
        sequential.push_back(Bytes(image.Pixels(), image.Pixels() + image.PixelBytes()));
        EXPECT_EQ(sequential.back(), pictures[shown[i]]) << "frame " << i;
      }
      EXPECT_EQ(reader.DamagedFrames(), c.damaged);
      EXPECT_FALSE(reader.GetFrame(kCount, image));
      for (int k = 0; k < kCount; ++k) {
        const int i = k * 7 % kCount;
        ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
        EXPECT_EQ(Bytes(image.Pixels(), image.Pixels() + image.PixelBytes()), sequential[i])
            << "frame " << i;
      }
    }
  }
  EXPECT_EQ(FrameRanges({3, 5, 6, 7, 9, 10}), "3, 5-7, 9-10");
  EXPECT_EQ(FrameRanges({1, 3, 5}, 2), "1, 3, ...");
}

// The clip that comes with the system.
TEST(AviReaderTest, OpensTheSampleClip) {
  const std::string path = std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";
  AviReader reader;
  Dib image;
  ASSERT_EQ(reader.OpenInto(path, image).message(), "");
  EXPECT_EQ(reader.Width(), 352);
  EXPECT_EQ(reader.Height(), 288);
  EXPECT_EQ(reader.FrameCount(), 258);
  EXPECT_DOUBLE_EQ(reader.FramesPerSecond(), 10.0);
  std::vector<std::vector<uint8_t>> kept(258);
  for (int i = 0; i < 258; ++i) {
    ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
    if (i % 37 == 0 || i == 257) kept[i] = Bytes(image);
  }
  EXPECT_FALSE(reader.GetFrame(258, image));
  for (int i : {222, 37, 257, 0, 148, 111}) {
    ASSERT_TRUE(reader.GetFrame(i, image)) << "frame " << i;
    EXPECT_EQ(Bytes(image), kept[i]) << "frame " << i;
  }
}

}  // namespace
}  // namespace fw

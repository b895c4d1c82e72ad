#include "video/v4l2_capture.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/image_file.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

// Devices that are not there or are no capture devices: each is refused with its own message
// naming the device, and closing afterwards is harmless.
TEST(V4l2CaptureTest, MissingOrWrongDevicesAreRefused) {
  const std::string dir = test::TempDir("v4l2_nodes");
  const std::string file = dir + "/video3";
  std::ofstream(file) << "plain file";
  struct Case {
    std::string path;
    std::string problem;
  };
  const Case cases[] = {
      {"/dev/video987", "no such device"},
      {dir + "/video9", "no such device"},
      {file, "not a device"},
      {"/dev/null", "not a V4L2 video device"},
      {dir, "cannot open the device (Is a directory)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    V4l2Capture device(c.path);
    const Result opened = device.Open();
    EXPECT_FALSE(opened.ok());
    EXPECT_EQ(opened.message(), c.path + ": " + c.problem);
    EXPECT_EQ(device.Fault(), CaptureFault::NoDevice);
    EXPECT_FALSE(device.Start(25).ok());
    device.Close();
  }
  // Nodes named like devices that are none are not listed.
  fs::create_symlink("/dev/null", dir + "/video4");
  EXPECT_TRUE(ListCaptureDevices(dir).empty());
  EXPECT_TRUE(ListCaptureDevices(dir + "/missing").empty());
  fs::remove_all(dir);
}

struct Rgb {
  int red, green, blue;
};

// Four bars across a 64 x 48 picture.
constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr Rgb kBars[4] = {{200, 40, 30}, {30, 180, 60}, {40, 60, 200}, {128, 128, 128}};

Rgb Bar(int x) {
  return kBars[x * 4 / kWidth];
}

// BT.601 in full range (what a capture frame holds) and in video range (what devices send).
double Y(Rgb c) {
  return 0.299 * c.red + 0.587 * c.green + 0.114 * c.blue;
}
double U(Rgb c) {
  return 128 - 0.168736 * c.red - 0.331264 * c.green + 0.5 * c.blue;
}
double V(Rgb c) {
  return 128 + 0.5 * c.red - 0.418688 * c.green - 0.081312 * c.blue;
}
uint8_t VideoLuma(Rgb c) {
  return static_cast<uint8_t>(std::lround(16 + Y(c) * 219 / 255));
}
uint8_t VideoChroma(double c) {
  return static_cast<uint8_t>(std::lround(128 + (c - 128) * 224 / 255));
}

// The bars in a device's layout, rows `pad` bytes longer than the picture.
std::vector<uint8_t> DeviceBuffer(uint32_t fourcc, int pad) {
  std::vector<uint8_t> b;
  auto lumaPlane = [&](int bytesPerLine) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < bytesPerLine; ++x) b.push_back(x < kWidth ? VideoLuma(Bar(x)) : 0);
    }
  };
  // One chroma plane of width w / wDiv and height h / hDiv, rows `bytesPerLine` long.
  auto chromaPlane = [&](double (*c)(Rgb), int bytesPerLine, int hDiv) {
    for (int y = 0; y < kHeight / hDiv; ++y) {
      for (int x = 0; x < bytesPerLine; ++x) {
        b.push_back(x < kWidth / 2 ? VideoChroma(c(Bar(2 * x))) : 0);
      }
    }
  };
  const int line = kWidth + pad;
  switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; x += 2) {
          const Rgb c = Bar(x);
          b.insert(b.end(),
                   {VideoLuma(c), VideoChroma(U(c)), VideoLuma(Bar(x + 1)), VideoChroma(V(c))});
        }
        b.insert(b.end(), 2 * pad, 0);
      }
      break;
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_YVU420:
      lumaPlane(line);
      chromaPlane(fourcc == V4L2_PIX_FMT_YUV420 ? U : V, line / 2, 2);
      chromaPlane(fourcc == V4L2_PIX_FMT_YUV420 ? V : U, line / 2, 2);
      break;
    case V4L2_PIX_FMT_NV12:
      lumaPlane(line);
      for (int y = 0; y < kHeight / 2; ++y) {
        for (int x = 0; x < line / 2; ++x) {
          const Rgb c = Bar(std::min(2 * x, kWidth - 1));
          b.insert(b.end(), {VideoChroma(U(c)), VideoChroma(V(c))});
        }
      }
      break;
    case V4L2_PIX_FMT_YUV422P:
      lumaPlane(line);
      chromaPlane(U, line / 2, 1);
      chromaPlane(V, line / 2, 1);
      break;
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24:
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const Rgb c = Bar(x);
          const bool rgb = fourcc == V4L2_PIX_FMT_RGB24;
          b.insert(b.end(),
                   {static_cast<uint8_t>(rgb ? c.red : c.blue), static_cast<uint8_t>(c.green),
                    static_cast<uint8_t>(rgb ? c.blue : c.red)});
        }
        b.insert(b.end(), 3 * pad, 0);
      }
      break;
  }
  return b;
}

// A JPEG of the bars, as a Motion JPEG camera sends it.
std::vector<uint8_t> JpegBuffer() {
  Dib picture;
  picture.Create(kWidth, kHeight, 24, false);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = Bar(x);
      uint8_t* p = picture.Row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(c.blue);
      p[1] = static_cast<uint8_t>(c.green);
      p[2] = static_cast<uint8_t>(c.red);
    }
  }
  const std::string dir = test::TempDir("v4l2_jpeg");
  const std::string path = dir + "/bars.jpg";
  EXPECT_TRUE(SaveJpeg(picture, path, 100).ok());
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  fs::remove_all(dir);
  return bytes;
}

// Each layout a device may send gives the bars' full-range luma and chroma in the middle of
// each bar, with padded rows too; a buffer shorter than the picture is refused unread.
TEST(V4l2CaptureTest, DeviceLayoutsBecomeCaptureFrames) {
  struct Case {
    uint32_t fourcc;
    int pad;
    bool fullRange;
  };
  const Case cases[] = {
      {V4L2_PIX_FMT_YUYV, 0, false},    {V4L2_PIX_FMT_YUYV, 8, false},
      {V4L2_PIX_FMT_YUV420, 0, false},  {V4L2_PIX_FMT_YUV420, 16, false},
      {V4L2_PIX_FMT_YVU420, 0, false},  {V4L2_PIX_FMT_NV12, 0, false},
      {V4L2_PIX_FMT_YUV422P, 0, false}, {V4L2_PIX_FMT_RGB24, 0, true},
      {V4L2_PIX_FMT_BGR24, 4, true},    {V4L2_PIX_FMT_MJPEG, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FourccText(c.fourcc) + " padded by " + std::to_string(c.pad));
    ASSERT_TRUE(V4l2PictureDecoder::Supports(c.fourcc));
    const bool jpeg = c.fourcc == V4L2_PIX_FMT_MJPEG;
    const std::vector<uint8_t> buffer = jpeg ? JpegBuffer() : DeviceBuffer(c.fourcc, c.pad);
    const int bytesPerPixel = c.fourcc == V4L2_PIX_FMT_YUYV ? 2
                              : (c.fourcc == V4L2_PIX_FMT_RGB24 || c.fourcc == V4L2_PIX_FMT_BGR24)
                                  ? 3
                                  : 1;
    V4l2PictureDecoder decoder;
    ASSERT_TRUE(
        decoder.Prepare({c.fourcc, kWidth, kHeight, jpeg ? 0 : (kWidth + c.pad) * bytesPerPixel,
                         buffer.size(), c.fullRange, false}));
    std::vector<uint8_t> frame(kCaptureFrameBytes, 0);
    ASSERT_TRUE(decoder.Decode(buffer.data(), buffer.size(), frame.data()));
    const uint8_t* cb = frame.data() + kCaptureWidth * kCaptureHeight;
    const uint8_t* cr = cb + (kCaptureWidth / 2) * (kCaptureHeight / 2);
    for (int bar = 0; bar < 4; ++bar) {
      const Rgb colour = kBars[bar];
      const int x = bar * kCaptureWidth / 4 + kCaptureWidth / 8;
      const int y = kCaptureHeight / 2;
      const int tolerance = jpeg ? 4 : 3;
      EXPECT_NEAR(frame[y * kCaptureWidth + x], Y(colour), tolerance) << "bar " << bar;
      const int i = (y / 2) * (kCaptureWidth / 2) + x / 2;
      EXPECT_NEAR(cb[i], U(colour), tolerance) << "bar " << bar;
      EXPECT_NEAR(cr[i], V(colour), tolerance) << "bar " << bar;
    }
    std::vector<uint8_t> untouched(kCaptureFrameBytes, 5);
    const size_t shortBytes = jpeg ? buffer.size() / 2 : buffer.size() - 1;
    EXPECT_FALSE(decoder.Decode(buffer.data(), shortBytes, untouched.data()));
    EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](uint8_t b) { return b == 5; }));
  }
  EXPECT_FALSE(V4l2PictureDecoder::Supports(V4L2_PIX_FMT_H264));
  V4l2PictureDecoder decoder;
  EXPECT_FALSE(decoder.Prepare({V4L2_PIX_FMT_H264, kWidth, kHeight, 0, 1000, false, false}));
  EXPECT_FALSE(decoder.Prepare({V4L2_PIX_FMT_YUYV, 0, kHeight, 0, 0, false, false}));
}

}  // namespace
}  // namespace fw

#include "tests/support/clips.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace fw::test {

namespace fs = std::filesystem;

void PaintFrame(Dib& frame, int width, int height, int index) {
  frame.CreateSigned(width, height, 24, false);
  frame.Fill(static_cast<uint8_t>(10 * index));
  const int x0 = (index * 3) % (width > 8 ? width - 8 : 1);
  for (int y = 0; y < 8 && y < height; ++y) {
    for (int x = x0; x < x0 + 8 && x < width; ++x) frame.SetPixelRgb(x, y, 250, 240, 230);
  }
}

std::string TempDir(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() / ("fw_test_" + std::to_string(getpid()) + "_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::string MakeClip(const std::string& name, int width, int height, int frames, VideoCodec codec,
                     int framesPerSecond) {
  const std::string path = TempDir(name) + "/" + name + ".avi";
  VideoWriter writer;
  EXPECT_EQ(writer.Open(path, width, height, framesPerSecond, codec).message(), "");
  Dib frame;
  for (int i = 0; i < frames; ++i) {
    PaintFrame(frame, width, height, i);
    EXPECT_EQ(writer.Write(frame).message(), "");
  }
  EXPECT_EQ(writer.Close().message(), "");
  return path;
}

}  // namespace fw::test

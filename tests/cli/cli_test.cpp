// fumewatch-cli end to end: the real program on generated clips and broken files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/dib.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;  // stdout and stderr together
};

Result Cli(const std::string& args) {
  const std::string command = std::string(FW_BIN_DIR) + "/fumewatch-cli " + args + " 2>&1";
  Result r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

TEST(Cli, InfoAndFrameOnAGeneratedClip) {
  const std::string clip = test::MakeClip("cli_info", 48, 36, 9, VideoCodec::RawBgr24, 12);
  Result info = Cli("info " + clip);
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out, "width=48 height=36 frames=9 fps=12\n");

  const std::string out = fs::path(clip).parent_path() / "f7.bmp";
  ASSERT_EQ(Cli("frame " + clip + " 7 " + out).status, 0);
  Dib saved;
  ASSERT_TRUE(saved.LoadBmp(out).ok());
  Dib expected;
  test::PaintFrame(expected, 48, 36, 7);
  ASSERT_EQ(saved.PixelBytes(), expected.PixelBytes());
  EXPECT_EQ(saved.HeaderHeight(), 36);
  // The raw clip stores the picture upright, so the frame comes back byte for byte.
  EXPECT_EQ(std::memcmp(saved.Pixels(), expected.Pixels(), expected.PixelBytes()), 0);

  Result past = Cli("frame " + clip + " 9 " + out);
  EXPECT_EQ(past.status, 1);
  EXPECT_NE(past.out.find("out of range"), std::string::npos);
}

TEST(Cli, DetectRunsEveryFrameOnceAndSavesPanes) {
  const std::string clip = test::MakeClip("cli_detect", 32, 24, 10);
  const std::string panes = fs::path(clip).parent_path() / "panes";
  Result r = Cli("detect --mode 0 " + clip + " --panes " + panes + " --every 4");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "frames=10 alarms=0\n");
  for (int frame : {0, 4, 8}) {
    for (const char* pane : {"tl", "tr", "bl", "br"}) {
      char name[32];
      std::snprintf(name, sizeof name, "/%06d_%s.bmp", frame, pane);
      EXPECT_TRUE(fs::exists(panes + name)) << name;
    }
  }
  EXPECT_FALSE(fs::exists(panes + "/000001_tl.bmp"));

  EXPECT_EQ(Cli("detect --mode 0 --frames 3 " + clip).out, "frames=3 alarms=0\n");
}

TEST(Cli, WaveletViewInfraredSettingsAndTheDisplayPicture) {
  const std::string clip = test::MakeClip("cli_flame", 40, 30, 6);
  const std::string panes = fs::path(clip).parent_path() / "panes";
  Result view = Cli("detect --mode 7010 " + clip + " --wavelet-view --point 39,0 --panes " + panes +
                    " --every 5");
  EXPECT_EQ(view.status, 0) << view.out;
  EXPECT_EQ(view.out, "frames=6 alarms=0\n");
  // 7010 shows its background in the display dialog; the view draws the block beside it.
  EXPECT_TRUE(fs::exists(panes + "/000005_dd.bmp"));
  Dib bottomLeft;
  ASSERT_TRUE(bottomLeft.LoadBmp(panes + "/000005_bl.bmp").ok());
  EXPECT_EQ(bottomLeft.GetBitCount(), 24);

  const Result outside = Cli("detect --mode 0 " + clip + " --wavelet-view --point 40,3");
  EXPECT_EQ(outside.status, 1);
  EXPECT_NE(outside.out.find("--point must be X,Y inside the 40 x 30 frame"), std::string::npos)
      << outside.out;
  EXPECT_EQ(Cli("detect --mode 0 " + clip + " --point 3").status, 1);

  EXPECT_EQ(Cli("detect --mode 7008 " + clip + " --set alarmSeconds=2 --set method=2").status, 0);
  const Result empty = Cli("detect --mode 7008 " + clip + " --set alarmSeconds=0");
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.out.find("alarmSeconds"), std::string::npos) << empty.out;

  // Modes that draw nothing into the display dialog save no picture of it.
  const std::string none = fs::path(clip).parent_path() / "none";
  ASSERT_EQ(Cli("detect --mode 7005 " + clip + " --panes " + none).status, 0);
  EXPECT_TRUE(fs::exists(none + "/000000_br.bmp"));
  EXPECT_FALSE(fs::exists(none + "/000000_dd.bmp"));
}

TEST(Cli, BadInputGivesOneLineAndStatusOne) {
  const std::string dir = test::TempDir("cli_bad");
  const std::string garbage = dir + "/garbage.avi";
  {
    std::ofstream f(garbage, std::ios::binary);
    for (int i = 0; i < 5000; ++i) f.put(static_cast<char>((i * 7919) & 0xFF));
  }
  struct Case {
    std::string args;
    std::string expect;
  };
  const Case cases[] = {
      {"detect --mode 0 " + dir + "/missing.avi", "missing.avi"},
      {"detect --mode 0 " + garbage, "garbage.avi"},
      {"info " + garbage, "garbage.avi"},
      {"detect --mode 424242 " + garbage, "unknown mode 424242"},
      {"detect --mode x " + garbage, "--mode"},
  };
  for (const Case& c : cases) {
    Result r = Cli(c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.args << ": " << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
}

TEST(Cli, ImageOperations) {
  const std::string dir = test::TempDir("cli_image");
  Dib picture;
  test::PaintFrame(picture, 64, 48, 3);
  ASSERT_TRUE(picture.SaveBmp(dir + "/in.bmp", "", ""));
  const std::pair<const char*, const char*> ops[] = {
      {"sobel", ""}, {"fft-magnitude", ""}, {"pseudo-colour", " 11"}, {"median", ""}, {"grey", ""}};
  for (const auto& [op, args] : ops) {
    const std::string out = dir + "/out.bmp";
    fs::remove(out);
    Result r = Cli(std::string("image ") + op + " " + dir + "/in.bmp " + out + args);
    EXPECT_EQ(r.status, 0) << op << ": " << r.out;
    Dib result;
    EXPECT_TRUE(result.LoadBmp(out).ok()) << op;
  }
  Dib grey;
  ASSERT_TRUE(grey.LoadBmp(dir + "/out.bmp").ok());
  EXPECT_EQ(grey.GetBitCount(), 8);
  EXPECT_EQ(grey.Width(), 64);

  Result labels = Cli("image label-regions " + dir + "/in.bmp " + dir + "/labels.jpg 200");
  EXPECT_EQ(labels.status, 0) << labels.out;
  EXPECT_EQ(labels.out.rfind("regions=1\n", 0), 0u) << labels.out;  // the bright square

  {
    std::ofstream broken(dir + "/broken.jpg", std::ios::binary);
    broken << "\xFF\xD8\xFF\xE0 not really a jpeg";
  }
  const std::pair<std::string, std::string> failures[] = {
      {"image nothing " + dir + "/in.bmp " + dir + "/x.bmp", "unknown image operation"},
      {"image grey " + dir + "/broken.jpg " + dir + "/x.bmp", "broken.jpg"},
      {"image grey " + dir + "/in.bmp " + dir + "/x.png", "x.png"},
      {"image pseudo-colour " + dir + "/in.bmp " + dir + "/x.bmp 13", "1 to 12"},
  };
  for (const auto& [args, expect] : failures) {
    Result r = Cli(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.out.find(expect), std::string::npos) << args << ": " << r.out;
  }
}

// The sample clip raises an alarm in mode 7011 (frame 140 onwards). Its log takes the name the
// rule gives, never the video's; a log line or an event that cannot be written ends the run with
// an error and no summary that would claim the alarms were logged.
TEST(Cli, AlarmLogAndEventsFailuresEndTheRun) {
  const std::string dir = test::TempDir("cli_log");
  const std::string sample =
      std::string(FW_SAMPLE_DIR) + "/fire_smoke_outdoor_fixedcam_352x288.avi";
  for (const char* name : {"/clip.txt", "/clip.ts", "/clip.avi"}) {
    fs::copy_file(sample, dir + name);
  }
  const auto size = fs::file_size(sample);
  const std::pair<const char*, const char*> logs[] = {
      {"/clip.txt", "/clip.txt.txt"}, {"/clip.ts", "/clip.ts.txt"}, {"/clip.avi", "/clip.txt"}};
  for (const auto& [video, log] : logs) {
    Result r = Cli("detect --mode 7011 --frames 160 " + dir + video);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "Fire alarm at frame # 140 to 160. \nframes=160 alarms=1\n");
    EXPECT_EQ(fs::file_size(dir + video), size) << video;
    std::ifstream in(dir + log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.substr(text.size() - 36), "Fire alarm at frame # 140 to 160. \r\n") << log;
  }

  Result full = Cli("detect --mode 7011 --frames 160 --events /dev/full " + dir + "/clip.avi");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.out.find("fumewatch-cli: /dev/full: cannot write the events file (No space left "
                          "on device)\n"),
            std::string::npos)
      << full.out;
  EXPECT_EQ(full.out.find("frames="), std::string::npos) << full.out;
}

TEST(Cli, HelpAndModes) {
  EXPECT_EQ(Cli("--help").status, 0);
  for (const char* command : {"info", "modes", "frame", "detect", "bench", "image"}) {
    Result r = Cli(std::string(command) + " --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find("usage: fumewatch-cli"), std::string::npos) << command;
  }
  EXPECT_NE(Cli("modes").out.find("0\tNull\n"), std::string::npos);
  EXPECT_EQ(Cli("no-such-command").status, 2);
}

}  // namespace
}  // namespace fw

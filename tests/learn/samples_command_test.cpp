// fumewatch-cli samples end to end: fuzzy C-means and Get VOC from the default folders under a
// samples root with their reports in the current directory, generated samples from a video
// frame, and one-line errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/image_file.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

struct Output {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the command in `folder` (its current directory).
Output Cli(const std::string& args, const std::string& folder) {
  const std::string command = "cd '" + folder + "' && " + std::string(FW_BIN_DIR) +
                              "/fumewatch-cli " + args + " 2>stderr.txt";
  Output r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.err = test::ReadAll(folder + "/stderr.txt");
  return r;
}

TEST(SamplesCommand, ToolsReadTheirFoldersUnderTheSamplesRoot) {
  const std::string dir = test::TempDir("samples_command");
  for (const char* f : {"root/lib81/smoke", "root/lib101/smoke", "root/lib101/non"}) {
    fs::create_directories(dir + "/" + f);
  }
  for (int i = 0; i < 4; ++i) {
    const std::string name = "/" + std::to_string(i) + ".jpg";
    ASSERT_TRUE(SaveJpeg(test::SmokeLike(32, 24, i), dir + "/root/lib81/smoke" + name, 95));
    ASSERT_TRUE(SaveJpeg(test::ClearLike(32, 24, i), dir + "/root/lib81/smoke/c" + name.substr(1), 95));
    ASSERT_TRUE(SaveJpeg(test::SmokeLike(32, 24, i), dir + "/root/lib101/smoke" + name, 95));
    ASSERT_TRUE(SaveJpeg(test::ClearLike(32, 24, i), dir + "/root/lib101/non" + name, 95));
  }
  const Output fcm = Cli("samples fcm --samples-root root --seed 2", dir);
  ASSERT_EQ(fcm.status, 0) << fcm.err;
  EXPECT_EQ(fcm.out.rfind("iterations=200 ", 0), 0u) << fcm.out;
  EXPECT_TRUE(fs::exists(dir + "/FCM_Details.txt"));
  int copies = 0;
  for (const auto& e : fs::directory_iterator(dir + "/root/lib81/smoke_classified")) {
    copies += e.path().extension() == ".jpg";
  }
  EXPECT_EQ(copies, 8);
  // The same seed, the same report.
  const std::string report = test::ReadAll(dir + "/FCM_Details.txt");
  ASSERT_EQ(Cli("samples fcm --samples-root root --seed 2", dir).status, 0);
  EXPECT_EQ(test::ReadAll(dir + "/FCM_Details.txt"), report);

  const Output voc = Cli("samples voc --samples-root root", dir);
  ASSERT_EQ(voc.status, 0) << voc.err;
  EXPECT_EQ(voc.out.rfind("positives=4 negatives=4 between=", 0), 0u) << voc.out;
  EXPECT_NE(test::ReadAll(dir + "/LBP_Feature_Performance.txt").find("正样本个数：4，负样本个数：4"),
            std::string::npos);

  const std::string clip = test::MakeClip("samples_clip", 96, 72, 3);
  const Output gen = Cli("samples generate --samples-root root --frame 2 --side 48 --step 24 --video " + clip, dir);
  ASSERT_EQ(gen.status, 0) << gen.err;
  EXPECT_EQ(gen.out.rfind("written=6 ", 0), 0u) << gen.out;  // 3 across, 2 down
  EXPECT_TRUE(fs::exists(dir + "/root/lib302/forest/候车_00006.jpg"));
}

TEST(SamplesCommand, BadRequestsAreOneLineErrors) {
  const std::string dir = test::TempDir("samples_command_errors");
  const std::string clip = test::MakeClip("samples_errors_clip", 64, 48, 2);
  const struct {
    std::string args;
    const char* message;
  } cases[] = {
      {"samples shuffle", "unknown sample tool"},
      {"samples fcm --input missing", "missing"},
      {"samples voc --positives missing", "missing"},
      {"samples generate", "needs --video"},
      {"samples generate --video " + clip + " --frame 5", "has 2 frames"},
      {"samples generate --video " + clip + " --side 50", "do not fit"},
      {"samples fcm --seed -1", "seed"},
  };
  for (const auto& c : cases) {
    const Output r = Cli(c.args, dir);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir + "/FCM_Details.txt"));
}

}  // namespace
}  // namespace fw

// fumewatch-cli train and eval-samples end to end on generated sample folders: the recipe, the
// rates line of every picture counted, the ROC lines and chart, unreadable pictures named, and
// one-line errors for bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/image_file.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

struct Output {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

Output Cli(const std::string& args, const std::string& folder) {
  const std::string errFile = folder + "/stderr.txt";
  const std::string command = std::string(FW_BIN_DIR) + "/fumewatch-cli " + args + " 2>" + errFile;
  Output r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.err = test::ReadAll(errFile);
  return r;
}

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(LearningCommands, TrainThenEvaluate) {
  const std::string dir = test::TempDir("learning_commands");
  test::WriteSampleFolders(dir, 16, 32, 24);
  std::ofstream(dir + "/negatives/broken.jpg") << "not a picture";
  const std::string folders =
      " --positives " + dir + "/positives --negatives " + dir + "/negatives";
  const std::string file = dir + "/Float_RealAdaboost.kdz";

  const Output train =
      Cli("train --flavour float --stages 2 --hit-rate 0.9 --seed 5 --out " + file + folders, dir);
  ASSERT_EQ(train.status, 0) << train.err;
  // The easy generated kinds are parted by the first stage: training may end there.
  EXPECT_EQ(train.out.rfind("flavour=float seed=5 stages=", 0), 0u) << train.out;
  EXPECT_NE(train.out.find("positives=16 negatives=16"), std::string::npos);
  EXPECT_NE(train.out.find("\nstage=1 weak=10 "), std::string::npos);
  EXPECT_NE(train.out.find("round_trip=identical"), std::string::npos);
  EXPECT_NE(train.err.find("train: stage 1/2"), std::string::npos);
  EXPECT_NE(train.err.find("broken.jpg"), std::string::npos);  // named, left out
  ASSERT_TRUE(std::filesystem::exists(file));

  const Output rates = Cli("eval-samples --classifier " + file + folders, dir);
  ASSERT_EQ(rates.status, 0) << rates.err;
  EXPECT_EQ(rates.out.rfind("positives=16 negatives=16 detection_rate=", 0), 0u) << rates.out;
  EXPECT_EQ(Lines(rates.out), 1);
  EXPECT_NE(rates.err.find("broken.jpg: cannot be read as a sample picture"), std::string::npos);
  EXPECT_NE(rates.err.find("unreadable=1"), std::string::npos);

  const std::string chart = dir + "/roc.png";
  const Output roc =
      Cli("eval-samples --roc --plot " + chart + " --classifier " + file + folders, dir);
  ASSERT_EQ(roc.status, 0) << roc.err;
  EXPECT_EQ(Lines(roc.out), 101);
  EXPECT_EQ(roc.out.rfind("ratio=1.00 positives=16 negatives=16 ", 0), 0u);
  Dib picture;
  ASSERT_TRUE(LoadImageFile(picture, chart));
  EXPECT_EQ(picture.Width(), 480);
}

TEST(LearningCommands, BadInputIsOneLineAndNonZero) {
  const std::string dir = test::TempDir("learning_commands_bad");
  test::WriteSampleFolders(dir, 2, 32, 24);
  std::ofstream(dir + "/broken.kdz") << "short";
  const std::string folders =
      " --positives " + dir + "/positives --negatives " + dir + "/negatives";
  struct Case {
    std::string args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"train --flavour nope --out x" + folders, "unknown flavour"},
      {"train --flavour byte" + folders, "train needs --out"},
      {"train --flavour byte --out x --hit-rate 2" + folders, "--hit-rate must be"},
      {"train --flavour eoh --out x --stages 4" + folders, "10 to 20 stages"},
      {"train --flavour byte --out x --positives " + dir + "/none --negatives " + dir, "none"},
      {"eval-samples --classifier " + dir + "/broken.kdz --flavour byte" + folders, "too short"},
      {"eval-samples --classifier " + dir + "/broken.kdz" + folders, "--flavour"},
      {"eval-samples --classifier x --bogus 1" + folders, "unknown option --bogus"},
  };
  for (const Case& c : cases) {
    const Output r = Cli(c.args, dir);
    EXPECT_NE(r.status, 0) << c.args;
    EXPECT_EQ(Lines(r.err), 1) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
  }
  for (const char* command : {"train --help", "eval-samples --help"}) {
    const Output r = Cli(command, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: fumewatch-cli"), std::string::npos);
  }
}

}  // namespace
}  // namespace fw

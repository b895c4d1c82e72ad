// fumewatch-cli train, eval-samples and online-learn end to end on generated sample folders: the
// recipe, the Haar detector's file in both readings, online learning's counts, the
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
  // Run in the folder: reports the commands write in the current directory stay there.
  const std::string command = "cd " + folder + " && " + std::string(FW_BIN_DIR) +
                              "/fumewatch-cli " + args + " 2>" + errFile;
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

// The Haar detector's flavour: the file it writes decides every training positive as trained in
// both readings, eval-samples prints one line per reading, and online-learn learns on a frame.
TEST(LearningCommands, HaarFileAndOnlineLearning) {
  const std::string dir = test::TempDir("learning_commands_haar");
  test::WriteSampleFolders(dir, 16, 32, 24);
  const std::string folders =
      " --positives " + dir + "/positives --negatives " + dir + "/negatives";
  const std::string file = dir + "/Adaboost.kdz";
  const Output train = Cli("train --flavour haar --stages 2 --hit-rate 0.9 --out " + file + folders,
                           dir);
  ASSERT_EQ(train.status, 0) << train.err;
  EXPECT_EQ(train.out.rfind("flavour=haar seed=1 stages=", 0), 0u) << train.out;
  EXPECT_NE(train.out.find("round_trip=identical"), std::string::npos);
  const int records = (static_cast<int>(std::filesystem::file_size(file)) - 12) / 32;
  EXPECT_EQ(std::filesystem::file_size(file), 12u + 32u * records);
  EXPECT_GE(records, 10);

  const Output rates = Cli("eval-samples --classifier " + file + folders, dir);
  ASSERT_EQ(rates.status, 0) << rates.err;
  ASSERT_EQ(Lines(rates.out), 2);
  const std::string threshold = rates.out.substr(0, rates.out.find('\n'));
  const std::string polarity = rates.out.substr(rates.out.find('\n') + 1);
  EXPECT_EQ(threshold.rfind("reading=threshold positives=16 negatives=16 ", 0), 0u);
  EXPECT_EQ(threshold.substr(threshold.find(' ')), polarity.substr(0, polarity.find('\n'))
                                                       .substr(polarity.find(' ')));

  // Online learning on frame 1 of a 64 x 48 clip with three smoke pictures: P = 6, N = 37.
  std::filesystem::create_directories(dir + "/smoke");
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(SaveJpeg(test::SmokeLike(32, 24, k), dir + "/smoke/" + std::to_string(k) + ".jpg",
                         90));
  }
  const std::string clip = test::MakeClip("learning_commands_clip", 64, 48, 3);
  const Output learned = Cli("online-learn --video " + clip + " --frame 1 --positives " + dir +
                                 "/smoke --out " + dir + "/OL.kdz --classifier " +
                                 std::string(FW_BUILD_DATA_DIR) + "/Float_RealAdaboost.kdz",
                             dir);
  ASSERT_EQ(learned.status, 0) << learned.err;
  EXPECT_EQ(learned.out.rfind("positives=6 negatives=37 selected=", 0), 0u) << learned.out;
  EXPECT_TRUE(std::filesystem::exists(dir + "/OL.kdz"));
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
      {"eval-samples --flavour haar --roc --classifier x" + folders, "do not apply"},
      {"eval-samples --classifier " + dir + "/broken.kdz --flavour haar" + folders, "too short"},
      {"online-learn --video x", "one of --positives and --samples-root"},
      {"online-learn --positives " + dir, "needs --video"},
      {"online-learn --video " + dir + "/none.avi --positives " + dir, "none.avi"},
  };
  for (const Case& c : cases) {
    const Output r = Cli(c.args, dir);
    EXPECT_NE(r.status, 0) << c.args;
    EXPECT_EQ(Lines(r.err), 1) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
  }
  for (const char* command : {"train --help", "eval-samples --help", "online-learn --help"}) {
    const Output r = Cli(command, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: fumewatch-cli"), std::string::npos);
  }
}

}  // namespace
}  // namespace fw

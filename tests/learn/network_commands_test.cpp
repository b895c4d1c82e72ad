// fumewatch-cli train --flavour nn and eval-samples of a network file, end to end on generated
// sample folders: the recipe, the same bytes for the same seed, rates that show the network
// parts the two kinds, and one-line errors for options that do not fit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "learn/neural/neural_network.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

struct Output {
  int status = -1;
  std::string out;
  std::string err;
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

double Rate(const std::string& out, const std::string& key) {
  const size_t at = out.find(key + "=");
  return at == std::string::npos ? -1.0 : std::stod(out.substr(at + key.size() + 1));
}

TEST(NetworkCommands, TrainTwiceGivesTheSameFileThatPartsTheSamples) {
  const std::string dir = test::TempDir("network_commands");
  test::WriteSampleFolders(dir, 24, 32, 24);
  std::ofstream(dir + "/negatives/broken.jpg") << "not a picture";
  const std::string folders =
      " --positives " + dir + "/positives --negatives " + dir + "/negatives";
  const std::string options = " --hidden 8 --epochs 40 --rate 0.5 --seed 3";
  const Output first =
      Cli("train --flavour nn --out " + dir + "/a_NeuralNet.kdz" + options + folders, dir);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out.rfind("flavour=nn seed=3 inputs=211 hidden=8 outputs=2 epochs=40", 0), 0u)
      << first.out;
  EXPECT_NE(first.out.find("positives=24 negatives=24 unreadable=1"), std::string::npos);
  EXPECT_NE(first.out.find("\nepoch=40 "), std::string::npos);
  EXPECT_NE(first.out.find("round_trip=identical"), std::string::npos);
  EXPECT_NE(first.err.find("broken.jpg: cannot be read"), std::string::npos);
  EXPECT_NE(first.err.find("train: epoch 1 of 40"), std::string::npos);
  const Output second =
      Cli("train --flavour nn --threads 1 --out " + dir + "/b.kdz" + options + folders, dir);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(test::ReadAll(dir + "/a_NeuralNet.kdz"), test::ReadAll(dir + "/b.kdz"));

  // The file name tells eval-samples that it is a network.
  const Output eval = Cli("eval-samples --classifier " + dir + "/a_NeuralNet.kdz" + folders, dir);
  ASSERT_EQ(eval.status, 0) << eval.err;
  EXPECT_EQ(eval.out.rfind("positives=24 negatives=24 ", 0), 0u) << eval.out;
  EXPECT_GE(Rate(eval.out, "detection_rate"), 0.9);
  EXPECT_LE(Rate(eval.out, "false_alarm_rate"), 0.1);
  EXPECT_EQ(Cli("eval-samples --flavour nn --classifier " + dir + "/b.kdz" + folders, dir).out,
            eval.out);
}

TEST(NetworkCommands, OptionsThatDoNotFitAreRefusedInOneLine) {
  const std::string dir = test::TempDir("network_command_errors");
  test::WriteSampleFolders(dir, 2, 32, 24);
  const std::string folders =
      " --positives " + dir + "/positives --negatives " + dir + "/negatives";
  NeuralNetwork small;
  small.SetSizes(16, 4, 2);
  ASSERT_TRUE(small.Save(dir + "/texture_NeuralNet.kdz"));
  std::ofstream(dir + "/short_NeuralNet.kdz") << "12345678";
  const struct {
    std::string args;
    const char* message;
  } cases[] = {
      {"train --flavour nn --stages 3 --out " + dir + "/x.kdz" + folders,
       "--stages is for the cascades"},
      {"train --flavour byte --hidden 3 --out " + dir + "/x.kdz" + folders, "--hidden is for"},
      {"train --flavour nn --hidden 0 --out " + dir + "/x.kdz" + folders, "hidden"},
      {"train --flavour nn --out " + dir + "/x.kdz --positives " + dir + "/none --negatives " +
           dir + "/negatives",
       "none"},
      {"eval-samples --roc --classifier " + dir + "/texture_NeuralNet.kdz" + folders,
       "a network has none"},
      {"eval-samples --classifier " + dir + "/texture_NeuralNet.kdz" + folders,
       "16 inputs and 2 outputs; the texture windows need 211"},
      {"eval-samples --classifier " + dir + "/short_NeuralNet.kdz" + folders, "too short"},
  };
  for (const auto& c : cases) {
    const Output r = Cli(c.args, dir);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_FALSE(std::ifstream(dir + "/x.kdz").good());
}

}  // namespace
}  // namespace fw

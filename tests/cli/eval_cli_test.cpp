// fumewatch-cli detect's result files (--log, --no-log, --scores) and eval, end to end on copies
// of clips in temporary folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;  // stdout and stderr together
};

CliRun Cli(const std::string& args) {
  const std::string command = std::string(FW_BIN_DIR) + "/fumewatch-cli " + args + " 2>&1";
  CliRun r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

const std::string kTruth =
    std::string(FW_SOURCE_DIR) + "/tests/app/evaluation/real_clips_truth.tsv";
const std::string kRealClip = "fire_smoke_outdoor_fixedcam_352x288.avi";

TEST(DetectFiles, AnUnwritableLogEndsTheRunAtOnce) {
  const std::string clip = test::MakeClip("detect_bad_log", 32, 24, 4);
  const std::string dir = fs::path(clip).parent_path();
  fs::create_directory(dir + "/folder");
  for (const std::string& log : {dir + "/missing/log.txt", dir + "/folder", clip}) {
    const CliRun r = Cli("detect --mode 7010 --log " + log + " " + clip);
    EXPECT_NE(r.status, 0) << log;
    EXPECT_NE(r.out.find(log), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frames="), std::string::npos) << "no success line: " << r.out;
  }
  EXPECT_EQ(fs::file_size(clip), fs::file_size(test::MakeClip("detect_bad_log2", 32, 24, 4)));
  EXPECT_NE(Cli("detect --mode 7010 --log x --no-log " + clip).status, 0);
}

TEST(DetectFiles, LogElsewhereOrNoneAndScores) {
  const std::string dir = test::TempDir("detect_files");
  const std::string clip = dir + "/" + kRealClip;
  fs::copy_file(std::string(FW_SAMPLE_DIR) + "/" + kRealClip, clip);
  const std::string beside = dir + "/fire_smoke_outdoor_fixedcam_352x288.txt";

  const CliRun none = Cli("detect --mode 7011 --no-log --frames 200 " + clip);
  EXPECT_EQ(none.status, 0) << none.out;
  EXPECT_FALSE(fs::exists(beside));

  const std::string log = dir + "/elsewhere.txt";
  const CliRun r =
      Cli("detect --mode 7011 --frames 200 --log " + log + " --scores " + dir + "/s.csv " + clip);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(fs::exists(beside));
  // The same intervals as the run without a log printed, in the log as printed.
  EXPECT_EQ(r.out, none.out);
  std::istringstream printed(r.out);
  std::string expected;
  for (std::string line; std::getline(printed, line);) {
    if (line.starts_with("Fire alarm")) expected += line.substr(0, line.size()) + "\r\n";
  }
  ASSERT_FALSE(expected.empty()) << "the block mode alarms on this clip";
  EXPECT_EQ(Text(log), expected);

  // One row per frame; the alarm column is 1 exactly on the logged intervals' frames.
  std::istringstream scores(Text(dir + "/s.csv"));
  std::string row;
  std::getline(scores, row);
  EXPECT_EQ(row, "frame,time_s,alarm,evidence");
  int frames = 0;
  int alarmFrames = 0;
  while (std::getline(scores, row)) {
    int frame = 0, alarm = 0;
    double seconds = 0, votes = -1;
    ASSERT_EQ(std::sscanf(row.c_str(), "%d,%lf,%d,%lf", &frame, &seconds, &alarm, &votes), 4)
        << row;
    EXPECT_EQ(frame, frames++);
    EXPECT_DOUBLE_EQ(seconds, std::round(frame / 10.0 * 1e4) / 1e4);
    EXPECT_GE(votes, 0);
    alarmFrames += alarm;
  }
  EXPECT_EQ(frames, 200);
  int logged = 0;
  std::istringstream lines(expected);
  for (std::string line; std::getline(lines, line);) {
    int start = 0, end = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "Fire alarm at frame # %d to %d.", &start, &end), 2);
    logged += end - start;
  }
  EXPECT_EQ(alarmFrames, logged);
}

TEST(Eval, AgreesWithDetectAndItsLogOnARealClip) {
  const std::string dir = test::TempDir("eval_agrees");
  const std::string clip = dir + "/" + kRealClip;
  fs::copy_file(std::string(FW_SAMPLE_DIR) + "/" + kRealClip, clip);
  const CliRun detect = Cli("detect --mode 7010 " + clip);
  ASSERT_EQ(detect.status, 0) << detect.out;
  const std::string log = Text(dir + "/fire_smoke_outdoor_fixedcam_352x288.txt");
  fs::remove(dir + "/fire_smoke_outdoor_fixedcam_352x288.txt");

  const CliRun eval =
      Cli("eval --truth " + kTruth + " --modes 7010 --jobs 1 --out " + dir + "/out " + clip);
  ASSERT_EQ(eval.status, 0) << eval.out;
  EXPECT_EQ(Text(dir + "/out/" + kRealClip + ".7010.txt"), log);
  EXPECT_FALSE(fs::exists(dir + "/fire_smoke_outdoor_fixedcam_352x288.txt"));
  // Evaluating again into the same folder starts each log afresh instead of appending to it.
  ASSERT_EQ(Cli("eval --truth " + kTruth + " --modes 7010 --out " + dir + "/out " + clip).status,
            0);
  EXPECT_EQ(Text(dir + "/out/" + kRealClip + ".7010.txt"), log);

  // By hand from the log: the truth's onset is frame 0 and its end the last frame, so the first
  // interval is the detection and none is a false alarm.
  int start = -1, end = -1;
  ASSERT_EQ(std::sscanf(log.c_str(), "Fire alarm at frame # %d to %d.", &start, &end), 2);
  char delay[32];
  std::snprintf(delay, sizeof delay, "%.4f", start / 10.0);
  EXPECT_EQ(Text(dir + "/out/eval.csv"),
            "mode,clip,detected,delay_frames,delay_s,false_alarms\n7010," + kRealClip + ",1," +
                std::to_string(start) + "," + delay + ",0\n");
}

TEST(Eval, AClipThatFailsIsARowAndTheOthersStillCome) {
  const std::string dir = test::TempDir("eval_failing");
  const std::string good = test::MakeClip("eval_good", 64, 48, 12);
  const std::string broken = dir + "/broken.avi";
  std::ofstream(broken) << "not a video";
  const std::string unknown = test::MakeClip("eval_unknown", 32, 24, 3);
  fs::rename(unknown, dir + "/unknown.avi");
  const std::string truth = dir + "/truth.tsv";
  std::ofstream(truth) << "# clip\tonset\n"
                       << fs::path(good).filename().string() << "\t-\nbroken.avi\t4\n";
  const CliRun r = Cli("eval --truth " + truth + " --modes 7010,7011 --jobs 2 --out " + dir +
                       "/out --plot " + broken + " " + good + " " + dir + "/unknown.avi");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("broken.avi"), std::string::npos);
  EXPECT_NE(r.out.find("no row for unknown.avi in the truth file"), std::string::npos) << r.out;
  const std::string name = fs::path(good).filename().string();
  EXPECT_EQ(Text(dir + "/out/eval.csv"),
            "mode,clip,detected,delay_frames,delay_s,false_alarms\n"
            "7010,broken.avi,error,,,\n7010," +
                name +
                ",,,,0\n7010,unknown.avi,error,,,\n"
                "7011,broken.avi,error,,,\n7011," +
                name + ",,,,0\n7011,unknown.avi,error,,,\n");
  EXPECT_NE(Text(dir + "/out/eval.json").find("\"error\": "), std::string::npos);
  EXPECT_TRUE(fs::exists(dir + "/out/" + name + ".png"));
  EXPECT_FALSE(fs::exists(fs::path(good).replace_extension(".txt")));

  std::ofstream(truth, std::ios::trunc) << "a.avi\t1\nb.avi\tsoon\n";
  const CliRun bad = Cli("eval --truth " + truth + " --modes 7010 " + good);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find(truth + ": line 2: the onset must be a frame number"), std::string::npos)
      << bad.out;
}

}  // namespace
}  // namespace fw

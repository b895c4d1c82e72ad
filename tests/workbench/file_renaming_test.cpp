// Renaming pictures by their time stamps: clashes keep every file, a read-only picture and other
// files are safe, a dry run moves nothing, and a picture that can get no name ends the run.
#include "workbench/file_renaming.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "core/ui_sink.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kMay6 = 1273129689;  // 6 May 2010 07:08:09 UTC

// Runs with the time zone set to UTC, so that the time-stamp names are known.
class RenameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    oldTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
    dir_ = test::TempDir("rename_by_time");
  }
  void TearDown() override {
    if (hadTz_) {
      setenv("TZ", oldTz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  void Write(const std::string& name, const std::string& content, std::time_t modified) {
    const fs::path path = fs::path(dir_) / name;
    std::ofstream(path, std::ios::binary) << content;
    const struct timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  // Name -> content of every plain file in the folder.
  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      files[entry.path().filename().string()] =
          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
  }

  std::string dir_;
  RecordingUiSink sink_;
  ScopedUiSink scoped_{sink_};

 private:
  std::string oldTz_;
  bool hadTz_ = false;
};

TEST_F(RenameTest, NamesFromTheTimeStamp) {
  EXPECT_EQ(TimeStampName(kMay6), "BB2010-05-06 07.08.09.jpg");
  EXPECT_EQ(RetryName("/x/BB2010-05-06 07.08.09.jpg", "IMG_7.jpg"),
            "/x/BB2010-05-06 07.08.09.IMG_7.jpg");
}

TEST_F(RenameTest, ClashesReadOnlyPicturesAndOtherFilesKeepEveryFile) {
  // Three pictures of one second (one named in capitals), a read-only one, one already named
  // after its time, a text file, and a folder whose name ends in .jpg.
  Write("a.jpg", "A", kMay6);
  Write("b.JPG", "B", kMay6);
  Write("c.jpg", "C", kMay6);
  Write("ro.jpg", "R", kMay6 + 60);
  ASSERT_EQ(chmod((fs::path(dir_) / "ro.jpg").c_str(), 0444), 0);
  Write("BB2010-05-06 07.10.09.jpg", "K", kMay6 + 120);
  Write("notes.txt", "T", kMay6);
  fs::create_directory(fs::path(dir_) / "folder.jpg");

  const auto before = Files();
  const RenameSummary dry = RenameJpegFilesByTime(dir_, true);
  EXPECT_EQ(Files(), before);
  EXPECT_TRUE(sink_.Messages().empty());
  EXPECT_EQ(dry.renamed, 4);

  const RenameSummary run = RenameJpegFilesByTime(dir_, false);
  EXPECT_EQ(run.renamed, 4);
  EXPECT_EQ(run.kept, 1);
  EXPECT_EQ(run.failed, 0);
  EXPECT_FALSE(run.stopped);
  EXPECT_EQ(SummaryLine(run), "renamed=4 kept=1 failed=0");
  // The dry run said what the run did.
  ASSERT_EQ(dry.records.size(), run.records.size());
  for (size_t i = 0; i < run.records.size(); ++i) EXPECT_EQ(dry.records[i].to, run.records[i].to);

  const auto after = Files();
  ASSERT_EQ(after.size(), before.size());
  std::multiset<std::string> contents;
  for (const auto& [name, content] : after) contents.insert(content);
  EXPECT_EQ(contents, (std::multiset<std::string>{"A", "B", "C", "R", "K", "T"}));
  EXPECT_EQ(after.count("notes.txt"), 1u);
  EXPECT_EQ(after.count("BB2010-05-06 07.10.09.jpg"), 1u);
  EXPECT_EQ(after.at("BB2010-05-06 07.09.09.jpg"), "R");
  struct stat status {};
  ASSERT_EQ(stat((fs::path(dir_) / "BB2010-05-06 07.09.09.jpg").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0444u);
  // The first of the three of one second takes the name; the others get the retry name, each
  // after the message.
  const std::string first = after.at("BB2010-05-06 07.08.09.jpg");
  for (const auto& [old, content] :
       std::map<std::string, std::string>{{"a.jpg", "A"}, {"b.JPG", "B"}, {"c.jpg", "C"}}) {
    if (content == first) continue;
    EXPECT_EQ(after.at("BB2010-05-06 07.08.09." + old), content);
  }
  ASSERT_EQ(sink_.Messages().size(), 2u);
  for (const auto& m : sink_.Messages()) {
    EXPECT_EQ(m.text, "文件改名失败！\r\n可能重名再试一次!");
    EXPECT_EQ(m.caption, "文件改名失败！");
  }
  EXPECT_TRUE(fs::is_directory(fs::path(dir_) / "folder.jpg"));

  // A second run finds every picture named after its time already: nothing moves.
  sink_.Clear();
  const RenameSummary again = RenameJpegFilesByTime(dir_, false);
  EXPECT_EQ(again.renamed, 0);
  EXPECT_EQ(again.kept, 5);
  EXPECT_EQ(Files(), after);
  EXPECT_TRUE(sink_.Messages().empty());
}

TEST_F(RenameTest, TakenRetryNameGoesOnToANumberedName) {
  Write("x.jpg", "X", kMay6);
  Write("y.jpg", "Y", kMay6);
  // Folders hold the time-stamp name and both retry names.
  for (const char* name : {"BB2010-05-06 07.08.09.jpg", "BB2010-05-06 07.08.09.x.jpg",
                           "BB2010-05-06 07.08.09.y.jpg"}) {
    fs::create_directory(fs::path(dir_) / name);
  }
  const RenameSummary run = RenameJpegFilesByTime(dir_, false);
  EXPECT_EQ(run.renamed, 2);
  const auto after = Files();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after.count("BB2010-05-06 07.08.09 (2).jpg"), 1u);
  EXPECT_EQ(after.count("BB2010-05-06 07.08.09 (3).jpg"), 1u);
  EXPECT_EQ(sink_.Messages().size(), 2u);  // one message per picture that clashed
}

TEST_F(RenameTest, APictureThatCanGetNoNameEndsTheRun) {
  Write("x.jpg", "X", kMay6);
  fs::create_directory(fs::path(dir_) / "BB2010-05-06 07.08.09.jpg");
  fs::create_directory(fs::path(dir_) / "BB2010-05-06 07.08.09.x.jpg");
  for (int k = 2; k <= 999; ++k) {
    fs::create_directory(fs::path(dir_) /
                         ("BB2010-05-06 07.08.09 (" + std::to_string(k) + ").jpg"));
  }
  const RenameSummary run = RenameJpegFilesByTime(dir_, false);
  EXPECT_EQ(run.failed, 1);
  EXPECT_TRUE(run.stopped);
  EXPECT_EQ(Files().at("x.jpg"), "X");
  ASSERT_EQ(sink_.Messages().size(), 2u);
  EXPECT_EQ(sink_.Messages()[1].text, "文件改名失败！");
  EXPECT_EQ(sink_.Messages()[1].caption, "文件改名失败！\r\n退出!");
}

TEST_F(RenameTest, AMissingFolderIsReported) {
  const RenameSummary run = RenameJpegFilesByTime(dir_ + "/nothing", false);
  EXPECT_NE(run.error.find("nothing"), std::string::npos);
  EXPECT_TRUE(run.records.empty());
}

}  // namespace
}  // namespace fw

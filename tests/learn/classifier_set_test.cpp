// The cascade model and its files: the record layout, Save/Load round trips, the stage lists the
// loads form, the weak and stage decisions, the loader's refusals and the statistics reports.
#include "learn/classifier_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/data_files.h"
#include "learn/code_count_features.h"
#include "learn/texture_features.h"
#include "tests/learn/learn_test_support.h"
#include "tests/support/clips.h"

namespace fw {
namespace {

using test::ReadAll;

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A raw classifier file: counts, sizes, records, and thresholds when given.
std::string FileBytes(int32_t s, int32_t n, const std::vector<int32_t>& sizes,
                      const std::vector<WeakRecord>& records,
                      const std::vector<float>& thresholds) {
  std::string out;
  auto put = [&out](const void* p, size_t size) { out.append(static_cast<const char*>(p), size); };
  put(&s, 4);
  put(&n, 4);
  put(sizes.data(), 4 * sizes.size());
  put(records.data(), sizeof(WeakRecord) * records.size());
  put(thresholds.data(), 4 * thresholds.size());
  return out;
}

// A record every flavour can evaluate.
WeakRecord ValidRecord(Flavour f, int k) {
  WeakRecord r;
  switch (InfoOf(f).family) {
    case FeatureFamily::Window:
      r.featureCode = k % 2 ? 11 : 1043;
      break;
    case FeatureFamily::CodeCount:
      r.featureCode = CountFeatureCode(k % 10, 0, 1);
      break;
    case FeatureFamily::Texture:
      r.featureCode = TextureFeatureCode(k % 9, 0, 1, 0);
      break;
  }
  r.x = 1;
  r.y = 2;
  r.w = 12;
  r.h = 10;
  r.alpha = 0.5f + k;
  SetThresholds(r, InfoOf(f).thresholds, 100 + k, k);
  r.reserved1[3] = static_cast<uint8_t>(k);  // reserved bytes are kept as found
  return r;
}

std::vector<WeakRecord> Records(Flavour f, int n) {
  std::vector<WeakRecord> records;
  for (int k = 0; k < n; ++k) records.push_back(ValidRecord(f, k));
  return records;
}

std::vector<int32_t> Stages(const ClassifierSet& m) {
  return {m.stageSizes.begin(), m.stageSizes.begin() + m.StageCount()};
}

class ClassifierFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempDir("classifier_files");
    previous_ = StartDirectory();
    SetStartDirectory(folder_ + "/");
  }
  void TearDown() override { SetStartDirectory(previous_); }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  std::string folder_;
  std::string previous_;
};

TEST(WeakRecordLayout, FourHundredBytesWithTheFieldsAtTheirOffsets) {
  WeakRecord r;
  r.featureCode = 0x01020304;
  r.x = 5;
  r.h = 8;
  r.minValue = 1.5f;
  SetThreshold<int16_t>(r.bias, -2);
  SetThreshold<float>(r.threshold1, 3.25f);
  r.alpha = 0.75f;
  uint8_t bytes[400];
  std::memcpy(bytes, &r, 400);
  EXPECT_EQ(bytes[0], 0x04);
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(bytes[4], 5);
  EXPECT_EQ(bytes[7], 8);
  float f;
  std::memcpy(&f, bytes + 8, 4);
  EXPECT_EQ(f, 1.5f);
  int16_t t2;
  std::memcpy(&t2, bytes + 16, 2);
  EXPECT_EQ(t2, -2);
  std::memcpy(&f, bytes + 144, 4);
  EXPECT_EQ(f, 3.25f);
  std::memcpy(&f, bytes + 272, 4);
  EXPECT_EQ(f, 0.75f);
  const WeakRecord fresh;
  EXPECT_EQ(fresh.minValue, 100000.0f);
  EXPECT_EQ(fresh.maxValue, -100000.0f);
}

TEST_F(ClassifierFiles, SaveThenLoadGivesTheSameModelForEveryFlavour) {
  for (const FlavourInfo& info : kFlavours) {
    ClassifierSet m;
    m.flavour = info.flavour;
    const bool growth = info.stages == StageRule::Growth;
    const std::vector<int32_t> sizes =
        growth ? std::vector<int32_t>{10, 13, 7}
               : std::vector<int32_t>{8, 10, 14, 18, 20, 22, 24, 26, 28, 30};
    int n = 0;
    for (size_t s = 0; s < sizes.size(); ++s) {
      m.stageSizes[s] = sizes[s];
      m.stageThresholds[s] = 0.4f + 0.01f * s;
      n += sizes[s];
    }
    for (int k = 0; k < n; ++k) m.records[k] = ValidRecord(info.flavour, k);
    const std::string file = Path(info.defaultFile);
    ASSERT_TRUE(m.Save(file)) << info.label;
    EXPECT_EQ(std::filesystem::file_size(file), 8 + 8 * sizes.size() + 400 * n) << info.label;
    ClassifierSet loaded;
    ASSERT_TRUE(loaded.Load(info.flavour, file)) << info.label;
    EXPECT_EQ(Stages(loaded), sizes) << info.label;
    EXPECT_EQ(std::memcmp(loaded.records.data(), m.records.data(), 400 * n), 0) << info.label;
    if (info.ownThresholds) {
      for (size_t s = 0; s < sizes.size(); ++s) EXPECT_EQ(loaded.StageTheta(s), 0.4f + 0.01f * s);
    }
    loaded.UseModeRatio();
    EXPECT_EQ(loaded.StageTheta(0), info.ownThresholds ? 0.4f : info.modeRatio) << info.label;
    EXPECT_FALSE(std::filesystem::exists(file + ".part"));
  }
}

TEST_F(ClassifierFiles, StageListsAfterLoading) {
  struct Case {
    Flavour flavour;
    std::vector<int32_t> sizes;  // as stored
    int records;
    std::vector<int32_t> expected;
  };
  const std::vector<Case> cases = {
      {Flavour::Byte, {30}, 30, {10, 13, 7}},
      {Flavour::Float, {30}, 30, {10, 13, 7}},
      {Flavour::Blbp, {30}, 30, {10, 13, 7}},
      {Flavour::Pltp, {30}, 30, {30}},
      {Flavour::Byte, {5}, 5, {5}},
      {Flavour::Float, {40}, 40, {10, 13, 17}},
      {Flavour::Byte, {117}, 117, {10, 13, 17, 22, 29, 26}},
      {Flavour::Float, {}, 0, {}},  // growth from 0: an empty first stage
      {Flavour::Pltp, {}, 0, {}},
      {Flavour::Eoh, {}, 0, {}},
      {Flavour::Eoh, {200}, 200, {8, 10, 14, 18, 20, 22, 24, 26, 28, 30}},  // default split
      {Flavour::Eoh, {150, 50}, 200, {150, 50}},
      {Flavour::Float, {30, 4, 5}, 39, {10, 13, 7}},  // rebuilt entries replace the stored
  };
  for (const Case& c : cases) {
    const std::vector<float> thresholds(c.sizes.size(), 0.5f);
    const std::string file = Path("stages.kdz");
    WriteAll(file, FileBytes(static_cast<int32_t>(c.sizes.size()), c.records, c.sizes,
                             Records(c.flavour, c.records), thresholds));
    ClassifierSet m;
    ASSERT_TRUE(m.Load(c.flavour, file)) << InfoOf(c.flavour).label << " " << c.sizes.size();
    EXPECT_EQ(Stages(m), c.expected) << InfoOf(c.flavour).label;
    EXPECT_EQ(m.stageRatio, 0.01f);
  }
}

TEST(CascadeDecisions, EmptyCascadeAcceptsAndStageOfZeroWeightPasses) {
  ClassifierSet m;
  EXPECT_TRUE(m.Decide([](int) { return false; }).accepted);
  m.stageSizes[0] = 2;
  m.SetStageRatio(57);
  EXPECT_TRUE(m.Decide([](int) { return false; }).accepted);  // 0 >= 0.57 x 0
  m.records[0].alpha = 1.0f;
  m.records[1].alpha = 3.0f;
  EXPECT_FALSE(m.Decide([](int r) { return r == 0; }).accepted);  // 1 < 0.57 x 4
  const CascadeResult r = m.Decide([](int r) { return r == 1; });
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.weakEvaluated, 2);
}

TEST(WeakDecisions, EachThresholdTypeComparesInItsType) {
  struct Case {
    ThresholdType type;
    double t1, t2, value;
    bool yes;
  };
  const std::vector<Case> cases = {
      {ThresholdType::UInt8, 50, 200, 49, true},
      {ThresholdType::UInt8, 50, 200, 50, false},
      {ThresholdType::UInt8, 50, 200, 199, false},
      {ThresholdType::UInt8, 50, 200, 200, true},
      {ThresholdType::UInt8, 200, 50, 50, true},
      {ThresholdType::UInt8, 200, 50, 200, false},
      {ThresholdType::UInt8, 80, 80, 80, false},
      {ThresholdType::Float, 0.5, 0.25, 0.25, true},
      {ThresholdType::Float, 0.5, 0.25, 0.5, false},
      {ThresholdType::Float, -1, 2, 3, true},
      {ThresholdType::Int16, -5, -300, -300, true},
      {ThresholdType::Int16, -5, -300, -5, false},
      {ThresholdType::Int32, 100000, 99999, 99999, true},
      {ThresholdType::Int32, 7, 7, 7, false},
  };
  for (const Case& c : cases) {
    WeakRecord r;
    SetThresholds(r, c.type, c.t1, c.t2);
    const Thresholds t = ThresholdsOf(r, c.type);
    EXPECT_EQ(t.t1, c.t1);
    EXPECT_EQ(t.t2, c.t2);
    EXPECT_EQ(WeakYes(c.value, t.t1, t.t2), c.yes) << c.t1 << " " << c.t2 << " " << c.value;
  }
  // The byte flavour reads only the first byte of each field.
  WeakRecord r;
  r.threshold1 = {50, 1, 2, 3};
  EXPECT_EQ(ThresholdsOf(r, ThresholdType::UInt8).t1, 50.0);
}

TEST_F(ClassifierFiles, RefusalsNameTheFileAndLeaveTheModel) {
  struct Case {
    const char* what;
    Flavour flavour;
    std::string bytes;
    const char* message;
  };
  const auto ok = Records(Flavour::Byte, 30);
  std::vector<WeakRecord> badCode = ok;
  badCode[4].featureCode = 14;  // float form has no code 14
  std::vector<WeakRecord> outside = ok;
  outside[29].x = 20;  // 20 + 12 > 24
  std::vector<WeakRecord> slot = Records(Flavour::Eoh, 200);
  slot[7].featureCode = TextureFeatureCode(3, 1, 1, 0);
  std::string huge = FileBytes(1, 30, {30}, ok, {0.5f});
  huge.append(500000, '\0');
  const std::vector<Case> cases = {
      {"empty", Flavour::Byte, "", "too short"},
      {"short", Flavour::Byte, std::string("\x01\x00\x00", 3), "too short"},
      {"21 stages", Flavour::Pltp, FileBytes(21, 0, std::vector<int32_t>(21, 0), {}, {}),
       "at most 20"},
      {"1001 records", Flavour::Byte, FileBytes(1, 1001, {1001}, {}, {}), "at most 1000"},
      {"negative count", Flavour::Byte, FileBytes(1, -1, {1}, {}, {}), "at most 1000"},
      {"records missing", Flavour::Byte, FileBytes(1, 30, {30}, Records(Flavour::Byte, 29), {}),
       "need"},
      {"bytes left over", Flavour::Byte, FileBytes(1, 30, {30}, ok, {0.5f, 0.5f}), "need"},
      {"far too long", Flavour::Byte, huge, "longer"},
      {"thresholds missing", Flavour::Eoh,
       FileBytes(2, 200, {150, 50}, Records(Flavour::Eoh, 200), {}), "need"},
      {"stages beyond the records", Flavour::Pltp,
       FileBytes(2, 30, {20, 20}, Records(Flavour::Pltp, 30), {0.5f, 0.5f}), "use 40"},
      {"growth beyond the records", Flavour::Float,
       FileBytes(1, 29, {30}, Records(Flavour::Float, 29), {0.5f}), "use 30"},
      {"huge stages", Flavour::Pltp,
       FileBytes(2, 30, {2113929218, 2073232127}, Records(Flavour::Pltp, 30), {0.5f, 0.5f}),
       "at most 1000"},
      {"negative stage", Flavour::Pltp,
       FileBytes(2, 30, {30, -1}, Records(Flavour::Pltp, 30), {0.5f, 0.5f}), "negative"},
      {"unknown code", Flavour::Float, FileBytes(1, 30, {30}, badCode, {0.5f}), "weak record 5"},
      {"rectangle outside", Flavour::Byte, FileBytes(1, 30, {30}, outside, {0.5f}),
       "weak record 30"},
      {"pyramid slot", Flavour::Eoh, FileBytes(2, 200, {100, 100}, slot, {0.5f, 0.5f}),
       "weak record 8"},
      {"EOH default split short", Flavour::Eoh,
       FileBytes(1, 150, {150}, Records(Flavour::Eoh, 150), {0.5f}), "200 weak records"},
  };
  // A model loaded before each refusal stays as it was.
  const std::string good = Path("good.kdz");
  WriteAll(good, FileBytes(1, 30, {30}, ok, {0.5f}));
  for (const Case& c : cases) {
    ClassifierSet m;
    ASSERT_TRUE(m.Load(Flavour::Byte, good));
    const std::string before(reinterpret_cast<const char*>(m.records.data()), 400 * 30);
    const std::string file = Path("bad.kdz");
    WriteAll(file, c.bytes);
    const Result r = m.Load(c.flavour, file);
    ASSERT_FALSE(r) << c.what;
    EXPECT_NE(r.message().find(file), std::string::npos) << c.what << ": " << r.message();
    EXPECT_NE(r.message().find(c.message), std::string::npos) << c.what << ": " << r.message();
    EXPECT_EQ(m.flavour, Flavour::Byte) << c.what;
    EXPECT_EQ(Stages(m), (std::vector<int32_t>{10, 13, 7})) << c.what;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.records.data()), 400 * 30), before);
  }
  ClassifierSet m;
  const Result missing = m.Load(Flavour::Float, Path("missing.kdz"));
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.message().find("cannot open"), std::string::npos);
}

TEST_F(ClassifierFiles, StatisticsReportCountsTheWindowPatterns) {
  std::vector<WeakRecord> records = Records(Flavour::Byte, 30);  // alternating 1043 and 11
  records[0].featureCode = 2;
  records[2].featureCode = 1002;
  WriteAll(Path("Byte_RealAdaboost.kdz"), FileBytes(1, 30, {30}, records, {0.5f}));
  ClassifierSet m;
  ASSERT_TRUE(m.Load(Flavour::Byte, Path("Byte_RealAdaboost.kdz"), LoadReports::Write));
  EXPECT_EQ(ReadAll(Path(kStatisticsReportFile)),
            "类型11:15\r\n类型12:0\r\n类型21:0\r\n类型22:0\r\n类型31:0\r\n类型41:0\r\n类型43:0\r\n"
            "类型1011:0\r\n类型1012:0\r\n类型1021:0\r\n类型1022:0\r\n类型1031:0\r\n类型1041:0\r\n"
            "类型1043:13\r\n类型02:1\r\n类型1002:1\r\n");
}

TEST_F(ClassifierFiles, EohReportTallies) {
  std::vector<WeakRecord> records = Records(Flavour::Eoh, 200);  // plane codes k % 9, pattern 1
  records[0].featureCode = TextureFeatureCode(9, 0, 0, 152);     // a Hu moment (the second)
  records[1].featureCode = TextureFeatureCode(8, 0, 0, 2);       // a third-order grid moment
  for (int k : {0, 1}) records[k].x = records[k].y = 0;          // moments cover the window
  WriteAll(Path("EOH_RealAdaboost.kdz"), FileBytes(1, 200, {200}, records, {0.5f}));
  ClassifierSet m;
  ASSERT_TRUE(m.Load(Flavour::Eoh, Path("EOH_RealAdaboost.kdz"), LoadReports::Write));
  const std::string text = ReadAll(Path(kEohReportFile));
  EXPECT_EQ(text.rfind("\r\n说明：EOH: 0~7, Magnitude: 8, Gray scale: 9, LBP: 10~17", 0), 0u);
  int plane0 = 0, plane1 = 0;
  for (int k = 2; k < 200; ++k) {
    plane0 += k % 9 == 0;
    plane1 += k % 9 == 1;
  }
  char bins[64];
  std::snprintf(bins, sizeof bins, "\r\nh(00)=%03d     h(01)=%03d     ", plane0, plane1);
  EXPECT_NE(text.find(std::string("\r\n1. *************输出BIN*************\r\n") + bins),
            std::string::npos);
  // Pattern 1 is at position 0 of the pattern list: 198 records.
  EXPECT_NE(text.find("\r\nh(01)=198     h(02)=000     "), std::string::npos);
  EXPECT_NE(text.find("2阶矩个数：000, 3阶矩个数：001, 4阶矩个数：000, 其它：198.\r\n"),
            std::string::npos);
  EXPECT_NE(
      text.find("\r\n2HU不变矩：\r\n1：000, 2：001, 3：000, 4：000, 5： 000, 6：000, 7： 000.\r\n"),
      std::string::npos);
}

}  // namespace
}  // namespace fw

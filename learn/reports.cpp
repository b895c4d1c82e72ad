// The statistics reports written when a cascade is loaded.
#include "learn/reports.h"

#include <array>

#include "learn/classifier_set.h"

namespace fw {

Result WriteStatisticsReport(const ClassifierSet& model, const std::string& folder) {
  struct Line {
    int code;
    const char* format;
  };
  constexpr std::array<Line, 16> kLines = {{{11, "类型11:%d"},
                                            {12, "类型12:%d"},
                                            {21, "类型21:%d"},
                                            {22, "类型22:%d"},
                                            {31, "类型31:%d"},
                                            {41, "类型41:%d"},
                                            {43, "类型43:%d"},
                                            {1011, "类型1011:%d"},
                                            {1012, "类型1012:%d"},
                                            {1021, "类型1021:%d"},
                                            {1022, "类型1022:%d"},
                                            {1031, "类型1031:%d"},
                                            {1041, "类型1041:%d"},
                                            {1043, "类型1043:%d"},
                                            {2, "类型02:%d"},
                                            {1002, "类型1002:%d"}}};
  std::string text;
  for (const Line& line : kLines) {
    int count = 0;
    for (int k = 0; k < model.RecordsInStages(); ++k) {
      if (model.records[k].featureCode == line.code) ++count;
    }
    text += Format(line.format, count) + "\r\n";
  }
  return WriteFileAtomically(folder + kStatisticsReportFile, text);
}

namespace {

// 256 counts, ten to a line: "h(%02d)=%03d     " with (label, count), an entry whose index is
// a multiple of 10 starting a new line.
std::string CountTable(const std::array<int, 256>& labels, const std::array<int, 256>& counts,
                       const char* format) {
  std::string text;
  for (int i = 0; i < 256; ++i) {
    if (i % 10 == 0) text += "\r\n";
    text += Format(format, labels[i], counts[i]);
  }
  return text;
}

}  // namespace

Result WriteEohReport(const ClassifierSet& model, const std::string& path) {
  std::array<int, 256> planeCounts{}, momentCounts{}, patternCounts{}, index{};
  std::array<int, 256> patternList{};
  constexpr std::array<int, 16> kPatternList = {1, 2, 11, 12, 21, 22, 4,  0,
                                                0, 0, 51, 52, 53, 54, 55, 0};
  std::copy(kPatternList.begin(), kPatternList.end(), patternList.begin());
  for (int i = 0; i < 256; ++i) index[i] = i;
  for (int k = 0; k < model.RecordsInStages(); ++k) {
    const uint32_t code = static_cast<uint32_t>(model.records[k].featureCode);
    ++planeCounts[code & 0xFF];
    ++momentCounts[code >> 24];
    const int pattern = static_cast<int>((code >> 16) & 0xFF);
    for (int i = 0; i < 256; ++i) {
      if (patternList[i] == pattern) {
        ++patternCounts[i];
        break;
      }
    }
  }
  auto sum = [&](int from, int to) {
    int n = 0;
    for (int i = from; i <= to; ++i) n += planeCounts[i];
    return n;
  };
  std::string text =
      "\r\n说明：EOH: 0~7, Magnitude: 8, Gray scale: 9, LBP: 10~17, Saturation: 18,gray 2/4: 19,  "
      "Saturation2/4: 20, MagQuanBin: 21~28\r\n\r\n";
  text += "\r\n1. *************输出BIN*************\r\n";
  text += CountTable(index, planeCounts, "h(%02d)=%03d     ");
  text +=
      Format("\r\n\r\nEOH(0~7)数目：%03d, LBP(10~17)数目：%03d, 梯度强度量化(21~28)数目：%03d\r\n",
             sum(0, 7), sum(10, 17), sum(21, 28));
  text += Format(
      "EOH方差(29)数目：%03d,LBP代码1(30)数目：%03d,ED(8)数目：%03d, 灰度均值(9)数目：%03d, "
      "灰度方差(19)数目：%03d, 饱和度(18)数目：%03d, 饱和度方差(20)数目：%03d\r\n",
      planeCounts[29], planeCounts[30], planeCounts[8], planeCounts[9], planeCounts[19],
      planeCounts[18], planeCounts[20]);
  text += "\r\n\r\n2. *************输出HAAR*************\r\n";
  text += CountTable(patternList, patternCounts, "h(%02d)=%03d     ");
  text += "\r\n\r\n3. *************输出Moment*************\r\n";
  text += CountTable(index, momentCounts, "h(%03d)=%03d     ");
  std::array<int, 3> orders{};
  for (int m = 1; m <= 150; ++m) orders[(m - 1) % 3] += momentCounts[m];
  text += Format(
      "\r\n直方图中心矩：\r\n2阶矩个数：%03d, 3阶矩个数：%03d, 4阶矩个数：%03d, 其它：%03d.\r\n",
      orders[0], orders[1], orders[2], momentCounts[0]);
  std::array<int, 7> hu{};
  for (int m = 151; m <= 213; ++m) hu[(m - 151) % 7] += momentCounts[m];
  text += Format(
      "\r\n2HU不变矩：\r\n1：%03d, 2：%03d, 3：%03d, 4：%03d, 5： %03d, 6：%03d, 7： %03d.\r\n",
      hu[0], hu[1], hu[2], hu[3], hu[4], hu[5], hu[6]);
  return WriteFileAtomically(path, text);
}

}  // namespace fw

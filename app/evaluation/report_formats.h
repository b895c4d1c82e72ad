// An evaluation's results for people and programs: the table printed on stdout and shown by the
// desktop, eval.csv, eval.json, and the rows of the timeline picture.
#pragma once

#include <string>
#include <vector>

#include "app/evaluation/evaluation.h"
#include "app/evaluation/timeline_chart.h"

namespace fw {

// One line per mode and clip (detected or missed, the delay in frames and seconds, the false
// alarms; a run without a result shows its error), then a summary line per mode.
std::string FormatTable(const EvaluationReport& report);
// "mode,clip,detected,delay_frames,delay_s,false_alarms", one row per mode and clip. detected is
// 1 or 0 for a clip with an event and empty for one without; the delays are empty when missed;
// a run without a result has "error" in detected (its message is in the JSON).
std::string FormatCsv(const EvaluationReport& report);
// Every run (with its intervals and frame count, or its error) and every mode's summary.
std::string FormatJson(const EvaluationReport& report);
// The timeline rows of one clip (by its file name), or of every run when `clipName` is empty.
std::vector<TimelineRow> TimelineRows(const EvaluationReport& report, const std::string& clipName);

}  // namespace fw

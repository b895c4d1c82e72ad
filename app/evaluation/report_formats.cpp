#include "app/evaluation/report_formats.h"

#include <algorithm>
#include <cstdio>

#include "app/evaluation/evidence.h"
#include "app/mode_table.h"

namespace fw {

namespace {

std::string Format(const char* format, double value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string ModeName(int mode) {
  const char* label = ModeLabel(static_cast<ModeId>(mode));
  return std::to_string(mode) + (label ? std::string(" ") + label : std::string());
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonNumber(const std::optional<double>& value) {
  return value ? Format("%.6g", *value) : "null";
}

// CSV quoting for a clip name with a comma, a quote or a line end in it.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string FormatTable(const EvaluationReport& report) {
  size_t clipWidth = 4;
  for (const RunOutcome& run : report.runs) clipWidth = std::max(clipWidth, run.name.size());
  const int w = static_cast<int>(clipWidth);
  std::string out;
  char line[512];
  std::snprintf(line, sizeof line, "%-5s  %-*s  %-8s  %12s  %9s  %12s\n", "mode", w, "clip",
                "result", "delay frames", "delay s", "false alarms");
  out += line;
  for (const ModeResult& mode : report.modes) {
    for (const RunOutcome& run : report.runs) {
      if (run.mode != mode.mode) continue;
      if (!run.ok) {
        std::snprintf(line, sizeof line, "%-5d  %-*s  error: %s\n", run.mode, w, run.name.c_str(),
                      run.error.c_str());
        out += line;
        continue;
      }
      const ClipScore& s = run.score;
      const char* result = !s.event ? "no event" : s.detected ? "detected" : "missed";
      const std::string frames = s.detected ? std::to_string(s.delayFrames) : "-";
      const std::string seconds = s.detected ? Format("%.2f", s.delaySeconds) : "-";
      std::snprintf(line, sizeof line, "%-5d  %-*s  %-8s  %12s  %9s  %12d\n", run.mode, w,
                    run.name.c_str(), result, frames.c_str(), seconds.c_str(), s.falseAlarms);
      out += line;
    }
    const ModeSummary& m = mode.summary;
    std::string summary = ModeName(mode.mode) + ": " + std::to_string(m.detected) + "/" +
                          std::to_string(m.eventClips) + " clips detected";
    if (m.meanDelaySeconds) {
      summary += ", delay mean " + Format("%.2f", *m.meanDelaySeconds) + " s (" +
                 Format("%.1f", *m.meanDelayFrames) + " frames), worst " +
                 Format("%.2f", m.worstDelaySeconds.value_or(0.0)) + " s (" +
                 std::to_string(m.worstDelayFrames) + " frames)";
    }
    summary +=
        ", " + std::to_string(m.falseAlarms) + " false alarm" + (m.falseAlarms == 1 ? "" : "s");
    if (m.falseAlarmsPerHour)
      summary += " (" + Format("%.1f", *m.falseAlarmsPerHour) + " per hour)";
    summary += " over " + Format("%.1f", m.hours * 60.0) + " min of video";
    if (mode.failed > 0) {
      summary += ", " + std::to_string(mode.failed) + (mode.failed == 1 ? " run" : " runs") +
                 " without a result";
    }
    out += "summary " + summary + "\n";
  }
  if (report.stopped) out += "stopped before every run finished\n";
  return out;
}

std::string FormatCsv(const EvaluationReport& report) {
  std::string out = "mode,clip,detected,delay_frames,delay_s,false_alarms\n";
  for (const ModeResult& mode : report.modes) {
    for (const RunOutcome& run : report.runs) {
      if (run.mode != mode.mode) continue;
      out += std::to_string(run.mode) + "," + CsvField(run.name) + ",";
      if (!run.ok) {
        out += "error,,,\n";
        continue;
      }
      const ClipScore& s = run.score;
      if (s.event) out += s.detected ? "1" : "0";
      out += ",";
      if (s.detected)
        out += std::to_string(s.delayFrames) + "," + Format("%.4f", s.delaySeconds);
      else
        out += ",";
      out += ',';
      out += std::to_string(s.falseAlarms);
      out += '\n';
    }
  }
  return out;
}

std::string FormatJson(const EvaluationReport& report) {
  std::string out = "{\n  \"runs\": [";
  bool first = true;
  for (const RunOutcome& run : report.runs) {
    out += first ? "\n    {" : ",\n    {";
    first = false;
    out += "\"mode\": " + std::to_string(run.mode) + ", \"clip\": " + JsonText(run.name) +
           ", \"path\": " + JsonText(run.clip);
    out += ", \"onset\": " + (run.truth.HasEvent() ? std::to_string(run.truth.onset) : "null");
    out += ", \"end\": " + (run.truth.end >= 0 ? std::to_string(run.truth.end) : "null");
    if (!run.ok) {
      out += ", \"error\": " + JsonText(run.error) + "}";
      continue;
    }
    const ClipScore& s = run.score;
    out += ", \"frames\": " + std::to_string(run.series.Frames()) +
           ", \"fps\": " + Format("%.6g", run.series.fps);
    out += std::string(", \"detected\": ") + (s.event ? (s.detected ? "true" : "false") : "null");
    out += ", \"delay_frames\": " + (s.detected ? std::to_string(s.delayFrames) : "null");
    out += ", \"delay_s\": " + (s.detected ? Format("%.6g", s.delaySeconds) : "null");
    out += ", \"false_alarms\": " + std::to_string(s.falseAlarms) + ", \"intervals\": [";
    for (size_t i = 0; i < run.intervals.size(); ++i) {
      out += (i ? ", [" : "[") + std::to_string(run.intervals[i].start) + ", " +
             std::to_string(run.intervals[i].end) + "]";
    }
    out += "]}";
  }
  out += "\n  ],\n  \"summary\": [";
  first = true;
  for (const ModeResult& mode : report.modes) {
    const ModeSummary& m = mode.summary;
    out += first ? "\n    {" : ",\n    {";
    first = false;
    out += "\"mode\": " + std::to_string(mode.mode) + ", \"clips\": " + std::to_string(m.clips) +
           ", \"event_clips\": " + std::to_string(m.eventClips) +
           ", \"detected\": " + std::to_string(m.detected) +
           ", \"mean_delay_s\": " + JsonNumber(m.meanDelaySeconds) +
           ", \"worst_delay_s\": " + JsonNumber(m.worstDelaySeconds) +
           ", \"false_alarms\": " + std::to_string(m.falseAlarms) +
           ", \"hours\": " + Format("%.6g", m.hours) +
           ", \"false_alarms_per_hour\": " + JsonNumber(m.falseAlarmsPerHour) +
           ", \"failed\": " + std::to_string(mode.failed) + "}";
  }
  out += std::string("\n  ],\n  \"stopped\": ") + (report.stopped ? "true" : "false") + "\n}\n";
  return out;
}

std::vector<TimelineRow> TimelineRows(const EvaluationReport& report, const std::string& clipName) {
  std::vector<TimelineRow> rows;
  for (const RunOutcome& run : report.runs) {
    if (!clipName.empty() && run.name != clipName) continue;
    TimelineRow row;
    row.label = (clipName.empty() ? run.name + "  " : std::string()) + ModeName(run.mode);
    if (const char* evidence = EvidenceName(static_cast<ModeId>(run.mode))) {
      row.label += std::string("  (curve: ") + evidence + ")";
    }
    row.frames = run.series.Frames();
    row.series = &run.series;
    row.intervals = run.intervals;
    row.onset = run.truth.onset;
    row.end = run.truth.end;
    if (!run.ok) row.error = run.error;
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace fw

// The texts the desktop derives from a snapshot: the window title, the status bar's line about
// the video and the mode, the frame field, the panes' captions, and the window's minimum size.
#pragma once

#include <QSize>
#include <QString>

#include <optional>
#include <string>

namespace fw {

struct Snapshot;
class WorkbenchDocument;

// "FWX - <product title>", with the video's file name in front once one is open.
QString WindowTitle(const std::string& videoPath);
// "clip.avi | 352x288 | 10 fps | 7011 Fumewatch(Block)" (a long name cut in its middle); "No
// video" before one opens. Online: "sim:clip.avi | 352x288 | 25.0 fps | 0 dropped | ...", the
// rate being the live frames' and "stopped" added while the stream is stopped.
QString VideoInfoText(const Snapshot& s);
// Time of a frame at the file's rate, "m:ss.s" (empty without a rate).
QString FrameTime(int frame, double framesPerSecond);
// The frame field: "n / N" and the time, "119 / 258 (0:11.9)".
QString FrameFieldText(int frame, int frameCount, double framesPerSecond);
// The frame a user typed into the frame field: the leading whole number.
std::optional<int> ParseFrameField(const QString& text);
// One line over a pane saying what it shows: the current mode's caption for it, or what a
// selection beside the mode puts there (the colour plots, the bottom-right operations).
QString PaneCaption(int pane, const Snapshot& s, const WorkbenchDocument& doc);
// The window's minimum size: 1020 x 740, or the screen's available area where that is smaller.
QSize MinimumWindowSize(QSize available);

}  // namespace fw

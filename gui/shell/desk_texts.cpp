#include "gui/shell/desk_texts.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include "app/commands.h"
#include "app/mode_table.h"
#include "app/snapshot.h"
#include "gui/shell/main_window.h"
#include "gui/shell/workbench_document.h"

namespace fw {

namespace {

// The document's title, put in front of the product title.
constexpr const char* kDocumentTitle = "FWX";

constexpr const char* kFrameCaption = "Current frame";
constexpr const char* kUnusedCaption = "Not used in this mode";
constexpr const char* kNoModeCaption = "No mode chosen";

}  // namespace

QString WindowTitle(const std::string& videoPath) {
  QString title = QStringLiteral("%1 - %2").arg(QLatin1String(kDocumentTitle),
                                                QString::fromUtf8(kProductTitle));
  if (videoPath.empty()) return title;
  return QFileInfo(QString::fromStdString(videoPath)).fileName() + QStringLiteral(" - ") + title;
}

namespace {

// A long name keeps its start and its end.
QString ShortName(QString name) {
  constexpr int kNameRoom = 24;
  if (name.size() <= kNameRoom) return name;
  return name.left(kNameRoom / 2 - 1) + QChar(0x2026) + name.right(kNameRoom / 2);
}

// Online: the source, the frame size, frames per second reaching the pipeline, dropped frames.
QString LiveInfoText(const Snapshot& s) {
  QString text = QStringLiteral("%1 | %2x%3 | %4 fps | %5 dropped")
                     .arg(ShortName(QString::fromStdString(s.captureSource)))
                     .arg(s.videoWidth)
                     .arg(s.videoHeight)
                     .arg(s.captureRate, 0, 'f', 1)
                     .arg(s.captureDropped);
  if (!s.captureStreaming) text += QStringLiteral(" | stopped");
  return text;
}

}  // namespace

QString VideoInfoText(const Snapshot& s) {
  const QString name = ShortName(QFileInfo(QString::fromStdString(s.videoPath)).fileName());
  QString text = s.videoPath.empty()
                     ? QStringLiteral("No video")
                     : QStringLiteral("%1 | %2x%3").arg(name).arg(s.videoWidth).arg(s.videoHeight);
  if (s.online) text = LiveInfoText(s);
  if (s.fileFrameRate > 0.0) text += QStringLiteral(" | %1 fps").arg(s.fileFrameRate, 0, 'g', 4);
  const char* label = ModeLabel(s.mode);
  if (s.mode == ModeId::None || label == nullptr) return text + QStringLiteral(" | No mode");
  return text + QStringLiteral(" | %1 %2").arg(ModeNumber(s.mode)).arg(QString::fromUtf8(label));
}

QString FrameTime(int frame, double framesPerSecond) {
  if (!(framesPerSecond > 0.0)) return {};
  const double seconds = frame / framesPerSecond;
  const int minutes = static_cast<int>(seconds / 60.0);
  return QStringLiteral("%1:%2").arg(minutes).arg(seconds - 60.0 * minutes, 4, 'f', 1,
                                                  QLatin1Char('0'));
}

QString FrameFieldText(int frame, int frameCount, double framesPerSecond) {
  const QString time = FrameTime(frame, framesPerSecond);
  const QString position = QStringLiteral("%1 / %2").arg(frame).arg(frameCount);
  return time.isEmpty() ? position : QStringLiteral("%1 (%2)").arg(position, time);
}

std::optional<int> ParseFrameField(const QString& text) {
  static const QRegularExpression kLeading(QStringLiteral("^\\s*(\\d{1,9})"));
  const QRegularExpressionMatch m = kLeading.match(text);
  if (!m.hasMatch()) return std::nullopt;
  return m.captured(1).toInt();
}

QString PaneCaption(int pane, const Snapshot& s, const WorkbenchDocument& doc) {
  // Selections beside the mode that take a pane over.
  if (pane == 2 && doc.pickerColour) return QStringLiteral("Picked colour over time: H, S, V");
  if (pane == 3 && doc.drawRgb) return QStringLiteral("Picked colour over time: R, G, B");
  if (pane == 3 && s.bottomRightOperation == cmd::kBottomRightGrad) {
    return QStringLiteral("Grad: Sobel magnitude of the top-right pane");
  }
  if (pane == 1 && s.bottomRightOperation == cmd::kBottomRightDifference) {
    return QStringLiteral("Difference of the bottom-right pane");
  }
  const ModeInfo* mode = FindMode(s.mode);
  if (mode != nullptr && mode->captions[pane] != nullptr) {
    return QString::fromUtf8(mode->captions[pane]);
  }
  if (pane == 0) return QString::fromLatin1(kFrameCaption);
  return QString::fromLatin1(s.mode == ModeId::None ? kNoModeCaption : kUnusedCaption);
}

QSize MinimumWindowSize(QSize available) {
  if (available.isEmpty()) return {MainWindow::kMinimumWidth, MainWindow::kMinimumHeight};
  return {std::min(MainWindow::kMinimumWidth, available.width()),
          std::min(MainWindow::kMinimumHeight, available.height())};
}

}  // namespace fw

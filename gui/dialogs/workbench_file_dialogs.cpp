#include "gui/dialogs/workbench_file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <string>

#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "workbench/file_renaming.h"

namespace fw {

void RenameByTimeCommand(QWidget& parent, EngineBridge& bridge) {
  const QString chosen =
      QFileDialog::getOpenFileName(&parent, QStringLiteral("打开需要自动命名为文件创建时间的目录"),
                                   QString(), QStringLiteral("Files(*.jpg)"));
  if (chosen.isEmpty()) return;
  const QString folder = QFileInfo(chosen).absolutePath();
  QDir::setCurrent(folder);
  bridge.post([folder = folder.toStdString()](Session&) {
    const RenameSummary summary = RenameJpegFilesByTime(folder, false);
    const std::string text =
        summary.error.empty() ? folder + ": " + SummaryLine(summary) : summary.error;
    CurrentUiSink().Message(text, "Automatically change filenames", MessageButtons::Ok);
  });
}

QString ChooseNonFireVideo(QWidget& parent) {
  return QFileDialog::getOpenFileName(&parent, QString(), QString(),
                                      QStringLiteral("Non-Fire Files(*.avi)"));
}

}  // namespace fw

// The main window's online mode: "Video on line" with its source chooser, and "Online
// Fumewatch". The session does the work; the window asks for the source and remembers it.
#include <QSettings>

#include "app/session.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/dialogs/live_source_dialog.h"
#include "gui/shell/main_window.h"
#include "video/v4l2_capture.h"

namespace fw {

namespace {

constexpr const char* kSourceKey = "liveSource";
constexpr const char* kReconnectKey = "liveReconnect";

}  // namespace

bool MainWindow::chooseLiveSource(QString& address, bool& reconnect) {
  QList<QPair<QString, QString>> devices;
  for (const CaptureDevice& d : ListCaptureDevices()) {
    const QString path = QString::fromStdString(d.path);
    devices.append({path, path + QStringLiteral("  ") + QString::fromStdString(d.card)});
  }
  LiveSourceDialog dialog(devices, this);
  LiveSourceDialog::Choice remembered;
  QSettings settings = WorkbenchSettings();
  remembered.address = settings.value(kSourceKey, remembered.address).toString();
  remembered.reconnect = settings.value(kReconnectKey, false).toBool();
  dialog.setChoice(remembered);
  if (dialog.exec() != QDialog::Accepted) return false;
  const LiveSourceDialog::Choice chosen = dialog.choice();
  settings.setValue(kSourceKey, chosen.address);
  settings.setValue(kReconnectKey, chosen.reconnect);
  address = chosen.address;
  reconnect = chosen.reconnect;
  return true;
}

SessionCommand MainWindow::videoOnLineCommand(const QString& address, bool reconnect) {
  const std::string a = address.toStdString();
  return [a, reconnect](Session& s) {
    if (s.Online()) {
      s.StopCapture();
      return;
    }
    if (const Result named = s.SetCaptureAddress(a); !named) return;
    CaptureOptions options;
    options.reconnect = reconnect;
    s.SetCaptureOptions(options);
    s.StartCapture();
  };
}

void MainWindow::switchOnline(const QString& address, bool reconnect) {
  showStatus(static_cast<int>(StatusField::Message),
             QStringLiteral("Connecting to %1 ...").arg(address));
  connecting_ = true;
  refreshChecks();
  bridge_.post(videoOnLineCommand(address, reconnect));
}

void MainWindow::goOffline() {
  // A stream still connecting gives up at once rather than after its timeout.
  connecting_ = false;
  bridge_.cancelCapture();
  bridge_.post([](Session& s) { s.StopCapture(); });
}

void MainWindow::toggleOnline() {
  if (bridge_.snapshot().online || connecting_) {
    goOffline();
    return;
  }
  QString address;
  bool reconnect = false;
  if (chooseLiveSource(address, reconnect)) switchOnline(address, reconnect);
}

void MainWindow::runOnlineDetection(const QString& address, bool reconnect) {
  for (SessionCommand& command : OnlineDetectionCommands(videoOnLineCommand(address, reconnect))) {
    bridge_.post(std::move(command));
  }
  // What follows the mode commands.
  reinitialise();
}

void MainWindow::chooseOnlineDetection() {
  // Starting online, "Video on line" in the sequence switches capture off: no source to choose.
  QString address;
  bool reconnect = false;
  if (bridge_.snapshot().online || connecting_) {
    connecting_ = false;
    bridge_.cancelCapture();
  } else if (!chooseLiveSource(address, reconnect)) {
    return;
  }
  runOnlineDetection(address, reconnect);
}

}  // namespace fw

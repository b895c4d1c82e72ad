#include "gui/engine_bridge.h"

#include <QMetaObject>

namespace fw {

EngineBridge::EngineBridge(AlarmSound* sound, QObject* parent)
    : QObject(parent), session_(sound), engine_(session_) {
  engine_.SetPublishListener([this] {
    // Coalesce: while one take is queued on the GUI thread, later publications ride along.
    if (!takePending_.exchange(true)) {
      QMetaObject::invokeMethod(this, &EngineBridge::takeSnapshot, Qt::QueuedConnection);
    }
  });
}

EngineBridge::~EngineBridge() { engine_.SetPublishListener(nullptr); }

void EngineBridge::post(EngineThread::Command command) { engine_.Post(std::move(command)); }

void EngineBridge::call(EngineThread::Command command) { engine_.Call(std::move(command)); }

void EngineBridge::takeSnapshot() {
  takePending_.store(false);
  if (engine_.TakeSnapshot(front_)) emit snapshotUpdated();
}

}  // namespace fw

#include "gui/bridge/engine_bridge.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>

namespace fw {

EngineBridge::EngineBridge(AlarmSound* sound, QObject* parent)
    : QObject(parent), session_(sound), engine_(session_) {
  engine_.SetPublishListener([this] {
    // Coalesce: while one take is queued on the GUI thread, later publications ride along.
    if (!takePending_.exchange(true)) {
      QMetaObject::invokeMethod(this, &EngineBridge::takeSnapshot, Qt::QueuedConnection);
    }
  });
  // A first snapshot, so that the controls show the session's values before any command.
  engine_.Post([](Session&) {});
}

EngineBridge::~EngineBridge() {
  engine_.SetPublishListener(nullptr);
}

void EngineBridge::post(EngineThread::Command command) {
  engine_.Post(std::move(command));
}

void EngineBridge::postThen(EngineThread::Command command, QObject* receiver,
                            std::function<void()> reply) {
  QPointer<QObject> guard(receiver);
  engine_.Post([this, command = std::move(command), guard, reply = std::move(reply)](Session& s) {
    command(s);
    QMetaObject::invokeMethod(
        this,
        [guard, reply] {
          if (guard) reply();
        },
        Qt::QueuedConnection);
  });
}

void EngineBridge::call(EngineThread::Command command) {
  // The loop runs until the engine has run the command; a message box the command shows through
  // the GUI thread is served meanwhile instead of waiting for a thread that waits for it.
  QEventLoop loop;
  engine_.Post([&command, &loop](Session& s) {
    command(s);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void EngineBridge::takeSnapshot() {
  takePending_.store(false);
  if (engine_.TakeSnapshot(front_)) emit snapshotUpdated();
}

}  // namespace fw

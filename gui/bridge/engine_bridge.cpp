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
  const uint64_t id = nextReply_++;
  replies_.emplace(id, Reply{QPointer<QObject>(receiver), std::move(reply)});
  engine_.Post([this, command = std::move(command), id](Session& s) {
    command(s);
    const std::lock_guard hold(doneLock_);
    done_.push_back(id);
    if (!repliesPending_) {
      repliesPending_ = true;
      QMetaObject::invokeMethod(this, &EngineBridge::runReplies, Qt::QueuedConnection);
    }
  });
}

void EngineBridge::runReplies() {
  std::vector<uint64_t> done;
  {
    const std::lock_guard hold(doneLock_);
    done.swap(done_);
    repliesPending_ = false;
  }
  for (const uint64_t id : done) {
    const auto it = replies_.find(id);
    if (it == replies_.end()) continue;
    const Reply reply = std::move(it->second);
    replies_.erase(it);
    if (reply.receiver) reply.run();
  }
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

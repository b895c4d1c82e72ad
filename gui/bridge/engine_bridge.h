// The desktop's link to the engine thread: commands go in through post(), finished frames come
// back as snapshots. The GUI paints only snapshots and never touches the Session itself.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "app/engine_thread.h"
#include "app/session.h"
#include "app/snapshot.h"

namespace fw {

class AlarmSound;

class EngineBridge : public QObject {
  Q_OBJECT

 public:
  // The sound (may be null) must outlive the bridge.
  explicit EngineBridge(AlarmSound* sound, QObject* parent = nullptr);
  ~EngineBridge() override;

  // Queues a command for the engine thread; it runs between frames.
  void post(EngineThread::Command command);
  // Queues a command, then runs `reply` on the GUI thread once the command has run, unless
  // `receiver` has been destroyed by then.
  void postThen(EngineThread::Command command, QObject* receiver, std::function<void()> reply);
  // Runs a command on the engine thread and waits for it, serving the GUI thread's events
  // meanwhile (a message box the command shows) except user input. Only for start-up, shutdown
  // and tests: the GUI never waits on the engine while frames are being processed.
  void call(EngineThread::Command command);

  // Makes a live source that is connecting or reading give up soon (capture is being switched
  // off); the command that switches it off follows through post().
  void cancelCapture() { session_.Capture().Cancel(); }

  // The newest snapshot taken on the GUI thread.
  const Snapshot& snapshot() const { return front_; }

 signals:
  // A new snapshot has been taken; panes and controls repaint from snapshot().
  void snapshotUpdated();

 private:
  void takeSnapshot();
  // On the GUI thread: runs the replies of the commands the engine has run.
  void runReplies();

  struct Reply {
    QPointer<QObject> receiver;
    std::function<void()> run;
  };

  // The replies wait here on the GUI side, by number: the engine thread only hands back the
  // numbers of the commands it has run, through a lock, so nothing of a reply crosses threads.
  // Declared before the engine, so that they outlive its thread.
  std::map<uint64_t, Reply> replies_;  // GUI thread only
  uint64_t nextReply_ = 0;              // GUI thread only
  std::mutex doneLock_;
  std::vector<uint64_t> done_;  // guarded by doneLock_
  bool repliesPending_ = false;  // guarded by doneLock_
  Session session_;
  EngineThread engine_;
  Snapshot front_;
  std::atomic<bool> takePending_{false};
};

}  // namespace fw

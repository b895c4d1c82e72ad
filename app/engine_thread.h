// The engine thread of the desktop: it owns the session's time. Commands posted from the GUI run
// between frames, so a rebuild never meets a frame in progress; while the loop runs, frames are
// produced when due and the thread sleeps in between. Online, the capture thread wakes it for
// each live frame, which it takes from the one-slot queue and runs between commands. After every
// frame or command a snapshot is published for the GUI to paint.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/session.h"
#include "app/snapshot.h"
#include "video/frame_clock.h"

namespace fw {

class EngineThread {
 public:
  using Command = std::function<void(Session&)>;

  // Starts the thread; the session must outlive this object.
  explicit EngineThread(Session& session);
  ~EngineThread();
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  // Queues a command; it runs on the engine thread before the next frame.
  void Post(Command command);
  // Queues a command and waits until it has run (tests; the GUI never waits on the engine).
  void Call(Command command);

  // The newest snapshot, swapped into `front` when one was published since the last take.
  bool TakeSnapshot(Snapshot& front) { return snapshots_.TakeLatest(front); }
  // Called on the engine thread after each publication (the GUI posts itself a repaint).
  void SetPublishListener(std::function<void()> listener);

 private:
  void Run();
  void RunCommand(Command& command);
  void RunFrame();
  void Publish(bool framePanesCaptured);
  // Online: the capture's reports and the newest live frame; false when there was neither.
  bool ServeCapture();

  Session& session_;
  SnapshotExchange snapshots_;
  FrameClock clock_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Command> commands_;
  bool quit_ = false;
  bool captureWoken_ = false;  // a live frame or a capture report came since the last look
  std::function<void()> listener_;
  std::thread thread_;
};

}  // namespace fw

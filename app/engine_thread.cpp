#include "app/engine_thread.h"

#include <chrono>
#include <future>

namespace fw {

EngineThread::EngineThread(Session& session) : session_(session) {
  session_.SetSnapshotTarget(&snapshots_.Back());
  session_.Capture().SetWake([this] {
    {
      std::lock_guard lock(mutex_);
      captureWoken_ = true;
    }
    wake_.notify_all();
  });
  thread_ = std::thread([this] { Run(); });
}

EngineThread::~EngineThread() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
  // Once this returns the capture thread no longer calls into this object.
  session_.Capture().SetWake(nullptr);
  session_.SetSnapshotTarget(nullptr);
}

void EngineThread::Post(Command command) {
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(command));
  }
  wake_.notify_all();
}

void EngineThread::Call(Command command) {
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  Post([&](Session& s) {
    command(s);
    done.set_value();
  });
  finished.wait();
}

void EngineThread::SetPublishListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void EngineThread::Publish(bool framePanesCaptured) {
  Snapshot& back = snapshots_.Back();
  if (framePanesCaptured) {
    session_.FillControlValues(back);
  } else {
    session_.FillSnapshot(back);
  }
  snapshots_.Publish();
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener) listener();
}

bool EngineThread::ServeCapture() {
  const bool reported = session_.HandleCaptureReports();
  if (session_.ProcessCaptureFrame()) {
    Publish(true);
    return true;
  }
  if (reported) Publish(false);
  return reported;
}

void EngineThread::Run() {
  using Clock = std::chrono::steady_clock;
  bool wasRunning = false;
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!commands_.empty()) {
      std::deque<Command> batch;
      batch.swap(commands_);
      lock.unlock();
      // One snapshot per command; a command that ran a frame (a step, a jump while paused) had
      // its panes captured when they were shown.
      for (Command& command : batch) {
        const uint64_t framesBefore = session_.FramesProcessed();
        command(session_);
        Publish(session_.FramesProcessed() != framesBefore);
      }
      lock.lock();
      continue;
    }

    // Online the capture stream gives the frames and the playback loop plays no part. The flag
    // is cleared before the look, so a frame that comes during it wakes the wait below.
    if (session_.Online()) {
      captureWoken_ = false;
      lock.unlock();
      const bool served = ServeCapture();
      lock.lock();
      if (!served) {
        wake_.wait(lock, [this] { return quit_ || !commands_.empty() || captureWoken_; });
      }
      continue;
    }

    // The loop ends once it sees a stop request, as the playback thread did; the GUI learns it
    // from a fresh snapshot.
    if (session_.LoopExists()) {
      session_.EndLoopIfStopped();
      if (!session_.LoopExists()) {
        lock.unlock();
        Publish(false);
        lock.lock();
        continue;
      }
    }
    const bool running = session_.WantsFrames();
    if (running && !wasRunning) clock_.InitFrameClock(Clock::now());
    wasRunning = running;
    if (!running) {
      wake_.wait(lock, [this] { return quit_ || !commands_.empty(); });
      continue;
    }

    const auto interval = std::chrono::duration<double>(session_.FrameInterval());
    if (clock_.IsFrameDue(Clock::now(), interval)) {
      lock.unlock();
      session_.ProcessFrame();
      Publish(true);
      lock.lock();
    } else {
      wake_.wait_until(lock, clock_.NextDue(interval),
                       [this] { return quit_ || !commands_.empty(); });
    }
  }
}

}  // namespace fw

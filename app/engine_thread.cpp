#include "app/engine_thread.h"

#include <chrono>
#include <future>
#include <new>

#include "core/ui_sink.h"

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
    // The caller is released even when the command ends in an exception.
    struct Release {
      std::promise<void>& done;
      ~Release() { done.set_value(); }
    } release{done};
    command(s);
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
  bool ran = false;
  try {
    ran = session_.ProcessCaptureFrame();
  } catch (const std::bad_alloc&) {
    session_.Stop();
    CurrentUiSink().Message("Out of memory while processing a live frame; the capture stopped", "",
                            MessageButtons::Ok);
    Publish(false);
    return true;
  }
  if (ran) {
    Publish(true);
    return true;
  }
  if (reported) Publish(false);
  return reported;
}

// Memory running out inside a command or a frame is reported as one line and the engine goes on
// with the next command; a frame that ran out stops playback, so that the message is not
// repeated for every frame.
void EngineThread::RunCommand(Command& command) {
  try {
    command(session_);
  } catch (const std::bad_alloc&) {
    CurrentUiSink().Message("Out of memory: the command was not completed", "", MessageButtons::Ok);
  }
}

void EngineThread::RunFrame() {
  try {
    session_.ProcessFrame();
  } catch (const std::bad_alloc&) {
    session_.Stop();
    CurrentUiSink().Message("Out of memory while processing frame " +
                                std::to_string(session_.CurrentFrame()) + "; playback stopped",
                            "", MessageButtons::Ok);
  }
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
        RunCommand(command);
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
      RunFrame();
      Publish(true);
      lock.lock();
    } else {
      wake_.wait_until(lock, clock_.NextDue(interval),
                       [this] { return quit_ || !commands_.empty(); });
    }
  }
}

}  // namespace fw

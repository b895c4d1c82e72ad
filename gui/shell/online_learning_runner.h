// "Online Adaboost learning" (Shift+O) in the desktop: playback stops, the frame shown is copied,
// the learning runs on its worker thread with the progress window "训练Adaboost" live, and
// playback starts again when it ends. The learned cascade is written where detection reads it
// (OL_Float_RealAdaboost.kdz in the start directory); a failure is shown in a message box.
#pragma once

#include <QObject>
#include <QPointer>
#include <mutex>
#include <optional>

#include "learn/online/online_learning.h"

class QTimer;
class QWidget;

namespace fw {

class EngineBridge;
class TipDialog;
class WorkbenchDocument;

class OnlineLearningRunner : public QObject {
  Q_OBJECT

 public:
  OnlineLearningRunner(QWidget* window, EngineBridge& bridge, const WorkbenchDocument& doc);
  ~OnlineLearningRunner() override;

  // The menu command; does nothing while a run is going.
  void start();
  bool running() const { return command_.Running(); }
  // A switch-off of a learning or classifier mode: the run stops after its current sample.
  void requestStop() { command_.RequestStop(); }

 private:
  // Leaves the run's progress for the GUI thread, which shows the latest on its next poll. Only
  // the lock orders the two threads' accesses: nothing crosses through the event queue.
  class WindowSink : public ProgressSink {
   public:
    explicit WindowSink(OnlineLearningRunner& runner) : runner_(runner) {}
    void Show(const ProgressState& state) override;
    void Hide() override;

   private:
    OnlineLearningRunner& runner_;
  };

  void begin(const Dib& frame);
  // On the GUI thread while a run goes: shows the latest progress, and the result once it ended.
  void poll();
  void showProgress(const ProgressState& state);
  TipDialog& dialog();

  QWidget* window_;
  EngineBridge& bridge_;
  const WorkbenchDocument& doc_;
  QPointer<TipDialog> dialog_;
  QTimer* timer_ = nullptr;
  std::mutex progressLock_;
  std::optional<ProgressState> progress_;  // guarded by progressLock_
  WindowSink sink_{*this};
  OnlineLearningCommand command_;
};

}  // namespace fw

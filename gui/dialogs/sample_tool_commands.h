// The desktop's sample tools: "Fuzzy C-Means for smoke images" and "Get VOC" run on a worker
// thread with the progress window (stoppable), "Generate sample images" cuts the current frame
// at once. Folders lie under the samples root; reports go to the start directory. When a run
// ends, a message box gives its result.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "learn/progress.h"
#include "learn/samples/sample_generator.h"

class QTimer;

namespace fw {

class EngineBridge;
class LearningProgressDialog;
class ProgressSink;

class SampleTools : public QObject {
  Q_OBJECT

 public:
  SampleTools(QWidget* window, EngineBridge& bridge);
  ~SampleTools() override;  // asks a running tool to stop and waits for it

  void fuzzyCMeans(const QString& samplesRoot);
  void getVoc(const QString& samplesRoot);
  void generateSamples(const QString& samplesRoot);
  bool running() const { return job_.Running(); }

 private:
  // The work of a run: its outcome, and on success the summary shown when it ends.
  using Work = std::function<Result(const StopFlag&, ProgressSink&, std::string& summary)>;
  // Starts the work on the worker thread with the progress window; a message box gives the
  // summary or the error on the GUI thread when it ends.
  void start(Work work, const char* title);
  // On the GUI thread, every few milliseconds while a run goes: shows the worker's latest
  // progress and, once the run has ended, its result.
  void takeMailbox();

  // What the worker hands to the GUI thread. Only this lock orders the two threads' accesses, so
  // nothing crosses through the event queue.
  struct Mailbox {
    std::mutex lock;
    std::optional<ProgressState> progress;
    bool ended = false;
    Result result = Result::Ok();
    std::string summary;
  };

  QWidget* window_;
  EngineBridge& bridge_;
  LearningProgressDialog* dialog_;
  SampleGenerator generator_;  // its numbers run on for the whole run of the program
  std::shared_ptr<Mailbox> mailbox_;
  std::unique_ptr<ProgressSink> sink_;
  QTimer* poll_;
  QString caption_;
  LearningJob job_;
};

}  // namespace fw

#include "gui/dialogs/sample_tool_commands.h"

#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "core/data_files.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/dialogs/learning_progress_dialog.h"
#include "learn/samples/fuzzy_cmeans.h"
#include "learn/samples/lbp_separation.h"

namespace fw {

namespace {

// Progress from the worker thread, left in the mailbox for the GUI thread to show.
template <typename Mailbox>
class MailboxProgress : public ProgressSink {
 public:
  explicit MailboxProgress(std::shared_ptr<Mailbox> mailbox) : mailbox_(std::move(mailbox)) {}
  void Show(const ProgressState& state) override {
    const std::lock_guard hold(mailbox_->lock);
    mailbox_->progress = state;
  }

 private:
  std::shared_ptr<Mailbox> mailbox_;
};

// How often the GUI thread looks at the mailbox while a run goes.
constexpr int kPollMilliseconds = 40;

std::string Under(const QString& root, const char* relative) {
  return QDir(root).filePath(QString::fromUtf8(relative)).toStdString();
}

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

SampleTools::SampleTools(QWidget* window, EngineBridge& bridge)
    : QObject(window),
      window_(window),
      bridge_(bridge),
      dialog_(new LearningProgressDialog(window)),
      mailbox_(std::make_shared<Mailbox>()),
      sink_(std::make_unique<MailboxProgress<Mailbox>>(mailbox_)),
      poll_(new QTimer(this)) {
  poll_->setInterval(kPollMilliseconds);
  connect(poll_, &QTimer::timeout, this, &SampleTools::takeMailbox);
}

SampleTools::~SampleTools() {
  job_.RequestStop();
  (void)job_.Wait();
}

void SampleTools::start(Work work, const char* title) {
  if (job_.Running()) {
    QMessageBox::information(window_, QString::fromUtf8(title),
                             QStringLiteral("A sample tool is still running."));
    return;
  }
  (void)job_.Wait();  // the previous run's thread
  dialog_->begin([this] { job_.RequestStop(); });
  caption_ = QString::fromUtf8(title);
  {
    const std::lock_guard hold(mailbox_->lock);
    mailbox_->progress.reset();
    mailbox_->ended = false;
  }
  poll_->start();
  job_.Start([this, work = std::move(work)](const StopFlag& stop) {
    std::string summary;
    const Result r = work(stop, *sink_, summary);
    const std::lock_guard hold(mailbox_->lock);
    mailbox_->ended = true;
    mailbox_->result = r;
    mailbox_->summary = std::move(summary);
    return r;
  });
}

void SampleTools::takeMailbox() {
  std::optional<ProgressState> progress;
  bool ended = false;
  Result result = Result::Ok();
  std::string summary;
  {
    const std::lock_guard hold(mailbox_->lock);
    progress.swap(mailbox_->progress);
    ended = mailbox_->ended;
    if (ended) {
      result = mailbox_->result;
      summary = mailbox_->summary;
    }
  }
  if (progress) dialog_->showState(*progress);
  if (!ended) return;
  poll_->stop();
  dialog_->end();
  if (result) {
    QMessageBox::information(window_, caption_, Text(summary));
  } else {
    QMessageBox::warning(window_, caption_, Text(result.message()));
  }
}

void SampleTools::fuzzyCMeans(const QString& samplesRoot) {
  // The desktop seeds the starting centres from the clock; the command line takes a seed.
  const FcmParams params{Under(samplesRoot, "lib81/smoke"), Under(samplesRoot, "lib81/smoke_classified"),
                         StartDirectory() + "FCM_Details.txt",
                         static_cast<uint32_t>(std::time(nullptr))};
  start(
      [params](const StopFlag& stop, ProgressSink& sink, std::string& summary) {
        ProgressReporter progress(&sink);
        const FcmOutcome o = RunFuzzyCMeans(params, stop, progress);
        if (!o.result) return o.result;
        if (!o.finished) return Result::Error("Stopped: the report was not written.");
        summary = std::to_string(o.counts[0]) + " pictures as A, " + std::to_string(o.counts[1]) +
                  " as B in " + params.output;
        if (o.copyFailures > 0) summary += "; " + std::to_string(o.copyFailures) + " copies failed";
        summary += ".\nReport: " + params.report;
        return Result::Ok();
      },
      "Fuzzy C-Means for smoke images");
}

void SampleTools::getVoc(const QString& samplesRoot) {
  const SeparationParams params{Under(samplesRoot, "lib101/smoke"), Under(samplesRoot, "lib101/non"),
                                StartDirectory() + "LBP_Feature_Performance.txt"};
  start(
      [params](const StopFlag& stop, ProgressSink& sink, std::string& summary) {
        ProgressReporter progress(&sink);
        const SeparationOutcome o = RunGetVoc(params, stop, progress);
        if (!o.result) return o.result;
        if (!o.finished) return Result::Error("Stopped: no report was written.");
        char text[200];
        std::snprintf(text, sizeof text, "类间距：%10f，正负样本类内距：%10f,%10f\nReport: ",
                      o.distances.between, o.distances.positiveWithin, o.distances.negativeWithin);
        summary = text + params.report;
        return Result::Ok();
      },
      "Get VOC");
}

void SampleTools::generateSamples(const QString& samplesRoot) {
  const Dib& frame = bridge_.snapshot().panes[static_cast<int>(PaneId::TopLeft)];
  const std::string folder = Under(samplesRoot, "lib302/forest");
  const GeneratedSamples r = generator_.Generate(frame, folder, SampleTiling{});
  const QString caption = QStringLiteral("Generate sample images");
  if (!r.result) {
    QMessageBox::warning(window_, caption, Text(r.result.message()));
    return;
  }
  QMessageBox::information(window_, caption,
                           QStringLiteral("%1 samples written to %2 (%3 to %4).")
                               .arg(r.written)
                               .arg(Text(folder), Text(r.first), Text(r.last)));
}

}  // namespace fw

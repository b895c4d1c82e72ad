#include "gui/shell/online_learning_runner.h"

#include <QMessageBox>
#include <QTimer>
#include <memory>

#include "app/session.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/dialogs/tip_dialog.h"
#include "gui/shell/workbench_document.h"

namespace fw {

namespace {

const QString kCaption = QStringLiteral("Online Adaboost learning");

}  // namespace

OnlineLearningRunner::OnlineLearningRunner(QWidget* window, EngineBridge& bridge,
                                           const WorkbenchDocument& doc)
    : QObject(window), window_(window), bridge_(bridge), doc_(doc) {
  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &OnlineLearningRunner::poll);
}

OnlineLearningRunner::~OnlineLearningRunner() {
  command_.RequestStop();
  command_.Wait();  // the run reports to this object: it ends first
}

TipDialog& OnlineLearningRunner::dialog() {
  if (!dialog_) {
    dialog_ = new TipDialog(window_);
    // Closing the progress window stops the run after its current sample.
    connect(dialog_, &QDialog::rejected, this, [this] { command_.RequestStop(); });
  }
  return *dialog_;
}

void OnlineLearningRunner::start() {
  if (command_.Running()) return;
  // Playback stops; the frame it shows is the scene the negatives are cut from.
  auto frame = std::make_shared<Dib>();
  bridge_.postThen(
      [frame](Session& s) {
        s.Stop();
        s.EndLoopIfStopped();
        frame->CopyFrom(s.GetPanes().topLeft(), false);
      },
      this, [this, frame] { begin(*frame); });
}

void OnlineLearningRunner::begin(const Dib& frame) {
  if (frame.GetBitCount() != 24) {
    QMessageBox::information(window_, kCaption,
                             QStringLiteral("Open a video first: the frame shown is the scene "
                                            "the learning takes its negatives from."));
    return;
  }
  TipDialog& d = dialog();
  d.setStatusText(QStringLiteral("正在装载正负样本，请稍候..."));
  d.show();
  command_.Start(frame, DefaultOnlineLearning(doc_.samplesRoot.toStdString()), &sink_);
  timer_->start();
}

void OnlineLearningRunner::poll() {
  std::optional<ProgressState> progress;
  {
    const std::lock_guard hold(progressLock_);
    progress.swap(progress_);
  }
  if (progress) showProgress(*progress);
  if (command_.Running()) return;
  timer_->stop();
  const OnlineLearningOutcome outcome = command_.Wait();
  if (dialog_) dialog_->hide();
  if (!outcome.result) {
    QMessageBox::warning(window_, kCaption, QString::fromStdString(outcome.result.message()));
  } else if (!outcome.finished) {
    QMessageBox::information(window_, kCaption,
                             QStringLiteral("Stopped: no classifier file was written."));
  }
  bridge_.post([](Session& s) { s.Start(); });
}

void OnlineLearningRunner::showProgress(const ProgressState& state) {
  if (!dialog_) return;
  TipDialog& d = *dialog_;
  d.setStatusText(QString::fromStdString(state.status));
  d.setFirstText(QString::fromStdString(state.firstText));
  d.setSecondText(QString::fromStdString(state.secondText));
  d.setFirstRange(0, state.firstMaximum);
  d.setFirstProgress(state.firstPosition);
  d.setSecondRange(0, state.secondMaximum);
  d.setSecondProgress(state.secondPosition);
}

void OnlineLearningRunner::WindowSink::Show(const ProgressState& state) {
  const std::lock_guard hold(runner_.progressLock_);
  runner_.progress_ = state;
}

void OnlineLearningRunner::WindowSink::Hide() {}

}  // namespace fw

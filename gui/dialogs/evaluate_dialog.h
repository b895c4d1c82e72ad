// "Evaluate...": runs the evaluation engine (the same as `fumewatch-cli eval`) on chosen clips and
// modes against a truth file, with a progress bar and a Stop button, then shows the table and the
// timeline picture and saves either. The runs go on a worker thread; the window stays live.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "app/evaluation/evaluation.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace fw {

class EvaluateDialog : public QDialog {
  Q_OBJECT

 public:
  // `worker` is the fumewatch-cli program that runs each mode over a clip.
  EvaluateDialog(const QString& worker, const QString& startFolder, QWidget* parent = nullptr);
  ~EvaluateDialog() override;

  // What the controls hold (the file dialogs set them too).
  void setClips(const QStringList& clips);
  void setCheckedModes(const std::vector<int>& modes);
  void setTruthFile(const QString& path);
  void setMaskFile(const QString& path);
  void setOutputFolder(const QString& path);
  void setJobs(int jobs);

  // Starts the runs; false (with the reason shown in the dialog) when something is missing.
  bool start();
  void stop();
  bool running() const { return worker_.joinable() && !finished_; }
  QString tableText() const;
  const QImage& timeline() const { return timeline_; }
  int progressValue() const;
  int progressMaximum() const;
  // Saves the table by the extension: .csv (eval.csv's rows), .json, anything else as text.
  bool saveTable(const QString& path);
  bool saveTimeline(const QString& path);

 signals:
  void finished();

 private:
  void addClips();
  void removeClips();
  void browseTruth();
  void browseMask();
  void browseOutput();
  void onProgress(int done, int total);
  void onFinished();
  void showProblem(const QString& text);
  void setRunning(bool on);

  QString workerPath_;
  QString folder_;
  QListWidget* clips_ = nullptr;
  QListWidget* modes_ = nullptr;
  QLineEdit* truth_ = nullptr;
  QLineEdit* mask_ = nullptr;
  QLineEdit* output_ = nullptr;
  QSpinBox* jobs_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* problem_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* saveTable_ = nullptr;
  QPushButton* savePicture_ = nullptr;
  QPlainTextEdit* table_ = nullptr;
  QLabel* picture_ = nullptr;

  std::thread worker_;
  std::atomic<bool> stopFlag_{false};
  bool finished_ = true;
  std::unique_ptr<EvaluationReport> result_;  // written by the worker before it signals
  EvaluationReport report_;
  QImage timeline_;
};

}  // namespace fw

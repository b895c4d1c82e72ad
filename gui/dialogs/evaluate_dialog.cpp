#include "gui/dialogs/evaluate_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

#include "app/evaluation/report_formats.h"
#include "app/evaluation/timeline_chart.h"
#include "app/mode_table.h"
#include "app/scene_mask.h"

namespace fw {

namespace {

constexpr int kDefaultModes[] = {7010, 7011};

// A 24-bit picture of either row order as an upright QImage of its own.
QImage ToImage(const Dib& picture) {
  QImage image(picture.Width(), picture.Height(), QImage::Format_BGR888);
  for (int top = 0; top < picture.Height(); ++top) {
    const int row = picture.IsBottomUp() ? picture.Height() - 1 - top : top;
    std::copy_n(picture.Row(row), picture.Width() * 3, image.scanLine(top));
  }
  return image;
}

// A line edit with a "Browse..." button beside it.
QWidget* WithBrowse(QLineEdit* edit, QPushButton*& button, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(edit, 1);
  button = new QPushButton(QObject::tr("Browse..."), row);
  layout->addWidget(button);
  return row;
}

}  // namespace

EvaluateDialog::EvaluateDialog(const QString& worker, const QString& startFolder, QWidget* parent)
    : QDialog(parent), workerPath_(worker), folder_(startFolder) {
  setWindowTitle(tr("Evaluate"));
  auto* layout = new QVBoxLayout(this);

  auto* choices = new QHBoxLayout;
  auto* clipBox = new QVBoxLayout;
  clipBox->addWidget(new QLabel(tr("Clips:"), this));
  clips_ = new QListWidget(this);
  clips_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  clipBox->addWidget(clips_);
  auto* clipButtons = new QHBoxLayout;
  auto* add = new QPushButton(tr("Add clips..."), this);
  auto* remove = new QPushButton(tr("Remove"), this);
  clipButtons->addWidget(add);
  clipButtons->addWidget(remove);
  clipButtons->addStretch();
  clipBox->addLayout(clipButtons);
  choices->addLayout(clipBox, 3);

  auto* modeBox = new QVBoxLayout;
  modeBox->addWidget(new QLabel(tr("Modes:"), this));
  modes_ = new QListWidget(this);
  for (const ModeInfo& mode : Modes()) {
    if (mode.id == ModeId::None) continue;
    auto* item = new QListWidgetItem(QString::number(mode.number()) + "  " + mode.label, modes_);
    item->setData(Qt::UserRole, mode.number());
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(std::find(std::begin(kDefaultModes), std::end(kDefaultModes),
                                  mode.number()) != std::end(kDefaultModes)
                            ? Qt::Checked
                            : Qt::Unchecked);
  }
  modeBox->addWidget(modes_);
  choices->addLayout(modeBox, 2);
  layout->addLayout(choices);

  auto* form = new QFormLayout;
  QPushButton* browseTruth = nullptr;
  QPushButton* browseMask = nullptr;
  QPushButton* browseOutput = nullptr;
  truth_ = new QLineEdit(this);
  mask_ = new QLineEdit(this);
  mask_->setPlaceholderText(tr("none"));
  output_ = new QLineEdit(QDir(startFolder.isEmpty() ? QDir::currentPath() : startFolder)
                              .filePath(QStringLiteral("eval-results")),
                          this);
  jobs_ = new QSpinBox(this);
  jobs_->setRange(1, 64);
  jobs_->setValue(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  form->addRow(tr("Truth file:"), WithBrowse(truth_, browseTruth, this));
  form->addRow(tr("Scene mask:"), WithBrowse(mask_, browseMask, this));
  form->addRow(tr("Results folder:"), WithBrowse(output_, browseOutput, this));
  form->addRow(tr("Runs at once:"), jobs_);
  layout->addLayout(form);

  auto* runRow = new QHBoxLayout;
  run_ = new QPushButton(tr("Run"), this);
  stop_ = new QPushButton(tr("Stop"), this);
  stop_->setEnabled(false);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  runRow->addWidget(run_);
  runRow->addWidget(stop_);
  runRow->addWidget(progress_, 1);
  layout->addLayout(runRow);
  problem_ = new QLabel(this);
  problem_->setStyleSheet(QStringLiteral("color: #b00000"));
  problem_->setWordWrap(true);
  problem_->hide();
  layout->addWidget(problem_);

  auto* results = new QSplitter(Qt::Vertical, this);
  table_ = new QPlainTextEdit(results);
  table_->setReadOnly(true);
  table_->setLineWrapMode(QPlainTextEdit::NoWrap);
  table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* scroll = new QScrollArea(results);
  picture_ = new QLabel(scroll);
  picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  scroll->setWidget(picture_);
  scroll->setWidgetResizable(true);
  results->addWidget(table_);
  results->addWidget(scroll);
  results->setSizes({200, 360});
  layout->addWidget(results, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  saveTable_ = buttons->addButton(tr("Save table..."), QDialogButtonBox::ActionRole);
  savePicture_ = buttons->addButton(tr("Save picture..."), QDialogButtonBox::ActionRole);
  saveTable_->setEnabled(false);
  savePicture_->setEnabled(false);
  layout->addWidget(buttons);

  connect(add, &QPushButton::clicked, this, &EvaluateDialog::addClips);
  connect(remove, &QPushButton::clicked, this, &EvaluateDialog::removeClips);
  connect(browseTruth, &QPushButton::clicked, this, &EvaluateDialog::browseTruth);
  connect(browseMask, &QPushButton::clicked, this, &EvaluateDialog::browseMask);
  connect(browseOutput, &QPushButton::clicked, this, &EvaluateDialog::browseOutput);
  connect(run_, &QPushButton::clicked, this, [this] { start(); });
  connect(stop_, &QPushButton::clicked, this, &EvaluateDialog::stop);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(saveTable_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save table"), QDir(output_->text()).filePath(QStringLiteral("eval.csv")),
        tr("CSV (*.csv);;JSON (*.json);;Text (*.txt)"));
    if (!path.isEmpty()) saveTable(path);
  });
  connect(savePicture_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save picture"), QDir(output_->text()).filePath(QStringLiteral("timeline.png")),
        tr("PNG (*.png)"));
    if (!path.isEmpty()) saveTimeline(path);
  });
  resize(900, 760);
}

EvaluateDialog::~EvaluateDialog() {
  stopFlag_ = true;
  if (worker_.joinable()) worker_.join();
}

void EvaluateDialog::setClips(const QStringList& clips) {
  clips_->clear();
  clips_->addItems(clips);
}

void EvaluateDialog::setCheckedModes(const std::vector<int>& modes) {
  for (int i = 0; i < modes_->count(); ++i) {
    QListWidgetItem* item = modes_->item(i);
    const bool on =
        std::find(modes.begin(), modes.end(), item->data(Qt::UserRole).toInt()) != modes.end();
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
}

void EvaluateDialog::setTruthFile(const QString& path) {
  truth_->setText(path);
}
void EvaluateDialog::setMaskFile(const QString& path) {
  mask_->setText(path);
}
void EvaluateDialog::setOutputFolder(const QString& path) {
  output_->setText(path);
}
void EvaluateDialog::setJobs(int jobs) {
  jobs_->setValue(jobs);
}

void EvaluateDialog::addClips() {
  const QStringList chosen =
      QFileDialog::getOpenFileNames(this, tr("Clips to evaluate"), folder_,
                                    tr("Videos (*.avi *.mp4 *.mkv *.mov);;All files (*)"));
  if (chosen.isEmpty()) return;
  folder_ = QFileInfo(chosen.front()).absolutePath();
  for (const QString& clip : chosen) {
    if (clips_->findItems(clip, Qt::MatchExactly).isEmpty()) clips_->addItem(clip);
  }
}

void EvaluateDialog::removeClips() {
  qDeleteAll(clips_->selectedItems());
}

void EvaluateDialog::browseTruth() {
  const QString path = QFileDialog::getOpenFileName(this, tr("Truth file"), folder_,
                                                    tr("Truth files (*.tsv *.txt);;All files (*)"));
  if (!path.isEmpty()) truth_->setText(path);
}

void EvaluateDialog::browseMask() {
  const QString path = QFileDialog::getOpenFileName(this, tr("Scene mask"), folder_,
                                                    tr("Pictures (*.png *.bmp *.jpg)"));
  if (!path.isEmpty()) mask_->setText(path);
}

void EvaluateDialog::browseOutput() {
  const QString path = QFileDialog::getExistingDirectory(this, tr("Results folder"), folder_);
  if (!path.isEmpty()) output_->setText(path);
}

void EvaluateDialog::showProblem(const QString& text) {
  problem_->setText(text);
  problem_->setVisible(!text.isEmpty());
}

void EvaluateDialog::setRunning(bool on) {
  run_->setEnabled(!on);
  stop_->setEnabled(on);
  saveTable_->setEnabled(!on && !report_.runs.empty());
  savePicture_->setEnabled(!on && !timeline_.isNull());
}

bool EvaluateDialog::start() {
  if (running()) return false;
  if (worker_.joinable()) worker_.join();
  EvaluationRequest request;
  for (int i = 0; i < clips_->count(); ++i)
    request.clips.push_back(clips_->item(i)->text().toStdString());
  for (int i = 0; i < modes_->count(); ++i) {
    if (modes_->item(i)->checkState() == Qt::Checked) {
      request.modes.push_back(modes_->item(i)->data(Qt::UserRole).toInt());
    }
  }
  if (request.clips.empty()) return showProblem(tr("Add the clips to evaluate.")), false;
  if (request.modes.empty()) return showProblem(tr("Check the modes to evaluate.")), false;
  if (truth_->text().isEmpty()) return showProblem(tr("Choose the truth file.")), false;
  if (const Result read = ReadTruthFile(truth_->text().toStdString(), request.truth); !read) {
    return showProblem(QString::fromStdString(read.message())), false;
  }
  if (!mask_->text().isEmpty()) {
    SceneMask check;
    if (const Result loaded = check.Load(mask_->text().toStdString()); !loaded) {
      return showProblem(QString::fromStdString(loaded.message())), false;
    }
    request.mask = QFileInfo(mask_->text()).absoluteFilePath().toStdString();
  }
  const QString out = output_->text().isEmpty() ? QStringLiteral("eval-results") : output_->text();
  if (!QDir().mkpath(out) || !QFileInfo(out).isWritable()) {
    return showProblem(out + tr(": the results folder cannot be written")), false;
  }
  if (!QFileInfo(workerPath_).isExecutable()) {
    return showProblem(workerPath_ + tr(": the program that runs the clips is missing")), false;
  }
  request.outDir = out.toStdString();
  request.jobs = jobs_->value();
  request.worker = workerPath_.toStdString();

  showProblem({});
  progress_->setRange(0, static_cast<int>(request.clips.size() * request.modes.size()));
  progress_->setValue(0);
  table_->setPlainText(tr("Running..."));
  stopFlag_ = false;
  finished_ = false;
  setRunning(true);
  worker_ = std::thread([this, request] {
    auto report = std::make_unique<EvaluationReport>(RunEvaluation(
        request,
        [this](int done, int total, const RunOutcome&) {
          QMetaObject::invokeMethod(
              this, [this, done, total] { onProgress(done, total); }, Qt::QueuedConnection);
        },
        &stopFlag_));
    QMetaObject::invokeMethod(
        this,
        [this, r = report.release()] {
          result_.reset(r);
          onFinished();
        },
        Qt::QueuedConnection);
  });
  return true;
}

void EvaluateDialog::stop() {
  stopFlag_ = true;
}

void EvaluateDialog::onProgress(int done, int total) {
  progress_->setRange(0, total);
  progress_->setValue(done);
}

void EvaluateDialog::onFinished() {
  if (worker_.joinable()) worker_.join();
  finished_ = true;
  report_ = std::move(*result_);
  result_.reset();
  table_->setPlainText(QString::fromStdString(FormatTable(report_)));
  const std::vector<TimelineRow> rows = TimelineRows(report_, {});
  Dib picture;
  DrawTimeline(picture, rows);
  timeline_ = ToImage(picture);
  picture_->setPixmap(QPixmap::fromImage(timeline_));
  picture_->adjustSize();
  setRunning(false);
  emit finished();
}

QString EvaluateDialog::tableText() const {
  return table_->toPlainText();
}
int EvaluateDialog::progressValue() const {
  return progress_->value();
}
int EvaluateDialog::progressMaximum() const {
  return progress_->maximum();
}

bool EvaluateDialog::saveTable(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  const std::string text = suffix == QStringLiteral("csv")    ? FormatCsv(report_)
                           : suffix == QStringLiteral("json") ? FormatJson(report_)
                                                              : FormatTable(report_);
  if (const Result written = WriteWholeFile(path.toStdString(), text); !written) {
    showProblem(QString::fromStdString(written.message()));
    return false;
  }
  return true;
}

bool EvaluateDialog::saveTimeline(const QString& path) {
  if (timeline_.isNull() || !timeline_.save(path, "PNG")) {
    showProblem(path + tr(": cannot write the picture"));
    return false;
  }
  return true;
}

}  // namespace fw

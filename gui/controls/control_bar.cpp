#include "gui/controls/control_bar.h"

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/mode_table.h"
#include "app/session.h"
#include "app/snapshot.h"
#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/entry_fields.h"
#include "gui/shell/desk_texts.h"

namespace fw {

namespace {

// Control identifiers of the bar's buttons.
constexpr int kOpenButton = 1001;
constexpr int kCloseButton = 1003;
constexpr int kStartButton = 1002;
constexpr int kStopButton = 1004;
// The difference radio buttons and the Gauss-model buttons, in the order the bar shows them.
constexpr ModeId kDifferenceModes[] = {ModeId::BackwardDifference, ModeId::CentreDifference,
                                       ModeId::None};
constexpr ModeId kGaussModes[] = {ModeId::Mixture, ModeId::Gauss, ModeId::Mixture2,
                                  ModeId::Density};

// The "Threshold:" edit's range, from the control values' field list.
const ParamField& ThresholdField() {
  return *FindParam(ControlFields(), "threshold");
}

// A float as the bar's edits show it (up to 6 significant digits).
QString FloatText(float value) {
  return QString::asprintf("%.*g", 6, double{value});
}

// The up-down control beside the read-only frame-rate edit: only its arrows show.
class UpDown : public QSpinBox {
 public:
  explicit UpDown(QWidget* parent) : QSpinBox(parent) {
    lineEdit()->setVisible(false);
    setFixedWidth(18);
  }
};

QGroupBox* Group(const QString& title, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  return box;
}

void Tight(QLayout* layout) {
  layout->setContentsMargins(3, 0, 3, 1);
  layout->setSpacing(2);
}

}  // namespace

ControlBar::ControlBar(EngineBridge& bridge, QWidget* parent) : QWidget(parent), bridge_(bridge) {
  // The bar is a dense form below the panes: a small font and tight buttons keep it in one strip.
  QFont small = font();
  small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.5));
  setFont(small);
  setStyleSheet(QStringLiteral("QPushButton { padding: 2px 4px; }"));
  build();
}

void ControlBar::build() {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 0, 2, 0);
  row->setSpacing(4);

  // --- the video ---
  source_ = Group(QStringLiteral("Source Video"), this);
  auto* video = new QGridLayout(source_);
  Tight(video);
  slider_ = new QSlider(Qt::Horizontal, source_);
  slider_->setRange(0, 0);
  video->addWidget(slider_, 0, 0, 1, 9);
  const struct {
    int id;
    const char* text;
  } buttons[] = {{kOpenButton, "Open"},
                 {kCloseButton, "Close"},
                 {kStartButton, "Start"},
                 {kStopButton, "Stop"}};
  int column = 0;
  for (const auto& b : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(b.text), source_);
    button->setProperty("controlId", b.id);
    video->addWidget(button, 1, column++);
  }
  button(kCloseButton)->setEnabled(false);  // the Close button has no handler
  video->addWidget(new QLabel(QStringLiteral("Frame No"), source_), 1, column++);
  frameNumber_ = new QLineEdit(QStringLiteral("0"), source_);
  frameNumber_->setObjectName(QStringLiteral("frameField"));
  frameNumber_->setFixedWidth(
      frameNumber_->fontMetrics().horizontalAdvance(QStringLiteral("0000 / 0000 (0:00.0)")) + 6);
  video->addWidget(frameNumber_, 1, column++);
  video->addWidget(new QLabel(QStringLiteral("Frame rates:"), source_), 1, column++);
  frameRate_ = new QLineEdit(source_);
  frameRate_->setReadOnly(true);
  frameRate_->setFixedWidth(36);
  video->addWidget(frameRate_, 1, column++);
  spin_ = new UpDown(source_);
  spin_->setRange(kSpinMinimum, kSpinMaximum);
  spin_->setValue(kSpinStart);
  video->addWidget(spin_, 1, column++);
  row->addWidget(source_, 1);

  // --- object detection ---
  auto* detection = Group(QStringLiteral("Object Detection"), this);
  auto* detectionRow = new QHBoxLayout(detection);
  Tight(detectionRow);

  // Each box is two independent rows, so that the rows do not share column widths.
  const auto twoRows = [](QGroupBox* box) {
    auto* rows = new QVBoxLayout(box);
    Tight(rows);
    auto* first = new QHBoxLayout;
    auto* second = new QHBoxLayout;
    first->setSpacing(2);
    second->setSpacing(2);
    rows->addLayout(first);
    rows->addLayout(second);
    return std::pair{first, second};
  };

  auto* differenceBox = Group(QStringLiteral("Difference"), detection);
  const auto [differenceTop, differenceBottom] = twoRows(differenceBox);
  difference_ = new QButtonGroup(this);
  for (const ModeId id : kDifferenceModes) {
    const ModeInfo* mode = FindMode(id);
    auto* radio = new QRadioButton(QString::fromLatin1(mode ? mode->label : "?"), differenceBox);
    radio->setEnabled(mode != nullptr);
    difference_->addButton(radio, mode ? mode->controlId : ModeNumber(id));
    differenceTop->addWidget(radio);
    if (mode) {
      connect(radio, &QRadioButton::clicked, this, [this, mode] { selectMode(mode->id); });
    }
  }
  if (QAbstractButton* none = difference_->button(FindMode(ModeId::None)->controlId)) {
    none->setChecked(true);
  }
  differenceBottom->addWidget(new QLabel(QStringLiteral("Threshold:"), differenceBox));
  threshold_ = new QLineEdit(differenceBox);
  threshold_->setFixedWidth(56);
  differenceBottom->addWidget(threshold_);
  differenceBottom->addStretch(1);
  detectionRow->addWidget(differenceBox);

  auto* gaussBox = Group(QStringLiteral("Guass Model"), detection);
  const auto [gaussTop, gaussBottom] = twoRows(gaussBox);
  for (const ModeId id : kGaussModes) {
    const ModeInfo* mode = FindMode(id);
    auto* b = new QPushButton(QString::fromLatin1(mode ? mode->label : "?"), gaussBox);
    b->setProperty("controlId", mode ? mode->controlId : ModeNumber(id));
    b->setEnabled(mode != nullptr);
    gaussTop->addWidget(b);
    if (mode) connect(b, &QPushButton::clicked, this, [this, mode] { selectMode(mode->id); });
  }
  gaussBottom->addWidget(new QLabel(QStringLiteral("Threshold"), gaussBox));
  gaussThreshold_ = new QLineEdit(gaussBox);
  gaussThreshold_->setFixedWidth(56);
  gaussBottom->addWidget(gaussThreshold_);
  foreground_ = new QRadioButton(QStringLiteral("Foreground"), gaussBox);
  background_ = new QRadioButton(QStringLiteral("Background"), gaussBox);
  background_->setChecked(true);
  gaussBottom->addWidget(foreground_);
  gaussBottom->addWidget(background_);
  gaussBottom->addStretch(1);
  detectionRow->addWidget(gaussBox);
  row->addWidget(detection);

  // --- behaviour ---
  connect(button(kOpenButton), &QPushButton::clicked, this, &ControlBar::openClicked);
  connect(button(kStartButton), &QPushButton::clicked, this,
          [this] { bridge_.post([](Session& s) { s.Start(); }); });
  connect(button(kStopButton), &QPushButton::clicked, this,
          [this] { bridge_.post([](Session& s) { s.Stop(); }); });
  connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
    if (action == QAbstractSlider::SliderNoAction) return;
    // The position the action moves to: the next frame read is that one, shown at once while
    // no frames run.
    goToFrame(slider_->sliderPosition());
  });
  connect(frameNumber_, &QLineEdit::returnPressed, this, [this] {
    if (const std::optional<int> frame = ParseFrameField(frameNumber_->text())) {
      goToFrame(*frame);
    }
    frameNumber_->clearFocus();
  });
  connect(spin_, &QSpinBox::valueChanged, this, [this](int rate) {
    bridge_.post([rate](Session& s) { s.SetFrameRate(static_cast<float>(rate)); });
  });
  connect(threshold_, &QLineEdit::textEdited, this, &ControlBar::onThresholdEdited);
  connect(foreground_, &QRadioButton::clicked, this,
          [this] { bridge_.post([](Session& s) { s.SetDisplayChoice(kDisplayForeground); }); });
  connect(background_, &QRadioButton::clicked, this,
          [this] { bridge_.post([](Session& s) { s.SetDisplayChoice(kDisplayBackground); }); });
  threshold_->installEventFilter(this);
  gaussThreshold_->installEventFilter(this);
}

QPushButton* ControlBar::button(int controlId) const {
  for (QPushButton* b : findChildren<QPushButton*>()) {
    if (b->property("controlId").toInt() == controlId) return b;
  }
  return nullptr;
}

void ControlBar::selectMode(ModeId mode) {
  bridge_.post([mode](Session& s) { s.SelectMode(mode); });
}

void ControlBar::goToFrame(int frame) {
  wantedFrame_ = frame;
  if (!framePending_) sendFrameRequest();
}

void ControlBar::sendFrameRequest() {
  framePending_ = true;
  const int frame = wantedFrame_;
  bridge_.postThen([frame](Session& s) { s.GoToFrame(frame); }, this,
                   [this, frame] {
                     framePending_ = false;
                     if (wantedFrame_ != frame) sendFrameRequest();
                   });
}

void ControlBar::onThresholdEdited(const QString& text) {
  // Every change reaches the session when it is a valid entry; a refused one waits for the
  // focus to leave the edit, where it is reported.
  QString message;
  if (const std::optional<int> value =
          ReadIntField(text, static_cast<int>(ThresholdField().minimum),
                       static_cast<int>(ThresholdField().maximum), &message)) {
    const int t = *value;
    bridge_.post([t](Session& s) { s.SetThreshold(t); });
  }
}

bool ControlBar::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && !refusing_) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason) {
      if (watched == threshold_) commitThreshold();
      if (watched == gaussThreshold_) commitGaussThreshold();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ControlBar::refuse(QLineEdit* edit, const QString& message) {
  refusing_ = true;
  CurrentUiSink().Message(message.toStdString(), "", MessageButtons::Ok);
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  refusing_ = false;
}

void ControlBar::commitThreshold() {
  QString message;
  const std::optional<int> value =
      ReadIntField(threshold_->text(), static_cast<int>(ThresholdField().minimum),
                   static_cast<int>(ThresholdField().maximum), &message);
  if (!value) {
    refuse(threshold_, message);
    return;
  }
  const int t = *value;
  bridge_.post([t](Session& s) { s.CommitThreshold(t); });
}

void ControlBar::commitGaussThreshold() {
  QString message;
  const std::optional<float> value = ReadNumberField(gaussThreshold_->text(), &message);
  if (!value) {
    refuse(gaussThreshold_, message);
    return;
  }
  const float t = *value;
  bridge_.post([t](Session& s) { s.CommitGaussThreshold(t); });
}

void ControlBar::contextMenuEvent(QContextMenuEvent* event) {
  if (contextMenu_ == nullptr) return;
  const QPoint at = event->globalPos();
  contextMenu_->popup(QPoint(at.x() - contextMenu_->sizeHint().width(), at.y()));
}

void ControlBar::showModeChoice(ModeId mode) {
  // The difference radio buttons show their mode, the third one every other mode.
  const ModeInfo* info = FindMode(mode);
  const int control =
      info && (mode == ModeId::BackwardDifference || mode == ModeId::CentreDifference)
          ? info->controlId
          : FindMode(ModeId::None)->controlId;
  if (QAbstractButton* radio = difference_->button(control)) radio->setChecked(true);
}

void ControlBar::onSnapshot(const Snapshot& s) {
  if (s.frameCount != shownFrameCount_) {
    shownFrameCount_ = s.frameCount;
    const QSignalBlocker block(slider_);
    slider_->setRange(0, s.frameCount);
    slider_->setPageStep(s.frameCount / 20);
  }
  if (s.captionFrameCount != shownCaption_) {
    shownCaption_ = s.captionFrameCount;
    if (s.captionFrameCount >= 0) {
      source_->setTitle(QString::asprintf("Source Video:%d frames", s.captionFrameCount));
    }
  }
  // Online the slider stays at 0: live frames are not positions in a file.
  const int position = s.online ? 0 : s.frameNumber;
  if (position != shownFrame_) {
    shownFrame_ = position;
    if (!slider_->isSliderDown()) {
      const QSignalBlocker block(slider_);
      slider_->setValue(position);
    }
  }
  showFrameField(s);
  if (s.frameRate != shownRate_) {
    shownRate_ = s.frameRate;
    frameRate_->setText(FloatText(s.frameRate));
    // The spin follows a rate set elsewhere ("Play at the file's rate").
    const QSignalBlocker block(spin_);
    spin_->setValue(
        std::clamp(static_cast<int>(std::lround(s.frameRate)), kSpinMinimum, kSpinMaximum));
  }
  if (s.threshold != shownThreshold_ && !threshold_->hasFocus()) {
    shownThreshold_ = s.threshold;
    threshold_->setText(QString::number(s.threshold));
  }
  if (s.gaussThreshold != shownGauss_ && !gaussThreshold_->hasFocus()) {
    shownGauss_ = s.gaussThreshold;
    gaussThreshold_->setText(FloatText(s.gaussThreshold));
  }
  if (s.mode != shownMode_) {
    shownMode_ = s.mode;
    showModeChoice(s.mode);
  }
  if (s.displayChoice != shownChoice_) {
    shownChoice_ = s.displayChoice;
    (s.displayChoice == kDisplayForeground ? foreground_ : background_)->setChecked(true);
  }
}

void ControlBar::showFrameField(const Snapshot& s) {
  // A number being typed stays until Enter or until the field loses the focus.
  if (frameNumber_->hasFocus()) return;
  const QString text = FrameFieldText(s.frameNumber, s.frameCount, s.fileFrameRate);
  if (frameNumber_->text() == text) return;
  frameNumber_->setText(text);
  frameNumber_->setCursorPosition(0);
}

void ControlBar::reinitialise(const Snapshot& s) {
  threshold_->setText(QString::number(s.threshold));
  gaussThreshold_->setText(FloatText(s.gaussThreshold));
  frameRate_->setText(FloatText(s.frameRate));
  shownThreshold_ = s.threshold;
  shownGauss_ = s.gaussThreshold;
  shownRate_ = s.frameRate;
  const QSignalBlocker block(spin_);
  spin_->setRange(kSpinMinimum, kSpinMaximum);
  spin_->setValue(kSpinStart);
}

}  // namespace fw

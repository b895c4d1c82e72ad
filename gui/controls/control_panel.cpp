#include "gui/controls/control_panel.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/ui_sink.h"
#include "gui/bridge/engine_bridge.h"
#include "gui/controls/entry_fields.h"
#include "gui/panes/pane_view.h"
#include "gui/shell/workbench_document.h"
#include "gui/widgets/alarm_picture_widget.h"
#include "gui/widgets/colour_wheel_widget.h"

namespace fw {

namespace {

constexpr const char* kCaption = "Fumewatch";
constexpr int kTrackbarCentre = 100;

// Pane index of the document for each "Display" check box, in the order they are laid out.
struct DisplayBox {
  const char* label;
  const char* name;
  int pane;
  int row;
  int column;
};
// One column, so that the panel fits its narrow splitter cell.
constexpr DisplayBox kDisplayBoxes[] = {
    {"Top left", "displayTopLeft", 0, 0, 0},
    {"Bottom left", "displayBottomLeft", 2, 1, 0},
    {"Top right", "displayTopRight", 1, 2, 0},
    {"Bottom right", "displayBottomRight", 3, 3, 0},
};

// Default client size of a pane, for a strip chart asked for before the pane reported its size.
constexpr QSize kDefaultPaneSize{400, 265};

QLineEdit* MakeEdit(QWidget* parent, const char* name, bool readOnly) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setReadOnly(readOnly);
  edit->setMinimumWidth(28);
  return edit;
}

// Sets a strip-chart pixel; rows count from the bottom of the chart whatever its row order.
void PlotPixel(Dib& chart, int column, float row, uint8_t red, uint8_t green, uint8_t blue) {
  if (!(row >= 0.0f && row < static_cast<float>(chart.Height()))) return;
  const int fromBottom = static_cast<int>(row);
  const int y = chart.IsBottomUp() ? fromBottom : chart.Height() - 1 - fromBottom;
  chart.SetPixelRgb(column, y, red, green, blue);
}

// The column's axes: rows 15 and height - 15.
void PlotAxes(Dib& chart, int column) {
  PlotPixel(chart, column, 15.0f, 0, 0, 0);
  PlotPixel(chart, column, static_cast<float>(chart.Height() - 15), 0, 0, 0);
}

// The colour of the picture point (x right, y up from the bottom row).
bool PixelColour(const Dib& picture, int x, int y, Rgb8* colour) {
  const int row = picture.IsBottomUp() ? y : picture.Height() - 1 - y;
  const uint8_t* p = picture.Row(row);
  switch (picture.GetBitCount()) {
    case 24:
      p += 3 * x;
      *colour = {p[2], p[1], p[0]};
      return true;
    case 32:
      p += 4 * x;
      *colour = {p[2], p[1], p[0]};
      return true;
    case 8: {
      const RgbQuad& entry = picture.GetPalette()[p[x]];
      *colour = {entry.red, entry.green, entry.blue};
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

// --- construction ----------------------------------------------------------------------------

ControlPanel::ControlPanel(EngineBridge& bridge, WorkbenchDocument& doc, QWidget* parent)
    : QWidget(parent), bridge_(bridge), doc_(doc) {
  buildControls();
  reinitialise();
}

void ControlPanel::buildControls() {
  // A dense form in a narrow column: small font, tight margins, compact group boxes.
  QFont small = font();
  small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.5));
  setFont(small);
  setStyleSheet(
      QStringLiteral("QGroupBox { margin-top: 1.1em; padding: 1px; }"
                     "QLineEdit { padding: 0px 1px; }"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);

  // The alarm picture first, so that it shows without scrolling at the default window size.
  alarm_ = new AlarmPictureWidget(this);
  alarm_->setObjectName(QStringLiteral("alarmPicture"));
  layout->addWidget(alarm_);

  // Display.
  auto* displayGroup = new QGroupBox(QStringLiteral("Display"), this);
  auto* displayGrid = new QGridLayout(displayGroup);
  for (const DisplayBox& box : kDisplayBoxes) {
    auto* check = new QCheckBox(QString::fromLatin1(box.label), displayGroup);
    check->setObjectName(QString::fromLatin1(box.name));
    displayGrid->addWidget(check, box.row, box.column);
    display_[box.pane] = check;
    const int pane = box.pane;
    connect(check, &QCheckBox::clicked, this, [this, pane] { onDisplay(pane); });
  }
  layout->addWidget(displayGroup);

  // Color adjust: trackbars and their shift edits.
  auto* adjustGroup = new QGroupBox(QStringLiteral("Color adjust"), this);
  auto* adjustGrid = new QGridLayout(adjustGroup);
  const char* adjustLabels[3] = {"Hue or Y", "Saturate, I or U", "Value, Q or V"};
  const char* trackbarNames[3] = {"hueTrackbar", "saturationTrackbar", "valueTrackbar"};
  hueShift_ = MakeEdit(adjustGroup, "hueShiftEdit", false);
  saturationShift_ = MakeEdit(adjustGroup, "saturationShiftEdit", false);
  valueShift_ = MakeEdit(adjustGroup, "valueShiftEdit", false);
  QLineEdit* shiftEdits[3] = {hueShift_, saturationShift_, valueShift_};
  for (int i = 0; i < 3; ++i) {
    auto* slider = new QSlider(Qt::Horizontal, adjustGroup);
    slider->setObjectName(QString::fromLatin1(trackbarNames[i]));
    slider->setRange(0, 200);
    slider->setValue(kTrackbarCentre);
    trackbar_[i] = slider;
    adjustGrid->addWidget(new QLabel(QString::fromLatin1(adjustLabels[i]), adjustGroup), 2 * i, 0,
                          1, 2);
    adjustGrid->addWidget(slider, 2 * i + 1, 0);
    adjustGrid->addWidget(shiftEdits[i], 2 * i + 1, 1);
    connect(slider, &QSlider::valueChanged, this,
            [this, i](int position) { onTrackbar(i, position); });
  }
  adjustGrid->setColumnStretch(0, 3);
  adjustGrid->setColumnStretch(1, 1);
  layout->addWidget(adjustGroup);

  // Color picker: four colour spaces, the wheel, the strip-chart switches.
  auto* pickerGroup = new QGroupBox(QStringLiteral("Color picker"), this);
  auto* pickerLayout = new QVBoxLayout(pickerGroup);
  auto* spaces = new QGridLayout;
  spaces->setHorizontalSpacing(2);
  const char* spaceLabels[4][3] = {
      {"R", "G", "B"}, {"H", "S", "V"}, {"Y", "I", "Q"}, {"Y", "U", "V"}};
  const char* spaceNames[4][3] = {{"redEdit", "greenEdit", "blueEdit"},
                                  {"hueEdit", "saturationEdit", "valueEdit"},
                                  {"yiqYEdit", "yiqIEdit", "yiqQEdit"},
                                  {"yuvYEdit", "yuvUEdit", "yuvVEdit"}};
  std::array<QLineEdit*, 3>* spaceEdits[4] = {&rgb_, &hsvEdit_, &yiq_, &yuv_};
  for (int s = 0; s < 4; ++s) {
    for (int k = 0; k < 3; ++k) {
      QLineEdit* edit = MakeEdit(pickerGroup, spaceNames[s][k], s >= 2);
      (*spaceEdits[s])[k] = edit;
      spaces->addWidget(new QLabel(QString::fromLatin1(spaceLabels[s][k]), pickerGroup), s, 2 * k);
      spaces->addWidget(edit, s, 2 * k + 1);
    }
  }
  pickerLayout->addLayout(spaces);
  wheel_ = new ColourWheelWidget(pickerGroup);
  wheel_->setObjectName(QStringLiteral("colourWheel"));
  connect(wheel_, &ColourWheelWidget::colourPicked, this, &ControlPanel::onWheelDragged);
  pickerLayout->addWidget(wheel_);
  picker_ = new QCheckBox(QStringLiteral("Picker color"), pickerGroup);
  picker_->setObjectName(QStringLiteral("pickerColourCheck"));
  drawRgb_ = new QCheckBox(QStringLiteral("Draw in RGB space"), pickerGroup);
  drawRgb_->setObjectName(QStringLiteral("drawRgbCheck"));
  pickerLayout->addWidget(picker_);
  pickerLayout->addWidget(drawRgb_);
  auto* intervalRow = new QHBoxLayout;
  interval_ = MakeEdit(pickerGroup, "intervalEdit", false);
  intervalRow->addWidget(new QLabel(QStringLiteral("Interval:"), pickerGroup));
  intervalRow->addWidget(interval_);
  pickerLayout->addLayout(intervalRow);
  connect(picker_, &QCheckBox::clicked, this, [this] { onPickerColour(!doc_.pickerColour); });
  connect(drawRgb_, &QCheckBox::clicked, this, [this] {
    doc_.drawRgb = !doc_.drawRgb;
    drawRgb_->setChecked(doc_.drawRgb);
    doc_.repaintPanes(3);
  });
  layout->addWidget(pickerGroup);

  // Options of the background models and of the top-left analysis.
  postProcessing_ = new QCheckBox(QStringLiteral("Post processing"), this);
  postProcessing_->setObjectName(QStringLiteral("postProcessingCheck"));
  colourTrim_ = new QCheckBox(QStringLiteral("Color Trim"), this);
  colourTrim_->setObjectName(QStringLiteral("colourTrimCheck"));
  colourKey_ = new QRadioButton(QStringLiteral("Color Key"), this);
  colourKey_->setObjectName(QStringLiteral("colourKeyRadio"));
  // Each click inverts the flag, so the lone radio button must not stay set by itself.
  colourKey_->setAutoExclusive(false);
  connect(postProcessing_, &QCheckBox::clicked, this, [this](bool on) {
    v_.postProcessing = on;
    bridge_.post([on](Session& s) { s.SetPostProcessing(on); });
  });
  connect(colourTrim_, &QCheckBox::clicked, this, [this](bool on) {
    v_.colourTrim = on;
    bridge_.post([on](Session& s) { s.SetColourTrim(on); });
  });
  connect(colourKey_, &QRadioButton::clicked, this, [this] {
    doc_.colourKey = !doc_.colourKey;
    colourKey_->setChecked(doc_.colourKey);
    bridge_.post([on = doc_.colourKey](Session& s) { s.SetColourKey(on); });
  });
  auto* options = new QGridLayout;
  options->addWidget(postProcessing_, 0, 0);
  options->addWidget(colourTrim_, 1, 0);
  options->addWidget(colourKey_, 2, 0);
  layout->addLayout(options);

  // Values the modes produce.
  auto* valuesGrid = new QGridLayout;
  const char* valueLabels[4] = {"Growth rate", "Asymmetry", "Fluctuation", "Energy"};
  const char* valueNames[4] = {"growthRateEdit", "asymmetryEdit", "fluctuationEdit", "energyEdit"};
  for (int i = 0; i < 4; ++i) {
    modeValues_[i] = MakeEdit(this, valueNames[i], true);
    valuesGrid->addWidget(new QLabel(QString::fromLatin1(valueLabels[i]), this), i, 0);
    valuesGrid->addWidget(modeValues_[i], i, 1);
  }
  layout->addLayout(valuesGrid);

  layout->addStretch();

  // The edits the user types into are read when they lose the focus.
  for (QLineEdit* edit : {hueShift_, saturationShift_, valueShift_, rgb_[0], rgb_[1], rgb_[2],
                          hsvEdit_[0], hsvEdit_[1], hsvEdit_[2], interval_}) {
    edit->installEventFilter(this);
  }
}

// --- data exchange ---------------------------------------------------------------------------

void ControlPanel::writeControls() {
  // An edit the user is typing into keeps the text typed until it loses the focus.
  const auto put = [](QLineEdit* edit, const QString& text) {
    if (edit->hasFocus() && edit->isModified()) return;
    if (edit->text() != text) {
      edit->setText(text);
      edit->setCursorPosition(0);  // a narrow edit shows the sign and leading digits
    }
  };
  for (const DisplayBox& box : kDisplayBoxes) {
    display_[box.pane]->setChecked(doc_.paneShown[box.pane]);
  }
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker block(trackbar_[i]);
    trackbar_[i]->setValue(v_.trackbar[i]);
  }
  put(hueShift_, FloatFieldText(v_.hueShift));
  put(saturationShift_, FloatFieldText(v_.saturationShift));
  put(valueShift_, FloatFieldText(v_.valueShift));
  put(rgb_[0], QString::number(v_.red));
  put(rgb_[1], QString::number(v_.green));
  put(rgb_[2], QString::number(v_.blue));
  put(hsvEdit_[0], FloatFieldText(v_.hsv.hue));
  put(hsvEdit_[1], FloatFieldText(v_.hsv.saturation));
  put(hsvEdit_[2], FloatFieldText(v_.hsv.value));
  put(yiq_[0], FloatFieldText(v_.yiq.a));
  put(yiq_[1], FloatFieldText(v_.yiq.b));
  put(yiq_[2], FloatFieldText(v_.yiq.c));
  put(yuv_[0], FloatFieldText(v_.yuv.a));
  put(yuv_[1], FloatFieldText(v_.yuv.b));
  put(yuv_[2], FloatFieldText(v_.yuv.c));
  put(interval_, QString::number(v_.interval));
  put(modeValues_[0], FloatFieldText(v_.growthRate));
  put(modeValues_[1], FloatFieldText(v_.asymmetry));
  put(modeValues_[2], FloatFieldText(v_.fluctuation));
  put(modeValues_[3], FloatFieldText(v_.energy));
  picker_->setChecked(doc_.pickerColour);
  drawRgb_->setChecked(doc_.drawRgb);
  postProcessing_->setChecked(v_.postProcessing);
  colourTrim_->setChecked(v_.colourTrim);
  colourKey_->setChecked(doc_.colourKey);
}

bool ControlPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && !inExchange_) {
    const auto* focus = static_cast<QFocusEvent*>(event);
    auto* edit = qobject_cast<QLineEdit*>(watched);
    // A context menu over the edit does not end the entry.
    if (edit && focus->reason() != Qt::PopupFocusReason) {
      // Read after the focus change has completed, so that a refused entry can take the focus
      // back.
      QMetaObject::invokeMethod(
          this, [this, edit] { commitEdit(edit); }, Qt::QueuedConnection);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ControlPanel::refuse(QLineEdit* edit, const QString& message) {
  inExchange_ = true;
  CurrentUiSink().Message(message.toStdString(), kCaption, MessageButtons::Ok);
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  inExchange_ = false;
}

bool ControlPanel::commitEdit(QLineEdit* edit) {
  QString message;
  const QString text = edit->text();
  if (edit == hueShift_ || edit == saturationShift_ || edit == valueShift_) {
    const std::optional<float> shift = ReadFloatField(text, 0.0f, 1.0f, &message);
    if (!shift) {
      refuse(edit, message);
      return false;
    }
    if (edit == hueShift_) v_.hueShift = *shift;
    if (edit == saturationShift_) v_.saturationShift = *shift;
    if (edit == valueShift_) v_.valueShift = *shift;
    postShift();
    // The trackbars follow the shifts (truncated toward zero).
    v_.trackbar[0] = static_cast<int>(v_.hueShift / 0.005 + kTrackbarCentre);
    v_.trackbar[1] = static_cast<int>(v_.saturationShift / 0.01 + kTrackbarCentre);
    v_.trackbar[2] = static_cast<int>(v_.valueShift / 0.01 + kTrackbarCentre);
  } else if (edit == rgb_[0] || edit == rgb_[1] || edit == rgb_[2]) {
    const std::optional<uint8_t> byte = ReadByteField(text, &message);
    if (!byte) {
      refuse(edit, message);
      return false;
    }
    uint8_t rgb[3] = {v_.red, v_.green, v_.blue};
    rgb[edit == rgb_[0] ? 0 : edit == rgb_[1] ? 1 : 2] = *byte;
    edit->setModified(false);
    setPickedColour(rgb[0], rgb[1], rgb[2]);
    return true;
  } else if (edit == hsvEdit_[0] || edit == hsvEdit_[1] || edit == hsvEdit_[2]) {
    const std::optional<float> component = ReadFloatField(text, 0.0f, 1.0f, &message);
    if (!component) {
      refuse(edit, message);
      return false;
    }
    if (edit == hsvEdit_[0]) v_.hsv.hue = *component;
    if (edit == hsvEdit_[1]) v_.hsv.saturation = *component;
    if (edit == hsvEdit_[2]) v_.hsv.value = *component;
    // A full turn of hue is hue 0.
    if (v_.hsv.hue >= 1.0f) v_.hsv.hue = 0.0f;
    wheel_->setHsv(v_.hsv.hue, v_.hsv.saturation, v_.hsv.value);
    const Rgb8 c = HsvToRgb(v_.hsv.hue, v_.hsv.saturation, v_.hsv.value);
    v_.red = c.red;
    v_.green = c.green;
    v_.blue = c.blue;
    computeColourSpaces();
  } else if (edit == interval_) {
    const std::optional<uint32_t> interval = ReadUnsignedField(text, &message);
    if (!interval) {
      refuse(edit, message);
      return false;
    }
    v_.interval = *interval;
  } else {
    return false;
  }
  edit->setModified(false);
  writeControls();
  return true;
}

// --- colour adjustment -----------------------------------------------------------------------

void ControlPanel::onTrackbar(int index, int position) {
  v_.trackbar[index] = position;
  v_.hueShift = static_cast<float>((v_.trackbar[0] - kTrackbarCentre) * 0.005);
  v_.saturationShift = static_cast<float>((v_.trackbar[1] - kTrackbarCentre) * 0.01);
  v_.valueShift = static_cast<float>((v_.trackbar[2] - kTrackbarCentre) * 0.01);
  postShift();
  writeControls();
}

void ControlPanel::postShift() {
  const float dh = v_.hueShift;
  const float ds = v_.saturationShift;
  const float dv = v_.valueShift;
  // The bottom-right picture becomes the current frame shifted; it shows with the next snapshot.
  bridge_.post([dh, ds, dv](Session& s) {
    Panes& panes = s.GetPanes();
    // Always from the picture as it is now: a plane left from an earlier frame would be stale.
    ComputeHsvPlane(panes.topLeft());
    ShiftHsv(panes.bottomRight(), dh, ds, dv, panes.topLeft());
  });
}

// --- colour picker ---------------------------------------------------------------------------

void ControlPanel::computeColourSpaces() {
  const float r = v_.red / 255.0f;
  const float g = v_.green / 255.0f;
  const float b = v_.blue / 255.0f;
  v_.yiq = RgbToYiq(r, g, b);
  v_.yuv = RgbToYuv(r, g, b);
}

void ControlPanel::setPickedColour(uint8_t red, uint8_t green, uint8_t blue) {
  v_.red = red;
  v_.green = green;
  v_.blue = blue;
  v_.hsv = RgbToHsv(red / 255.0f, green / 255.0f, blue / 255.0f);
  computeColourSpaces();
  writeControls();
  wheel_->setHsv(v_.hsv.hue, v_.hsv.saturation, v_.hsv.value);
}

void ControlPanel::onWheelDragged(float hue, float saturation, float value) {
  takeWheelColour(Hsv{hue, saturation, value}, false);
}

void ControlPanel::takeWheelColour(const Hsv& hsv, bool fromFramePick) {
  v_.hsv = hsv;
  const Rgb8 c = HsvToRgb(hsv.hue, hsv.saturation, hsv.value);
  v_.red = c.red;
  v_.green = c.green;
  v_.blue = c.blue;
  computeColourSpaces();
  if (fromFramePick) {
    wheel_->setHsv(hsv.hue, hsv.saturation, hsv.value);
    ++v_.pickerFrames;
    const uint32_t interval = std::max<uint32_t>(v_.interval, 1);
    if (v_.pickerFrames % interval == 0) plotColumn();
  }
  writeControls();
}

void ControlPanel::pickFromFrame(const Dib& topLeft) {
  QSize client = doc_.paneClientSize[0];
  if (client.isEmpty()) client = QSize(topLeft.Width(), topLeft.Height());
  // The point under the mouse as the top-left pane shows the picture (zoomed, fitted or not).
  const PaneView view = CurrentView(doc_, 0, topLeft, client);
  const QPoint p = view.toPicture(doc_.lastMousePoint);
  Rgb8 c;
  if (!view.inPicture(p) || !PixelColour(topLeft, p.x(), p.y(), &c)) return;
  const Hsv hsv = RgbToHsv(c.red / 255.0f, c.green / 255.0f, c.blue / 255.0f);
  wheel_->setHsv(hsv.hue, hsv.saturation, hsv.value);
  takeWheelColour(wheel_->hsv(), true);
}

void ControlPanel::plotColumn() {
  Dib& hsvChart = doc_.hsvPlot;
  const int w = hsvChart.Width();
  const int h = hsvChart.Height();
  if (hsvChart.GetBitCount() != 24 || w <= 0) return;
  int& c = v_.plotColumn;
  if (c < 0 || c >= w) c = 0;  // the chart may have been re-created smaller

  const float s = static_cast<float>(h - 30);
  PlotPixel(hsvChart, c, std::floor(v_.hsv.hue * s + 15.0f), 255, 0, 0);
  PlotPixel(hsvChart, c, std::floor(v_.hsv.saturation * s + 15.0f), 0, 255, 0);
  PlotPixel(hsvChart, c, std::floor(v_.hsv.value * s + 15.0f), 0, 0, 255);
  PlotAxes(hsvChart, c);
  doc_.repaintPanes(2);
  c = (c + 1) % w;

  if (!doc_.drawRgb) return;
  Dib& rgbChart = doc_.rgbPlot;
  if (!rgbChart.SameFormat(hsvChart) || rgbChart.HeaderHeight() != hsvChart.HeaderHeight()) {
    rgbChart.CreateSigned(w, hsvChart.HeaderHeight(), 24, false);
    rgbChart.Fill(255);
  }
  const float scale = static_cast<float>(h - 30) / 255.0f;
  PlotPixel(rgbChart, c, std::floor(v_.red * scale + 15.0f), 255, 0, 0);
  PlotPixel(rgbChart, c, std::floor(v_.green * scale + 15.0f), 0, 255, 0);
  PlotPixel(rgbChart, c, std::floor(v_.blue * scale + 15.0f), 0, 0, 255);
  PlotAxes(rgbChart, c);
  doc_.repaintPanes(3);
}

void ControlPanel::onPickerColour(bool on) {
  doc_.pickerColour = on;
  picker_->setChecked(on);
  if (on) {
    // A fresh white chart of the bottom-left pane's size, plotted from its first column.
    v_.plotColumn = 0;
    QSize size = doc_.paneClientSize[2];
    if (size.isEmpty()) size = kDefaultPaneSize;
    doc_.hsvPlot.CreateSigned(size.width(), size.height(), 24, false);
    doc_.hsvPlot.Fill(255);
  }
  doc_.repaintPanes(2);
}

void ControlPanel::onDisplay(int pane) {
  doc_.paneShown[pane] = !doc_.paneShown[pane];
  display_[pane]->setChecked(doc_.paneShown[pane]);
  doc_.repaintPanes(pane);
}

// --- refresh ---------------------------------------------------------------------------------

void ControlPanel::onSnapshot(const Snapshot& s) {
  if (s.sequence == lastSequence_) return;
  lastSequence_ = s.sequence;
  // The options follow the session, whoever changed them.
  v_.postProcessing = s.postProcessing;
  v_.colourTrim = s.colourTrim;
  postProcessing_->setChecked(s.postProcessing);
  colourTrim_->setChecked(s.colourTrim);
  // The alarm picture takes one step per processed frame; frames that went by between two
  // snapshots count too (four steps are a whole turn).
  if (s.framesProcessed == lastFramesProcessed_) return;
  const uint64_t frames = s.framesProcessed - lastFramesProcessed_;
  lastFramesProcessed_ = s.framesProcessed;
  for (uint64_t i = 0; i < (frames - 1) % 4 + 1; ++i) alarm_->step(s.alarmFlag == 1);
  if (doc_.pickerColour) pickFromFrame(s.panes[0]);
  v_.energy = s.motionEnergy;
  writeControls();
}

void ControlPanel::reinitialise() {
  v_.trackbar = {kTrackbarCentre, kTrackbarCentre, kTrackbarCentre};
  for (QSlider* slider : trackbar_) {
    const QSignalBlocker block(slider);
    slider->setRange(0, 200);
    slider->setValue(kTrackbarCentre);
  }
  setPickedColour(v_.red, v_.green, v_.blue);
}

}  // namespace fw

#include "gui/dialogs/infrared_setup_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include <span>

#include "core/ui_sink.h"
#include "detect/flame/flame_modes.h"
#include "detect/param_field.h"
#include "gui/controls/entry_fields.h"

namespace fw {

namespace {

struct EditInfo {
  const char* label;
  const char* field;  // the parameter whose range the edit takes
  const char* objectName;
};
constexpr EditInfo kEditInfo[InfraredSetupDialog::kEdits] = {
    {"红外灰度阈值：", "greyThreshold", "greyThresholdEdit"},
    {"视频帧差间隔：", "frameInterval", "frameIntervalEdit"},
    {"报警灵敏时间(秒)：", "alarmSeconds", "alarmSecondsEdit"},
    {"形状改变量阈值：", "shapeThreshold", "shapeThresholdEdit"},
    {"火灾发生概率阈值：", "fireProbability", "fireProbabilityEdit"},
    {"噪声大小阈值：", "noiseSize", "noiseSizeEdit"},
};

const ParamField& Field(int edit) {
  return *FindParam(InfraredFields(), kEditInfo[edit].field);
}

}  // namespace

InfraredSetupDialog::InfraredSetupDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("设置红外图像火焰探测参数"));
  auto* form = new QFormLayout;
  for (int i = 0; i < kEdits; ++i) {
    edits_[i] = new QLineEdit(this);
    edits_[i]->setObjectName(QString::fromLatin1(kEditInfo[i].objectName));
    form->addRow(QString::fromUtf8(kEditInfo[i].label), edits_[i]);
  }
  auto* background = new QGroupBox(QStringLiteral("背景模型"), this);
  background->setMinimumHeight(40);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(background);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &InfraredSetupDialog::onOk);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  setValues(params_);
}

void InfraredSetupDialog::setValues(const InfraredParams& params) {
  params_ = params;
  edits_[Grey]->setText(QString::number(params.greyThreshold));
  edits_[Interval]->setText(QString::number(params.frameInterval));
  edits_[Seconds]->setText(QString::number(params.alarmWindow / InfraredParams::kFramesPerSecond));
  edits_[Shape]->setText(FloatFieldText(params.shapeThreshold));
  edits_[Probability]->setText(FloatFieldText(params.fireProbability));
  edits_[Noise]->setText(QString::number(params.noiseSize));
}

bool InfraredSetupDialog::readEdits() {
  InfraredParams read = params_;
  for (int i = 0; i < kEdits; ++i) {
    const ParamField& f = Field(i);
    const QString text = edits_[i]->text();
    QString message;
    bool ok = false;
    if (f.integral) {
      if (const std::optional<int> v = ReadIntField(text, static_cast<int>(f.minimum),
                                                    static_cast<int>(f.maximum), &message)) {
        ok = true;
        switch (i) {
          case Grey:
            read.greyThreshold = static_cast<uint8_t>(*v);
            break;
          case Interval:
            read.frameInterval = *v;
            break;
          case Seconds:
            read.alarmWindow = *v * InfraredParams::kFramesPerSecond;
            break;
          default:
            read.noiseSize = *v;
            break;
        }
      }
    } else if (const std::optional<float> v = ReadFloatField(
                   text, static_cast<float>(f.minimum), static_cast<float>(f.maximum), &message)) {
      ok = true;
      (i == Shape ? read.shapeThreshold : read.fireProbability) = *v;
    }
    if (!ok) {
      CurrentUiSink().Message(message.toStdString(), "Fumewatch", MessageButtons::Ok);
      edits_[i]->setFocus();
      edits_[i]->selectAll();
      return false;
    }
  }
  params_ = read;
  return true;
}

void InfraredSetupDialog::onOk() {
  if (readEdits()) accept();
}

}  // namespace fw

#include "gui/dialogs/pseudo_colour_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/pseudo_colour.h"
#include "gui/dialogs/display_dialog.h"

namespace fw {

void DrawPseudoColourRamp(Dib& image, int scheme) {
  if (image.GetBitCount() != 24 || scheme < 1 || scheme > kPseudoColourSchemeCount) return;
  const PseudoColourTable& table = PseudoColourTableFor(scheme);
  const int w = image.Width();
  // A one-column ramp shows entry 0 rather than dividing by zero.
  const int span = w > 1 ? w - 1 : 1;
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* p = image.Row(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const Rgb8 c = table[x * 255 / span];
      p[0] = c.blue;
      p[1] = c.green;
      p[2] = c.red;
    }
  }
}

namespace {

constexpr int kPreviewWidth = 256;
constexpr int kPreviewHeight = 24;

// The list entry's ramp.
QIcon RampIcon(int scheme) {
  Dib ramp;
  ramp.Create(64, 12, 24, false);
  DrawPseudoColourRamp(ramp, scheme);
  QImage image(ramp.Pixels(), ramp.Width(), ramp.Height(), ramp.Stride(), QImage::Format_BGR888);
  return QIcon(QPixmap::fromImage(image.copy()));
}

}  // namespace

PseudoColourDialog::PseudoColourDialog(QWidget* parent) : QDialog(parent) {
  setModal(false);
  setWindowTitle(QStringLiteral("Pseudocolor code"));

  list_ = new QComboBox(this);
  list_->setObjectName(QStringLiteral("schemeList"));
  list_->setIconSize(QSize(64, 12));
  for (int scheme = 1; scheme <= kPseudoColourSchemeCount; ++scheme) {
    const std::string_view name = PseudoColourName(scheme);
    list_->addItem(RampIcon(scheme),
                   QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  }
  frame_ = new QLabel(this);
  frame_->setFixedSize(kPreviewWidth, kPreviewHeight);
  frame_->installEventFilter(this);
  preview_.Create(kPreviewWidth, kPreviewHeight, 24, false);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  // OK asks for the scheme to be applied; the dialog stays open.
  connect(ok, &QPushButton::clicked, this, [this] { emit applyScheme(scheme_); });
  connect(list_, &QComboBox::currentIndexChanged, this, &PseudoColourDialog::select);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(frame_);
  layout->addWidget(ok, 0, Qt::AlignRight);

  list_->setCurrentIndex(kDefaultPseudoColourScheme - 1);
  select(list_->currentIndex());
}

void PseudoColourDialog::select(int index) {
  if (index < 0) return;
  scheme_ = index + 1;
  DrawPseudoColourRamp(preview_, scheme_);
  frame_->update();
}

bool PseudoColourDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == frame_ && event->type() == QEvent::Paint) {
    QPainter painter(frame_);
    PaintDib(painter, 0, 0, preview_);
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace fw

#include "gui/panes/pane_frame.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/panes/image_pane.h"

namespace fw {

PaneFrame::PaneFrame(ImagePane* pane, QWidget* parent)
    : QWidget(parent), pane_(pane), caption_(new QLabel(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kAlarmMargin, 0, kAlarmMargin, kAlarmMargin);
  layout->setSpacing(kAlarmMargin);
  QFont small = caption_->font();
  small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.5));
  caption_->setFont(small);
  caption_->setContentsMargins(2, 0, 2, 0);
  // The caption never widens the pane: it is cut to the width there is.
  caption_->setMinimumWidth(1);
  caption_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  caption_->setObjectName(QStringLiteral("paneCaption"));
  layout->addWidget(caption_);
  pane_->setParent(this);
  layout->addWidget(pane_, 1);
  setMinimumSize(0, 0);
}

QString PaneFrame::caption() const {
  return text_;
}

void PaneFrame::setCaption(const QString& text) {
  if (text == text_) return;
  text_ = text;
  caption_->setToolTip(text);
  showCaption();
}

void PaneFrame::showCaption() {
  const int room = std::max(caption_->width() - 4, 1);
  caption_->setText(caption_->fontMetrics().elidedText(text_, Qt::ElideRight, room));
}

void PaneFrame::setAlarm(bool on) {
  if (on == alarm_) return;
  alarm_ = on;
  update();
}

void PaneFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  showCaption();
}

void PaneFrame::paintEvent(QPaintEvent*) {
  if (!alarm_) return;
  // Red in the margin around the pane, outside its blue frame.
  QPainter painter(this);
  const QRect around =
      pane_->geometry().adjusted(-kAlarmMargin, -kAlarmMargin, kAlarmMargin, kAlarmMargin);
  QPainterPath path;
  path.addRect(QRectF(around));
  path.addRect(QRectF(pane_->geometry()));
  painter.fillPath(path, QColor(255, 0, 0));
}

}  // namespace fw

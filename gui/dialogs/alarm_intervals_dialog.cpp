#include "gui/dialogs/alarm_intervals_dialog.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/snapshot.h"
#include "gui/shell/desk_texts.h"

namespace fw {

namespace {

enum Column { kFrom = 0, kTo, kFromTime, kToTime, kColumns };

}  // namespace

AlarmIntervalsDialog::AlarmIntervalsDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Alarm intervals"));
  auto* layout = new QVBoxLayout(this);
  table_ = new QTableWidget(0, kColumns, this);
  table_->setHorizontalHeaderLabels({QStringLiteral("From frame"), QStringLiteral("To frame"),
                                     QStringLiteral("From"), QStringLiteral("To")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  layout->addWidget(table_);
  connect(table_, &QTableWidget::cellClicked, this, [this](int row, int) {
    if (QTableWidgetItem* item = table_->item(row, kFrom))
      emit frameChosen(item->data(Qt::UserRole).toInt());
  });
  resize(360, 260);
}

void AlarmIntervalsDialog::showIntervals(const Snapshot& s) {
  if (s.alarmIntervalsVersion == shownVersion_ && s.openAlarmStart == shownOpenStart_ &&
      s.fileFrameRate == shownRate_) {
    return;
  }
  shownVersion_ = s.alarmIntervalsVersion;
  shownOpenStart_ = s.openAlarmStart;
  shownRate_ = s.fileFrameRate;
  const int rows = static_cast<int>(s.alarmIntervals.size()) + (s.openAlarmStart >= 0 ? 1 : 0);
  table_->setRowCount(rows);
  const auto put = [this](int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    table_->setItem(row, column, item);
    return item;
  };
  const auto fill = [&](int row, int start, int end) {
    put(row, kFrom, QString::number(start))->setData(Qt::UserRole, start);
    put(row, kTo, end < 0 ? QStringLiteral("(on)") : QString::number(end));
    put(row, kFromTime, FrameTime(start, s.fileFrameRate));
    put(row, kToTime, end < 0 ? QString() : FrameTime(end, s.fileFrameRate));
  };
  for (int i = 0; i < static_cast<int>(s.alarmIntervals.size()); ++i) {
    fill(i, s.alarmIntervals[i].start, s.alarmIntervals[i].end);
  }
  if (s.openAlarmStart >= 0) fill(rows - 1, s.openAlarmStart, -1);
}

void AlarmIntervalsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  emit shownChanged(true);
}

void AlarmIntervalsDialog::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  emit shownChanged(false);
}

}  // namespace fw

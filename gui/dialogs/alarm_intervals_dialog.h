// View > "Alarm intervals": the alarm intervals of this run, one row each with its first frame,
// the first frame after it and their times at the file's rate, the interval still open last. A
// click on a row asks to go to the interval's first frame.
#pragma once

#include <QDialog>

#include <cstdint>

class QTableWidget;

namespace fw {

struct Snapshot;

class AlarmIntervalsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AlarmIntervalsDialog(QWidget* parent = nullptr);

  // Shows the snapshot's intervals; rows are rebuilt only when the list or the open interval
  // changed.
  void showIntervals(const Snapshot& s);
  QTableWidget* table() const { return table_; }

 signals:
  void frameChosen(int frame);
  void shownChanged(bool shown);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTableWidget* table_ = nullptr;
  uint64_t shownVersion_ = UINT64_MAX;
  int shownOpenStart_ = -2;
  double shownRate_ = -1.0;
};

}  // namespace fw

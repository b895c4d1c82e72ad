// "训练Adaboost": the progress window of the long-running learning and sample tools, with two
// texts, two progress bars and a large status text.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace fw {

class TipDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TipDialog(QWidget* parent = nullptr);

 public slots:
  void setFirstText(const QString& text);
  void setSecondText(const QString& text);
  // Progress bars: range (0..100 at first) and position.
  void setFirstRange(int minimum, int maximum);
  void setSecondRange(int minimum, int maximum);
  void setFirstProgress(int position);
  void setSecondProgress(int position);
  void setStatusText(const QString& text);

 public:
  QString firstText() const;
  QString secondText() const;
  int firstProgress() const;
  int secondProgress() const;
  QString statusText() const;

 private:
  QLabel* firstText_ = nullptr;
  QLabel* secondText_ = nullptr;
  QProgressBar* firstBar_ = nullptr;
  QProgressBar* secondBar_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace fw

// The frame around one image pane: a one-line caption above it saying what the pane shows for
// the current mode, and a margin in which the top-left pane's red alarm frame is drawn, outside
// the pane's own blue current-view frame.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace fw {

class ImagePane;

class PaneFrame : public QWidget {
  Q_OBJECT

 public:
  // Width of the margin the alarm frame fills.
  static constexpr int kAlarmMargin = 3;

  // Takes the pane as its child.
  explicit PaneFrame(ImagePane* pane, QWidget* parent = nullptr);

  ImagePane* pane() const { return pane_; }
  QString caption() const;
  void setCaption(const QString& text);
  bool alarm() const { return alarm_; }
  void setAlarm(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void showCaption();

  ImagePane* pane_;
  QLabel* caption_;
  QString text_;
  bool alarm_ = false;
};

}  // namespace fw

// The animated alarm picture of the control panel: the idle picture "FireAlarm01.bmp" while there
// is no alarm, and the four alarm pictures "FireAlarm02.bmp".."FireAlarm05.bmp" in turn, one per
// processed frame, while the alarm is on. All five are drawn at their natural size, centred by
// the idle picture's size.
#pragma once

#include <QWidget>

#include <array>
#include <string>
#include <vector>

#include "core/dib.h"
#include "detect/alarm.h"

namespace fw {

class AlarmPictureWidget : public QWidget {
  Q_OBJECT

 public:
  // Loads the five pictures (start directory first, then the data directory). A missing file
  // leaves its picture a 16 x 16 black one; a file that exists but cannot be read does the same
  // and its message (naming the file and the problem) is kept in loadProblems().
  explicit AlarmPictureWidget(QWidget* parent = nullptr);

  // One processed frame: with the alarm on, shows the next alarm picture; with it off, the idle
  // picture (the animation resumes where it stopped at the next alarm). Repaints.
  void step(bool alarm);

  // Picture shown now: 0 idle, 1..4 the alarm pictures "FireAlarm02".."FireAlarm05".
  int shownPicture() const { return shown_; }
  const Dib& picture(int index) const { return pictures_[index]; }
  const std::vector<std::string>& loadProblems() const { return loadProblems_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  AlarmPicture animation_;
  std::array<Dib, 5> pictures_;
  int shown_ = 0;
  std::vector<std::string> loadProblems_;
};

}  // namespace fw

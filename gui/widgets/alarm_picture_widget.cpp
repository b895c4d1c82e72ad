#include "gui/widgets/alarm_picture_widget.h"

#include <QPainter>

#include <filesystem>

#include "core/data_files.h"
#include "core/ui_sink.h"
#include "gui/dialogs/display_dialog.h"

namespace fw {

AlarmPictureWidget::AlarmPictureWidget(QWidget* parent) : QWidget(parent) {
  for (int i = 0; i < static_cast<int>(pictures_.size()); ++i) {
    const std::string path = FindDataFile(AlarmPicture::FileName(i));
    std::error_code error;
    // A missing picture stays the fresh 16 x 16 black one, without a word.
    if (!std::filesystem::exists(path, error)) continue;
    const BmpResult result = pictures_[i].LoadBmp(path);
    if (!result.ok()) {
      loadProblems_.push_back(result.message());
      if (!result.reported())
        CurrentUiSink().Message(result.message(), "Fumewatch", MessageButtons::Ok);
    }
  }
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize AlarmPictureWidget::sizeHint() const {
  return {pictures_[0].Width() + 4, pictures_[0].Height() + 4};
}

void AlarmPictureWidget::step(bool alarm) {
  shown_ = animation_.Advance(alarm);
  update();
}

void AlarmPictureWidget::paintEvent(QPaintEvent*) {
  // Every picture is placed by the idle picture's size.
  const Dib& idle = pictures_[0];
  const int x = (width() - idle.Width()) / 2;
  const int y = (height() - idle.Height()) / 2;
  QPainter painter(this);
  PaintDib(painter, x, y, pictures_[shown_]);
}

}  // namespace fw

#include "gui/bridge/qt_alarm_sound.h"

#include <QMetaObject>
#include <QSoundEffect>
#include <QUrl>

namespace fw {

QtAlarmSound::QtAlarmSound(QObject* parent) : QObject(parent), effect_(new QSoundEffect(this)) {}

QtAlarmSound::~QtAlarmSound() = default;

void QtAlarmSound::StartLoop(const std::string& path) {
  requested_.store(true);
  const QString file = QString::fromStdString(path);
  QMetaObject::invokeMethod(
      this, [this, file] { play(file, true); }, Qt::AutoConnection);
}

void QtAlarmSound::PlayOnce(const std::string& path) {
  requested_.store(true);
  const QString file = QString::fromStdString(path);
  QMetaObject::invokeMethod(
      this, [this, file] { play(file, false); }, Qt::AutoConnection);
}

void QtAlarmSound::Stop() {
  // Called on every frame without alarm: only a sound that was asked for is stopped.
  if (!requested_.exchange(false)) return;
  QMetaObject::invokeMethod(
      this, [this] { stopPlaying(); }, Qt::AutoConnection);
}

void QtAlarmSound::play(const QString& path, bool loop) {
  const QUrl url = QUrl::fromLocalFile(path);
  // A new request replaces the sound playing, as the system's player does.
  effect_->stop();
  if (effect_->source() != url) effect_->setSource(url);
  effect_->setLoopCount(loop ? QSoundEffect::Infinite : 1);
  effect_->play();
  looping_ = loop;
  active_ = true;
  source_ = path;
}

void QtAlarmSound::stopPlaying() {
  effect_->stop();
  looping_ = false;
  active_ = false;
}

}  // namespace fw

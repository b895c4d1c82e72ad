// The desktop's alarm sound: "kdz.wav" looped (or played once) through QSoundEffect. Requests
// may come from the engine thread; they are carried out on the thread that owns this object (the
// GUI thread). Without an audio device, or with a missing or unreadable file, nothing is heard
// and nothing else happens.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <string>

#include "detect/alarm.h"

class QSoundEffect;

namespace fw {

class QtAlarmSound : public QObject, public AlarmSound {
  Q_OBJECT

 public:
  explicit QtAlarmSound(QObject* parent = nullptr);
  ~QtAlarmSound() override;

  // AlarmSound, callable from any thread.
  void StartLoop(const std::string& path) override;
  void PlayOnce(const std::string& path) override;
  // Cheap when nothing plays: the engine calls it on every frame without alarm.
  void Stop() override;

  // GUI thread: what the player was last told to do.
  bool isLooping() const { return looping_; }
  bool isActive() const { return active_; }
  QString source() const { return source_; }

 private:
  void play(const QString& path, bool loop);
  void stopPlaying();

  QSoundEffect* effect_ = nullptr;
  std::atomic<bool> requested_{false};  // a play request is outstanding or playing
  bool looping_ = false;
  bool active_ = false;
  QString source_;
};

}  // namespace fw

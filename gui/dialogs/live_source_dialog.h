// "Video on line": the live source to watch. The simulated card replaying a video file (its
// test pattern when no file is given), a V4L2 camera or capture card from those present, or a
// network stream's URL; and whether a dropped stream is opened again. OK takes the choice only
// when it names a source; otherwise a message says what is wrong and the dialog stays.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace fw {

class LiveSourceDialog : public QDialog {
  Q_OBJECT

 public:
  struct Choice {
    QString address = QStringLiteral("sim:");  // as fumewatch-cli --live takes it
    bool reconnect = false;
  };

  // `devices` lists the capture devices present as (path, label).
  explicit LiveSourceDialog(const QList<QPair<QString, QString>>& devices,
                            QWidget* parent = nullptr);

  // The controls show the choice (the one remembered); a device that is no longer present
  // leaves the first one chosen.
  void setChoice(const Choice& choice);
  // The source the controls name.
  Choice choice() const;

  QRadioButton* simulatedButton() const { return simulated_; }
  QRadioButton* deviceButton() const { return device_; }
  QRadioButton* streamButton() const { return stream_; }
  QLineEdit* fileEdit() const { return file_; }
  QComboBox* deviceBox() const { return devices_; }
  QLineEdit* urlEdit() const { return url_; }
  QCheckBox* reconnectBox() const { return reconnect_; }

 public slots:
  void accept() override;

 private:
  void chooseFile();
  void enableFields();

  QRadioButton* simulated_ = nullptr;
  QRadioButton* device_ = nullptr;
  QRadioButton* stream_ = nullptr;
  QLineEdit* file_ = nullptr;
  QComboBox* devices_ = nullptr;
  QLineEdit* url_ = nullptr;
  QCheckBox* reconnect_ = nullptr;
};

}  // namespace fw

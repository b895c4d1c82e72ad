#include "gui/bridge/qt_ui_sink.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace fw {

QtUiSink::QtUiSink(QObject* parent) : QObject(parent) {}

MessageResult QtUiSink::showBox(const QString& text, const QString& caption,
                                MessageButtons buttons) {
  QMessageBox::StandardButtons shown = QMessageBox::Ok;
  switch (buttons) {
    case MessageButtons::Ok:
      shown = QMessageBox::Ok;
      break;
    case MessageButtons::OkCancel:
      shown = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case MessageButtons::YesNo:
      shown = QMessageBox::Yes | QMessageBox::No;
      break;
    case MessageButtons::YesNoCancel:
      shown = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      break;
  }
  QMessageBox box(QMessageBox::NoIcon, caption, text, shown, window_);
  // In front of every window, the topmost display dialog included.
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.show();
  box.raise();
  box.activateWindow();
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return MessageResult::Cancel;
    case QMessageBox::Yes:
      return MessageResult::Yes;
    case QMessageBox::No:
      return MessageResult::No;
    default:
      return MessageResult::Ok;
  }
}

MessageResult QtUiSink::Message(std::string_view text, std::string_view caption,
                                MessageButtons buttons) {
  const QString qText = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QString qCaption =
      QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  if (QThread::currentThread() == thread()) return showBox(qText, qCaption, buttons);
  MessageResult result = MessageResult::Ok;
  QMetaObject::invokeMethod(
      this, [&] { result = showBox(qText, qCaption, buttons); }, Qt::BlockingQueuedConnection);
  return result;
}

void QtUiSink::Status(StatusField field, std::string_view text) {
  const QString qText = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const int f = static_cast<int>(field);
  QMetaObject::invokeMethod(
      this, [this, f, qText] { emit statusText(f, qText); }, Qt::QueuedConnection);
}

}  // namespace fw

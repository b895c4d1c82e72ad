// Messages of the engine shown as modal message boxes on the GUI thread (a caller on the engine
// thread waits for the answer, as a message box makes it wait) and status texts for the status
// bar.
#pragma once

#include <QObject>
#include <QString>

#include "core/ui_sink.h"

class QWidget;

namespace fw {

class QtUiSink : public QObject, public UiSink {
  Q_OBJECT

 public:
  explicit QtUiSink(QObject* parent = nullptr);
  // Message boxes are centred on this window (may be null).
  void setParentWindow(QWidget* window) { window_ = window; }

  MessageResult Message(std::string_view text, std::string_view caption,
                        MessageButtons buttons) override;
  void Status(StatusField field, std::string_view text) override;

 signals:
  // Emitted on the GUI thread.
  void statusText(int field, const QString& text);

 private:
  MessageResult showBox(const QString& text, const QString& caption, MessageButtons buttons);

  QWidget* window_ = nullptr;
};

}  // namespace fw

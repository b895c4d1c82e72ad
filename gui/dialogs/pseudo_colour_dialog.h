// The pseudo-colour chooser: the twelve schemes listed by name with their colour ramps, a preview
// ramp of the selected one, and OK, which asks for the scheme to be applied to the bottom-right
// pane's picture. Hot metal 1 (scheme 11) is selected at first; the dialog stays open after OK.
#pragma once

#include <QDialog>

#include "core/dib.h"

class QComboBox;
class QLabel;

namespace fw {

// Fills a 24-bit picture with the scheme's ramp: column x gets entry x * 255 / (width - 1) of
// the table (entry 0 when the picture is one column wide), the same on every row.
void DrawPseudoColourRamp(Dib& image, int scheme);

class PseudoColourDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PseudoColourDialog(QWidget* parent = nullptr);

  int selectedScheme() const { return scheme_; }
  const Dib& preview() const { return preview_; }

 signals:
  // OK: apply this scheme (1..12) to the bottom-right pane.
  void applyScheme(int scheme);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void select(int index);

  int scheme_ = 11;
  Dib preview_;
  QComboBox* list_ = nullptr;
  QLabel* frame_ = nullptr;  // the preview's place
};

}  // namespace fw

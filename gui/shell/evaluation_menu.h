// The "Evaluation" menu of the main window: the scene mask (load a black-and-white picture, paint
// one over the top-left pane, clear it) and the "Evaluate..." dialog.
#pragma once

#include <QImage>

namespace fw {

class SceneMask;

class EngineBridge;
class MainWindow;

void AddEvaluationMenu(MainWindow& window, EngineBridge& bridge);
// The mask as the black-and-white picture --mask and "Load mask picture..." read back.
QImage MaskPicture(const SceneMask& mask);

}  // namespace fw

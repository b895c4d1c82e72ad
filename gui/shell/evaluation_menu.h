// The "Evaluation" menu of the main window: the scene mask (load a black-and-white picture, paint
// one over the top-left pane, clear it) and the "Evaluate..." dialog.
#pragma once

namespace fw {

class EngineBridge;
class MainWindow;

void AddEvaluationMenu(MainWindow& window, EngineBridge& bridge);

}  // namespace fw

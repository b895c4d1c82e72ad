#include "gui/shell/evaluation_menu.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "gui/bridge/engine_bridge.h"
#include "gui/dialogs/evaluate_dialog.h"
#include "gui/panes/image_pane.h"
#include "gui/shell/main_window.h"
#include "gui/widgets/mask_painter.h"

namespace fw {

void AddEvaluationMenu(MainWindow& window, EngineBridge& bridge) {
  QMenu* menu = window.menuBar()->addMenu(QObject::tr("Evaluation"));
  QMenu* maskMenu = menu->addMenu(QObject::tr("Scene mask"));
  auto* painter = new MaskPainter(*window.pane(0));
  painter->setObjectName(QStringLiteral("sceneMaskPainter"));
  const auto use = [&bridge](const SceneMask& mask) {
    bridge.post([mask](Session& s) { s.SetSceneMask(mask); });
  };
  QObject::connect(painter, &MaskPainter::maskEdited, &window, use);

  QAction* load = maskMenu->addAction(QObject::tr("Load mask picture..."));
  QObject::connect(load, &QAction::triggered, &window, [&window, painter, use] {
    const QString path = QFileDialog::getOpenFileName(
        &window, QObject::tr("Scene mask: black parts are left out of every mode's decision"),
        window.lastFolder(), QObject::tr("Pictures (*.png *.bmp *.jpg)"));
    if (path.isEmpty()) return;
    SceneMask mask;
    if (const Result loaded = mask.Load(path.toStdString()); !loaded) {
      QMessageBox::warning(&window, QObject::tr("Scene mask"),
                           QString::fromStdString(loaded.message()));
      return;
    }
    painter->setMask(mask);
    use(mask);
  });
  QAction* paint = maskMenu->addAction(QObject::tr("Paint mask over the frame pane"));
  paint->setCheckable(true);
  paint->setObjectName(QStringLiteral("sceneMaskPaint"));
  QObject::connect(paint, &QAction::toggled, painter, &MaskPainter::setPainting);
  QAction* clear = maskMenu->addAction(QObject::tr("Clear mask"));
  QObject::connect(clear, &QAction::triggered, &window, [painter, use] {
    painter->setMask(SceneMask());
    use(SceneMask());
  });

  menu->addSeparator();
  QAction* evaluate = menu->addAction(QObject::tr("Evaluate..."));
  evaluate->setObjectName(QStringLiteral("evaluate"));
  QObject::connect(evaluate, &QAction::triggered, &window, [&window] {
    auto* dialog = window.findChild<EvaluateDialog*>();
    if (!dialog) {
      dialog = new EvaluateDialog(
          QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("fumewatch-cli")),
          window.lastFolder(), &window);
    }
    dialog->show();
    dialog->raise();
  });
}

}  // namespace fw

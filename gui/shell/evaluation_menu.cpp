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

QImage MaskPicture(const SceneMask& mask) {
  QImage picture(mask.Width(), mask.Height(), QImage::Format_Grayscale8);
  for (int y = 0; y < mask.Height(); ++y) {
    const uint8_t* m = mask.Plane().data() + static_cast<size_t>(y) * mask.Width();
    uint8_t* out = picture.scanLine(y);
    for (int x = 0; x < mask.Width(); ++x) out[x] = m[x] ? 0 : 255;
  }
  return picture;
}

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
  QAction* save = maskMenu->addAction(QObject::tr("Save mask picture..."));
  QObject::connect(save, &QAction::triggered, &window, [&window, painter] {
    const SceneMask& mask = painter->mask();
    if (mask.Empty()) {
      QMessageBox::information(&window, QObject::tr("Scene mask"), QObject::tr("No mask is set."));
      return;
    }
    const QString path =
        QFileDialog::getSaveFileName(&window, QObject::tr("Save the scene mask (black: left out)"),
                                     window.lastFolder(), QObject::tr("PNG pictures (*.png)"));
    if (path.isEmpty()) return;
    if (!MaskPicture(mask).save(path, "PNG")) {
      QMessageBox::warning(&window, QObject::tr("Scene mask"),
                           path + QObject::tr(": cannot write the picture"));
    }
  });
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

// The window's commands as Qt actions, built from the command table: one action per command with
// its label, check mark and enabled state, the menu bar, the toolbar and the accelerators.
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QString>

#include "app/commands.h"

class QAction;
class QMainWindow;
class QMenu;
class QStyle;
class QToolBar;

namespace fw {

class CommandActions : public QObject {
  Q_OBJECT

 public:
  // Creates the actions, fills the window's menu bar, adds the toolbar and the accelerators.
  explicit CommandActions(QMainWindow& window);

  QAction* action(int id) const { return actions_.value(id, nullptr); }
  // The submenu with this title ("Top left", "Bottom View", ...), or null.
  QMenu* submenu(const QString& title) const { return submenus_.value(title, nullptr); }
  QToolBar* toolBar() const { return toolBar_; }
  // Sets every check mark from the context.
  void refreshChecks(const CommandContext& context);

 signals:
  // A command was chosen (menu, toolbar or accelerator); only enabled commands are reported.
  void triggered(int id);

 private:
  QAction* makeAction(const CommandInfo& info, QMainWindow& window);

  QHash<int, QAction*> actions_;
  QHash<QString, QMenu*> submenus_;
  QToolBar* toolBar_ = nullptr;
};

// The toolbar picture of a command: the style's standard icon where one fits, else one drawn.
QIcon CommandIcon(int id, const QStyle& style);

}  // namespace fw

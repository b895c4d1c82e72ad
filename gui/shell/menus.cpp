#include "gui/shell/menus.h"

#include <QAction>
#include <QIcon>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QShortcut>
#include <QStyle>
#include <QToolBar>

#include <vector>

namespace fw {

namespace {

// The label without its mnemonic marks and accelerator text (tool tips, status tips).
QString PlainLabel(std::string_view label) {
  QString text = QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
  const int tab = text.indexOf(QLatin1Char('\t'));
  if (tab >= 0) text.truncate(tab);
  text.remove(QLatin1Char('&'));
  if (text.endsWith(QLatin1String("..."))) text.chop(3);
  return text.trimmed();
}

// A 16 x 16 picture drawn for commands without a standard icon.
QIcon DrawnIcon(int id) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QPen ink(QColor(40, 40, 40), 1.4);
  p.setPen(ink);
  switch (id) {
    case cmd::kCut:
      p.drawEllipse(QRectF(2, 10, 4, 4));
      p.drawEllipse(QRectF(10, 10, 4, 4));
      p.drawLine(QPointF(5, 10), QPointF(11, 2));
      p.drawLine(QPointF(11, 10), QPointF(5, 2));
      break;
    case cmd::kCopy:
      p.drawRect(QRectF(2, 2, 8, 9));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(6, 5, 8, 9));
      break;
    case cmd::kPaste:
      p.setBrush(QColor(200, 170, 110));
      p.drawRect(QRectF(2, 3, 10, 12));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7, 7, 7, 8));
      break;
    case cmd::kZoom:
      p.drawEllipse(QRectF(2, 2, 9, 9));
      p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
      p.drawLine(QPointF(4.5, 6.5), QPointF(8.5, 6.5));
      p.drawLine(QPointF(6.5, 4.5), QPointF(6.5, 8.5));
      break;
    case cmd::kPan:
      p.drawLine(QPointF(8, 1), QPointF(8, 15));
      p.drawLine(QPointF(1, 8), QPointF(15, 8));
      p.drawPolyline(QPolygonF({QPointF(6, 3), QPointF(8, 1), QPointF(10, 3)}));
      p.drawPolyline(QPolygonF({QPointF(6, 13), QPointF(8, 15), QPointF(10, 13)}));
      p.drawPolyline(QPolygonF({QPointF(3, 6), QPointF(1, 8), QPointF(3, 10)}));
      p.drawPolyline(QPolygonF({QPointF(13, 6), QPointF(15, 8), QPointF(13, 10)}));
      break;
    case cmd::kFourOrOneViews:
      p.drawRect(QRectF(1.5, 1.5, 13, 13));
      p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
      p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
      break;
    case cmd::kVideoOnLine:
      p.setBrush(QColor(90, 90, 90));
      p.drawRect(QRectF(1.5, 4.5, 9, 8));
      p.drawPolygon(QPolygonF({QPointF(10.5, 8.5), QPointF(14.5, 5), QPointF(14.5, 12)}));
      break;
    case cmd::kInfrared:
      p.setBrush(QColor(220, 60, 30));
      p.drawPolygon(QPolygonF({QPointF(8, 1), QPointF(13, 9), QPointF(8, 15), QPointF(3, 9)}));
      p.setBrush(QColor(250, 200, 60));
      p.drawEllipse(QRectF(6, 9, 4, 5));
      break;
    case cmd::kPrint:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 1.5, 8, 5));
      p.setBrush(QColor(150, 150, 150));
      p.drawRect(QRectF(1.5, 6.5, 13, 6));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 10.5, 8, 4));
      break;
    default:
      p.drawRect(QRectF(2, 2, 12, 12));
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

QIcon CommandIcon(int id, const QStyle& style) {
  switch (id) {
    case cmd::kFileNew:
      return style.standardIcon(QStyle::SP_FileIcon);
    case cmd::kFileOpen:
      return style.standardIcon(QStyle::SP_DialogOpenButton);
    case cmd::kFileSave:
      return style.standardIcon(QStyle::SP_DialogSaveButton);
    case cmd::kAbout:
      return style.standardIcon(QStyle::SP_MessageBoxInformation);
    default:
      return DrawnIcon(id);
  }
}

QAction* CommandActions::makeAction(const CommandInfo& info, QMainWindow& window) {
  const std::string_view label = CommandLabel(info);
  auto* action =
      new QAction(QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())), &window);
  action->setData(info.id);
  action->setCheckable(IsCheckable(info));
  action->setEnabled(IsCommandEnabled(info));
  action->setStatusTip(PlainLabel(label));
  action->setToolTip(PlainLabel(label));
  // A command whose feature is not in this build says so.
  if (const char* reason = UnavailableReason(info)) {
    action->setToolTip(PlainLabel(label) + QStringLiteral(": ") + QString::fromUtf8(reason));
    action->setStatusTip(QString::fromUtf8(reason));
  }
  const int id = info.id;
  connect(action, &QAction::triggered, this, [this, id] {
    if (QAction* a = actions_.value(id)) {
      if (a->isEnabled()) emit triggered(id);
    }
  });
  actions_.insert(id, action);
  return action;
}

CommandActions::CommandActions(QMainWindow& window) : QObject(&window) {
  for (const CommandInfo& info : Commands()) makeAction(info, window);

  // The menu bar, row by row.
  std::vector<QMenu*> open;
  for (const MenuRow& row : MenuBar()) {
    switch (row.kind) {
      case MenuRowKind::Submenu: {
        const QString title = QString::fromUtf8(row.title);
        QMenu* menu = open.empty() ? window.menuBar()->addMenu(title) : open.back()->addMenu(title);
        menu->setToolTipsVisible(true);  // the reasons of the disabled commands
        submenus_.insert(title, menu);
        open.push_back(menu);
        break;
      }
      case MenuRowKind::End:
        open.pop_back();
        break;
      case MenuRowKind::Separator:
        open.back()->addSeparator();
        break;
      case MenuRowKind::Command:
        open.back()->addAction(actions_.value(row.id));
        break;
    }
  }

  // The toolbar: flat, docked at the top, movable to any side.
  toolBar_ = window.addToolBar(QStringLiteral("Toolbar"));
  toolBar_->setObjectName(QStringLiteral("toolbar"));
  toolBar_->setMovable(true);
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  toolBar_->setIconSize(QSize(16, 16));
  for (const int id : ToolbarButtons()) {
    if (id == 0) {
      toolBar_->addSeparator();
      continue;
    }
    QAction* action = actions_.value(id);
    action->setIcon(CommandIcon(id, *window.style()));
    action->setIconVisibleInMenu(false);
    toolBar_->addAction(action);
  }

  // The accelerators and the player's keys work wherever the focus is in the window (an edit keeps
  // the keys it types with). Those of disabled commands are switched off, so that they leave
  // their keys to the menu bar and the edits.
  std::vector<Accelerator> keys(Accelerators().begin(), Accelerators().end());
  keys.insert(keys.end(), PlayerKeys().begin(), PlayerKeys().end());
  for (const Accelerator& a : keys) {
    auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(a.keys)), &window);
    const int id = a.id;
    shortcut->setEnabled(actions_.value(id)->isEnabled());
    connect(shortcut, &QShortcut::activated, this, [this, id] {
      if (QAction* action = actions_.value(id); action && action->isEnabled()) action->trigger();
    });
  }
}

void CommandActions::refreshChecks(const CommandContext& context) {
  for (const CommandInfo& info : Commands()) {
    if (!IsCheckable(info)) continue;
    if (QAction* action = actions_.value(info.id))
      action->setChecked(IsCommandChecked(info, context));
  }
}

}  // namespace fw

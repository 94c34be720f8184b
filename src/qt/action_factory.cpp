#include "qt/action_factory.h"

#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWidget>

#include "frame/commands.h"

namespace qp {

QList<QKeySequence> KeySequences(std::string_view keys) {
  QList<QKeySequence> out;
  const QStringList parts = QString::fromUtf8(keys.data(), static_cast<qsizetype>(keys.size()))
                                .split(QStringLiteral(", "), Qt::SkipEmptyParts);
  for (const QString& k : parts) {
    // The keypad's keys are written "Num+" and the key.
    if (k == QLatin1String("Num++")) out << QKeySequence(Qt::KeypadModifier | Qt::Key_Plus);
    else if (k == QLatin1String("Num+-")) out << QKeySequence(Qt::KeypadModifier | Qt::Key_Minus);
    else if (k == QLatin1String("Num+Enter")) out << QKeySequence(Qt::KeypadModifier | Qt::Key_Enter);
    else out << QKeySequence::fromString(k, QKeySequence::PortableText);
  }
  return out;
}

QAction* ActionFactory::Make(uint16_t id, const QString& text, const QList<QKeySequence>& keys) {
  auto* action = new QAction(text, &owner_);  // owned by the window
  action->setShortcuts(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  // The tab and what follows it show the key; the tool bar shows the plain name.
  QString plain = text.section(QLatin1Char('\t'), 0, 0);
  plain.remove(QLatin1Char('&'));
  action->setIconText(plain);
  // Shown in the status bar's message pane while the pointer is on the item or button.
  const std::string_view prompt = CommandPrompt(id);
  action->setStatusTip(QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size())));
  QObject::connect(action, &QAction::triggered, &owner_, [this, id] { Trigger(id); });
  owner_.addAction(action);
  actions_[id] = action;
  tableText_[id] = text;
  return action;
}

void ActionFactory::CreateActions() {
  for (const CommandRow& row : CommandTable()) {
    if (row.route == Route::View && row.keys.empty()) continue;  // internal, no key
    Make(row.id, QString::fromUtf8(row.text.data(), static_cast<qsizetype>(row.text.size())),
         KeySequences(row.keys));
  }
  // The framework's bar toggles and the tool bar's Next button text.
  Make(kCmdViewToolbar, QStringLiteral("&Toolbar"), {})->setCheckable(true);
  Make(kCmdViewStatusBar, QStringLiteral("&Status Bar"), {})->setCheckable(true);
  if (QAction* next = action(kCmdNextFile)) next->setIconText(QStringLiteral("Next File"));
}

void ActionFactory::Trigger(uint16_t id) {
  if (!router_.Query(id).enabled) return;
  router_.Execute(id);
}

void ActionFactory::BuildMenus(QMenuBar& bar) {
  for (const MenuLayout& menu : MenuBar()) {
    QMenu* top = bar.addMenu(QString::fromUtf8(menu.title.data(), static_cast<qsizetype>(menu.title.size())));
    std::map<std::string_view, QMenu*> submenus;
    for (uint16_t id : menu.items) {
      if (id == 0) {
        top->addSeparator();
        continue;
      }
      const CommandRow* row = FindCommand(id);
      QAction* a = action(id);
      if (row == nullptr || a == nullptr) continue;
      QMenu* target = top;
      const size_t gt = row->menu.find('>');
      if (gt != std::string_view::npos) {
        const std::string_view name = row->menu.substr(gt + 1);
        QMenu*& sub = submenus[name];
        if (sub == nullptr) {
          const std::string_view title = SubmenuTitle(name);
          sub = top->addMenu(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
        }
        target = sub;
      }
      target->addAction(a);
    }
    if (menu.menu == "View") {
      top->addSeparator();
      top->addAction(action(kCmdViewToolbar));
      top->addAction(action(kCmdViewStatusBar));
    }
  }
  // Each menu (and submenu) asks the update rules before it opens; when it closes its actions
  // are enabled again so that stale states never swallow a key (Trigger checks the rule).
  for (QMenu* m : bar.findChildren<QMenu*>()) {
    QObject::connect(m, &QMenu::aboutToShow, &owner_, [this, m] { Update(m->actions()); });
    QObject::connect(m, &QMenu::aboutToHide, &owner_, [this, m] {
      for (QAction* a : m->actions())
        if (!a->isSeparator() && a->menu() == nullptr) a->setEnabled(true);
    });
  }
}

void ActionFactory::BuildToolBar(QToolBar& bar) {
  for (uint16_t id : ToolBarItems()) {
    if (id == 0) {
      bar.addSeparator();
      continue;
    }
    // Buttons are actions of their own: the idle update may disable them while the keys of
    // the menu actions stay live (Trigger checks the rule at the moment of the key).
    if (QAction* source = action(id)) {
      auto* button = new QAction(source->iconText(), &bar);
      button->setToolTip(source->iconText());
      button->setStatusTip(source->statusTip());
      QObject::connect(button, &QAction::triggered, &owner_, [this, id] { Trigger(id); });
      bar.addAction(button);
      toolBarActions_ << button;
      toolBarIds_ << id;
    }
  }
}

void ActionFactory::UpdateToolBar() {
  for (qsizetype i = 0; i < toolBarActions_.size(); ++i)
    toolBarActions_[i]->setEnabled(router_.Query(toolBarIds_[i]).enabled);
}

void ActionFactory::Update(const QList<QAction*>& list) {
  QList<QAction*> targets = list;
  if (targets.isEmpty())
    for (const auto& [id, a] : actions_) targets << a;
  for (const auto& [id, a] : actions_) {
    if (!targets.contains(a)) continue;
    const CommandState s = router_.Query(id);
    a->setEnabled(s.enabled);
    const CommandRow* row = FindCommand(id);
    const bool checkable = row != nullptr && (row->rule == UpdateRule::FileMarkedLocked ||
                                              row->rule == UpdateRule::AlwaysMarkedJoystick ||
                                              row->rule == UpdateRule::AlwaysMarkedGestures);
    if (checkable || a->isCheckable()) {
      a->setCheckable(true);
      a->setChecked(s.checked);
    }
    a->setText(s.text ? QString::fromStdString(*s.text) : tableText_[id]);
  }
}

}  // namespace qp

// Builds the window's actions, menus and tool bar from the command table: each action gets the
// row's exact text and keys and one lambda that hands the id to the router.
#pragma once

#include <map>

#include <QAction>
#include <QKeySequence>
#include <QList>

class QMenuBar;
class QToolBar;
class QWidget;

namespace qp {

class CommandRouter;

// The key sequences of a row's key list ("Ctrl+Home, Num++").
QList<QKeySequence> KeySequences(std::string_view keys);

class ActionFactory {
 public:
  ActionFactory(CommandRouter& router, QWidget& owner) : router_(router), owner_(owner) {}

  // One action per row (and for the bar toggles), added to `owner_` so that their keys work
  // whether or not a menu shows them.
  void CreateActions();
  void BuildMenus(QMenuBar& bar);
  void BuildToolBar(QToolBar& bar);
  // Applies the update rules to the given actions (all when empty).
  void Update(const QList<QAction*>& actions);
  // Enables the tool-bar buttons by their rules.
  void UpdateToolBar();
  // Runs a command the way a menu or key does: only when its update rule enables it.
  void Trigger(uint16_t id);

  QAction* action(uint16_t id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
  }
  const std::map<uint16_t, QAction*>& actions() const { return actions_; }
  QList<QAction*> toolBarActions() const { return toolBarActions_; }

 private:
  QAction* Make(uint16_t id, const QString& text, const QList<QKeySequence>& keys);
  CommandRouter& router_;
  QWidget& owner_;
  std::map<uint16_t, QAction*> actions_;
  std::map<uint16_t, QString> tableText_;
  QList<QAction*> toolBarActions_;
  QList<uint16_t> toolBarIds_;
};

}  // namespace qp

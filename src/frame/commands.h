// The frame's command machinery: the context handlers work in, the handler groups (one per
// concern, each answering Execute and Query for its ids), the router that offers a command to
// the view hook, the frame and application handlers and the framework defaults in turn, the
// update rules and the dispatcher of deferred commands.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/settings_access.h"
#include "core/viewer_state.h"
#include "frame/command_table.h"
#include "frame/file_list.h"
#include "platform/ports.h"
#include "view/view.h"

namespace qp {

// What a menu item or tool-bar button shows.
struct CommandState {
  bool enabled = false;
  bool checked = false;
  std::optional<std::string> text;  // replaces the table's text when set
};

// The frame window as the handlers see it.
class FrameHost {
 public:
  virtual ~FrameHost() = default;
  // Closes the frame: the bar visibility is stored and the program ends.
  virtual void Close() = 0;
  // Draws the user's attention once (the list wrapped around).
  virtual void Flash() = 0;
  virtual void SetPaneText(uint32_t pane, const std::string& text) = 0;
  virtual bool ToolbarVisible() = 0;
  virtual bool StatusVisible() = 0;
  virtual void SetToolbarVisible(bool on) = 0;
  virtual void SetStatusVisible(bool on) = 0;
};

struct FileContext;

struct FrameContext {
  ViewerState& state;
  SettingsAccess& settings;
  Ports& ports;
  CImgViewerView& view;
  FileList& files;
  FrameHost& frame;
  // What the file, navigation, JPEG and external-program commands work with.
  FileContext* fileOps = nullptr;
};

// One concern's commands.
class CommandGroup {
 public:
  virtual ~CommandGroup() = default;
  virtual bool Handles(uint16_t id) const = 0;
  virtual void Execute(uint16_t id, intptr_t argument) = 0;
  // A state that replaces the row's update rule (for example a text from the settings).
  virtual std::optional<CommandState> Query(uint16_t /*id*/) { return std::nullopt; }
};

// The navigation entry points other handlers and the window share.
class NavigationCommands;

class CommandRouter {
 public:
  // Told before and after each command the router runs (not the nested ones).
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void BeforeCommand(uint16_t id) = 0;
    virtual void AfterCommand(uint16_t id) = 0;
  };

  explicit CommandRouter(FrameContext ctx);
  ~CommandRouter();
  CommandRouter(const CommandRouter&) = delete;
  CommandRouter& operator=(const CommandRouter&) = delete;

  // Adds a handler group; groups added first are asked first.
  void Add(std::unique_ptr<CommandGroup> group);
  // Runs a command; false when nothing handles it.
  bool Execute(uint16_t id, intptr_t argument = 0);
  // Enabled, checked and text of a command, by its update rule.
  CommandState Query(uint16_t id);
  // The deferred-command dispatcher: a (command, argument) posted to the frame.
  void Dispatch(uint16_t command, intptr_t argument);
  // The group that handles a frame or application id, or null.
  CommandGroup* HandlerOf(uint16_t id) const;

  void SetObserver(Observer* observer) { observer_ = observer; }

  NavigationCommands& navigation() { return *navigation_; }
  FrameContext& context() { return ctx_; }

 private:
  struct OwnFileParts;
  FrameContext ctx_;
  // The file parts the router makes for itself when the assembly gives none.
  std::unique_ptr<OwnFileParts> ownFileParts_;
  std::vector<std::unique_ptr<CommandGroup>> groups_;
  NavigationCommands* navigation_ = nullptr;
  Observer* observer_ = nullptr;
  int depth_ = 0;
  bool Run(uint16_t id, intptr_t argument);
};

// The router with every handler group of the program.
std::unique_ptr<CommandRouter> MakeCommandRouter(FrameContext ctx);

// The update rule's answer for the current state.
CommandState EvaluateRule(UpdateRule rule, FrameContext& ctx);

// The handler groups; each lives in its own commands_*.cpp.
std::unique_ptr<CommandGroup> MakeViewCommands(FrameContext& ctx);
std::unique_ptr<CommandGroup> MakeFileCommands(FrameContext& ctx);
std::unique_ptr<CommandGroup> MakeJpegCommands(FrameContext& ctx);
std::unique_ptr<CommandGroup> MakeToolCommands(FrameContext& ctx);

class NavigationCommands final : public CommandGroup {
 public:
  explicit NavigationCommands(FrameContext& ctx) : ctx_(ctx) {}
  bool Handles(uint16_t id) const override;
  void Execute(uint16_t id, intptr_t argument) override;

  // Opens a file the way every step does: list files expand, a bad timestamp is refused, the
  // position pane follows.
  void OpenFile(const std::optional<std::string>& path);
  // After a step in fullscreen: fit the next picture unless the zoom is locked.
  void AfterStep();
  // A file chosen by the user (open dialog, command line): the list is rebuilt at the next
  // step.
  void OpenChosenFile(const std::string& path);
  // Files dropped on the window: the first supported one is opened.
  void DropFiles(const std::vector<std::string>& paths);

 private:
  FrameContext& ctx_;
};

}  // namespace qp

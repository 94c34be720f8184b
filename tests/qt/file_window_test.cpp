// The file commands in the real window, offscreen: stepping over a changing folder, a list
// file, the recent files across restarts, rename, copy, move and delete with their dialogs
// answered here, the trash, Save As to every writable format, the properties box and the
// lossless rotation from the menu.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <deque>
#include <functional>
#include <memory>

#include "codecs/file_filters.h"
#include "codecs/load_dispatch.h"
#include "codecs/png.h"
#include "core/paths.h"
#include "frame/commands.h"
#include "frame/file_context.h"
#include "frame/file_operations.h"
#include "frame/main_frame.h"
#include "frame/navigation.h"
#include "metadata/exif.h"
#include "qt/action_factory.h"
#include "qt/file_host_qt.h"
#include "qt/main_window.h"
#include "platform/trash.h"
#include "qt/qsettings_backend.h"
#include "qt/qt_ports.h"
#include "support/jpeg_builder.h"
#include "support/scoped_env.h"
#include "support/test_support.h"
#include "view/view.h"

namespace qp {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "qp_qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return QApplication::instance() ? nullptr : new QApplication(argc, argv);
  }();
  (void)app;
  return *qobject_cast<QApplication*>(QApplication::instance());
}

// Answers the modal dialogs the command opens, in order: each step gets the dialog once it is
// the active modal widget.
class DialogScript {
 public:
  using Step = std::function<void(QWidget*)>;
  explicit DialogScript(std::deque<Step> steps) : steps_(std::move(steps)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal == last_) return;
      last_ = modal;
      if (steps_.empty()) {
        // A dialog nobody expected: noted and closed, so the test fails instead of hanging.
        auto* box = qobject_cast<QMessageBox*>(modal);
        unexpected_.push_back(box ? box->text().toStdString() : modal->objectName().toStdString());
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        return;
      }
      Step step = std::move(steps_.front());
      steps_.pop_front();
      step(modal);
    });
    timer_.start();
  }
  bool done() const { return steps_.empty() && unexpected_.empty(); }
  const std::vector<std::string>& unexpected() const { return unexpected_; }

 private:
  std::deque<Step> steps_;
  std::vector<std::string> unexpected_;
  QTimer timer_;
  QPointer<QWidget> last_;
};

// A message box: checks its text and presses the button.
DialogScript::Step Answer(std::string text, QMessageBox::StandardButton button,
                          std::vector<std::string>* seen = nullptr) {
  return [text, button, seen](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr) << w->metaObject()->className();
    EXPECT_EQ(box->text().toStdString(), text);
    if (seen) seen->push_back(box->text().toStdString());
    QMetaObject::invokeMethod(box->button(button), "click", Qt::QueuedConnection);
  };
}

// A file dialog: picks the filter (1-based, 0 keeps it) and the file, then accepts.
DialogScript::Step Choose(std::string path, int filter = 0) {
  return [path, filter](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr) << w->metaObject()->className();
    if (filter > 0) dialog->selectNameFilter(dialog->nameFilters().at(filter - 1));
    // Typed into the name field, as a user would, once the dialog's folder scan (which selects
    // the proposed name when it finishes) has had time to settle.
    QPointer<QFileDialog> guarded(dialog);
    auto fired = std::make_shared<bool>(false);
    auto fire = [guarded, path, fired] {
      if (*fired || !guarded) return;
      *fired = true;
      auto* name = guarded->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(path));
      QMetaObject::invokeMethod(guarded, "accept", Qt::DirectConnection);
    };
    if (auto* model = dialog->findChild<QFileSystemModel*>())
      QObject::connect(model, &QFileSystemModel::directoryLoaded, dialog,
                       [fire] { QTimer::singleShot(50, fire); });
    QTimer::singleShot(1500, dialog, fire);
  };
}

// The viewer's parts assembled as the program does, over a private settings file.
struct Viewer {
  explicit Viewer(const std::string& ini)
      : backend("Settings", ini),
        settings(backend),
        recentBackend(std::string(kRecentFileGroup), ini),
        recent(recentBackend),
        files(state, patternList(&settings)),
        listForView(files),
        window(settings),
        view(ViewContext{state, settings, qtPorts.ports, window, listForView, nullptr}),
        fileHost(window, view, qtPorts.ports.desktop),
        fileOps{state, settings, qtPorts.ports, fileHost, files, recent, "", "about text"} {
    InstallMetadataReader(state);
    recent.Load();
    qtPorts.Bind(&window, window.viewWidget().viewport(), &window);
    router = MakeCommandRouter(
        FrameContext{state, settings, qtPorts.ports, view, files, window, &fileOps});
    window.Attach(*router, view);
    fileHost.InstallRecentMenu(*window.actions(), recent, *router);
    window.resize(800, 600);
    window.show();
  }
  // Runs a command as its key or menu item does.
  void Run(uint16_t id) { window.actions()->Trigger(id); }
  void Open(const std::string& path) { router->navigation().OpenChosenFile(path); }
  std::string Position() const { return window.PaneText(kPanePosition).toStdString(); }

  ViewerState state;
  QSettingsBackend backend;
  SettingsStore settings;
  QSettingsBackend recentBackend;
  RecentFileList recent;
  QtPorts qtPorts;
  FileList files;
  FileListForView listForView;
  MainWindow window;
  CImgViewerView view;
  QtFileHost fileHost;
  FileContext fileOps;
  std::unique_ptr<CommandRouter> router;
};

class FileWindow : public ::testing::Test {
 protected:
  FileWindow() {
    App();
    // The trash lives in the data folder, which must exist for it to be made there.
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").c_str(), 1);
    ::mkdir((home.path() + "/data").c_str(), 0700);
    ResetFileFiltersForTesting(nullptr);
  }
  std::string Png(const std::string& name, int w = 8, int h = 6, uint32_t argb = 0xFF336699) {
    const std::string path = dir.file(name);
    const ImageBuffer img = test::SolidPicture(w, h, argb);
    EXPECT_EQ(SavePng(img.data(), w, h, 100, path.c_str()), nullptr);
    return path;
  }
  std::string Name(const Viewer& v) const {
    return v.state.currentPath.substr(v.state.currentPath.rfind('/') + 1);
  }
  test::TempDir dir;
  test::TempDir home;
  std::string ini = home.file("Quill Pix.conf");
};

TEST_F(FileWindow, SteppingOverAFolderThatChanges) {
  Png("a.png");
  Png("b.png");
  Png("c.png");
  Viewer v(ini);
  v.Open(dir.file("a.png"));
  v.Run(kCmdNextFile);
  EXPECT_EQ(Name(v), "b.png");
  EXPECT_EQ(v.Position(), "2/3");
  ::unlink(dir.file("c.png").c_str());
  v.Run(kCmdNextFile);  // c is gone: wraps to a
  EXPECT_EQ(Name(v), "a.png");
  Png("d.png");
  v.Run(kCmdRefreshFileList);
  v.Run(kCmdPreviousFile);  // wraps to the new last file
  EXPECT_EQ(Name(v), "d.png");
  EXPECT_EQ(v.Position(), "3/3");
  EXPECT_EQ(v.window.PaneText(kPaneDimensions).toStdString(), "8 x 6");

  // A list file from the Open dialog: its entries, not the folder's.
  test::WriteBytes(dir.file("pick.lst"), {'d', '.', 'p', 'n', 'g', '\n', 'b', '.', 'p', 'n', 'g', '\n'});
  DialogScript script({Choose(dir.file("pick.lst"))});
  v.Run(kCmdFileOpen);
  EXPECT_TRUE(script.done());
  EXPECT_EQ(Name(v), "b.png");
  v.Run(kCmdNextFile);
  EXPECT_EQ(Name(v), "d.png");
  EXPECT_EQ(v.Position(), "2/2");
}

TEST_F(FileWindow, RecentFilesAcrossRestarts) {
  const std::string a = Png("a.png"), b = Png("b & c.png");
  {
    Viewer v(ini);
    v.Open(a);
    v.Open(b);
  }
  Viewer v(ini);
  QAction* placeholder = v.window.actions()->action(kCmdRecentFirst);
  ASSERT_NE(placeholder, nullptr);
  QMenu* menu = nullptr;
  for (QObject* o : placeholder->associatedObjects())
    if ((menu = qobject_cast<QMenu*>(o)) != nullptr) break;
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  QStringList texts;
  QAction* second = nullptr;
  for (QAction* act : menu->actions())
    if (act->text().startsWith(QLatin1Char('&')) && act->text().at(1).isDigit()) {
      texts << act->text();
      if (act->text().startsWith(QStringLiteral("&2"))) second = act;
    }
  ASSERT_EQ(texts.size(), 2);
  EXPECT_TRUE(texts[0].endsWith(QStringLiteral("b && c.png"))) << texts[0].toStdString();
  EXPECT_FALSE(placeholder->isVisible());
  ASSERT_NE(second, nullptr);
  second->trigger();
  EXPECT_EQ(v.state.currentPath, a);
  // Clear Recent Files empties the list and the file.
  v.Run(kCmdClearRecentFiles);
  Viewer again(ini);
  EXPECT_TRUE(again.recent.entries().empty());
}

TEST_F(FileWindow, RenameCopyMoveAndDeleteWithTheirDialogs) {
  const std::string a = Png("a.png"), b = Png("b.png", 4, 4);
  Viewer v(ini);
  v.Open(a);

  // Rename onto an existing name: refused, the dialog stays; then a fresh name.
  std::vector<std::string> seen;
  {
    DialogScript script({
        [](QWidget* w) {
          auto* edit = w->findChild<QLineEdit*>(QStringLiteral("renameEdit"));
          ASSERT_NE(edit, nullptr);
          EXPECT_EQ(edit->text().toStdString(), "a.png");
          edit->setText(QStringLiteral("b"));
          QMetaObject::invokeMethod(w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                                    "click", Qt::QueuedConnection);
        },
        Answer("File could not be renamed", QMessageBox::Ok, &seen),
        [](QWidget* w) {
          auto* edit = w->findChild<QLineEdit*>(QStringLiteral("renameEdit"));
          ASSERT_NE(edit, nullptr);
          edit->setText(QStringLiteral("renamed"));
          QMetaObject::invokeMethod(w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                                    "click", Qt::QueuedConnection);
        },
    });
    v.Run(4073);
    EXPECT_TRUE(script.done());
  }
  const std::string renamed = dir.file("renamed.png");
  EXPECT_EQ(v.state.currentPath, renamed);
  EXPECT_TRUE(PathExists(renamed));
  EXPECT_FALSE(PathExists(a));
  EXPECT_EQ(test::ReadBytes(b).size(), test::ReadBytes(dir.file("b.png")).size());

  // Copy onto b: asked, answered No, then Yes.
  const auto original = test::ReadBytes(renamed);
  {
    DialogScript script({Choose(b), Answer("Overwrite existing file?", QMessageBox::No)});
    v.Run(4125);
    EXPECT_TRUE(script.done());
    EXPECT_NE(test::ReadBytes(b), original);
  }
  {
    DialogScript script({Choose(b), Answer("Overwrite existing file?", QMessageBox::Yes)});
    v.Run(4125);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(test::ReadBytes(b), original);
  }
  // Move into a new name: the source goes, the view keeps the old path.
  {
    DialogScript script({Choose(dir.file("moved.png"))});
    v.Run(4126);
    EXPECT_TRUE(script.done());
  }
  EXPECT_FALSE(PathExists(renamed));
  EXPECT_EQ(test::ReadBytes(dir.file("moved.png")), original);
  EXPECT_EQ(v.state.currentPath, renamed);

  // Delete for good: asked, Yes.
  v.Open(b);
  {
    DialogScript script({Answer("Are you sure you want to delete 'b.png'?", QMessageBox::Yes)});
    v.Run(4041);
    EXPECT_TRUE(script.done());
  }
  EXPECT_FALSE(PathExists(b));
}

TEST_F(FileWindow, DeleteToTheTrashLeavesATrashInfo) {
  const std::string a = Png("trash me.png");
  Viewer v(ini);
  v.settings.WriteText("UseRecycleBin", "true");
  v.Open(a);
  {
    DialogScript script({Answer("Are you sure you want to delete 'trash me.png' to the recycle bin?",
                                QMessageBox::Yes)});
    v.Run(4041);
    EXPECT_TRUE(script.done());
  }
  EXPECT_FALSE(PathExists(a));
  const std::string trash = home.path() + "/data/Trash";
  EXPECT_TRUE(PathExists(trash + "/files/trash me.png"));
  const auto info = test::ReadBytes(trash + "/info/trash me.png.trashinfo");
  const std::string text(info.begin(), info.end());
  EXPECT_NE(text.find("[Trash Info]"), std::string::npos);
  EXPECT_NE(text.find("Path=" + TrashInfoEscape(a) + "\n"), std::string::npos);
  EXPECT_NE(text.find("%20me.png"), std::string::npos);
  EXPECT_NE(text.find("DeletionDate="), std::string::npos);

  // A second file of the same name gets a name of its own in the trash.
  const std::string again = Png("trash me.png");
  v.Open(again);
  {
    DialogScript second({Answer("Are you sure you want to delete 'trash me.png' to the recycle bin?",
                                QMessageBox::Yes)});
    v.Run(4041);
    EXPECT_TRUE(second.done());
  }
  EXPECT_FALSE(PathExists(again));
  EXPECT_TRUE(PathExists(trash + "/files/trash me.2.png"));
  EXPECT_TRUE(PathExists(trash + "/info/trash me.2.png.trashinfo"));
}

// Runs the program's Delete with the trash on and answers Yes.
void DeleteToTrash(Viewer& v, const std::string& path) {
  v.Open(path);
  DialogScript script({Answer("Are you sure you want to delete '" + FileNameOf(path) +
                                  "' to the recycle bin?",
                              QMessageBox::Yes)});
  v.Run(4041);
  EXPECT_TRUE(script.done());
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(FileWindow, TheTrashMakesTheFoldersItNeeds) {
  // No data folder yet: the trash and its parents are made (mode 0700), and nothing is left in
  // the working folder.
  const std::string data = home.path() + "/fresh/share";
  test::ScopedEnv env("XDG_DATA_HOME", data);
  test::TempDir work;
  const std::string before = std::filesystem::current_path();
  ASSERT_EQ(::chdir(work.path().c_str()), 0);
  Viewer v(ini);
  v.settings.WriteText("UseRecycleBin", "true");
  const std::string a = Png("a.png");
  DeleteToTrash(v, a);
  ASSERT_EQ(::chdir(before.c_str()), 0);
  EXPECT_FALSE(PathExists(a));
  EXPECT_TRUE(PathExists(data + "/Trash/files/a.png"));
  EXPECT_TRUE(PathExists(data + "/Trash/info/a.png.trashinfo"));
  for (const char* sub : {"/..", "", "/Trash", "/Trash/files", "/Trash/info"})
    EXPECT_EQ(ModeOf(data + sub), 0700u) << sub;
  EXPECT_FALSE(PathExists(work.file("files")));
  EXPECT_FALSE(PathExists(work.file("info")));
}

TEST_F(FileWindow, AFileOnAnotherFileSystemGoesToTheTrashOfThatMount) {
  const std::string mnt = dir.file("mnt");
  ASSERT_EQ(::mkdir(mnt.c_str(), 0755), 0);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{mnt};
  Viewer v(ini);
  v.settings.WriteText("UseRecycleBin", "true");
  const std::string a = Png("mnt/far away.png");
  DeleteToTrash(v, a);
  EXPECT_FALSE(PathExists(a));
  const std::string trash = mnt + "/.Trash-" + std::to_string(::geteuid());
  EXPECT_TRUE(PathExists(trash + "/files/far away.png"));
  EXPECT_EQ(ModeOf(trash), 0700u);
  const auto info = test::ReadBytes(trash + "/info/far away.png.trashinfo");
  const std::string text(info.begin(), info.end());
  // Inside a mount's own trash the path is relative to the top of the mount.
  EXPECT_NE(text.find("\nPath=far%20away.png\n"), std::string::npos) << text;
  // The home trash (another file system) was not used.
  EXPECT_FALSE(PathExists(home.path() + "/data/Trash/files/far away.png"));
}

TEST_F(FileWindow, SaveAsToEveryWritableFormatAndBack) {
  const std::string src = dir.file("src.png");
  const ImageBuffer picture = test::RandomPicture(64, 48, 9);
  ASSERT_EQ(SavePng(picture.data(), 64, 48, 100, src.c_str()), nullptr);
  Viewer v(ini);
  v.Open(src);
  const std::vector<std::string> filters =
      [&] {
        std::vector<std::string> out;
        for (const QString& f : QtNameFilters(saveFilter(&v.settings))) out.push_back(f.toStdString());
        return out;
      }();
  ASSERT_GE(filters.size(), 6u);
  for (size_t i = 0; i < filters.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    const std::string stem = dir.file("out" + std::to_string(index));
    DialogScript script({Choose(stem, index)});
    v.Run(57604);
    ASSERT_TRUE(script.done()) << filters[i] << " "
                               << (script.unexpected().empty() ? "" : script.unexpected()[0]);
    const std::string saved = stem + DefaultSaveExtensionIn(saveFilter(&v.settings), index);
    ASSERT_TRUE(PathExists(saved)) << filters[i] << " " << saved << " recent: "
                                   << (v.recent.entries().empty() ? "" : v.recent.entries()[0]);
    EXPECT_EQ(v.settings.ReadNumber("SaveFilterIndex"), index);
    EXPECT_EQ(v.recent.entries().front(), saved);
    ViewerState s;
    LoadContext load{s, &v.settings, nullptr};
    auto back = LoadPictureFile(saved, load);
    ASSERT_TRUE(back) << saved;
    EXPECT_EQ(back->width(), 64) << saved;
    EXPECT_EQ(back->height(), 48) << saved;
    // The lossless formats give the picture back exactly.
    const std::string ext = ExtensionOf(saved);
    if (index == 2 || ext == ".png" || ext == ".qoi" || ext == ".bgra" || ext == ".bmp" ||
        ext == ".tga" || ext == ".tif") {
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
          ASSERT_EQ(test::PixelAt(*back, x, y) | 0xFF000000u, test::PixelAt(picture, x, y))
              << saved << " " << x << "," << y;
    }
  }
}

TEST_F(FileWindow, PropertiesBoxEqualsTheCommandLine) {
  const std::string path = dir.file("p.jpg");
  ASSERT_TRUE(test::WriteJpeg(path, test::RandomPicture(20, 12, 3), 6));
  Viewer v(ini);
  v.Open(path);
  std::string shown, shownPath;
  bool mapVisible = true;
  DialogScript script({[&](QWidget* w) {
    auto* text = w->findChild<QPlainTextEdit*>(QStringLiteral("propertiesText"));
    auto* p = w->findChild<QLineEdit*>(QStringLiteral("propertiesPath"));
    auto* map = w->findChild<QPushButton*>(QStringLiteral("mapButton"));
    ASSERT_TRUE(text && p && map);
    shown = text->toPlainText().toStdString();
    shownPath = p->text().toStdString();
    mapVisible = !map->isHidden();
    QMetaObject::invokeMethod(w->findChild<QPushButton*>(QStringLiteral("closeButton")), "click",
                              Qt::QueuedConnection);
  }});
  v.Run(4118);
  ASSERT_TRUE(script.done());
  EXPECT_EQ(shownPath, path);
  EXPECT_FALSE(mapVisible);
  const std::string out = dir.file("props.txt");
  ASSERT_EQ(test::RunShell(test::ShellQuote(test::BinDir() + "/quillpix") + " --properties " +
                           test::ShellQuote(path) + " > " + test::ShellQuote(out)),
            0);
  const auto bytes = test::ReadBytes(out);
  std::string cli(bytes.begin(), bytes.end());
  EXPECT_EQ(shown, cli);
  EXPECT_NE(shown.find("JPEG Colour Space: YCbCr\n"), std::string::npos);
}

TEST_F(FileWindow, LosslessRotationFromTheMenuEqualsTheCommandLine) {
  const std::string menu = dir.file("menu.jpg"), cli = dir.file("cli.jpg");
  ASSERT_TRUE(test::WriteJpeg(menu, test::RandomPicture(37, 29, 4), 6));
  ASSERT_TRUE(test::WriteJpeg(cli, test::RandomPicture(37, 29, 4), 6));
  ASSERT_EQ(test::ReadBytes(menu), test::ReadBytes(cli));
  Viewer v(ini);
  v.Open(menu);
  v.Run(4055);  // Rotate Automatic: orientation 6 turns by 90 degrees
  ASSERT_EQ(test::RunShell(test::ShellQuote(test::BinDir() + "/quillpix") + " -autorotate " +
                           test::ShellQuote(cli)),
            0);
  EXPECT_EQ(test::ReadBytes(menu), test::ReadBytes(cli));
  EXPECT_NE(test::ReadBytes(menu).size(), 0u);
  // The view reloaded the rotated file.
  ViewerState s;
  LoadContext load{s, &v.settings, nullptr};
  auto rotated = LoadPictureFile(menu, load);
  ASSERT_TRUE(rotated);
  EXPECT_LT(rotated->width(), rotated->height());
  EXPECT_EQ(v.window.PaneText(kPaneDimensions).toStdString(),
            std::to_string(rotated->width()) + " x " + std::to_string(rotated->height()));
}

}  // namespace
}  // namespace qp

#include "frame/external_apps.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "frame/file_operations.h"
#include "support/file_fixture.h"

namespace qp {
namespace {

using test::FileFixture;

TEST(ExternalSlots, IdsAndMenuTexts) {
  EXPECT_EQ(ExternalSlotOf(4061), 1);
  EXPECT_EQ(ExternalSlotOf(4069), 9);
  EXPECT_EQ(ExternalSlotOf(4080), 10);
  EXPECT_EQ(ExternalSlotOf(4089), 19);
  EXPECT_FALSE(ExternalSlotOf(4070));
  EXPECT_FALSE(ExternalSlotOf(4090));
  for (int n = 1; n <= kExternalSlots; ++n) EXPECT_EQ(ExternalSlotOf(ExternalCommandOf(n)), n);

  FileFixture f;
  struct Case {
    int slot;
    const char* action;
    const char* title;
    bool enabled;
    const char* text;
  } cases[] = {
      {3, "", "Ignored", false, "External 3\tCtrl 3"},
      {4, "gimp", "", true, "External 4\tCtrl 4"},
      {4, "gimp", "Editor", true, "Editor\tCtrl 4"},
      {12, "gimp", "", true, "External 12"},
      {12, "gimp", "Viewer", true, "Viewer\tCtrl 12"},
  };
  for (const Case& c : cases) {
    f.settings.WriteText("External" + std::to_string(c.slot), c.action);
    f.settings.WriteText("ExternalTitle" + std::to_string(c.slot), c.title);
    const SlotState s = QueryExternalSlot(f.ctx, c.slot);
    EXPECT_EQ(s.enabled, c.enabled) << c.text;
    EXPECT_EQ(s.text, c.text);
  }
}

TEST(ExternalSlots, ProgramsFoldersAndTheirArguments) {
  FileFixture f;
  const std::string photo = f.file("my photo.jpg");
  test::WriteBytes(photo, {1});
  auto run = [&](const std::string& action) {
    f.settings.WriteText("External1", action);
    f.fakes.desktop.started.clear();
    RunExternal(f.ctx, 1);
  };
  run("gimp");  // no file: no argument
  ASSERT_EQ(f.fakes.desktop.started.size(), 1u);
  EXPECT_TRUE(f.fakes.desktop.started[0].second.empty());

  f.state.currentPath = photo;
  run("gimp");  // the path is one argument, blanks and all
  EXPECT_EQ(f.fakes.desktop.started[0].second, std::vector<std::string>{photo});
  run("copy " + f.file("x"));  // lower case: a program name, started (and failing) silently
  EXPECT_EQ(f.fakes.desktop.started[0].first, "copy " + f.file("x"));
  run("COPY ");  // nothing after the prefix
  EXPECT_TRUE(f.fakes.desktop.started.empty());
  run("COPY " + f.file("out/deep"));
  EXPECT_TRUE(PathExists(f.file("out/deep/my photo.jpg")));
  EXPECT_TRUE(PathExists(photo));
  run("MOVE " + f.file("moved"));
  EXPECT_TRUE(PathExists(f.file("moved/my photo.jpg")));
  EXPECT_FALSE(PathExists(photo));

  f.state.currentPath = "Clipboard1";
  run("gimp");
  EXPECT_TRUE(f.fakes.desktop.started[0].second.empty());
  f.state.currentPath.clear();
  run("COPY " + f.file("never"));  // no file: nothing
  EXPECT_FALSE(PathExists(f.file("never")));
  EXPECT_TRUE(f.messages().empty());
}

TEST(ExternalSlots, SiblingProgramsBesideTheExecutable) {
  FileFixture f;
  f.state.currentPath = f.file("a b.png");
  StartSettingsProgram(f.ctx);
  StartBatchProgram(f.ctx);
  EXPECT_EQ(f.messages(), (std::vector<std::string>{"Could not launch QuillpixSettings",
                                                    "Could not launch QuillpixBatch"}));
  EXPECT_TRUE(f.fakes.desktop.started.empty());
  test::WriteBytes(f.file("QuillpixSettings"), {0});
  test::WriteBytes(f.file("QuillpixBatch"), {0});
  StartSettingsProgram(f.ctx);
  StartBatchProgram(f.ctx);
  ASSERT_EQ(f.fakes.desktop.started.size(), 2u);
  EXPECT_EQ(f.fakes.desktop.started[0].first, f.file("QuillpixSettings"));
  EXPECT_TRUE(f.fakes.desktop.started[0].second.empty());
  EXPECT_EQ(f.fakes.desktop.started[1].second, std::vector<std::string>{f.file("a b.png")});
}

}  // namespace
}  // namespace qp

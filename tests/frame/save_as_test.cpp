#include "frame/save_as.h"

#include <gtest/gtest.h>

#include <cstring>

#include "codecs/load_dispatch.h"
#include "frame/file_operations.h"
#include "support/file_fixture.h"

namespace qp {
namespace {

using test::FileFixture;

constexpr const char* kFilters =
    "Google Webp (*.webp)|*.webp|Google Lossless Webp (*.webp)|*.webp|Portable Network "
    "Graphics (*.png)|*.png||";

TEST(SaveAs, NameCompletion) {
  struct Case {
    const char* typed;
    int index;
    const char* saved;
  } cases[] = {
      {"/d/photo", 3, "/d/photo.png"},
      {"/d/photo.xyz", 3, "/d/photo.xyz.png"},
      {"/d/photo.WEBP", 3, "/d/photo.WEBP"},  // a listed extension wins over the filter
      {"/d/photo", 9, "/d/photo.webp"},       // no such filter
      {"/d.x/photo", 1, "/d.x/photo.webp"},   // a dot in a folder is not an extension
  };
  for (const Case& c : cases) EXPECT_EQ(CompleteSaveName(c.typed, c.index, kFilters), c.saved);
}

struct SaveFixture : FileFixture {
  ImageBuffer picture = test::RandomPicture(40, 30, 5);
  SaveAsOutcome Save(const std::string& typed, int32_t index, bool sourceFolder = false) {
    fakes.fileDialogs.answers.push_back(FileDialogResult{{typed}, index});
    return SaveAsCommand(ctx, picture, false, sourceFolder);
  }
};

TEST(SaveAs, DialogFilterIndexAndRecentList) {
  SaveFixture f;
  f.state.currentPath = f.file("shot.jpg");
  f.settings.WriteNumber("SaveFilterIndex", 5);
  EXPECT_EQ(f.Save(f.file("out"), 5, true), SaveAsOutcome::Saved);
  const FileDialogRequest& r = f.fakes.fileDialogs.requests[0];
  EXPECT_EQ(r.fileName, "shot");
  EXPECT_EQ(r.folder, f.dir.path());
  EXPECT_EQ(r.filterIndex, 5);
  EXPECT_EQ(r.filter, saveFilter(&f.settings));
  EXPECT_TRUE(PathExists(f.file("out.png")));  // the fifth built-in filter is PNG
  EXPECT_EQ(f.recent.entries(), std::vector<std::string>{f.file("out.png")});
  EXPECT_EQ(f.Save(f.file("next"), 2), SaveAsOutcome::Saved);
  EXPECT_EQ(f.settings.ReadNumber("SaveFilterIndex"), 2);
  EXPECT_TRUE(f.fakes.fileDialogs.requests[1].folder.empty());
  // Filter 2 is lossless WebP: the picture comes back exactly.
  ViewerState s;
  LoadContext ctx{s, &f.settings, nullptr};
  auto back = LoadPictureFile(f.file("next.webp"), ctx);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->width(), 40);
  EXPECT_EQ(0, std::memcmp(back->data(), f.picture.data(), 40 * 30 * 4));
  EXPECT_EQ(f.fakes.cursor.waitDepth, 0);
  EXPECT_TRUE(f.messages().empty());
}

TEST(SaveAs, OverwriteQuestionKeepsTheOldFileOnNo) {
  SaveFixture f;
  test::WriteBytes(f.file("old.png"), {1, 2, 3});
  f.fakes.messages.answers.push_back(MessageAnswer::No);
  EXPECT_EQ(f.Save(f.file("old.png"), 1), SaveAsOutcome::Declined);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"Overwrite existing file?"});
  EXPECT_EQ(test::ReadBytes(f.file("old.png")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(f.Save(f.file("old.png"), 1), SaveAsOutcome::Saved);  // the default answer is Yes
  EXPECT_GT(test::ReadBytes(f.file("old.png")).size(), 3u);
}

TEST(SaveAs, IconsUpTo255) {
  SaveFixture f;
  f.picture = test::RandomPicture(256, 10, 1);
  EXPECT_EQ(f.Save(f.file("big.ico"), 1), SaveAsOutcome::IconTooLarge);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"Can not save icons bigger than 255x255 pixels"});
  EXPECT_FALSE(PathExists(f.file("big.ico")));
  EXPECT_TRUE(f.recent.entries().empty());
  f.picture = test::RandomPicture(255, 255, 1);
  EXPECT_EQ(f.Save(f.file("big.ico"), 1), SaveAsOutcome::Saved);
}

TEST(SaveAs, AFailedSaveKeepsTheOldFile) {
  SaveFixture f;
  // A folder in the place of the target: the write fails, nothing is lost or left behind.
  ASSERT_TRUE(createFolderChain(f.file("x.png")));
  EXPECT_EQ(f.Save(f.file("x.png"), 1), SaveAsOutcome::Failed);
  EXPECT_EQ(f.fakes.messages.shown.back().icon, MessageIcon::Error);
  EXPECT_TRUE(f.recent.entries().empty());
  CSrchDir scan;
  EXPECT_EQ(scan.search(f.dir.path() + "/", "*.png"), 0);
}

}  // namespace
}  // namespace qp

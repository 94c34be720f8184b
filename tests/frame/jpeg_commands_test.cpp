#include "frame/jpeg_commands.h"

#include <gtest/gtest.h>

#include "frame/file_operations.h"
#include "jpegxform/lossless.h"
#include "metadata/exif.h"
#include "support/file_fixture.h"
#include "support/jpeg_builder.h"

namespace qp {
namespace {

using test::FileFixture;
using test::ReadBytes;

struct JpegFixture : FileFixture {
  std::string photo = file("photo.JPEG");
  explicit JpegFixture(std::optional<uint16_t> orientation = std::nullopt) {
    EXPECT_TRUE(test::WriteJpeg(photo, test::RandomPicture(37, 29, 3), orientation));
    state.currentPath = photo;
  }
};

TEST(JpegMenu, TransformsMatchTheCommandLineAndReload) {
  for (uint16_t id : {4050, 4051, 4052, 4053, 4057, 4058}) {
    JpegFixture f;
    const std::string expected = f.file("expected.jpg");
    ASSERT_EQ(losslessTransform(f.photo, expected, TransformArguments(*TransformCodeOf(id))),
              kTransformOk);
    f.state.paused = 1;
    f.state.fullScreen = 1;
    EXPECT_TRUE(ExecuteJpegTransform(f.ctx, id));
    EXPECT_EQ(ReadBytes(f.photo), ReadBytes(expected)) << id;
    EXPECT_EQ(f.viewCommands.back().first, 4025);
    EXPECT_EQ(f.state.paused, 0);
    EXPECT_EQ(f.state.zoom, -1.0f);
    EXPECT_TRUE(f.messages().empty());
  }
  EXPECT_FALSE(TransformCodeOf(4054));
}

TEST(JpegMenu, FailuresAndWrongNames) {
  FileFixture f;
  f.state.currentPath = f.file("broken.jpg");
  test::WriteBytes(f.state.currentPath, {0xFF, 0xD8, 0xFF, 0xE0, 0, 2});
  JpegTransformCommand(f.ctx, 90);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"Could not perform transformation"});
  EXPECT_EQ(ReadBytes(f.state.currentPath).size(), 6u);
  f.state.currentPath = f.file("photo.jpe");  // not a JPEG by name: nothing at all
  JpegTransformCommand(f.ctx, 90);
  EXPECT_EQ(f.messages().size(), 1u);
  JpegGrayscaleCommand(f.ctx);
  EXPECT_EQ(f.messages().back(), "Not a valid jpeg file");
}

TEST(JpegMenu, RotateAutomaticByOrientation) {
  for (uint16_t orientation : {2, 3, 6, 8}) {
    JpegFixture f(orientation);
    const auto before = ReadBytes(f.photo);
    const int angle = AutoRotateAngle(orientation);
    const std::string expected = f.file("expected.jpg");
    if (angle != 0) {
      ASSERT_EQ(losslessTransform(f.photo, expected, TransformArguments(angle)), kTransformOk);
    }
    EXPECT_TRUE(ExecuteJpegTransform(f.ctx, kCmdJpegRotateAuto));
    if (angle == 0) {
      EXPECT_EQ(ReadBytes(f.photo), before) << orientation;
      continue;
    }
    // The plain rotation's bytes, with the orientation entry set to 1.
    std::vector<uint8_t> upright = ReadBytes(expected);
    ASSERT_EQ(ResetOrientation(upright), 1u);
    EXPECT_EQ(ReadBytes(f.photo), upright) << orientation;
  }
}

TEST(JpegMenu, GrayscaleAndCropIntoAChosenFile) {
  JpegFixture f;
  const std::string expected = f.file("expected.jpg");
  ASSERT_EQ(losslessTransform(f.photo, expected, GrayArguments()), kTransformOk);
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{f.file("grey.jpg")}, 1});
  JpegGrayscaleCommand(f.ctx);
  const FileDialogRequest& r = f.fakes.fileDialogs.requests[0];
  EXPECT_EQ(r.fileName, "photo_gray.jpg");
  EXPECT_EQ(r.folder, f.dir.path());
  EXPECT_EQ(r.filter, "Independent JPEG Group (*.jpg)|*.jpg||");
  EXPECT_EQ(ReadBytes(f.file("grey.jpg")), ReadBytes(expected));
  EXPECT_TRUE(f.viewCommands.empty());  // no reload

  // The crop in place: the selection is clamped to the picture first.
  ASSERT_EQ(losslessTransform(f.photo, expected, CropArguments(17, 9, 20, 20)), kTransformOk);
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{f.photo}, 1});
  JpegLosslessCropCommand(f.ctx, ImageRect{20, 20, 100, 100}, 37, 29);
  EXPECT_EQ(f.fakes.fileDialogs.requests[1].fileName, "photo_crop.jpg");
  EXPECT_EQ(f.messages(), std::vector<std::string>{"Overwrite existing file?"});
  EXPECT_EQ(ReadBytes(f.photo), ReadBytes(expected));
  EXPECT_FALSE(PathExists(f.photo + "___crop___"));

  // No selection, or an empty one: nothing is asked.
  JpegLosslessCropCommand(f.ctx, std::nullopt, 37, 29);
  JpegLosslessCropCommand(f.ctx, ImageRect{40, 0, 50, 10}, 37, 29);
  EXPECT_EQ(f.fakes.fileDialogs.requests.size(), 2u);
  // The file rewritten in place is read again.
  EXPECT_EQ(f.viewCommands.back().first, 4025);
}

TEST(JpegMenu, CropOfAPictureShownUprightCutsTheSameStoredPixels) {
  // Stored 32 x 16 with orientation 6: shown 16 x 32, turned a quarter clockwise at load.
  FileFixture f;
  const std::string photo = f.file("turned.jpg");
  ASSERT_TRUE(test::WriteJpeg(photo, test::RandomPicture(32, 16, 5), 6));
  f.state.currentPath = photo;
  f.state.pictureOrientation = 6;
  // Shown columns 0-7, rows 8-23 are stored columns 8-23 (shown row = stored column), rows
  // 8-15 (the shown left edge is the stored bottom).
  const std::string expected = f.file("expected.jpg");
  ASSERT_EQ(losslessTransform(photo, expected, CropArguments(16, 8, 8, 8)), kTransformOk);
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{f.file("cut.jpg")}, 1});
  JpegLosslessCropCommand(f.ctx, ImageRect{0, 8, 8, 24}, 16, 32);
  EXPECT_EQ(ReadBytes(f.file("cut.jpg")), ReadBytes(expected));
  EXPECT_TRUE(f.viewCommands.empty());  // the current file did not change

  // Shown as stored (the setting was off at load): the selection is taken as it is.
  f.state.pictureOrientation = 1;
  ASSERT_EQ(losslessTransform(photo, expected, CropArguments(8, 8, 16, 8)), kTransformOk);
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{f.file("plain.jpg")}, 1});
  JpegLosslessCropCommand(f.ctx, ImageRect{16, 8, 24, 16}, 32, 16);
  EXPECT_EQ(ReadBytes(f.file("plain.jpg")), ReadBytes(expected));
}

}  // namespace
}  // namespace qp

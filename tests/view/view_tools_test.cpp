// The view's tool commands reach the tools with the picture on show.
#include <sys/stat.h>

#include "codecs/runtime_library.h"
#include "core/paths.h"
#include "support/view_fixture.h"
#include "tools/standins/standins.h"
#include "tools/tools.h"

namespace qp {
namespace {

struct NoDialogs final : ToolDialogPort {
  void ShowOcrResult(const CTesseractDlg&) override {}
  void ShowBarcodeResult(const CBarcodeDlg&) override {}
};

class ViewToolsTest : public test::ViewFixture {
 protected:
  NoDialogs dialogs;
  CImgViewerView toolView{
      ViewContext{state, settings, ports.ports, host, files, &system, &dialogs}};
};

TEST_F(ViewToolsTest, ExportAndOcrWorkOnThePictureShown) {
  const std::string path = WritePng("shown.png", 3, 2);
  toolView.OpenDocument(path);
  ASSERT_TRUE(toolView.currentImage());

  // The RIOT stand-in beside the test program records the call.
  RuntimeLibrary riot(ExecutableFolder() + "/libRiot.so");
  ASSERT_TRUE(riot);
  const RiotCall* call = riot.Symbol<const RiotCall* (*)()>("RiotStandInLastCall")();
  const int before = call->calls;
  EXPECT_EQ(toolView.Hook(kViewCommandMarker, 4072, 0), 1);
  ASSERT_EQ(call->calls, before + 1);
  EXPECT_EQ(call->bitmapSize, 64u);
  EXPECT_EQ(std::string(call->path), state.currentPath);

  settings.WriteText("TesseractPath", dir.file("no-such-program"));
  EXPECT_EQ(toolView.Hook(kViewCommandMarker, 4179, 0), 1);
  ASSERT_EQ(ports.messages.shown.size(), 1u);
  EXPECT_EQ(ports.messages.shown[0].text, kMsgTesseractNotFound);

  // A view without the result dialogs leaves the tools alone.
  EXPECT_EQ(view.Hook(kViewCommandMarker, 4179, 0), 1);
  EXPECT_EQ(ports.messages.shown.size(), 1u);
}

TEST_F(ViewToolsTest, OcrReadsTheSelectionOrTheWholePicture) {
  // A stand-in for tesseract keeps the picture it is given and answers with a line of text.
  const std::string seen = dir.file("seen.png");
  const std::string program = dir.file("tess.sh");
  const std::string script =
      "#!/bin/sh\ncp \"$1\" '" + seen + "'\nprintf 'text' > \"$2.txt\"\n";
  test::WriteBytes(program, std::vector<uint8_t>(script.begin(), script.end()));
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  settings.WriteText("TesseractPath", program);

  const ImageBuffer picture = test::RandomPicture(10, 6, 3);
  const std::string path = dir.file("text.png");
  ASSERT_EQ(SavePng(picture.data(), 10, 6, 100, path.c_str()), nullptr);
  toolView.OpenDocument(path);
  ASSERT_NE(state.zoom, 0.0f);

  struct Case {
    bool select;
    int32_t width, height, left, top;
  } cases[] = {{false, 10, 6, 0, 0}, {true, 4, 3, 2, 1}};
  for (const Case& c : cases) {
    if (c.select) {
      // Rows 2..4 and columns 3..6, counted from 1.
      ASSERT_TRUE(toolView.selection().SelectByNumbers(2, 3, 6, 4, 10, 6, state.zoom));
    }
    EXPECT_EQ(toolView.Hook(kViewCommandMarker, 4179, 0), 1);
    auto sent = LoadPng(seen).toOwned();
    ASSERT_TRUE(sent) << c.select;
    ASSERT_EQ(sent->width(), c.width);
    ASSERT_EQ(sent->height(), c.height);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x)
        EXPECT_EQ(test::PixelAt(*sent, x, y) & 0xFFFFFF,
                  test::PixelAt(picture, c.left + x, c.top + y) & 0xFFFFFF);
  }
  EXPECT_TRUE(ports.messages.shown.empty());
}

}  // namespace
}  // namespace qp

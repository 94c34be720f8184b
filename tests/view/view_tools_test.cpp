// The view's tool commands reach the tools with the picture on show.
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

}  // namespace
}  // namespace qp

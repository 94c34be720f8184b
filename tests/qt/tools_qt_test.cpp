// The external tools with the real window parts: a sentence drawn by Qt's painter and read back
// by the real tesseract, and the two result dialogs driven through their buttons.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstring>
#include <filesystem>

#include "frame/settings_store.h"
#include "qt/qt_test_app.h"
#include "qt/tool_dialogs.h"
#include "support/fake_ports.h"
#include "support/scoped_env.h"
#include "support/test_support.h"
#include "tools/tools.h"

namespace qp {
namespace {

using test::App;

ImageBuffer FromQImage(const QImage& source) {
  // ARGB32 is the BGRA byte order in memory on this little-endian machine.
  const QImage img = source.convertToFormat(QImage::Format_ARGB32);
  auto out = ImageBuffer::Allocate(img.width(), img.height());
  for (int y = 0; y < img.height(); ++y)
    std::memcpy(out->row(y), img.constScanLine(y), out->stride());
  return std::move(*out);
}

struct RecordingDialogs final : ToolDialogPort {
  std::vector<std::string> texts;
  void ShowOcrResult(const CTesseractDlg& d) override { texts.push_back(d.text()); }
  void ShowBarcodeResult(const CBarcodeDlg& d) override { texts.push_back(d.result()); }
};

TEST(ToolsQt, OcrReadsARenderedSentenceBack) {
  App();
  ToolComponents components;
  if (access(components.defaultTesseract.c_str(), X_OK) != 0)
    GTEST_SKIP() << "tesseract not installed";
  const std::string sentence = "The quick brown fox jumps over the lazy dog";
  QImage canvas(1200, 120, QImage::Format_ARGB32);
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    QFont font("DejaVu Sans");
    font.setPixelSize(40);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(canvas.rect().adjusted(20, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QString::fromStdString(sentence));
  }
  ImageBuffer picture = FromQImage(canvas);

  test::TempDir temp;
  test::ScopedEnv tmpTrace("TMP_TRACE", temp.path());
  test::FakePorts fake;
  MemorySettingsBackend backend;
  SettingsStore settings(backend);
  ViewerState state;
  RecordingDialogs dialogs;
  ToolContext ctx{state,
                  fake.ports,
                  dialogs,
                  settings,
                  [&] { return &picture; },
                  [] { return std::optional<PixelRect>(); }};
  PerformOcr(ctx);
  ASSERT_TRUE(fake.messages.shown.empty()) << fake.messages.shown[0].text;
  ASSERT_EQ(dialogs.texts.size(), 1u);
  std::string text = dialogs.texts[0];
  // tesseract ends the page with a line feed and a form feed (shown as a space).
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
  EXPECT_EQ(text, sentence);
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

// Runs `check` on the modal dialog once it is up, then closes it with its "&Close" button.
void WhenShown(const std::function<void(QWidget&)>& check) {
  QTimer::singleShot(0, [check] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    check(*dialog);
    dialog->findChild<QPushButton*>("close")->click();
  });
}

// The forms show the models' texts and their buttons reach the models' actions.
TEST(ToolsQt, ResultDialogsShowTheTextsAndWireTheButtons) {
  App();
  for (const bool link : {true, false}) {
    test::FakeClipboard clipboard;
    test::FakeDesktop desktop;
    CBarcodeDlg model(link ? "QR-Code:https://example.org/a:b" : "EAN-13:4006381333931", clipboard,
                      desktop);
    QtToolDialogs dialogs(nullptr);
    bool checked = false;
    WhenShown([&](QWidget& d) {
      EXPECT_EQ(d.findChild<QLineEdit*>("type")->text().toStdString(), model.type());
      EXPECT_EQ(d.findChild<QPlainTextEdit*>("text")->toPlainText().toStdString(), model.data());
      QPushButton* open = d.findChild<QPushButton*>("openLink");
      EXPECT_EQ(open->isVisible(), link);
      if (link) open->click();
      d.findChild<QPushButton*>("copy")->click();
      EXPECT_TRUE(d.findChild<QPushButton*>("close")->isDefault());
      checked = true;
    });
    dialogs.ShowBarcodeResult(model);
    EXPECT_TRUE(checked);
    EXPECT_EQ(desktop.urls.size(), link ? 1u : 0u);
    EXPECT_EQ(clipboard.text, model.data());
  }
  test::FakeClipboard clipboard;
  CTesseractDlg ocr("line one\nline two ", clipboard);
  QtToolDialogs dialogs(nullptr);
  WhenShown([&](QWidget& d) {
    EXPECT_EQ(d.findChild<QPlainTextEdit*>("text")->toPlainText().toStdString(), ocr.text());
    EXPECT_TRUE(d.findChild<QLineEdit*>("type")->text().isEmpty());
    d.findChild<QPushButton*>("copy")->click();
  });
  dialogs.ShowOcrResult(ocr);
  EXPECT_EQ(clipboard.text, ocr.text());
}

}  // namespace
}  // namespace qp

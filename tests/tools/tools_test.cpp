// The external-tool commands against real components: the tesseract program (a script that
// stands in for it where the test needs to see its arguments), libBarcode.so on zbar with codes
// made by qrencode and ImageMagick, and stand-ins for RIOT and for scripted barcode answers.
#include "tools/tools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "codecs/png.h"
#include "core/paths.h"
#include "frame/settings_store.h"
#include "support/fake_ports.h"
#include "support/scoped_env.h"
#include "support/test_support.h"
#include "tools/standins/standins.h"

namespace qp {
namespace {

using test::PixelAt;

struct FakeToolDialogs final : ToolDialogPort {
  std::vector<std::string> ocrTexts;
  std::vector<std::string> barcodeResults;
  std::function<void(const CTesseractDlg&)> onOcr;
  std::function<void(const CBarcodeDlg&)> onBarcode;
  void ShowOcrResult(const CTesseractDlg& d) override {
    ocrTexts.push_back(d.text());
    if (onOcr) onOcr(d);
  }
  void ShowBarcodeResult(const CBarcodeDlg& d) override {
    barcodeResults.push_back(d.result());
    if (onBarcode) onBarcode(d);
  }
};

size_t CountFiles(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

std::string TestsDir() {
  return ExecutableFolder();
}

// One command's surroundings: fake ports, real settings store, a private temporary folder.
struct ToolsTest : ::testing::Test {
  test::FakePorts fake;
  MemorySettingsBackend backend;
  SettingsStore settings{backend};
  ViewerState state;
  FakeToolDialogs dialogs;
  ImageBuffer picture = test::SolidPicture(8, 8, 0xFFFFFFFF);
  std::optional<PixelRect> selection;
  test::TempDir temp;  // the temporary folder the commands use; must end empty
  test::TempDir work;  // scripts and files of the test itself
  test::ScopedEnv tmpTrace{"TMP_TRACE", temp.path()};
  ToolContext ctx{state,
                  fake.ports,
                  dialogs,
                  settings,
                  [this] { return &picture; },
                  [this] { return selection; }};

  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : fake.messages.shown) out.push_back(m.text);
    return out;
  }
  // A shell script that stands in for tesseract.
  std::string Script(const std::string& body) {
    const std::string path = work.file("tess" + std::to_string(++scripts) + ".sh");
    const std::string text = "#!/bin/sh\n" + body;
    test::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    chmod(path.c_str(), 0755);
    return path;
  }
  int scripts = 0;
};

// --- OCR -----------------------------------------------------------------------------------

TEST_F(ToolsTest, OcrWithoutTheProgramSaysSoAndLeavesNoFile) {
  struct Case {
    const char* setting;
    const char* fallback;
  } cases[] = {{"", "/nonexistent/tesseract"},
               {"/nonexistent/tesseract", "/usr/bin/tesseract"},
               {"/tmp", "/usr/bin/tesseract"}};  // a folder is no program
  for (const Case& c : cases) {
    fake.messages.shown.clear();
    settings.WriteText("TesseractPath", c.setting);
    ctx.components.defaultTesseract = c.fallback;
    PerformOcr(ctx);
    EXPECT_EQ(Messages(), std::vector<std::string>{kMsgTesseractNotFound}) << c.setting;
    EXPECT_EQ(fake.messages.shown[0].icon, MessageIcon::None);
  }
  EXPECT_EQ(CountFiles(temp.path()), 0u);
  EXPECT_TRUE(dialogs.ocrTexts.empty());
  EXPECT_EQ(fake.cursor.waitShown, 0);
}

TEST_F(ToolsTest, OcrRunsTheProgramOnTheSelectionAndShowsItsText) {
  // The script keeps its arguments and the picture it was given, then answers with a text
  // that ends in a form feed.
  const std::string seen = work.file("seen");
  const std::string program = Script("printf '%s\\n' \"$@\" > '" + seen + ".args'\ncp \"$1\" '" +
                                     seen + ".png'\nprintf 'Hello\\nWorld\\f' > \"$2.txt\"\n");
  settings.WriteText("TesseractPath", program);
  picture =
      test::MakePicture(10, 6, [](int32_t x, int32_t y) { return 0xFF000000u | (x * 16 + y); });
  selection = PixelRect{2, 1, 6, 4};
  state.fullScreen = 1;
  state.hasView = true;
  std::vector<uint16_t> viewCommands;
  state.hooks.viewCommand = [&](uint16_t c, intptr_t) {
    viewCommands.push_back(c);
    if (c == kCmdToggleFullScreen) state.fullScreen = 0;
    return 1;
  };
  std::string copied;
  dialogs.onOcr = [&](const CTesseractDlg& d) {
    d.Copy();
    copied = fake.clipboard.text.value_or("");
  };

  PerformOcr(ctx);

  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(dialogs.ocrTexts, std::vector<std::string>{"Hello\nWorld "});
  EXPECT_EQ(copied, "Hello\nWorld ");
  EXPECT_EQ(viewCommands, (std::vector<uint16_t>{kCmdToggleFullScreen, kCmdRefresh}));
  EXPECT_EQ(fake.cursor.waitShown, 1);
  EXPECT_EQ(fake.cursor.waitDepth, 0);
  // Both temporary files are gone.
  EXPECT_EQ(CountFiles(temp.path()), 0u);

  // Arguments: the PNG, then the output base, both unique names in the temporary folder.
  std::ifstream args(seen + ".args");
  std::string png, base, extra;
  std::getline(args, png);
  std::getline(args, base);
  EXPECT_FALSE(std::getline(args, extra));
  EXPECT_EQ(FolderOf(png), temp.path());
  EXPECT_EQ(FileNameOf(png).substr(0, 4), "tess");
  EXPECT_TRUE(HasExtension(png, ".png"));
  EXPECT_EQ(FolderOf(base), temp.path());
  EXPECT_EQ(FileNameOf(base).substr(0, 4), "text");
  EXPECT_EQ(ExtensionOf(base), "");

  // Only the selected rectangle went to the program.
  auto sent = LoadPng(seen + ".png").toOwned();
  ASSERT_TRUE(sent);
  ASSERT_EQ(sent->width(), 4);
  ASSERT_EQ(sent->height(), 3);
  EXPECT_EQ(PixelAt(*sent, 0, 0) & 0xFFFFFF, PixelAt(picture, 2, 1) & 0xFFFFFF);
  EXPECT_EQ(PixelAt(*sent, 3, 2) & 0xFFFFFF, PixelAt(picture, 5, 3) & 0xFFFFFF);
}

TEST_F(ToolsTest, OcrOutcomesOfTheProgram) {
  struct Case {
    const char* name;
    const char* body;
    std::vector<std::string> messages;
    std::vector<std::string> texts;
  } cases[] = {
      {"fails", "exit 1\n", {kMsgTesseractFailed}, {}},
      {"killed", "kill -9 $$\n", {kMsgTesseractFailed}, {}},
      {"removes its output", "rm -f \"$2.txt\"\n", {kMsgTesseractFailed}, {}},
      {"finds nothing", "exit 0\n", {}, {""}},
      {"one line", "printf 'abc' > \"$2.txt\"\n", {}, {"abc"}},
      {"NUL inside", "printf 'ab\\000cd' > \"$2.txt\"\n", {}, {"ab"}},
  };
  for (const Case& c : cases) {
    fake.messages.shown.clear();
    dialogs.ocrTexts.clear();
    fake.clipboard.text = "untouched";
    dialogs.onOcr = [](const CTesseractDlg& d) { d.Copy(); };
    settings.WriteText("TesseractPath", Script(c.body));
    PerformOcr(ctx);
    EXPECT_EQ(Messages(), c.messages) << c.name;
    EXPECT_EQ(dialogs.ocrTexts, c.texts) << c.name;
    if (!c.texts.empty() && c.texts[0].empty()) {
      EXPECT_EQ(fake.clipboard.text, "untouched");
    }
    EXPECT_EQ(CountFiles(temp.path()), 0u) << c.name;
    EXPECT_EQ(fake.cursor.waitDepth, 0) << c.name;
  }
}

TEST_F(ToolsTest, OcrWithoutATemporaryFolderCannotWriteThePicture) {
  test::ScopedEnv gone("TMP_TRACE", temp.path() + "/missing");
  settings.WriteText("TesseractPath", Script("exit 0\n"));
  PerformOcr(ctx);
  EXPECT_EQ(Messages(), std::vector<std::string>{kMsgTesseractImage});
  EXPECT_EQ(fake.cursor.waitDepth, 0);
  EXPECT_TRUE(dialogs.ocrTexts.empty());
}

// --- Barcode -------------------------------------------------------------------------------

// EAN-13 bars as modules (1 black): start, six left digits in the parity the first digit
// picks, centre, six right digits, end.
std::string Ean13Modules(const std::string& digits) {
  static const char* kL[] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                             "0110001", "0101111", "0111011", "0110111", "0001011"};
  static const char* kG[] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                             "0111001", "0000101", "0010001", "0001001", "0010111"};
  static const char* kR[] = {"1110010", "1100110", "1101100", "1000010", "1011100",
                             "1001110", "1010000", "1000100", "1001000", "1110100"};
  static const char* kParity[] = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                  "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};
  const char* parity = kParity[digits[0] - '0'];
  std::string m = "101";
  for (int i = 1; i <= 6; ++i) m += (parity[i - 1] == 'L' ? kL : kG)[digits[i] - '0'];
  m += "01010";
  for (int i = 7; i <= 12; ++i) m += kR[digits[i] - '0'];
  return m + "101";
}

std::optional<ImageBuffer> LoadPicture(const std::string& path) {
  return LoadPng(path).toOwned();
}

struct BarcodeTest : ToolsTest {
  void SetUp() override {
    ctx.components.barcodeLibrary = test::BinDir() + "/libBarcode.so";
    if (!std::filesystem::exists(ctx.components.barcodeLibrary)) GTEST_SKIP() << "no libBarcode.so";
  }
  // A QR code of `text` from qrencode, optionally passed through ImageMagick's `extra`.
  std::optional<ImageBuffer> Qr(const std::string& text, const std::string& extra = "") {
    if (!test::HaveTool("qrencode") || !test::HaveTool("convert")) return std::nullopt;
    const std::string qr = work.file("qr.png");
    const std::string out = qr + ".out.png";
    if (test::RunShell("qrencode -s 4 -m 4 -o " + test::ShellQuote(qr) + " " +
                       test::ShellQuote(text)) != 0)
      return std::nullopt;
    test::RunShell("convert " + test::ShellQuote(qr) + " " + extra +
                   " -type TrueColor PNG24:" + test::ShellQuote(out));
    return LoadPicture(out);
  }
  std::string ReadOne() {
    dialogs.barcodeResults.clear();
    fake.messages.shown.clear();
    ReadBarcodeCommand(ctx);
    if (!dialogs.barcodeResults.empty()) return dialogs.barcodeResults[0];
    return fake.messages.shown.empty() ? "" : "message: " + fake.messages.shown[0].text;
  }
};

TEST_F(BarcodeTest, ReadsQrCodesAndEan13Exactly) {
  struct Case {
    const char* text;
    const char* extra;  // ImageMagick options applied to the code
  } cases[] = {
      {"https://example.org/a?b=c", ""},
      {"Plain text: with colons: kept", ""},
      // Scaled like a scan, so its edges hold the in-between levels the automatic threshold
      // needs: with only two levels, neither pure black nor white, the picture would turn
      // entirely black, as the "Black and White" command makes it.
      {"tinted", "-fill '#3050a0' -opaque black -fill '#f0e0c0' -opaque white -resize 150%"},
      {"light on dark", "-negate"},
  };
  for (const Case& c : cases) {
    auto qr = Qr(c.text, c.extra);
    if (!qr) GTEST_SKIP() << "qrencode or ImageMagick missing";
    picture = std::move(*qr);
    EXPECT_EQ(ReadOne(), std::string("QR-Code:") + c.text) << c.extra;
  }

  // EAN-13 bars drawn by ImageMagick: three pixels a module, ten modules of quiet zone.
  const std::string digits = "4006381333931";
  const std::string modules = Ean13Modules(digits);
  std::string draw;
  for (size_t i = 0; i < modules.size(); ++i) {
    if (modules[i] != '1') continue;
    const size_t x = 30 + i * 3;
    draw += " rectangle " + std::to_string(x) + ",10 " + std::to_string(x + 2) + ",90";
  }
  const std::string ean = work.file("ean.png");
  ASSERT_EQ(test::RunShell("convert -size " + std::to_string(modules.size() * 3 + 60) +
                           "x100 xc:'#fffff0' -fill '#101010' -draw '" + draw +
                           "' -blur 0x0.8 -type TrueColor PNG24:" + test::ShellQuote(ean)),
            0);
  auto bars = LoadPicture(ean);
  ASSERT_TRUE(bars);
  picture = std::move(*bars);
  EXPECT_EQ(ReadOne(), "EAN-13:" + digits);
}

TEST_F(BarcodeTest, LightOnDarkNeedsTheInvertedRetry) {
  auto qr = Qr("inverted", "-negate");
  if (!qr) GTEST_SKIP() << "qrencode or ImageMagick missing";
  // The library alone, given the black-and-white plane, finds nothing...
  RuntimeLibrary lib(ctx.components.barcodeLibrary);
  auto read = lib.Symbol<int (*)(int, int, const uint8_t*, int, char*)>("ReadBarcode");
  ASSERT_NE(read, nullptr);
  auto copy = qr->Clone();
  auto plane = BlackWhiteGreyPlane(*copy, false);
  char result[1024] = {};
  EXPECT_EQ(read(qr->width(), qr->height(), plane->data(), 1023, result), 0);
  // ...the command reads it on the second attempt.
  picture = std::move(*qr);
  EXPECT_EQ(ReadOne(), "QR-Code:inverted");
}

TEST_F(BarcodeTest, NothingFoundAndMissingLibraries) {
  picture = test::RandomPicture(64, 48, 7);
  EXPECT_EQ(ReadOne(), std::string("message: ") + kMsgNoBarcodes);
  EXPECT_EQ(fake.messages.shown[0].icon, MessageIcon::None);

  ctx.components.barcodeLibrary = TestsDir() + "/libMissing.so";
  EXPECT_EQ(ReadOne(), std::string("message: ") + kMsgBarcodeMissing);
  EXPECT_EQ(fake.messages.shown[0].icon, MessageIcon::Error);
  ctx.components.barcodeLibrary = TestsDir() + "/libRiotOld.so";
  EXPECT_EQ(ReadOne(), std::string("message: ") + kMsgBarcodeVersion);
  EXPECT_EQ(fake.messages.shown[0].icon, MessageIcon::Error);
}

// The scripted stand-in shows the exact calls.
struct ScriptedBarcodeTest : ToolsTest {
  RuntimeLibrary lib{TestsDir() + "/libBarcodeScript.so"};
  BarcodeStandIn* script = nullptr;
  void SetUp() override {
    ASSERT_TRUE(lib);
    script = lib.Symbol<BarcodeStandIn* (*)()>("BarcodeStandIn")();
    lib.Symbol<void (*)()>("BarcodeStandInReset")();
    ctx.components.barcodeLibrary = TestsDir() + "/libBarcodeScript.so";
  }
  void TearDown() override { lib.Symbol<void (*)()>("BarcodeStandInReset")(); }
  void Answer(std::initializer_list<int> answers, const std::string& text) {
    lib.Symbol<void (*)()>("BarcodeStandInReset")();
    int i = 0;
    for (int a : answers) script->answers[i++] = a;
    script->answerCount = i;
    std::snprintf(script->text, sizeof script->text, "%s", text.c_str());
    fake.messages.shown.clear();
    dialogs.barcodeResults.clear();
  }
};

TEST_F(ScriptedBarcodeTest, SecondCallOnlyAfterNothingFound) {
  // Left half black, right half white; the selection covers three columns of each.
  picture = test::MakePicture(10, 4,
                              [](int32_t x, int32_t) { return x < 5 ? 0xFF000000u : 0xFFFFFFFFu; });
  selection = PixelRect{2, 1, 8, 3};
  struct Case {
    std::initializer_list<int> answers;
    int calls;
    bool shown;
  } cases[] = {
      {{5}, 1, true}, {{0, 5}, 2, true}, {{0, 0}, 2, false}, {{-1}, 1, false}, {{0, -3}, 2, false}};
  for (const Case& c : cases) {
    Answer(c.answers, "EAN-8:1234");
    ReadBarcodeCommand(ctx);
    ASSERT_EQ(script->calls, c.calls);
    EXPECT_EQ(dialogs.barcodeResults.size(), c.shown ? 1u : 0u);
    if (!c.shown) {
      EXPECT_EQ(Messages(), std::vector<std::string>{kMsgNoBarcodes});
    }
    for (int i = 0; i < c.calls; ++i) {
      const BarcodeCall& call = script->call[i];
      EXPECT_EQ(call.width, 6);
      EXPECT_EQ(call.height, 2);
      EXPECT_EQ(call.capacity, 1023);
      // Black stays black, white white; the second call sees them turned round.
      const unsigned char dark = i == 0 ? 0 : 255;
      EXPECT_EQ(call.grey[0], dark);
      EXPECT_EQ(call.grey[2], dark);
      EXPECT_EQ(call.grey[3], 255 - dark);
      EXPECT_EQ(call.grey[11], 255 - dark);
    }
    EXPECT_EQ(script->call[0].resultFirstByte, 0);
  }
}

TEST_F(ScriptedBarcodeTest, AFullResultIsCutAtItsCapacity) {
  Answer({1}, "QR-Code:" + std::string(1500, 'x'));
  ReadBarcodeCommand(ctx);
  ASSERT_EQ(dialogs.barcodeResults.size(), 1u);
  EXPECT_EQ(dialogs.barcodeResults[0].size(), 1023u);
}

TEST(BarcodeDialog, SplitsAtTheFirstColonAndOffersLinks) {
  struct Case {
    const char* result;
    const char* type;
    const char* data;
    bool link;
    bool opens;
  } cases[] = {
      {"QR-Code:https://example.org/x", "QR-Code", "https://example.org/x", true, true},
      {"EAN-13:4006381333931", "EAN-13", "4006381333931", false, false},
      {"QR-Code:a:b:c", "QR-Code", "a:b:c", false, false},
      {"no colon", "", "", false, false},
      {"QR-Code:", "QR-Code", "", false, false},
      {"QR-Code:file:///etc/passwd", "QR-Code", "file:///etc/passwd", true, false},
      {"QR-Code:see http://x.org", "QR-Code", "see http://x.org", true, false},
      {"QR-Code:ftp://x.org/f", "QR-Code", "ftp://x.org/f", true, true},
  };
  for (const Case& c : cases) {
    test::FakeClipboard clipboard;
    test::FakeDesktop desktop;
    CBarcodeDlg d(c.result, clipboard, desktop);
    EXPECT_EQ(d.type(), c.type) << c.result;
    EXPECT_EQ(d.data(), c.data) << c.result;
    EXPECT_EQ(d.showOpenLink(), c.link) << c.result;
    d.OpenLink();
    d.Copy();
    EXPECT_EQ(desktop.urls, c.opens ? std::vector<std::string>{c.data} : std::vector<std::string>{})
        << c.result;
    EXPECT_EQ(clipboard.text, *c.data ? std::optional<std::string>(c.data) : std::nullopt)
        << c.result;
  }
}

// --- RIOT ----------------------------------------------------------------------------------

TEST_F(ToolsTest, RiotReceivesTheBottomUpBitmapAndThePath) {
  RuntimeLibrary lib(TestsDir() + "/libRiot.so");
  ASSERT_TRUE(lib);
  const RiotCall* call = lib.Symbol<const RiotCall* (*)()>("RiotStandInLastCall")();
  const int before = call->calls;
  // 3 x 2: top row 0x..01 0x..02 0x..03, bottom row 0x..11 ..., with alpha 0x40.
  picture = test::MakePicture(
      3, 2, [](int32_t x, int32_t y) { return 0x40000000u | (0x10 * y + x + 1) * 0x010101u; });
  state.currentPath = "/pictures/a b.png";
  ExportToRiot(ctx);  // found beside the test program by its bare name
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(call->calls, before + 1);
  ASSERT_EQ(call->bitmapSize, 64u);
  const std::vector<uint8_t> bytes(call->bitmap, call->bitmap + 64);
  const std::vector<uint8_t> header = {40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 32, 0};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16), header);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 40),
            std::vector<uint8_t>(24, 0));
  const std::vector<uint8_t> bottom = {0x11, 0x11, 0x11, 255,  0x12, 0x12,
                                       0x12, 255,  0x13, 0x13, 0x13, 255};
  const std::vector<uint8_t> top = {1, 1, 1, 255, 2, 2, 2, 255, 3, 3, 3, 255};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 40, bytes.begin() + 52), bottom);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 12, bytes.end()), top);
  EXPECT_EQ(call->second, 0);
  EXPECT_EQ(std::string(call->path), "/pictures/a b.png");
  EXPECT_TRUE(call->fourthEmpty);
  EXPECT_EQ(call->fifth, 0);
  EXPECT_TRUE(call->sixthEmpty);
  // The picture itself is untouched.
  EXPECT_EQ(PixelAt(picture, 0, 0), 0x40010101u);
}

TEST_F(ToolsTest, RiotMissingOrUnsupported) {
  const std::pair<std::string, const char*> cases[] = {
      {"libRiotMissing.so", kMsgRiotMissing}, {TestsDir() + "/libRiotOld.so", kMsgRiotVersion}};
  for (const auto& [library, message] : cases) {
    fake.messages.shown.clear();
    ctx.components.riotLibrary = library;
    ExportToRiot(ctx);
    EXPECT_EQ(Messages(), std::vector<std::string>{message});
    EXPECT_EQ(fake.messages.shown[0].icon, MessageIcon::Error);
  }
}

}  // namespace
}  // namespace qp

#include "frame/settings_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "core/colour.h"
#include "core/viewer_state.h"
#include "frame/main_frame.h"
#include "frame/settings_store.h"
#include "input/game_controller.h"
#include "view/overlay.h"
#include "view/view_geometry.h"

namespace qp {
namespace {

TEST(SettingsModel, EverySettingHasOneFieldWithAValidDefault) {
  std::set<std::string> names;
  for (const SettingField& f : SettingsFields()) {
    ASSERT_NE(f.info, nullptr) << f.name;
    EXPECT_TRUE(names.insert(f.name).second) << "twice: " << f.name;
    EXPECT_NE(std::find(SettingsTabs().begin(), SettingsTabs().end(), f.tab), SettingsTabs().end())
        << f.name;
    EXPECT_TRUE(Accepts(f, DefaultText(f))) << f.name << " rejects its default";
    EXPECT_EQ(f.info->kind == SettingKind::Number,
              f.editor == EditorKind::Number || f.editor == EditorKind::NumberFlag)
        << f.name;
  }
  size_t expected = 0;
  for (const SettingInfo& s : SettingsTable()) {
    expected += s.last == 0 ? 1 : static_cast<size_t>(s.last);
    const std::string first =
        s.last == 0 ? std::string(s.name) : std::string(s.name.substr(0, s.name.size() - 2)) + "1";
    EXPECT_EQ(names.count(first), 1u) << first;
  }
  EXPECT_EQ(names.size(), expected);
  EXPECT_EQ(names.count("External19"), 1u);
  EXPECT_EQ(names.count("JoyButton16"), 1u);
}

TEST(SettingsModel, AcceptsOnlyValuesTheViewerUnderstands) {
  const struct {
    const char* name;
    std::string value;
    bool ok;
  } cases[] = {
      {"ToolbarVisible", "true", true},
      {"ToolbarVisible", "yes", false},
      {"KeepAspectRatio", "false", true},
      {"KeepAspectRatio", "2", false},
      {"JpegQuality", "1", true},
      {"JpegQuality", "0", false},
      {"JpegQuality", "100", true},
      {"JpegQuality", "101", false},
      {"WebpQuality", "0", true},
      {"WebpQuality", "8O", false},
      {"FitWidthFactor", "99", false},
      {"FitWidthFactor", "10000", true},
      {"JoyID", "3", false},
      {"JoyButton4", "0", true},
      {"JoyButton4", "3999", false},
      {"JoyButton4", "4160", true},
      {"JoyButton4", "5001", false},
      {"OSDColour", "", true},
      {"OSDColour", "#FF8000", true},
      {"OSDColour", "#FF80", false},
      {"OSDColour", "#GG0000", false},
      {"OSDColour", "16777215", true},
      {"OSDColour", "16777216", false},
      {"OSDColour", "-1", false},
      {"External3", "COPY /backup", true},
      {"External3", "COPY ", false},
      {"External3", "MOVE ", false},
      {"External3", std::string(511, 'p'), true},
      {"External3", std::string(512, 'p'), false},
      {"LastBookmark", std::string(519, 'b'), true},
      {"LastBookmark", std::string(520, 'b'), false},
      {"ClipboardCounter", "2147483647", true},
      {"ClipboardCounter", "2147483648", false},
  };
  for (const auto& c : cases) {
    const SettingField* f = FindField(c.name);
    ASSERT_NE(f, nullptr) << c.name;
    EXPECT_EQ(Accepts(*f, c.value), c.ok) << c.name << " = " << c.value.substr(0, 20);
  }
}

TEST(SettingsModel, ValuesAreShownAsTheViewerReadsThem) {
  const struct {
    const char* name;
    std::string stored;
    std::string shown;
    bool noted;  // the file's form differs from what the program writes
  } cases[] = {
      {"UseJoystick", "TRUE", "true", true},
      {"UseJoystick", "False", "false", true},
      {"UseJoystick", "yes", "false", true},  // only "true" is on
      {"DisableNumericSort", "1", "false", true},
      {"DisableNumericSort", "true", "true", false},
      {"ToolbarVisible", std::string(40, 't'), "false", true},  // too long: the default
      {"SharpenAfterResample", "0", "false", false},
      {"UseResize", "2", "true", true},  // any number but 0 is on
      {"UseResize", "1", "true", false},
      {"SharpenAfterResample", "on", "true", true},  // not a number: the default
      {"JpegQuality", "abc", "75", true},
      {"JpegQuality", "250", "250", true},  // used as it is
      {"JpegQuality", "90", "90", false},
      {"FitHeightFactor", "50", "900", true},
      {"FitHeightFactor", "-5", "900", true},
      {"FitWidthFactor", "10000", "10000", false},
      {"JoyID", "3", "1", true},
      {"JoyID", "2", "2", false},
      {"JoyButton2", "3000", "0", true},
      {"JoyButton2", "4160", "4160", false},
      {"PrefetchMemoryMB", "-3", "0", true},
      {"OSDColour", "#40", "#404040", true},  // one field is grey
      {"OSDColour", "#00FF00", "#00FF00", false},
      {"LineColour", "red", "#000000", true},
      {"BoxColour", "255", "#0000FF", true},
      {"LastBookmark", std::string(600, 'x'), "", true},
      {"External3", "COPY /backup", "COPY /backup", false},
  };
  for (const auto& c : cases) {
    MemorySettingsBackend backend;
    backend.setText(c.name, c.stored);
    const FieldValue v = ReadField(*FindField(c.name), backend);
    const std::string what = std::string(c.name) + " = " + c.stored.substr(0, 20);
    EXPECT_TRUE(v.stored) << what;
    EXPECT_EQ(v.value, c.shown) << what;
    EXPECT_EQ(!v.note.empty(), c.noted) << what << ": " << v.note;
    EXPECT_EQ(v.storedText, c.stored);
  }
  MemorySettingsBackend empty;
  const FieldValue missing = ReadField(*FindField("WebpQuality"), empty);
  EXPECT_FALSE(missing.stored);
  EXPECT_TRUE(missing.note.empty());
  EXPECT_EQ(missing.value, "80");

  MemorySettingsBackend grey;
  grey.setText("OSDColour", "#40");
  EXPECT_EQ(ReadField(*FindField("OSDColour"), grey).note,
            "The file holds \"#40\": the viewer reads it as #404040.");
}

// The program's reading against the viewer's own readers, on one file written by hand.
TEST(SettingsModel, ShownValuesAreWhatTheViewerUses) {
  MemorySettingsBackend backend;
  for (auto [name, text] :
       {std::pair{"DisableNumericSort", "1"}, {"UseGestures", "TRUE"}, {"DisableProgress", "on"},
        {"OSDColour", "#40"}, {"FitWidthFactor", "20000"}, {"FitHeightFactor", "450"},
        {"JoyID", "7"}, {"JoyButton3", "4999"}, {"JoyButton4", "5001"}})
    backend.setText(name, text);
  SettingsStore store(backend);
  auto shown = [&](const char* name) { return ReadField(*FindField(name), backend).value; };

  ViewerState state;
  ReadStartupFlags(state, store);
  EXPECT_EQ(shown("DisableNumericSort"), state.numericSort ? "false" : "true");
  EXPECT_EQ(shown("UseGestures"), state.useGestures ? "true" : "false");
  EXPECT_EQ(shown("DisableProgress"), state.showProgress ? "false" : "true");
  EXPECT_EQ(shown("OSDColour"), FormatColour(OverlayColour(store)));
  const FitFactors fit = ReadFitFactors(store);
  EXPECT_EQ(std::stoi(shown("FitWidthFactor")), std::lround(fit.width * 1000));
  EXPECT_EQ(std::stoi(shown("FitHeightFactor")), std::lround(fit.height * 1000));
  const GamePadConfig pad = ReadGamePadConfig(store);
  EXPECT_EQ(std::stoi(shown("JoyID")), pad.joystickIndex + 1);
  EXPECT_EQ(std::stoi(shown("JoyButton3")), pad.buttonCommand[2]);
  EXPECT_EQ(shown("JoyButton4"), "0");  // refused: the button keeps its built-in command
}

// Records every write, so a test sees exactly which values an apply touched.
class RecordingBackend final : public SettingsBackend {
 public:
  std::optional<std::string> getText(std::string_view n) override { return inner.getText(n); }
  std::optional<int32_t> getNumber(std::string_view n) override { return inner.getNumber(n); }
  bool setText(std::string_view n, std::string_view v) override {
    written.emplace(n);
    return inner.setText(n, v);
  }
  bool setNumber(std::string_view n, int32_t v) override {
    written.emplace(n);
    return inner.setNumber(n, v);
  }
  bool removeGroup(std::string_view g) override { return inner.removeGroup(g); }
  MemorySettingsBackend inner;
  std::set<std::string> written;
};

TEST(SettingsModel, AnEditWritesOnlyWhatTheUserChanged) {
  RecordingBackend backend;
  const std::pair<const char*, std::string> file[] = {
      {"DisableNumericSort", "1"}, {"OSDColour", "#40"},  {"UseResize", "2"},
      {"JpegQuality", "250"},      {"UseGestures", "yes"}, {"LastBookmark", std::string(600, 'x')},
      {"ClipboardCounter", "41"},  {"WebpQuality", "80"}};
  for (const auto& [name, text] : file) backend.inner.setText(name, text);

  SettingsEdit edit(backend);
  const SettingField& webp = *FindField("WebpQuality");
  const SettingField& resize = *FindField("UseResize");
  EXPECT_EQ(edit.value(resize), "true");
  EXPECT_TRUE(edit.set(resize, "true"));  // the value it already has
  EXPECT_FALSE(edit.set(webp, "101"));
  EXPECT_TRUE(edit.set(webp, "55"));
  EXPECT_TRUE(edit.changed(webp));
  EXPECT_FALSE(edit.changed(resize));
  EXPECT_TRUE(edit.apply().empty());
  EXPECT_EQ(backend.written, std::set<std::string>{"WebpQuality"});
  EXPECT_EQ(backend.inner.getText("WebpQuality"), "55");
  EXPECT_EQ(edit.read(webp).value, "55");
  for (const auto& [name, text] : file)
    if (std::string(name) != "WebpQuality") {
      EXPECT_EQ(backend.inner.getText(name), text) << name;
    }

  // Restore writes the fields whose reading differs from the default, and only those: the
  // over-long bookmark already reads as the default "" and the counter is left alone.
  backend.written.clear();
  edit.set(resize, "false");
  edit.revert(resize);
  EXPECT_EQ(edit.value(resize), "true");
  edit.restoreDefaults();
  EXPECT_TRUE(edit.apply().empty());
  EXPECT_EQ(backend.written, (std::set<std::string>{"DisableNumericSort", "OSDColour", "UseResize",
                                                    "JpegQuality", "UseGestures", "WebpQuality"}));
  EXPECT_EQ(backend.inner.getText("DisableNumericSort"), "true");
  EXPECT_EQ(backend.inner.getText("UseResize"), "0");
  EXPECT_EQ(backend.inner.getText("LastBookmark"), std::string(600, 'x'));
  EXPECT_EQ(backend.inner.getText("ClipboardCounter"), "41");
  EXPECT_EQ(edit.read(*FindField("OSDColour")).value, "");
}

TEST(SettingsModel, EveryRowIsOfferedOnATabWithALabel) {
  for (const SettingInfo& s : SettingsTable()) {
    EXPECT_FALSE(s.tab.empty()) << s.name;
    EXPECT_FALSE(s.label.empty()) << s.name;
    EXPECT_EQ(s.last != 0, s.label.find("%d") != std::string_view::npos) << s.name;
  }
  // The families of a tab are interleaved by number.
  const auto& fields = SettingsFields();
  const auto at = [&](const char* name) { return FindField(name) - fields.data(); };
  EXPECT_EQ(at("ExternalTitle1"), at("External1") + 1);
  EXPECT_EQ(at("External2"), at("ExternalTitle1") + 1);
  EXPECT_EQ(FindField("External12")->label, "Program 12");
  EXPECT_EQ(FindField("DisableProgress")->label, "Hide the progress bar of animations");
}

TEST(SettingsModel, WritesReachTheViewersStoreAndInvalidOnesAreRefused) {
  MemorySettingsBackend backend;
  SettingsStore store(backend);
  EXPECT_TRUE(WriteField(*FindField("WebpQuality"), "55", backend));
  EXPECT_TRUE(WriteField(*FindField("UseResize"), "true", backend));
  EXPECT_TRUE(WriteField(*FindField("UseGestures"), "false", backend));
  EXPECT_TRUE(WriteField(*FindField("OSDColour"), "#00FF00", backend));
  EXPECT_TRUE(WriteField(*FindField("External12"), "MOVE /sorted", backend));
  EXPECT_EQ(store.ReadNumber("WebpQuality"), 55);
  EXPECT_EQ(store.ReadNumber("UseResize"), 1);
  EXPECT_FALSE(store.ReadFlag("UseGestures"));
  EXPECT_EQ(store.ReadText("OSDColour"), "#00FF00");
  EXPECT_EQ(store.ReadText("External12"), "MOVE /sorted");

  EXPECT_FALSE(WriteField(*FindField("WebpQuality"), "101", backend));
  EXPECT_FALSE(WriteField(*FindField("UseGestures"), "maybe", backend));
  EXPECT_EQ(store.ReadNumber("WebpQuality"), 55);
  EXPECT_FALSE(store.ReadFlag("UseGestures"));
}

TEST(SettingsModel, SlotValuesSplitAndJoin) {
  EXPECT_EQ(JoinSlot(SplitSlot("COPY /a b")), "COPY /a b");
  EXPECT_EQ(SplitSlot("MOVE /x").action, SlotAction::Move);
  EXPECT_EQ(SplitSlot("MOVE /x").target, "/x");
  // The prefix counts only in capitals, as the viewer reads it.
  EXPECT_EQ(SplitSlot("copy /x").action, SlotAction::Program);
  EXPECT_EQ(JoinSlot({SlotAction::Copy, ""}), "");
  EXPECT_EQ(JoinSlot({SlotAction::Program, "/usr/bin/gimp"}), "/usr/bin/gimp");
}

}  // namespace
}  // namespace qp

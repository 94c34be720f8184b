#include "frame/settings_model.h"

#include <gtest/gtest.h>

#include <set>

#include "frame/settings_store.h"

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

TEST(SettingsModel, BrokenValuesShowTheDefaultAndAreFlagged) {
  const struct {
    const char* name;
    std::string stored;
    std::string shown;
    bool broken;
  } cases[] = {
      {"UseJoystick", "TRUE", "true", false},
      {"UseJoystick", "False", "false", false},
      {"UseJoystick", "yes", "true", true},
      {"ToolbarVisible", "1", "false", true},
      {"SharpenAfterResample", "0", "false", false},
      {"SharpenAfterResample", "on", "true", true},
      {"JpegQuality", "abc", "75", true},
      {"JpegQuality", "250", "75", true},
      {"JpegQuality", "90", "90", false},
      {"FitHeightFactor", "50", "900", true},
      {"JoyButton2", "3000", "0", true},
      {"LineColour", "red", "", true},
      {"LastBookmark", std::string(600, 'x'), "", true},
  };
  for (const auto& c : cases) {
    MemorySettingsBackend backend;
    backend.setText(c.name, c.stored);
    const FieldValue v = ReadField(*FindField(c.name), backend);
    EXPECT_TRUE(v.stored) << c.name;
    EXPECT_EQ(v.value, c.shown) << c.name << " = " << c.stored.substr(0, 20);
    EXPECT_EQ(v.broken, c.broken) << c.name << " = " << c.stored.substr(0, 20);
    EXPECT_EQ(v.storedText, c.stored);
  }
  MemorySettingsBackend empty;
  const FieldValue missing = ReadField(*FindField("WebpQuality"), empty);
  EXPECT_FALSE(missing.stored);
  EXPECT_FALSE(missing.broken);
  EXPECT_EQ(missing.value, "80");
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

#include "frame/settings_store.h"

#include <gtest/gtest.h>

#include "frame/settings_table.h"

namespace qp {
namespace {

TEST(SettingsStore, FlagsAreTrueInAnyCaseOnly) {
  MemorySettingsBackend backend;
  SettingsStore store(backend);
  EXPECT_TRUE(store.ReadFlag("UseJoystick"));   // default "true"
  EXPECT_FALSE(store.ReadFlag("ToolbarVisible"));  // default "false"
  for (auto [text, on] : {std::pair{"TRUE", true}, {"True", true}, {"yes", false}, {"1", false},
                          {"", false}}) {
    store.WriteText("UseJoystick", text);
    EXPECT_EQ(store.ReadFlag("UseJoystick"), on) << text;
  }
}

TEST(SettingsStore, TextThatDoesNotFitYieldsTheDefault) {
  MemorySettingsBackend backend;
  SettingsStore store(backend);
  store.WriteText("LastBookmark", std::string(600, 'a'));
  EXPECT_EQ(store.ReadText("LastBookmark"), "");
  store.WriteText("LastBookmark", std::string(519, 'b'));  // 519 + NUL = 520 fits
  EXPECT_EQ(store.ReadText("LastBookmark").size(), 519u);
  store.WriteText("LastBookmark", std::string(520, 'b'));
  EXPECT_EQ(store.ReadText("LastBookmark"), "");
  store.WriteText("ToolbarVisible", std::string(40, 't'));
  EXPECT_EQ(store.ReadText("ToolbarVisible"), "false");
}

TEST(SettingsStore, NumbersFamiliesAndDeletion) {
  MemorySettingsBackend backend;
  SettingsStore store(backend);
  EXPECT_EQ(store.ReadNumber("WebpQuality"), 80);
  EXPECT_EQ(store.ReadNumber("JpegQuality"), 75);
  EXPECT_EQ(store.ReadNumber("FitWidthFactor"), 970);
  EXPECT_EQ(store.ReadNumber("JoyButton16"), 0);
  EXPECT_EQ(store.readNumber("ClipboardCounter", 41), 41);
  store.WriteNumber("WebpQuality", 55);
  store.WriteText("External12", "gimp");
  EXPECT_EQ(store.ReadNumber("WebpQuality"), 55);
  EXPECT_EQ(store.ReadText("External12"), "gimp");
  // Removing the recent-file list leaves the settings alone; removing the settings restores
  // every default.
  EXPECT_TRUE(store.deleteKeyTree("Recent File List"));
  EXPECT_EQ(store.ReadNumber("WebpQuality"), 55);
  EXPECT_TRUE(store.deleteKeyTree(kSettingsGroup));
  EXPECT_EQ(store.ReadNumber("WebpQuality"), 80);
  EXPECT_EQ(store.ReadText("External12"), "");
  EXPECT_FALSE(store.writeNumber("", 1));
}

TEST(SettingsTable, EveryNameIsFoundAndFamiliesNeedTheirNumber) {
  for (const SettingInfo& s : SettingsTable()) {
    std::string name(s.name);
    if (name.ends_with("%d")) name = name.substr(0, name.size() - 2) + "3";
    EXPECT_EQ(FindSetting(name), &s) << name;
  }
  EXPECT_EQ(FindSetting("External"), nullptr);
  EXPECT_EQ(FindSetting("WebpQuality7"), nullptr);
  EXPECT_EQ(FindSetting("ExternalTitle19")->capacity, 512);
  // The families are numbered 1-19 and 1-16 only.
  EXPECT_NE(FindSetting("External1"), nullptr);
  EXPECT_NE(FindSetting("JoyButton16"), nullptr);
  for (const char* outside : {"External0", "External20", "ExternalTitle07", "JoyButton17",
                              "JoyButton0", "External%d"})
    EXPECT_EQ(FindSetting(outside), nullptr) << outside;
}

}  // namespace
}  // namespace qp

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <climits>

namespace qp {
namespace {

CommandLine Parse(std::initializer_list<const char*> tokens) {
  std::vector<std::string> args(tokens.begin(), tokens.end());
  return ParseCommandLine(args);
}

TEST(CommandLine, ConvertWithEveryValueSwitch) {
  const CommandLine cl = Parse({"-convert", "my photo.png", "out.webp", "-x1", "10", "/y1", "20",
                                "-W", "100", "/H", "50", "-x2", "7", "-y2", "8", "-quality", "90",
                                "-lossless", "/overwrite"});
  EXPECT_EQ(cl.mode, CommandMode::Convert);
  EXPECT_EQ(cl.firstFile, "my photo.png");
  EXPECT_EQ(cl.secondFile, "out.webp");
  EXPECT_EQ(cl.x1, 10);
  EXPECT_EQ(cl.y1, 20);
  EXPECT_EQ(cl.w, 100);
  EXPECT_EQ(cl.h, 50);
  EXPECT_EQ(cl.x2, 7);
  EXPECT_EQ(cl.y2, 8);
  EXPECT_EQ(cl.quality, 90);
  EXPECT_EQ(cl.lossless, 1);
  EXPECT_EQ(cl.overwrite, 1);
  EXPECT_FALSE(cl.drawLines);
}

TEST(CommandLine, DefaultsAreZero) {
  const CommandLine cl = Parse({"a.png"});
  EXPECT_EQ(cl.mode, CommandMode::None);
  EXPECT_EQ(cl.firstFile, "a.png");
  EXPECT_EQ(cl.secondFile, "");
  EXPECT_EQ(cl.x1 | cl.y1 | cl.x2 | cl.y2 | cl.w | cl.h | cl.quality | cl.lossless | cl.overwrite,
            0);
}

TEST(CommandLine, SlashIsASwitchOnlyForAnExactName) {
  const CommandLine cl = Parse({"/home/me/a.png", "/LANDSCAPE", "/w", "/tmp/b.jpg"});
  EXPECT_EQ(cl.mode, CommandMode::Landscape);
  EXPECT_EQ(cl.firstFile, "/home/me/a.png");
  // "/w" takes the next token as its value, whatever it looks like.
  EXPECT_EQ(cl.w, 0);
  EXPECT_EQ(cl.secondFile, "");

  const CommandLine files = Parse({"/autorotatex", "/x"});
  EXPECT_EQ(files.mode, CommandMode::None);
  EXPECT_EQ(files.firstFile, "/autorotatex");
  EXPECT_EQ(files.secondFile, "/x");

  // Every file name is kept in order: several open as the stepping list.
  const CommandLine many = Parse({"c.png", "-overwrite", "a.png", "b.png"});
  EXPECT_EQ(many.files, (std::vector<std::string>{"c.png", "a.png", "b.png"}));
  EXPECT_EQ(many.firstFile, "c.png");
  EXPECT_EQ(many.secondFile, "b.png");
}

TEST(CommandLine, UnknownDashSwitchesAreIgnoredAndLastModeWins) {
  const CommandLine cl = Parse({"-verbose", "-Convert", "-AUTOROTATE", "--", "x.jpg"});
  EXPECT_EQ(cl.mode, CommandMode::AutoRotate);
  EXPECT_EQ(cl.firstFile, "x.jpg");
}

TEST(CommandLine, LaterFileTokensReplaceTheSecond) {
  const CommandLine cl = Parse({"a", "b", "c"});
  EXPECT_EQ(cl.firstFile, "a");
  EXPECT_EQ(cl.secondFile, "c");
}

TEST(CommandLine, ValueSwitchAtTheEndKeepsItsValue) {
  const CommandLine cl = Parse({"-quality", "55", "-quality"});
  EXPECT_EQ(cl.quality, 55);
}

TEST(CommandLine, DrawLinesTakesEveryRemainingToken) {
  const CommandLine cl = Parse({"in.png", "-drawlines", "0", "0", "100", "x", "-convert", "200"});
  EXPECT_EQ(cl.mode, CommandMode::None);
  EXPECT_EQ(cl.firstFile, "in.png");
  ASSERT_TRUE(cl.drawLines);
  EXPECT_EQ(*cl.drawLines, (std::vector<int32_t>{0, 0, 100, 0, 0, 200}));

  const CommandLine empty = Parse({"-drawlines"});
  ASSERT_TRUE(empty.drawLines);
  EXPECT_TRUE(empty.drawLines->empty());
}

TEST(CommandLine, LinuxAdditions) {
  EXPECT_EQ(Parse({"--help"}).mode, CommandMode::Help);
  EXPECT_EQ(Parse({"--version"}).mode, CommandMode::Version);
  const CommandLine p = Parse({"--properties", "-odd name.png"});
  EXPECT_EQ(p.mode, CommandMode::Properties);
  EXPECT_EQ(p.propertiesFile, "-odd name.png");
  EXPECT_EQ(p.firstFile, "");
  // "-h" is the height switch, not help.
  EXPECT_EQ(Parse({"-h", "5"}).h, 5);
}

TEST(CommandLine, ArgvFormSkipsTheProgramName) {
  const char* argv[] = {"quillpix", "-landscape", "p.jpg"};
  const CommandLine cl = ParseCommandLine(3, argv);
  EXPECT_EQ(cl.mode, CommandMode::Landscape);
  EXPECT_EQ(cl.firstFile, "p.jpg");
}

TEST(ParseInteger, ReadsLikeAtoiWithoutOverflow) {
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("  -17px"), -17);
  EXPECT_EQ(ParseInteger("+8"), 8);
  EXPECT_EQ(ParseInteger("abc"), 0);
  EXPECT_EQ(ParseInteger(""), 0);
  EXPECT_EQ(ParseInteger("-"), 0);
  EXPECT_EQ(ParseInteger("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseInteger("2147483648"), INT32_MAX);
  EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInteger("-99999999999999999999"), INT32_MIN);
}

}  // namespace
}  // namespace qp

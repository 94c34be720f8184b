#include "core/process_runner.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/test_support.h"

namespace qp {
namespace {

TEST(ProcessRunner, WaitsForTheProgramAndPassesArgumentsUnchanged) {
  test::TempDir dir;
  const std::string out = dir.file("out file.txt");
  int status = -2;
  EXPECT_EQ(ProcessRunner({"/bin/sh", "-c", "sleep 0.2; printf '%s' \"$1\" > \"$2\"", "sh",
                           "a \"b\" $c", out},
                          &status),
            1);
  EXPECT_EQ(status, 0);
  const auto bytes = test::ReadBytes(out);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "a \"b\" $c");
  EXPECT_EQ(ProcessRunner({"sh", "-c", "exit 3"}, &status), 1);  // found on PATH
  EXPECT_EQ(status, 3);
}

TEST(ProcessRunner, CommandLineQuotesGroupWords) {
  test::TempDir dir;
  const std::string in = dir.file("a b.txt"), out = dir.file("c  d.txt");
  test::WriteBytes(in, {'h', 'i'});
  EXPECT_EQ(ProcessRunnerLine("cp \"" + in + "\"   \"" + out + "\""), 1);
  EXPECT_EQ(test::ReadBytes(out).size(), 2u);
}

TEST(ProcessRunner, MissingProgramReturnsAtOnce) {
  int status = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ProcessRunner({"/nonexistent/quillpix-helper", "x"}, &status), 1);
  EXPECT_EQ(ProcessRunner({"quillpix-no-such-helper"}, &status), 1);
  EXPECT_EQ(ProcessRunner(std::vector<std::string>{}), 1);
  EXPECT_EQ(status, -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(ProcessRunner, ChattyHelperCannotBlockOnItsOutput) {
  // Far more than a pipe buffers, on both output and error.
  int status = -2;
  EXPECT_EQ(ProcessRunner({"/bin/sh", "-c",
                           "head -c 4000000 /dev/zero; head -c 4000000 /dev/zero >&2; cat"},
                          &status),
            1);
  EXPECT_EQ(status, 0);  // cat read /dev/null and ended
}

}  // namespace
}  // namespace qp

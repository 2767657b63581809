// Start-up of the shell and the shared integer text.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "shell.h"
#include "shelltest.h"

namespace {

using testsupport::TempDir;

TEST(IntToText, FormatsEveryIntAndReusesOneBuffer) {
  const struct {
    int value;
    const char *text;
  } cases[] = {{0, "0"},
               {-1, "-1"},
               {42, "42"},
               {INT_MAX, "2147483647"},
               {INT_MIN, "-2147483648"}};
  for (const auto &c : cases) EXPECT_STREQ(IntToText(c.value), c.text);
  const char *first = IntToText(1);
  EXPECT_EQ(first, IntToText(2));
  EXPECT_STREQ(first, "2");
}

TEST(Startup, RunsScriptsWithTk) {
  TempDir dir;
  auto r = shelltest::run_script(dir, "puts [winfo exists .]");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
}

TEST(Startup, ScriptErrorEndsWithStatusOne) {
  TempDir dir;
  auto r = shelltest::run_script(dir, "error boom");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("boom"), std::string::npos);
}

}  // namespace

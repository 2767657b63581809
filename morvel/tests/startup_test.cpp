// Start-up of the shell: Tk, the commands and the photo formats, which are
// registered only when Tcl and Tk start and which read and never write.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "shell.h"
#include "shelltest.h"

namespace {

using testsupport::TempDir;

TEST(IntToText, FormatsEveryIntAndReusesOneBuffer) {
  EXPECT_STREQ(IntToText(0), "0");
  EXPECT_STREQ(IntToText(-1), "-1");
  EXPECT_STREQ(IntToText(INT_MAX), "2147483647");
  EXPECT_STREQ(IntToText(INT_MIN), "-2147483648");
  const char *first = IntToText(1);
  EXPECT_EQ(first, IntToText(2));
  EXPECT_STREQ(first, "2");
}

// Every other test runs its scripts with Tk and exit status 0.
TEST(Startup, ScriptErrorEndsWithStatusOne) {
  TempDir dir;
  auto r = shelltest::run_script(dir, "error boom");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("boom"), std::string::npos);
}

const char *const FORMATS = R"(
foreach {format data} {
  PaletteImage "1 1 |"
  RawImage "x|a|x|1|x|NO-PCI|1 1 1 0 0 1 1 1 1 1|7|"
} {
  puts "[catch {image create photo -format $format -data $data} r] $r"
}
)";

TEST(Registration, FailingTkStartRegistersNothing) {
  TempDir dir;
  ASSERT_NE(getenv("DISPLAY"), nullptr);
  const std::string display = getenv("DISPLAY");
  // Without a display Tk_Init fails; the script then loads Tk itself to
  // look for the commands and formats.
  unsetenv("DISPLAY");
  auto r = shelltest::run_script(
      dir,
      "puts \"image [llength [info commands image]]\"\n"
      "set env(DISPLAY) " +
          display +
          "\npackage require Tk\n"
          "foreach name {image PointValue CreateGif ClearMatchingPoints} {\n"
          "  puts \"$name [llength [info commands $name]]\"\n}\n" +
          FORMATS);
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("no display name"), std::string::npos) << r.err;
  EXPECT_EQ(r.out,
            "image 0\n"
            "image 1\nPointValue 0\nCreateGif 0\nClearMatchingPoints 0\n"
            "1 image format \"PaletteImage\" is not supported\n"
            "1 image format \"RawImage\" is not supported\n");
}

TEST(Registration, FormatsReadFromDataAndNeverWrite) {
  TempDir dir;
  const auto out = shelltest::run_lines(dir, std::string(FORMATS) + R"(
image create photo p -width 2 -height 2
foreach format {PaletteImage RawImage} {
  puts [catch {p data -format $format}]
  puts [catch {p write [file join [pwd] x.img] -format $format}]
}
)");
  EXPECT_EQ(out, (std::vector<std::string>{
                     "1 Error in photo configuration string [2].", "0 image2",
                     "1", "1", "1", "1"}));
}

}  // namespace

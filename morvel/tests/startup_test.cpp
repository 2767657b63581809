// Start-up of the shell: the commands and photo formats are registered only
// when Tcl and Tk start, and the formats read but never write.
#include <gtest/gtest.h>

#include <cstdlib>

#include "shelltest.h"

namespace {

// Prints for each format whether making a photo, writing it to a file and
// to a string fail.
const char *const kFormats =
    "foreach {format data} [list PaletteImage \"1 1 |[string repeat {1 } "
    "768]\" RawImage {x|a|x|1|x|NO-PCI|1 1 1 0 0 1 1 1 1 1|7|}] {\n"
    "  puts [catch {set p [image create photo -format $format -data $data]}]"
    "[catch {$p write x.img -format $format}][catch {$p data -format $format}]"
    "\n}\nputs [info commands PointValue][info commands CreateGif]"
    "[info commands ClearMatchingPoints]\n";

TEST(Startup, FormatsAndCommandsOnlyWithTk) {
  shelltest::TempDir dir;
  EXPECT_EQ(shelltest::run_script(dir, kFormats).out,
            "011\n011\nPointValueCreateGifClearMatchingPoints\n");
  const std::string display = getenv("DISPLAY");
  unsetenv("DISPLAY");  // Tk_Init fails; the script then loads Tk itself
  const auto r = shelltest::run_script(
      dir, "set env(DISPLAY) " + display + "\npackage require Tk\n" + kFormats);
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_NE(r.err.find("no display name"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "111\n111\n\n");
}

}  // namespace

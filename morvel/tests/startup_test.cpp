// Start-up of the shell: the commands and photo formats are registered only
// when Tcl and Tk start, and the formats read but never write.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "shell.h"
#include "shelltest.h"

namespace {

TEST(IntToText, FormatsEveryIntInOneBuffer) {
  EXPECT_STREQ(IntToText(INT_MIN), "-2147483648");
  const char *first = IntToText(1);
  EXPECT_EQ(first, IntToText(INT_MAX));
  EXPECT_STREQ(first, "2147483647");
}

const char *const kFormats =
    "foreach {format data} [list PaletteImage \"1 1 |[string repeat {1 } 768]\""
    " RawImage {x|a|x|1|x|NO-PCI|1 1 1 0 0 1 1 1 1 1|7|}] {\n"
    "  puts \"[catch {set p [image create photo -format $format -data $data]} "
    "r] $r\"\n"
    "  catch {$p write x.img -format $format} w\n  puts $w\n"
    "  catch {$p data -format $format} w\n  puts $w\n}\n";

TEST(Startup, FailingTkRegistersNothing) {
  shelltest::TempDir dir;
  const std::string display = getenv("DISPLAY");
  unsetenv("DISPLAY");  // Tk_Init fails; the script then loads Tk itself
  auto r = shelltest::run_script(
      dir, "set env(DISPLAY) " + display +
               "\npackage require Tk\n"
               "foreach n {PointValue CreateGif ClearMatchingPoints} {\n"
               "  puts \"$n [llength [info commands $n]]\"\n}\n" +
               kFormats);
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_NE(r.err.find("no display name"), std::string::npos) << r.err;
  EXPECT_EQ(r.out,
            "PointValue 0\nCreateGif 0\nClearMatchingPoints 0\n"
            "1 image format \"PaletteImage\" is not supported\n"
            "can't read \"p\": no such variable\n"
            "can't read \"p\": no such variable\n"
            "1 image format \"RawImage\" is not supported\n"
            "can't read \"p\": no such variable\n"
            "can't read \"p\": no such variable\n");
}

TEST(Startup, FormatsReadAndNeverWrite) {
  shelltest::TempDir dir;
  auto r = shelltest::run_script(dir, kFormats);
  EXPECT_EQ(
      r.out,
      "0 image1\n"
      "image file format \"PaletteImage\" has no file writing capability\n"
      "image string format \"PaletteImage\" is not supported\n"
      "0 image2\n"
      "image file format \"RawImage\" has no file writing capability\n"
      "image string format \"RawImage\" is not supported\n");
}

}  // namespace

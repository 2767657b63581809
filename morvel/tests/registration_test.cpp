// Start-up registers the photo formats only when Tcl and Tk start; the
// formats read and never write.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "formattest.h"

namespace {

const char *const CHECKS = R"(
foreach name {image PointValue CreateGif ClearMatchingPoints} {
  puts "$name [llength [info commands $name]]"
}
foreach {format data} {
  PaletteImage "1 1 |"
  RawImage "x|a|x|1|x|NO-PCI|1 1 1 0 0 1 1 1 1 1|7|"
} {
  catch {image create photo -format $format -data $data} r
  puts $r
}
)";

TEST(Registration, FailingTkStartRegistersNothing) {
  testsupport::TempDir dir;
  ASSERT_NE(getenv("DISPLAY"), nullptr);
  const std::string display = getenv("DISPLAY");
  // Without a display Tk_Init fails; the script then loads Tk itself to
  // look for the formats.
  const std::string script = std::string(CHECKS).replace(
      CHECKS[0] == '\n' ? 1 : 0, 0,
      "set env(DISPLAY) " + display + "\npackage require Tk\n");
  unsetenv("DISPLAY");
  auto r = shelltest::run_script(
      dir,
      std::string("puts \"image [llength [info commands image]]\"\n") + script);
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("no display name"), std::string::npos) << r.err;
  EXPECT_EQ(r.out,
            "image 0\n"
            "image 1\nPointValue 0\nCreateGif 0\nClearMatchingPoints 0\n"
            "image format \"PaletteImage\" is not supported\n"
            "image format \"RawImage\" is not supported\n");
}

TEST(Registration, FormatsReadFromDataAndNeverWrite) {
  testsupport::TempDir dir;
  const auto out = formattest::run_lines(dir, std::string(R"(
foreach {format data} {
  PaletteImage "1 1 |"
  RawImage "x|a|x|1|x|NO-PCI|1 1 1 0 0 1 1 1 1 1|7|"
} {
  puts [catch {image create photo -format $format -data $data} r]
}
image create photo p -width 2 -height 2
foreach format {PaletteImage RawImage} {
  puts [catch {p data -format $format}]
  puts [catch {p write [file join [pwd] x.img] -format $format}]
}
)"));
  EXPECT_EQ(out, (std::vector<std::string>{"1", "0", "1", "1", "1", "1"}));
}

}  // namespace

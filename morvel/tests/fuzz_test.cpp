// Random and mutated configuration strings, arguments and files for the
// six names: the shell answers every call with success or one of its own
// messages, never crashes, never trips a sanitizer, leaves no file open
// and never makes a matching points file longer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

std::mt19937 engine(20261208);
int below(int n) { return int(engine() % unsigned(n)); }
std::string pick(const std::vector<std::string> &items) {
  return items[size_t(below(int(items.size())))];
}

// Bytes of `text` changed, dropped, repeated or cut; numbers inserted.
std::string mutate(std::string text) {
  const std::string letters = "|0123456789 -+BbCcPp()*/.,x#\t\n\xff";
  for (int k = below(4); k >= 0; --k) {
    const size_t at = text.empty() ? 0 : size_t(below(int(text.size())));
    const char letter = letters[size_t(below(int(letters.size())))];
    switch (below(5)) {
      case 0: text.insert(at, 1, letter); break;
      case 1: text.erase(at, size_t(1 + below(8))); break;
      case 2: text.insert(at, text.substr(at, size_t(below(40)))); break;
      case 3: text.resize(at); break;
      default:
        text.insert(at, pick({" 0 ", " -1 ", " 2147483647 ", " 2147483648 ",
                              " 99999999999 ", " 12abc ", " ", " 7 "}));
    }
  }
  return text;
}

// Whether `text` fits `pattern`, where '*' stands for any text and '#' for
// an integer.
bool fits(const char *pattern, const char *text) {
  if (*pattern == '*')
    for (const char *t = text;; ++t) {
      if (fits(pattern + 1, t)) return true;
      if (*t == '\0') return false;
    }
  if (*pattern == '#') {
    text += *text == '-';
    if (*text < '0' || *text > '9') return false;
    while (text[1] >= '0' && text[1] <= '9') ++text;
  } else if (*pattern != *text) {
    return false;
  }
  return *pattern == '\0' || fits(pattern + 1, text + 1);
}

// What a call may answer: success, or one of the shell's own messages.
const char *const kAnswers = R"(0 {}
0 #
0 image#
1 {Error in photo configuration string [#].}
1 {Illegal expression in photo configuration string*}
1 {Error opening * - * does not exist.}
1 {Error opening image files - illegal parameter.}
1 {Error * (*).}
1 {Error in plot configuration string.}
1 {Error allocating memory.}
1 {Too many scatter areas (limit of 15).}
1 {#x# is too small for a scatter plot.}
1 {couldn't recognize image data}
1 {Missing/extra parameter.}
1 {Illegal parameter.}
1 {Illegal red/green/blue.}
1 {bad window path name "*"})";

TEST(Fuzz, EveryCallGetsSuccessOrAKnownMessage) {
  shelltest::TempDir dir;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 20 * 30; ++i) bytes.push_back(uint8_t(i * 37));
  testsupport::write_band8(dir.file("b1"), bytes);
  testsupport::write_band8(dir.file("c1"), std::vector<uint8_t>(300, 9));
  testsupport::write_band16(dir.file("w1"), std::vector<uint16_t>(600, 700));
  testsupport::write_file(dir.file("match"), std::string(108, '\x07'));
  const std::string pal = shelltest::palette_text([](int e) {
    return shelltest::Rgb{e, 255 - e, e * 3};
  });
  const std::string files = "x|" + dir.file("b1") + " " + dir.file("w1") +
                            "|x|1 2|x|" + dir.file("c1") + "|";
  // Valid calls of each name, mutated before use.
  const std::map<std::string, std::vector<std::string>> seeds = {
      {"PaletteImage", {"3 16 |" + pal, "1 2 |" + pal}},
      {"RawImage",
       {files + "1 20 30 2 3 10 12 6 8 1|(B1-B2)/(B1+B2)*127+128|",
        files + "1 20 30 0 0 20 30 4 5 2|B1||C1*2||b2|",
        files + "1 20 30 5 5 4 4 8 8 3|pc1+B2/3||" + pal,
        files + "4 20 30 1 1 6 9 3 3 2|B2||B6||7|"}},
      {"Scatter2", {"10 20 256 w 20 50", "0 0 128 seven77 0 100"}},
      {"PointValue", {dir.file("b1") + " -2 1 2 3 20 30 1"}},
      {"ClearMatchingPoints", {dir.file("match") + " 1 2 9 12 0 3 5 7"}},
      {"CreateGif", {"{1 250}", "{3 4}", "{1 x}", "{1 2 3}"}}};
  const std::string plot =
      "3 #ffff00000000 #0000ffff0000 #00000000ffff\n900 5 6 7\n"
      "0 0 10 1 0 0\n3 4 900 0 2 0\n200 17 44 0 0 9\n255 255 1 1 1 1\n";
  std::string script =
      "pack [frame .f -width 20 -height 10 -bg #336699]\nupdate\n"
      "image create photo p\nset fds [llength [glob /proc/self/fd/*]]\n";
  std::vector<std::string> called;
  for (int k = 0; k < 2000; ++k) {
    const std::string name = std::next(seeds.begin(), below(6))->first;
    const std::string arg = shelltest::quote(mutate(pick(seeds.at(name))));
    std::string c = name + " {*}" + arg;
    if (name == "PaletteImage" || name == "RawImage") {
      c = "p put " + arg + " -format " + name + " -to 0 0 " +
          std::to_string(1 + below(12)) + " " + std::to_string(1 + below(9));
    } else if (name == "Scatter2") {
      const std::string path = dir.file("plot" + std::to_string(k));
      testsupport::write_file(path, below(4) == 0 ? plot : mutate(plot));
      c = "image create photo -format Scatter2 -data " +
          shelltest::quote(path + " " + mutate(pick(seeds.at(name))) + " " +
                           pick({"256", "512", "255", "0"}) + " " +
                           pick({"256", "300", "-3", "x"}));
    } else if (name == "CreateGif") {
      // One dimension may be huge, never both: the image must fit memory.
      const std::string rows = pick({"25", "1", "3", "0", "x", "2147483647"});
      c = name + " " + pick({".f", ".f", ".", ".nope"}) + " " +
          dir.file(pick({"a.gif", "a.gif", "no/b.gif", ""})) + " " + rows +
          (rows == "2147483647" ? " 1 " : " 7 ") +
          std::to_string(below(6) == 0 ? below(40) - 2 : 2);
      for (int list = 0; list < 3; ++list) c += " " + pick(seeds.at(name));
      c += " {" +
           pick({"set ::p %d", "", "set ::p %5i", "set ::p %s", "set ::p %n",
                 "set ::p %%", "error %d", "set ::p %*d"}) +
           "}" + (below(12) == 0 ? " extra" : "");
    }
    script += "puts [list " + name + " [catch {" + c + "} r] $r]\n";
    called.push_back(name);
  }
  const auto r = shelltest::run_script(
      dir, script +
               "if {[llength [glob /proc/self/fd/*]] != $fds} {\n"
               "  error {files left open}\n}\n");
  ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  const auto out = shelltest::lines(r.out);
  const auto answers = shelltest::lines(kAnswers);
  ASSERT_EQ(out.size(), called.size());
  std::map<std::string, int> successes, failures;
  for (size_t k = 0; k < out.size(); ++k) {
    const std::string answer = out[k].substr(called[k].size() + 1);
    ++(answer[0] == '0' ? successes : failures)[called[k]];
    EXPECT_TRUE(
        answer.find("(Success)") == std::string::npos &&
        std::any_of(answers.begin(), answers.end(),
                    [&](auto &a) { return fits(a.c_str(), answer.c_str()); }))
        << called[k] << ": " << answer;
  }
  for (const auto &seed : seeds)
    EXPECT_TRUE(successes[seed.first] && failures[seed.first]) << seed.first;
  const std::string after = testsupport::read_file(dir.file("match"));
  EXPECT_EQ(after.size(), 108u);
  for (char c : after) EXPECT_TRUE(c == '\x07' || c == '\0');
}

}  // namespace

// Random and mutated arguments and files for Scatter2, PointValue,
// ClearMatchingPoints and CreateGif: the shell answers every call with
// success or one of the command's own messages, never crashes, never trips
// a sanitizer and never makes a matching points file longer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

using testsupport::TempDir;

class Fuzzer {
 public:
  explicit Fuzzer(unsigned seed) : engine_(seed) {}
  int below(int n) {
    return static_cast<int>(engine_() % static_cast<unsigned>(n));
  }
  template <class T>
  const T &pick(const std::vector<T> &items) {
    return items[static_cast<size_t>(below(static_cast<int>(items.size())))];
  }
  // A number word: mostly one in lo..hi, at times an extreme one or not a
  // number at all.
  std::string number(int lo = -100, int hi = 500) {
    static const std::vector<std::string> odd = {
        "0",           "1",  "-1",    "2147483647", "-2147483648", "2147483648",
        "99999999999", "x",  "12abc", "+7",         "-",           "",
        "0x10",        "1e3"};
    if (below(15) == 0) return pick(odd);
    return std::to_string(lo + below(hi - lo + 1));
  }
  // Mostly the first item, else any.
  template <class T>
  const T &mostly(const std::vector<T> &items) {
    return below(4) != 0 ? items[0] : pick(items);
  }
  // Bytes of `text` flipped, dropped, duplicated or cut.
  std::string mutate(std::string text) {
    const int edits = 1 + below(4);
    for (int k = 0; k < edits && !text.empty(); ++k) {
      const size_t at =
          static_cast<size_t>(below(static_cast<int>(text.size())));
      switch (below(5)) {
        case 0: text[at] = static_cast<char>(below(256)); break;
        case 1: text.erase(at, 1 + static_cast<size_t>(below(8))); break;
        case 2:
          text.insert(at, text.substr(at, static_cast<size_t>(below(20))));
          break;
        case 3: text.resize(at); break;
        default: text.insert(at, " " + number() + " "); break;
      }
    }
    return text;
  }

 private:
  std::mt19937 engine_;
};

// Tcl words that keep braces balanced: no braces or backslashes.
std::string tcl_safe(std::string s) {
  for (char &c : s)
    if (c == '{' || c == '}' || c == '\\' || c == '\0') c = '_';
  return s;
}

// Whether `text` fits `pattern`, where '*' stands for any text and '#' for
// an integer (an optional minus sign and at least one digit).
bool fits(const char *pattern, const char *text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') {
    for (const char *t = text;; ++t) {
      if (fits(pattern + 1, t)) return true;
      if (*t == '\0') return false;
    }
  }
  if (*pattern == '#') {
    if (*text == '-') ++text;
    if (*text < '0' || *text > '9') return false;
    while (text[1] >= '0' && text[1] <= '9') ++text;
    return fits(pattern + 1, text + 1);
  }
  return *pattern == *text && fits(pattern + 1, text + 1);
}

// Checks every "status message" line against the name's own answers.
void expect_answers(const testsupport::RunResult &r,
                    const std::vector<std::string> &answers, int calls) {
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream out(r.out);
  std::string line;
  int lines = 0, successes = 0;
  while (std::getline(out, line)) {
    ++lines;
    successes += line[0] == '0';
    bool known = false;
    for (const std::string &a : answers)
      known = known || fits(a.c_str(), line.c_str());
    EXPECT_TRUE(known) << line;
  }
  EXPECT_EQ(lines, calls);
  // Both the work and the refusals are reached.
  EXPECT_GT(successes, calls / 20);
  EXPECT_LT(successes, calls);
}

constexpr int kCalls = 150;

TEST(CommandsFuzz, Scatter2) {
  Fuzzer f(1301);
  TempDir dir;
  const std::string plot =
      "3 #ffff00000000 #0000ffff0000 #00000000ffff\n900 5 6 7\n"
      "0 0 10 1 0 0\n3 4 900 0 2 0\n200 17 44 0 0 9\n255 255 1 1 1 1\n";
  std::string script;
  for (int k = 0; k < kCalls; ++k) {
    const std::string path = dir.file("plot" + std::to_string(k));
    testsupport::write_file(path, f.below(4) == 0 ? plot : f.mutate(plot));
    static const std::vector<std::string> sizes = {"256", "300", "512", "255",
                                                   "0",   "-3",  "x"};
    static const std::vector<std::string> cells = {"256", "128", "1", "0",
                                                   "-2",  "300", "x"};
    static const std::vector<std::string> words = {"w", "seven77", "eight888"};
    std::string config = path + " " + f.number(-20, 260) + " " +
                         f.number(-20, 260) + " " + f.mostly(cells) + " " +
                         f.mostly(words) + " " + f.number(-50, 200) + " " +
                         f.number(-10, 150) + " " + f.mostly(sizes) + " " +
                         f.mostly(sizes);
    if (f.below(6) == 0) config = f.mutate(config);
    script += shelltest::show("image create photo -format Scatter2 -data {" +
                              tcl_safe(config) + "}");
  }
  const std::vector<std::string> ok = {
      "0 image#",
      "1 {Error in plot configuration string.}",
      "1 {Error opening plot file (*).}",
      "1 {Error reading plot file (*).}",
      "1 {Error allocating memory.}",
      "1 {Too many scatter areas (limit of 15).}",
      "1 {#x# is too small for a scatter plot.}",
      "1 {couldn't recognize image data}"};
  expect_answers(shelltest::run_script(dir, script), ok, kCalls);
}

TEST(CommandsFuzz, PointValue) {
  Fuzzer f(1302);
  TempDir dir;
  std::vector<uint8_t> bytes(100);
  for (int i = 0; i < 100; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  testsupport::write_band8(dir.file("band"), bytes);
  const std::vector<std::string> paths = {dir.file("band"), dir.file("none"),
                                          dir.path()};
  std::string script;
  for (int k = 0; k < kCalls; ++k) {
    std::string args = f.mostly(paths);
    if (f.below(10) == 0) {
      for (int a = f.below(10); a > 0; --a) args += " {" + f.number() + "}";
    } else {
      args += " " + f.number(-8, 8) + " " + f.number(-1, 5) + " " +
              f.number(-2, 12) + " " + f.number(-2, 12) + " " +
              f.number(8, 12) + " " + f.number(8, 12) + " " + f.number(0, 1);
    }
    script += shelltest::show("PointValue " + args);
  }
  const std::vector<std::string> ok = {
      "0 #", "1 {Missing/extra parameter.}", "1 {Illegal parameter.}",
      "1 {Error opening image file (*).}",
      "1 {Error reading from image file (*).}"};
  expect_answers(shelltest::run_script(dir, script), ok, kCalls);
}

TEST(CommandsFuzz, ClearMatchingPoints) {
  Fuzzer f(1303);
  TempDir dir;
  const std::string path = dir.file("match");
  const std::string raster(12 * 9, '\x07');
  testsupport::write_file(path, raster);
  std::string script;
  for (int k = 0; k < kCalls; ++k) {
    std::string args = f.below(8) == 0 ? dir.file("none") : path;
    const int count = f.below(10) == 0 ? f.below(11) : 8;
    for (int a = 0; a < count; ++a) args += " {" + f.number(-5, 25) + "}";
    script += shelltest::show("ClearMatchingPoints " + args);
  }
  const std::vector<std::string> ok = {
      "0 {}",
      "1 {Missing/extra parameter.}",
      "1 {Illegal parameter.}",
      "1 {Error opening matching points file (*).}",
      "1 {Error reading matching points file (*).}",
      "1 {Error modifying matching points file (*).}",
      "1 {Error closing matching points file (*).}"};
  expect_answers(shelltest::run_script(dir, script), ok, kCalls);
  const std::string after = testsupport::read_file(path);
  ASSERT_EQ(after.size(), raster.size());
  for (char c : after) EXPECT_TRUE(c == '\x07' || c == '\0');
}

TEST(CommandsFuzz, CreateGif) {
  Fuzzer f(1304);
  TempDir dir;
  std::string script =
      "pack [frame .f -width 20 -height 10 -bg #336699]\n"
      "pack [frame .g -width 20 -height 10 -bg #ff8800]\nupdate\n";
  const std::vector<std::string> windows = {".f", ".g", ".", ".nope", "", "x"};
  const std::vector<std::string> gifs = {dir.file("a.gif"),
                                         dir.file("no/b.gif"), dir.path()};
  const std::vector<std::string> sizes = {"25", "1",  "3", "10",
                                          "0",  "-1", "x", "2147483647"};
  const std::vector<std::string> scripts = {
      "set ::p %d",      "",           "set ::p %5i",
      "set ::p %s",      "set ::p %n", "set ::p %d%d",
      "set ::p %",       "set ::p %%", "set ::p %ld",
      "set ::p %-+ 07d", "error %d",   "set ::p %99999d",
      "set ::p %*d",     "set ::p %"};
  int calls = 0;
  for (int k = 0; k < kCalls; ++k) {
    const std::string rows = f.mostly(sizes);
    // One dimension may be huge, never both: the image must fit memory.
    const std::string cols = rows == "2147483647" ? f.pick(sizes) : "7";
    const int n = f.below(6) == 0 ? f.below(40) - 2 : f.below(4);
    std::string lists[3];
    for (std::string &list : lists) {
      const int items = f.below(8) == 0 ? f.below(6) : std::max(n, 0);
      for (int i = 0; i < items; ++i) list += f.number(-5, 260) + " ";
    }
    std::string args = f.mostly(windows) + " " + f.mostly(gifs) + " " + rows +
                       " " + cols + " " + std::to_string(n);
    for (const std::string &list : lists) args += " {" + tcl_safe(list) + "}";
    args += " {" + f.pick(scripts) + "}";
    if (f.below(12) == 0) args += " extra";
    script += shelltest::show("CreateGif " + args);
    ++calls;
  }
  const std::vector<std::string> ok = {"0 {}",
                                       "1 {Missing/extra parameter.}",
                                       "1 {Illegal parameter.}",
                                       "1 {Illegal red/green/blue.}",
                                       "1 {bad window path name \"*\"}",
                                       "1 {Error opening GIF file (*).}",
                                       "1 {Error writing GIF file (*).}",
                                       "1 {Error allocating memory.}"};
  expect_answers(shelltest::run_script(dir, script, 300), ok, calls);
}

}  // namespace

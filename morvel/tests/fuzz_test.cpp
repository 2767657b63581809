// Random and mutated configuration strings, arguments and files: the shell
// answers every call with success or one of its own messages, never
// crashes, never trips a sanitizer, leaves no file open and never makes a
// matching points file longer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

using testsupport::TempDir;

class Fuzzer {
 public:
  // Mutations insert letters of `alphabet`, or any byte when it is empty.
  Fuzzer(unsigned seed, std::string alphabet = "")
      : engine_(seed), alphabet_(std::move(alphabet)) {}
  int below(int n) {
    return static_cast<int>(engine_() % static_cast<unsigned>(n));
  }
  template <class T>
  const T &pick(const std::vector<T> &items) {
    return items[static_cast<size_t>(below(static_cast<int>(items.size())))];
  }
  // Mostly the first item, else any.
  template <class T>
  const T &mostly(const std::vector<T> &items) {
    return below(4) != 0 ? items[0] : pick(items);
  }
  // Mostly a number in lo..hi, at times an extreme one or none at all.
  std::string number(int lo = -100, int hi = 500) {
    static const std::vector<std::string> odd = {
        "0",           "1",  "-1",    "2147483647", "-2147483648", "2147483648",
        "99999999999", "x",  "12abc", "+7",         "-",           "",
        "0x10",        "1e3"};
    if (below(15) == 0) return pick(odd);
    return std::to_string(lo + below(hi - lo + 1));
  }
  char letter() {
    return alphabet_.empty() ? static_cast<char>(below(256))
                             : alphabet_[static_cast<size_t>(
                                   below(static_cast<int>(alphabet_.size())))];
  }
  // Bytes of `text` changed, dropped, repeated or cut; numbers inserted.
  std::string mutate(std::string text) {
    const int edits = 1 + below(4);
    for (int k = 0; k < edits; ++k) {
      const size_t at =
          text.empty()
              ? 0
              : static_cast<size_t>(below(static_cast<int>(text.size())));
      switch (below(6)) {
        case 0:
          if (!text.empty()) text[at] = letter();
          break;
        case 1: text.erase(at, 1 + static_cast<size_t>(below(8))); break;
        case 2: text.insert(at, 1, letter()); break;
        case 3:
          text.insert(at, text.substr(at, static_cast<size_t>(below(40))));
          break;
        case 4: text.resize(at); break;
        default: text.insert(at, " " + number() + " "); break;
      }
    }
    return text;
  }

 private:
  std::mt19937 engine_;
  std::string alphabet_;
};

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

// Runs `script` and checks its `calls` lines, each printed by show(),
// against the answers; both the work and the refusals must be reached.
void expect_answers(const TempDir &dir, const std::string &script, int calls,
                    const std::vector<std::string> &answers) {
  const auto r = shelltest::run_script(dir, script, 300);
  ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  const auto out = shelltest::lines(r.out);
  int successes = 0;
  for (const std::string &line : out) {
    successes += line[0] == '0';
    EXPECT_TRUE(std::any_of(
        answers.begin(), answers.end(),
        [&](const std::string &a) { return fits(a.c_str(), line.c_str()); }))
        << line;
  }
  EXPECT_EQ(out.size(), static_cast<size_t>(calls));
  EXPECT_GT(successes, calls / 20);
  EXPECT_LT(successes, calls);
}

// Ends the script with an error when files opened since `$fds` are left open.
const char *const FDS = "set fds [llength [glob /proc/self/fd/*]]\n";
const char *const FDS_CHECK =
    "if {[llength [glob /proc/self/fd/*]] != $fds} {error {files left open}}\n";

// Puts `data` into the photo p at a random size.
std::string put(Fuzzer &f, const char *format, const std::string &data) {
  return shelltest::show("p put " + shelltest::tcl_quote(data) + " -format " +
                         format + " -to 0 0 " +
                         std::to_string(1 + f.below(12)) + " " +
                         std::to_string(1 + f.below(9)));
}

TEST(FormatFuzz, EveryStringGetsSuccessOrAKnownMessage) {
  TempDir dir;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 20 * 30; ++i)
    bytes.push_back(static_cast<uint8_t>(i * 37));
  testsupport::write_band8(dir.file("b1"), bytes);
  testsupport::write_band8(dir.file("b2"),
                           std::vector<uint8_t>(bytes.rbegin(), bytes.rend()));
  testsupport::write_band8(dir.file("c1"), std::vector<uint8_t>(300, 9));
  testsupport::write_band16(dir.file("w1"),
                            std::vector<uint16_t>(20 * 30, 700));
  const std::string pal = shelltest::palette_text([](int e) {
    return shelltest::Rgb{e, 255 - e, e * 3};
  });
  const std::string files = "x|" + dir.file("b1") + " " + dir.file("b2") +
                            "|x|1 2|x|" + dir.file("c1") + "|";
  const std::vector<std::string> raw = {
      files + "1 20 30 2 3 10 12 6 8 1|(B1-B2)/(B1+B2)*127+128|",
      files + "1 20 30 0 0 20 30 4 5 2|B1||C1*2||b2|",
      files + "1 20 30 5 5 4 4 8 8 3|pc1+B2/3||" + pal,
      "x|" + dir.file("w1") + "|x|1|x|NO-PCI|3 20 30 1 1 6 6 12 12 1|B1*0.5|",
      "x|" + dir.file("w1") + "|x|3|x|NO-PCI|4 20 30 1 1 6 9 3 3 2|B3||B3||7|",
  };
  const std::vector<std::string> palette = {"3 16 |" + pal, "1 2 |" + pal};

  Fuzzer f(20261208, "|0123456789 -+BbCcPp()*/.,x\t\n");
  // PaletteImage strings, then RawImage strings, with their own messages.
  std::vector<std::string> answers = {
      "0 {}", "1 {couldn't recognize image data}",
      "1 {Error allocating memory.}",
      "1 {Error in photo configuration string [1].}",
      "1 {Error in photo configuration string [2].}"};
  std::string script = std::string(FDS) + "image create photo p\n";
  for (int i = 0; i < 500; ++i)
    script += put(f, "PaletteImage", f.mutate(f.pick(palette)));
  expect_answers(dir, script + FDS_CHECK, 500, answers);

  for (int n = 3; n <= 12; ++n)
    answers.push_back("1 {Error in photo configuration string [" +
                      std::to_string(n) + "].}");
  for (const char *pattern :
       {"Illegal expression in photo configuration string [13].",
        "Illegal expression in photo configuration string.",
        "Error opening image file - band does not exist.",
        "Error opening image files - illegal parameter.",
        "Error opening PCI file - component does not exist.",
        "Error opening image file for band # (*).",
        "Error opening PCI file for component # (*).",
        "Error reading image file for band # (*).",
        "Error reading PCI file for component # (*)."})
    answers.push_back("1 {" + std::string(pattern) + "}");
  script = std::string(FDS) + "image create photo p\n";
  for (int i = 0; i < 1000; ++i) {
    std::string s;
    if (i % 10 == 9)  // now and then plain random text
      for (int n = f.below(60); n > 0; --n) s += f.letter();
    else
      s = f.mutate(f.pick(raw));
    script += put(f, "RawImage", s);
  }
  expect_answers(dir, script + FDS_CHECK, 1000, answers);
}

constexpr int kCalls = 150;

TEST(CommandsFuzz, Scatter2) {
  Fuzzer f(1301);
  TempDir dir;
  const std::string plot =
      "3 #ffff00000000 #0000ffff0000 #00000000ffff\n900 5 6 7\n"
      "0 0 10 1 0 0\n3 4 900 0 2 0\n200 17 44 0 0 9\n255 255 1 1 1 1\n";
  const std::vector<std::string> sizes = {"256", "300", "512", "255",
                                          "0",   "-3",  "x"};
  const std::vector<std::string> cells = {"256", "128", "1", "0",
                                          "-2",  "300", "x"};
  const std::vector<std::string> words = {"w", "seven77", "eight888"};
  std::string script = FDS;
  for (int k = 0; k < kCalls; ++k) {
    const std::string path = dir.file("plot" + std::to_string(k));
    testsupport::write_file(path, f.below(4) == 0 ? plot : f.mutate(plot));
    std::string config = path + " " + f.number(-20, 260) + " " +
                         f.number(-20, 260) + " " + f.mostly(cells) + " " +
                         f.mostly(words) + " " + f.number(-50, 200) + " " +
                         f.number(-10, 150) + " " + f.mostly(sizes) + " " +
                         f.mostly(sizes);
    if (f.below(6) == 0) config = f.mutate(config);
    script += shelltest::show("image create photo -format Scatter2 -data " +
                              shelltest::tcl_quote(config));
  }
  expect_answers(
      dir, script + FDS_CHECK, kCalls,
      {"0 image#", "1 {Error in plot configuration string.}",
       "1 {Error opening plot file (*).}", "1 {Error reading plot file (*).}",
       "1 {Error allocating memory.}",
       "1 {Too many scatter areas (limit of 15).}",
       "1 {#x# is too small for a scatter plot.}",
       "1 {couldn't recognize image data}"});
}

TEST(CommandsFuzz, PointValue) {
  Fuzzer f(1302);
  TempDir dir;
  std::vector<uint8_t> bytes(100);
  for (int i = 0; i < 100; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  testsupport::write_band8(dir.file("band"), bytes);
  const std::vector<std::string> paths = {dir.file("band"), dir.file("none"),
                                          dir.path()};
  std::string script = FDS;
  for (int k = 0; k < kCalls; ++k) {
    std::string args = f.mostly(paths);
    if (f.below(10) == 0) {
      for (int a = f.below(10); a > 0; --a) args += " {" + f.number() + "}";
    } else {
      for (auto [lo, hi] : {std::pair{-8, 8},
                            {-1, 5},
                            {-2, 12},
                            {-2, 12},
                            {8, 12},
                            {8, 12},
                            {0, 1}})
        args += " " + f.number(lo, hi);
    }
    script += shelltest::show("PointValue " + args);
  }
  expect_answers(dir, script + FDS_CHECK, kCalls,
                 {"0 #", "1 {Missing/extra parameter.}",
                  "1 {Illegal parameter.}", "1 {Error opening image file (*).}",
                  "1 {Error reading from image file (*).}"});
}

TEST(CommandsFuzz, ClearMatchingPoints) {
  Fuzzer f(1303);
  TempDir dir;
  const std::string path = dir.file("match");
  const std::string raster(12 * 9, '\x07');
  testsupport::write_file(path, raster);
  std::string script = FDS;
  for (int k = 0; k < kCalls; ++k) {
    std::string args = f.below(8) == 0 ? dir.file("none") : path;
    const int count = f.below(10) == 0 ? f.below(11) : 8;
    for (int a = 0; a < count; ++a) args += " {" + f.number(-5, 25) + "}";
    script += shelltest::show("ClearMatchingPoints " + args);
  }
  expect_answers(
      dir, script + FDS_CHECK, kCalls,
      {"0 {}", "1 {Missing/extra parameter.}", "1 {Illegal parameter.}",
       "1 {Error opening matching points file (*).}",
       "1 {Error reading matching points file (*).}",
       "1 {Error modifying matching points file (*).}",
       "1 {Error closing matching points file (*).}"});
  const std::string after = testsupport::read_file(path);
  ASSERT_EQ(after.size(), raster.size());
  for (char c : after) EXPECT_TRUE(c == '\x07' || c == '\0');
}

TEST(CommandsFuzz, CreateGif) {
  Fuzzer f(1304);
  TempDir dir;
  std::string script =
      "pack [frame .f -width 20 -height 10 -bg #336699]\n"
      "pack [frame .g -width 20 -height 10 -bg #ff8800]\nupdate\n" +
      std::string(FDS);
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
  for (int k = 0; k < kCalls; ++k) {
    const std::string rows = f.mostly(sizes);
    // One dimension may be huge, never both: the image must fit memory.
    const std::string cols = rows == "2147483647" ? f.pick(sizes) : "7";
    const int n = f.below(6) == 0 ? f.below(40) - 2 : f.below(4);
    std::string args = f.mostly(windows) + " " + f.mostly(gifs) + " " + rows +
                       " " + cols + " " + std::to_string(n);
    for (int list = 0; list < 3; ++list) {
      std::string items;
      for (int i = f.below(8) == 0 ? f.below(6) : std::max(n, 0); i > 0; --i)
        items += f.number(-5, 260) + " ";
      args += " " + shelltest::tcl_quote(items);
    }
    args += " {" + f.pick(scripts) + "}";
    if (f.below(12) == 0) args += " extra";
    script += shelltest::show("CreateGif " + args);
  }
  expect_answers(
      dir, script + FDS_CHECK, kCalls,
      {"0 {}", "1 {Missing/extra parameter.}", "1 {Illegal parameter.}",
       "1 {Illegal red/green/blue.}", "1 {bad window path name \"*\"}",
       "1 {Error opening GIF file (*).}", "1 {Error writing GIF file (*).}",
       "1 {Error allocating memory.}"});
}

}  // namespace

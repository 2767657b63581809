// Random and mutated configuration strings, arguments and files for the
// six names: the shell answers every call with success or one of its own
// messages, never crashes, never trips a sanitizer, leaves no file open
// and never makes a matching points file longer.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

class Fuzzer {
 public:
  explicit Fuzzer(unsigned seed) : engine_(seed) {}
  int below(int n) { return int(engine_() % unsigned(n)); }
  template <class T>
  const T &pick(const std::vector<T> &items) {
    return items[size_t(below(int(items.size())))];
  }
  template <class T>  // mostly the first item, else any
  const T &mostly(const std::vector<T> &items) {
    return below(4) != 0 ? items[0] : pick(items);
  }
  // Mostly a number in lo..hi, at times an extreme one or none at all.
  std::string number(int lo = -100, int hi = 500) {
    static const std::vector<std::string> odd = {
        "0",  "-1",    "2147483647", "-2147483648", "2147483648", "99999999999",
        "x",  "12abc", "+7",         "-",           "",           "0x10",
        "1e3"};
    return below(15) == 0 ? pick(odd) : std::to_string(lo + below(hi - lo + 1));
  }
  char letter() {
    static const std::string letters = "|0123456789 -+BbCcPp()*/.,x#\t\n\xff";
    return letters[size_t(below(int(letters.size())))];
  }
  // Bytes of `text` changed, dropped, repeated or cut; numbers inserted.
  std::string mutate(std::string text) {
    for (int k = below(4); k >= 0; --k) {
      const size_t at = text.empty() ? 0 : size_t(below(int(text.size())));
      switch (below(6)) {
        case 0: text.insert(at, 1, letter()); break;
        case 1: text.erase(at, size_t(1 + below(8))); break;
        case 2: text.insert(at, text.substr(at, size_t(below(40)))); break;
        case 3: text.resize(at); break;
        case 4: text.insert(at, " " + number() + " "); break;
        default:
          if (!text.empty()) text[at] = letter();
      }
    }
    return text;
  }

 private:
  std::mt19937 engine_;
};

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

const std::map<std::string, std::vector<std::string>> kAnswers = {
    {"PaletteImage",
     {"0 {}", "1 {couldn't recognize image data}",
      "1 {Error allocating memory.}",
      "1 {Error in photo configuration string [1].}",
      "1 {Error in photo configuration string [2].}"}},
    {"RawImage",
     {"0 {}", "1 {couldn't recognize image data}",
      "1 {Error allocating memory.}",
      "1 {Error in photo configuration string [#].}",
      "1 {Illegal expression in photo configuration string [13].}",
      "1 {Illegal expression in photo configuration string.}",
      "1 {Error opening image file - band does not exist.}",
      "1 {Error opening image files - illegal parameter.}",
      "1 {Error opening PCI file - component does not exist.}",
      "1 {Error opening image file for band # (*).}",
      "1 {Error opening PCI file for component # (*).}",
      "1 {Error reading image file for band # (*).}",
      "1 {Error reading PCI file for component # (*).}"}},
    {"Scatter2",
     {"0 image#", "1 {Error in plot configuration string.}",
      "1 {Error opening plot file (*).}", "1 {Error reading plot file (*).}",
      "1 {Error allocating memory.}",
      "1 {Too many scatter areas (limit of 15).}",
      "1 {#x# is too small for a scatter plot.}",
      "1 {couldn't recognize image data}"}},
    {"PointValue",
     {"0 #", "1 {Missing/extra parameter.}", "1 {Illegal parameter.}",
      "1 {Error opening image file (*).}",
      "1 {Error reading from image file (*).}"}},
    {"ClearMatchingPoints",
     {"0 {}", "1 {Missing/extra parameter.}", "1 {Illegal parameter.}",
      "1 {Error opening matching points file (*).}",
      "1 {Error reading matching points file (*).}"}},
    {"CreateGif",
     {"0 {}", "1 {Missing/extra parameter.}", "1 {Illegal parameter.}",
      "1 {Illegal red/green/blue.}", "1 {bad window path name \"*\"}",
      "1 {Error opening GIF file (*).}", "1 {Error allocating memory.}"}},
};

TEST(Fuzz, EveryCallGetsSuccessOrAKnownMessage) {
  shelltest::TempDir dir;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 20 * 30; ++i) bytes.push_back(uint8_t(i * 37));
  testsupport::write_band8(dir.file("b1"), bytes);
  testsupport::write_band8(dir.file("b2"), {bytes.rbegin(), bytes.rend()});
  testsupport::write_band8(dir.file("c1"), std::vector<uint8_t>(300, 9));
  testsupport::write_band16(dir.file("w1"), std::vector<uint16_t>(600, 700));
  const std::string match(12 * 9, '\x07');
  testsupport::write_file(dir.file("match"), match);
  const std::string pal = shelltest::palette_text([](int e) {
    return shelltest::Rgb{e, 255 - e, e * 3};
  });
  const std::string files = "x|" + dir.file("b1") + " " + dir.file("b2") +
                            "|x|1 2|x|" + dir.file("c1") + "|";
  const std::string w1 = "x|" + dir.file("w1") + "|x|";
  const std::vector<std::string> raw = {
      files + "1 20 30 2 3 10 12 6 8 1|(B1-B2)/(B1+B2)*127+128|",
      files + "1 20 30 0 0 20 30 4 5 2|B1||C1*2||b2|",
      files + "1 20 30 5 5 4 4 8 8 3|pc1+B2/3||" + pal,
      w1 + "1|x|NO-PCI|3 20 30 1 1 6 6 12 12 1|B1*0.5|",
      w1 + "3|x|NO-PCI|4 20 30 1 1 6 9 3 3 2|B3||B3||7|"};
  const std::vector<std::string> palette = {"3 16 |" + pal, "1 2 |" + pal};
  const std::string plot =
      "3 #ffff00000000 #0000ffff0000 #00000000ffff\n900 5 6 7\n"
      "0 0 10 1 0 0\n3 4 900 0 2 0\n200 17 44 0 0 9\n255 255 1 1 1 1\n";
  const std::vector<std::string> names = {
      "PaletteImage", "PaletteImage", "RawImage",
      "RawImage",     "RawImage",     "RawImage",
      "Scatter2",     "PointValue",   "ClearMatchingPoints",
      "CreateGif"};
  const std::vector<std::string> sizes = {"25", "1",  "3", "10",
                                          "0",  "-1", "x", "2147483647"};
  const std::vector<std::string> progress = {
      "set ::p %d", "",           "set ::p %5i",
      "set ::p %s", "set ::p %n", "set ::p %d%d",
      "set ::p %",  "set ::p %%", "set ::p %-+ 07d",
      "error %d",   "set ::p %*d"};

  Fuzzer f(20261208);
  std::string script =
      "pack [frame .f -width 20 -height 10 -bg #336699]\n"
      "pack [frame .g -width 20 -height 10 -bg #ff8800]\nupdate\n"
      "image create photo p\nset fds [llength [glob /proc/self/fd/*]]\n";
  std::vector<std::string> called;
  for (int k = 0; k < 1600; ++k) {
    const std::string &name = f.pick(names);
    std::string c;
    if (name == "PaletteImage" || name == "RawImage") {
      std::string data = f.mutate(f.pick(name == "RawImage" ? raw : palette));
      if (name == "RawImage" && f.below(10) == 0)
        for (data.clear(); data.size() < size_t(f.below(60));)
          data += f.letter();
      c = "p put " + shelltest::quote(data) + " -format " + name + " -to 0 0 " +
          std::to_string(1 + f.below(12)) + " " +
          std::to_string(1 + f.below(9));
    } else if (name == "Scatter2") {
      const std::string path = dir.file("plot" + std::to_string(k));
      testsupport::write_file(path, f.below(4) == 0 ? plot : f.mutate(plot));
      std::string config =
          path + " " + f.number(-20, 260) + " " + f.number(-20, 260) + " " +
          f.mostly<std::string>({"256", "128", "1", "0", "300"}) + " " +
          f.mostly<std::string>({"w", "seven77", "eight888"}) + " " +
          f.number(-50, 200) + " " + f.number(-10, 150) + " " +
          f.mostly<std::string>({"256", "512", "255", "x"}) + " " +
          f.mostly<std::string>({"256", "300", "0", "-3"});
      if (f.below(6) == 0) config = f.mutate(config);
      c = "image create photo -format Scatter2 -data " +
          shelltest::quote(config);
    } else if (name == "PointValue" || name == "ClearMatchingPoints") {
      const bool point = name == "PointValue";
      c = name + " " +
          dir.file(f.mostly<std::string>({point ? "b1" : "match", "none", ""}));
      const int count = f.below(10) == 0 ? f.below(11) : point ? 7 : 8;
      for (int a = 0; a < count; ++a)
        c += " {" +
             (point ? f.number(a < 2 ? -8 : -2, a == 6 ? 1 : 32)
                    : f.number(-5, 25)) +
             "}";
    } else {
      const std::string rows = f.mostly(sizes);
      // One dimension may be huge, never both: the image must fit memory.
      c = name + " " + f.mostly<std::string>({".f", ".g", ".", ".nope", "x"}) +
          " " + dir.file(f.mostly<std::string>({"a.gif", "no/b.gif", ""})) +
          " " + rows + " " + (rows == "2147483647" ? f.pick(sizes) : "7");
      const int n = f.below(6) == 0 ? f.below(40) - 2 : f.below(4);
      c += " " + std::to_string(n);
      for (int list = 0; list < 3; ++list) {
        c += " {";
        for (int i = f.below(8) == 0 ? f.below(6) : std::max(n, 0); i > 0; --i)
          c += f.number(-5, 260) + " ";
        c += "}";
      }
      c += " {" + f.pick(progress) + "}" + (f.below(12) == 0 ? " extra" : "");
    }
    script += "puts [list " + name + " [catch {" + c + "} r] $r]\n";
    called.push_back(name);
  }
  const auto r =
      shelltest::run_script(dir, script +
                                     "if {[llength [glob /proc/self/fd/*]] != "
                                     "$fds} {error {files left open}}\n");
  ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  const auto out = shelltest::lines(r.out);
  ASSERT_EQ(out.size(), called.size());
  std::map<std::string, int> successes, failures;
  for (size_t k = 0; k < out.size(); ++k) {
    const std::string answer = out[k].substr(called[k].size() + 1);
    ++(answer[0] == '0' ? successes : failures)[called[k]];
    bool known = false;
    for (const auto &a : kAnswers.at(called[k]))
      known = known || fits(a.c_str(), answer.c_str());
    EXPECT_TRUE(known) << called[k] << ": " << answer;
  }
  for (const auto &[name, answers] : kAnswers)
    EXPECT_TRUE(successes[name] > 0 && failures[name] > 0) << name;
  const std::string after = testsupport::read_file(dir.file("match"));
  ASSERT_EQ(after.size(), match.size());
  for (char c : after) EXPECT_TRUE(c == '\x07' || c == '\0');
}

}  // namespace

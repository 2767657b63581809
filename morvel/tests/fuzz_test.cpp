// Random and mutated configuration strings: the shell answers every one
// with success or one of the formats' own messages, never crashes and
// leaves no file open.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "formattest.h"

namespace {

using formattest::tcl_quote;

const char ALPHABET[] = "|0123456789 -+BbCcPp()*/.,x\t\n";
const char *const NUMBERS[] = {
    "0",    "1",          "-1",         "2",           "3",          "4",
    "7",    "8",          "40",         "255",         "256",        "300",
    "1023", "2147483647", "2147483648", "-2147483648", "99999999999"};

class Mutator {
 public:
  explicit Mutator(unsigned seed) : random_(seed) {}

  int Below(int n) {
    return static_cast<int>(random_() % static_cast<unsigned>(n));
  }

  std::string Mutate(std::string s) {
    const int edits = 1 + Below(4);
    for (int i = 0; i < edits; ++i) {
      const size_t at =
          s.empty() ? 0
                    : static_cast<size_t>(Below(static_cast<int>(s.size())));
      switch (Below(6)) {
        case 0:
          if (!s.empty()) s[at] = Letter();
          break;
        case 1:
          if (!s.empty()) s.erase(at, 1);
          break;
        case 2: s.insert(at, 1, Letter()); break;
        case 3: ReplaceNumber(s); break;
        case 4: {
          const size_t n = static_cast<size_t>(Below(40));
          s.insert(at, s.substr(at, n));
          break;
        }
        default: s.resize(at); break;
      }
    }
    return s;
  }

  std::string Random() {
    std::string s;
    if (Below(2) == 0) {
      for (int bar = 0; bar < 6; ++bar) s += Word() + "|";
      for (int i = 0; i < 8 + Below(4); ++i)
        s += std::string(NUMBERS[Below(17)]) + " ";
      s += "|" + Word() + "|" + Word() + "|";
    } else {
      const int n = Below(60);
      for (int i = 0; i < n; ++i) s += Letter();
    }
    return s;
  }

 private:
  char Letter() { return ALPHABET[Below(sizeof ALPHABET - 1)]; }
  std::string Word() {
    std::string w;
    for (int i = Below(6); i > 0; --i) w += Letter() == '|' ? 'B' : Letter();
    return w;
  }
  void ReplaceNumber(std::string &s) {
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = 0; i < s.size();) {
      if (isdigit(static_cast<unsigned char>(s[i]))) {
        size_t j = i;
        while (j < s.size() && isdigit(static_cast<unsigned char>(s[j]))) ++j;
        runs.push_back({i, j - i});
        i = j;
      } else {
        ++i;
      }
    }
    if (runs.empty()) return;
    const auto run =
        runs[static_cast<size_t>(Below(static_cast<int>(runs.size())))];
    s.replace(run.first, run.second, NUMBERS[Below(17)]);
  }

  std::mt19937 random_;
};

// Success, Tk's answer for a string no format matches, or one of the
// format's messages (RawImage: also those naming a band or component).
bool Known(const std::string &answer, bool raw) {
  if (answer == "0") return true;
  if (answer.rfind("1 ", 0) != 0) return false;
  const std::string message = answer.substr(2);
  std::set<std::string> known = {"couldn't recognize image data",
                                 "Error allocating memory."};
  for (int n = 1; n <= (raw ? 12 : 2); ++n)
    known.insert("Error in photo configuration string [" + std::to_string(n) +
                 "].");
  if (raw) {
    known.insert("Illegal expression in photo configuration string [13].");
    known.insert("Illegal expression in photo configuration string.");
    known.insert("Error opening image file - band does not exist.");
    known.insert("Error opening image files - illegal parameter.");
    known.insert("Error opening PCI file - component does not exist.");
  }
  if (known.count(message) != 0) return true;
  if (!raw) return false;
  for (const char *prefix : {"Error opening image file for band ",
                             "Error opening PCI file for component ",
                             "Error reading image file for band ",
                             "Error reading PCI file for component "}) {
    const std::string p = prefix;
    if (message.rfind(p, 0) == 0 && message.size() > p.size() + 4 &&
        message.back() == '.' &&
        message.find(" (", p.size()) != std::string::npos)
      return true;
  }
  return false;
}

TEST(FormatFuzz, EveryStringGetsSuccessOrAKnownMessage) {
  testsupport::TempDir dir;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 20 * 30; ++i)
    bytes.push_back(static_cast<uint8_t>(i * 37));
  testsupport::write_band8(dir.file("b1"), bytes);
  testsupport::write_band8(dir.file("b2"),
                           std::vector<uint8_t>(bytes.rbegin(), bytes.rend()));
  testsupport::write_band8(dir.file("c1"), std::vector<uint8_t>(300, 9));
  testsupport::write_band16(dir.file("w1"),
                            std::vector<uint16_t>(20 * 30, 700));
  const std::string pal = formattest::palette_text([](int e) {
    return formattest::Rgb{e, 255 - e, e * 3};
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

  Mutator m(20261208);
  struct Case {
    bool raw;
    std::string data;
  };
  std::vector<Case> cases;
  for (int i = 0; i < 1500; ++i) {
    const bool isRaw = i % 3 != 0;
    std::string s;
    if (i % 10 == 9)
      s = m.Random();
    else
      s = m.Mutate(isRaw ? raw[static_cast<size_t>(m.Below(5))]
                         : palette[static_cast<size_t>(m.Below(2))]);
    cases.push_back({isRaw, s});
  }
  std::string script =
      "set fds [llength [glob /proc/self/fd/*]]\n"
      "image create photo p\n"
      "proc try {format w h data} {\n"
      "  if {[catch {p put $data -format $format -to 0 0 $w $h} r]} {\n"
      "    puts \"1 $r\"\n"
      "  } else {\n"
      "    puts 0\n"
      "  }\n"
      "}\n";
  for (const auto &c : cases)
    script += std::string("try ") + (c.raw ? "RawImage " : "PaletteImage ") +
              std::to_string(1 + m.Below(12)) + " " +
              std::to_string(1 + m.Below(9)) + " " + tcl_quote(c.data) + "\n";
  script += "puts [expr {[llength [glob /proc/self/fd/*]] - $fds}]\n";
  auto r = shelltest::run_script(dir, script, 300);
  ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  const auto out = formattest::lines(r.out);
  ASSERT_EQ(out.size(), cases.size() + 1);
  int successes = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_TRUE(Known(out[i], cases[i].raw)) << out[i] << "\n"
                                             << cases[i].data.substr(0, 300);
    successes += out[i] == "0";
  }
  EXPECT_GT(successes, 20)
      << "the mutations should leave some strings readable";
  EXPECT_EQ(out.back(), "0") << "files left open";
}

}  // namespace

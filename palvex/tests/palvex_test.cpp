// palvex run over QOR files written as text; expected draws come from a
// generator written out here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testsupport.h"

namespace {

struct Line {
  int cls;
  std::vector<int> values;
};

// A QOR file laid out as nuvira writes it, its counts taken from its lines.
std::string qor(const std::string &bands, const std::vector<Line> &lines,
                int pci = 0, const std::string &ranges = "0 255\n") {
  std::vector<int> counts(27, 0);
  std::string text = "Image:\nscene\nPCI:\n", body;
  for (int i = 0; i < pci; ++i) text += "pc\n";
  for (size_t i = 0; i < lines.size(); ++i) {
    counts[lines[i].cls - 1] += 1;
    body += std::to_string(i) + " 7 " + std::to_string(lines[i].cls);
    for (int v : lines[i].values) body += " " + std::to_string(v);
    body += "\n";
  }
  text += "\nScheme:\ns\nCounts:\n";
  for (int c : counts) text += std::to_string(c) + "\n";
  return text + "\nBands:\n" + bands + "\nRanges:\n" + ranges +
         "\nControls:\nc\nPalettes:\np\nInterpretations:\n" + body;
}

struct Palvex {
  testsupport::TempDir dir;
  std::string ts = dir.file("out.ts");
  int files = 0;
  std::string add(const std::string &text) {
    std::string path = dir.file("q" + std::to_string(files++) + ".qor");
    testsupport::write_file(path, text);
    return path;
  }
  // `args`: max-samples|mode|channels|class-first|value-format|seed
  testsupport::RunResult run(const std::string &args,
                             const std::vector<std::string> &qors) {
    std::vector<std::string> all{ts};
    for (size_t at = 0, bar; at <= args.size(); at = bar + 1) {
      bar = std::min(args.find('|', at), args.size());
      all.push_back(args.substr(at, bar - at));
    }
    all.insert(all.end(), qors.begin(), qors.end());
    return testsupport::run_program("palvex", all);
  }
  std::string out() const { return testsupport::read_file(ts); }
};

// Sample numbers written for a class of `total` samples above the cap.
std::vector<int> draw(uint32_t &state, int total, int cap, bool *walked) {
  std::vector<bool> used(total);
  std::vector<int> order;
  for (int tries = 8 * cap; (int)order.size() < cap;) {
    state = state * 214013u + 2531011u;
    int s = (int)((int64_t)((state >> 16) & 32767) * total / 32768);
    if (!used[s]) used[s] = true, order.push_back(s);
    if (--tries == 0) {
      *walked = true;
      for (int i = 0; i < total && (int)order.size() < cap; ++i)
        if (!used[i]) used[i] = true, order.push_back(i);
    }
  }
  return order;
}

TEST(Palvex, SeededDrawAboveAtAndBelowTheCap) {
  Palvex p;
  std::vector<Line> a, b;  // class 1: 12, class 2: 4, class 3: 2, class 5: 9
  for (int i = 0; i < 12; ++i) (i < 7 ? a : b).push_back({1, {100 + i}});
  for (int i = 0; i < 9; ++i) (i < 5 ? a : b).push_back({5, {500 + i}});
  for (int i = 0; i < 4; ++i) a.push_back({2, {200 + i}});
  a.push_back({3, {300}});
  b.push_back({3, {301}});
  auto r = p.run("4|spectral|6|1|1|12345",
                 {p.add(qor("6\n", a)), p.add(qor("6\n", b))});
  ASSERT_EQ(r.status, 0) << r.err;
  uint32_t state = 12345;
  bool walked = false;
  std::string want;
  for (int s : draw(state, 12, 4, &walked))
    want += "1 " + std::to_string(100 + s) + "\n";
  want += "2 200\n2 201\n2 202\n2 203\n3 300\n3 301\n";
  for (int s : draw(state, 9, 4, &walked))
    want += "5 " + std::to_string(500 + s) + "\n";
  EXPECT_EQ(p.out(), want);

  std::vector<Line> many;  // so many collisions that the tries run out
  for (int i = 0; i < 5000; ++i) many.push_back({4, {i}});
  r = p.run("4999|spectral|1|0|1|99", {p.add(qor("1\n", many, 0, "0 9999\n"))});
  ASSERT_EQ(r.status, 0) << r.err;
  state = 99;
  want.clear();
  for (int s : draw(state, 5000, 4999, &walked))
    want += std::to_string(s) + " 4\n";
  EXPECT_TRUE(walked);
  EXPECT_EQ(p.out(), want);
}

TEST(Palvex, ValuesChannelsAndModes) {
  struct Case {
    const char *args, *bands;
    int pci;
    const char *ranges;
    std::vector<int> values;
    const char *line;
  } cases[] = {
      // clang-format off
      {"9|spectral|1 2|1|1|1", "1\n2\n", 0, "0 255\n", {17, 250}, "3 17 250\n"},
      {"9|spectral|1 2|0|1|1", "1\n2\n", 0, "0 255\n", {17, 250}, "17 250 3\n"},
      {"9|spectral|1 2|1|1|1", "1\n2\n", 0, "0 255\n", {70000, -1}, "3 4464 65535\n"},
      {"9|spectral|1 2|1|2|1", "1\n2\n", 0, "0 1023\n", {1023, 4}, "3 255 1\n"},
      {"9|spectral|1 2|0|2|1", "1\n2\n", 0, "100 611\n", {99, 611}, "0 255 3\n"},
      {"9|spectral|1 2|1|2|1", "1\n2\n", 0, "100 100\n", {100, 101}, "3 0 256\n"},
      {"9|spectral|1 2|1|3|1", "1\n2\n", 0, "0 255\n", {0, 51}, "3 0.0000000 0.2000000\n"},
      {"9|spectral|1 2|0|3|1", "1\n2\n", 0, "0 255\n", {255, 510}, "1.0000000 2.0000000 3\n"},
      {"9|spectral|1 2|1|5|1", "1\n2\n", 0, "0 255\n", {1, 2}, "3  \n"},
      {"9|spectral|1 2|0|5|1", "1\n2\n", 0, "0 255\n", {1, 2}, "  3\n"},
      {"9|spectral|4 2|1|1|1", "1\n2\n3\n4\n", 0, "0 255\n", {11, 12, 13, 14}, "3 14 12\n"},
      {"9|spectral|2 5 2|1|1|1", "1\n2\n2\n", 0, "0 255\n", {11, 12, 22}, "3 22 0 0\n"},
      {"9|pci|3 1|1|1|1", "1\n2\n", 3, "0 255\n", {11, 12, 31, 32, 33}, "3 33 31\n"},
      {"9|pci|2 9|1|1|1", "1\n", 2, "0 255\n", {11, 31, 32}, "3 32 0\n"},
      // clang-format on
  };
  for (const Case &c : cases) {
    Palvex p;
    auto r =
        p.run(c.args, {p.add(qor(c.bands, {{3, c.values}}, c.pci, c.ranges))});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(p.out(), c.line) << c.args << " " << c.ranges;
  }
  Palvex p;  // the band order differs between the files
  auto r = p.run("9|spectral|1 2|1|1|1", {p.add(qor("1\n2\n", {{2, {5, 6}}})),
                                          p.add(qor("2\n1\n", {{2, {8, 7}}}))});
  EXPECT_EQ(p.out(), "2 5 6\n2 7 8\n") << r.err;
}

TEST(Palvex, LineOf81CharactersEndsTheSection) {
  std::string row80 = std::string(72, '0') + "1 7 1 42";
  std::string text = qor("1\n", {{1, {1}}, {1, {2}}, {1, {3}}, {1, {4}}});
  text.replace(text.find("1 7 1 2\n"), 8, row80 + "\n");
  text.replace(text.find("2 7 1 3\n"), 8, "0" + row80 + "\n");
  Palvex p;
  auto r = p.run("10|spectral|1|1|1|1", {p.add(text)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(p.out(), "1 1\n1 42\n1 42\n");  // "3 7 1 4" is never read
}

TEST(Palvex, FailuresAndRefusals) {
  const std::string good = qor("1\n", {{1, {5}}});
  auto with = [&](const std::string &from, const std::string &to) {
    std::string t = good;
    return t.replace(t.find(from), from.size(), to);
  };
  const char *plain = "5|spectral|1|1|1|1";
  struct Case {
    const char *args;
    std::vector<std::string> qors;  // "": a missing file, "/": a folder
    std::string err;                // ending in "(": a prefix; "Q1": 2nd path
  } cases[] = {
      // clang-format off
      {"5|pc|1|1|1|1", {good}, "Illegal parameter.\n"},
      {"5|Spectral|1|1|1|1", {good}, "Illegal parameter.\n"},
      {"x|pci|1|1|1|1", {good}, "Illegal parameter.\n"},
      {"5|pci||1|1|1", {good}, "Illegal image channels.\n"},
      {"5|pci|1 x|1|1|1", {good}, "Illegal image channels.\n"},
      {"5|pci|1 2 3 4 5 6 7 8|1|1|1", {good}, "Illegal image channels.\n"},
      {plain, {good, ""}, "Error opening QOR file \"Q1\" ("},
      {plain, {good, "/"}, "Error reading QOR file \"Q1\" ("},
      {plain, {good, with("0 255", "0 254")}, "Different range in QOR file \"Q1\".\n"},
      {plain, {with("Counts:\n1", "Counts:\nx")}, "Error reading QOR file \"Q0\" ("},
      {plain, {with("Counts:\n1\n", "Counts:\n1\n0\n")}, "Error reading QOR file \"Q0\" ("},
      {plain, {with("Ranges:\n0 255\n", ""), good}, "Error reading QOR file \"Q0\" ("},
      {"5|spectral|1|1|3|1", {with("0 255", "7 7")}, "Error reading QOR file \"Q0\" ("},
      {"5|spectral|1|1|2|1", {with("0 255", "7 6")}, "Error reading QOR file \"Q0\" ("},
      {plain, {with("Bands:\n1", "Bands:\nb")}, "Error reading QOR file \"Q0\"("},
      {plain, {with("Bands:\n1", "Bands:\n1\n1\n1\n1\n1\n1\n1\n1")}, "Error reading QOR file \"Q0\"("},
      {plain, {with("PCI:\n", "PCI:\n1\n2\n3\n4\n5\n6\n7\n8\n")}, "Error reading QOR file \"Q0\"("},
      {plain, {with("0 7 1 5\n", "0 7 1 5 6\n")}, "Illegal interpretation line in QOR file \"Q0\".\n"},
      {plain, {good + "1 7 1 6\n"}, "Too many samples of class 1 - corrupt QOR file.\n"},
      {"5|pci|1|1|1|1", {good + "1 7 1 6\n"}, "Too many samples of class 1 - corrupt QOR file.\n"},
      {"5|spectral|9|1|1|1", {good + "1 7 1 6\n"}, "Too many samples of class 1 - corrupt QOR file.\n"},
      {plain, {good + "1 7 28 6\n"}, "Too many samples of class 28 - corrupt QOR file.\n"},
      {plain, {good + "1 7 0 6\n"}, "Too many samples of class 0 - corrupt QOR file.\n"},
      {"0|spectral|1|1|1|1", {good}, ""},
      // clang-format on
  };
  for (const Case &c : cases) {
    Palvex p;
    std::vector<std::string> paths;
    std::string err = c.err;
    for (const std::string &text : c.qors) {
      paths.push_back(text.empty()  ? p.dir.file("none")
                      : text == "/" ? p.dir.path()
                                    : p.add(text));
      std::string name = "Q" + std::to_string(paths.size() - 1);
      if (err.find(name) != std::string::npos)
        err.replace(err.find(name), 2, paths.back());
    }
    auto r = p.run(c.args, paths);
    EXPECT_EQ(r.status, err.empty() ? 0 : 1) << c.err;
    bool prefix = !err.empty() && err.back() == '(';
    EXPECT_EQ(prefix ? r.err.substr(0, err.size()) : r.err, err);
    // The training set file is created after the arguments, before any QOR
    // file is read, and stays empty on every failure.
    bool qorStage = err.empty() || err.find("QOR") != std::string::npos;
    EXPECT_EQ(testsupport::file_exists(p.ts), qorStage) << c.err;
    EXPECT_EQ(p.out(), "") << c.err;
  }
}

TEST(Palvex, UsageAndOutputFileFailures) {
  auto r = testsupport::run_program("palvex", {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Usage: palvex <ts-path> <max-samples> {spectral|pc}\n"
            "               \"<channels>\" <class-first> <value-format>\n"
            "               <seed> <qor-path> [<qor-path> ...]\n");
  r = testsupport::run_program("palvex", {"a", "1", "pci", "1", "1", "1", "1"});
  EXPECT_EQ(r.err, "Missing parameter.\n");
  Palvex p;
  std::string q = p.add(qor("1\n", {{1, {5}}}));
  p.ts = p.dir.path();
  r = p.run("5|spectral|1|1|1|1", {q});
  EXPECT_EQ(r.err.rfind("Error creating training set file (", 0), 0u) << r.err;
  p.ts = "/dev/full";  // fails when the file is closed
  r = p.run("5|spectral|1|1|1|1", {q});
  EXPECT_EQ(r.err.rfind("Error writing training set file (", 0), 0u) << r.err;
  EXPECT_EQ(r.status, 1);
}

// Cut and scrambled QOR files, and a count no file can hold, end in an
// ordinary status: never a signal or a sanitizer report.
TEST(Palvex, DamagedQorFilesNeverCrash) {
  std::vector<Line> lines;
  for (int i = 0; i < 6; ++i)
    lines.push_back({1 + i % 3, {i, 1000 - i, 7, 3, 900}});
  const std::string good = qor("1\n2\n3\n", lines, 2, "0 1023\n");
  std::vector<std::string> texts;
  for (size_t n = 0; n <= good.size(); n += 5)
    texts.push_back(good.substr(0, n));
  std::mt19937 rng(5);
  const std::string alphabet = "0123456789 -\n\n\nCountsRangesBandsPCI:";
  for (int i = 0; i < 100; ++i) {
    std::string t = good;
    for (int k = 0; k <= i % 6; ++k)
      t[rng() % t.size()] = alphabet[rng() % alphabet.size()];
    texts.push_back(t);
  }
  std::string huge = qor("1\n", {{1, {5}}});
  texts.push_back(huge.replace(huge.find("Counts:\n1") + 8, 1, "2000000000"));
  Palvex p;
  ASSERT_EQ(p.run("1|pci|2 1|1|1|3", {p.add(good)}).status, 0);
  for (size_t i = 0; i < texts.size(); ++i) {
    std::string q = p.add(texts[i]);
    std::string mode = i % 2 ? "|pci" : "|spectral";
    auto r = p.run("2" + mode + "|1 2 3|1|" + std::to_string(1 + i % 3) + "|3",
                   {q, q});
    ASSERT_TRUE(r.status == 0 || r.status == 1)
        << "status " << r.status << " signal " << r.signal << "\n"
        << r.err << texts[i];
  }
}

}  // namespace

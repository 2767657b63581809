// palvex run over QOR files written as text.
#include <gtest/gtest.h>
#include <unistd.h>

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

// The lines of `text` split at their line feeds.
std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = text.find('\n', at)) != text.npos;
       at = end + 1)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

// Every class above the cap gives exactly the cap's number of lines, each
// a distinct sample of the class; classes up to the cap give all theirs in
// storage order. The exact draws of fixed seeds are recorded outputs.
TEST(Palvex, SeededDrawAboveAtAndBelowTheCap) {
  std::vector<Line> a, b;  // class 1: 12, class 2: 4, class 3: 2, class 5: 9
  for (int i = 0; i < 12; ++i) (i < 7 ? a : b).push_back({1, {100 + i}});
  for (int i = 0; i < 9; ++i) (i < 5 ? a : b).push_back({5, {500 + i}});
  for (int i = 0; i < 4; ++i) a.push_back({2, {200 + i}});
  a.push_back({3, {300}});
  b.push_back({3, {301}});
  const std::string whole = "2 200\n2 201\n2 202\n2 203\n3 300\n3 301\n";
  struct Case {
    const char *seed;
    std::string out;
  } cases[] = {
      {"12345",
       "1 102\n1 107\n1 109\n1 108\n" + whole + "5 501\n5 506\n5 507\n5 504\n"},
      {"1",
       "1 100\n1 106\n1 102\n1 109\n" + whole + "5 505\n5 504\n5 503\n5 508\n"},
      {"4242",
       "1 105\n1 108\n1 103\n1 102\n" + whole + "5 504\n5 506\n5 501\n5 500\n"},
  };
  for (const Case &c : cases) {
    Palvex p;
    auto r = p.run(std::string("4|spectral|6|1|1|") + c.seed,
                   {p.add(qor("6\n", a)), p.add(qor("6\n", b))});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(p.out(), c.out) << c.seed;
    std::vector<std::string> lines = lines_of(p.out());
    for (const char *cls : {"1 ", "5 "}) {
      std::vector<int> drawn;
      for (const std::string &line : lines)
        if (line.rfind(cls, 0) == 0) drawn.push_back(std::stoi(line.substr(2)));
      EXPECT_EQ(drawn.size(), 4u) << c.seed << " class " << cls;
      std::sort(drawn.begin(), drawn.end());
      EXPECT_EQ(std::adjacent_find(drawn.begin(), drawn.end()), drawn.end());
      const int first = cls[0] == '1' ? 100 : 500,
                total = cls[0] == '1' ? 12 : 9;
      EXPECT_GE(drawn.front(), first);
      EXPECT_LT(drawn.back(), first + total);
    }
  }

  // So many collisions that the tries run out and the in-order walk ends
  // the draw: all but one sample, each once.
  std::vector<Line> many;
  for (int i = 0; i < 5000; ++i) many.push_back({4, {i}});
  Palvex p;
  auto r =
      p.run("4999|spectral|1|0|1|99", {p.add(qor("1\n", many, 0, "0 9999\n"))});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = lines_of(p.out());
  ASSERT_EQ(lines.size(), 4999u);
  const std::vector<std::string> head(lines.begin(), lines.begin() + 4);
  EXPECT_EQ(head,
            (std::vector<std::string>{"55 4", "3545 4", "3100 4", "3877 4"}));
  EXPECT_EQ(lines.back(), "3593 4");
  std::vector<bool> seen(5000);
  for (const std::string &line : lines) {
    const int v = std::stoi(line);
    ASSERT_TRUE(v >= 0 && v < 5000 && !seen[v]) << line;
    seen[v] = true;
  }
  EXPECT_FALSE(seen[4437]);  // the one sample left out
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

// `message` with each "Q<n>" replaced by the n-th path, in one pass over
// the message: a path put in may itself hold "Q1" (the temporary folder's
// name is random), and must not be taken for a name to replace.
std::string with_paths(const std::string &message,
                       const std::vector<std::string> &paths) {
  std::string out;
  for (size_t at = 0; at < message.size(); ++at) {
    const size_t n = at + 1 < message.size() ? message[at + 1] - '0' : 10;
    if (message[at] == 'Q' && n < paths.size()) {
      out += paths[n];
      ++at;
    } else {
      out += message[at];
    }
  }
  return out;
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
      {plain, {with("Counts:\n1", "Counts:\nx")}, "Error reading QOR file \"Q0\" (Invalid argument).\n"},
      {plain, {with("Counts:\n1\n", "Counts:\n1\n0\n")}, "Error reading QOR file \"Q0\" (Invalid argument).\n"},
      {plain, {with("Ranges:\n0 255", "Ranges:\n0 x")}, "Error reading QOR file \"Q0\" (Invalid argument).\n"},
      {plain, {with("Ranges:\n0 255\n", ""), good}, "Error reading QOR file \"Q0\" (No data available).\n"},
      {"5|spectral|1|1|3|1", {with("0 255", "7 7")}, "Error reading QOR file \"Q0\" (Invalid argument).\n"},
      {"5|spectral|1|1|2|1", {with("0 255", "7 6")}, "Error reading QOR file \"Q0\" (Invalid argument).\n"},
      {plain, {with("Bands:\n1", "Bands:\nb")}, "Error reading QOR file \"Q0\"(Invalid argument).\n"},
      {plain, {with("Bands:\n1", "Bands:\n1\n1\n1\n1\n1\n1\n1\n1")}, "Error reading QOR file \"Q0\"(Invalid argument).\n"},
      {plain, {with("PCI:\n", "PCI:\n1\n2\n3\n4\n5\n6\n7\n8\n")}, "Error reading QOR file \"Q0\"(Invalid argument).\n"},
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
    for (const std::string &text : c.qors) {
      paths.push_back(text.empty()  ? p.dir.file("none")
                      : text == "/" ? p.dir.path()
                                    : p.add(text));
    }
    const std::string err = with_paths(c.err, paths);
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
  // The training set file may not replace a QOR file, by any spelling.
  for (const std::string &input :
       {q, p.dir.path() + "/./" + q.substr(q.rfind('/') + 1)}) {
    const std::string before = testsupport::read_file(q);
    p.ts = input;
    r = p.run("5|spectral|1|1|1|1", {p.add(qor("1\n", {{1, {6}}})), q});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error creating training set file (File exists).\n");
    EXPECT_EQ(testsupport::read_file(q), before);
  }
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

#if !defined(__SANITIZE_ADDRESS__)
// Room for the samples is reserved from the counts, but never beyond what
// the files could hold: 2,000,000,000 samples announced in a small file
// reserve little, and a folder among the files adds nothing. Where the
// files could hold them (20 GB of holes after the text), the reservation is
// made, and when it cannot be had the run ends with its message, never an
// abort. The run gets 1 GB of address space, so that these samples are out
// of reach on any machine.
TEST(Palvex, StorageBeyondReachFailsWithItsMessage) {
  std::string counted = qor("1\n", {{1, {5}}});
  counted.replace(counted.find("Counts:\n1") + 8, 1, "2000000000");
  Palvex p;
  const std::string large = p.add(counted);
  ASSERT_EQ(truncate(large.c_str(), 20LL << 30), 0);
  const struct {
    std::vector<std::string> qors;
    std::string err;
  } cases[] = {
      {{large}, "Error allocating memory.\n"},
      {{p.add(counted), p.dir.path()},
       "Error reading QOR file \"" + p.dir.path() + "\" (Is a directory).\n"},
  };
  for (const auto &c : cases) {
    std::vector<std::string> args{p.ts, "5", "spectral", "1", "1", "1", "1"};
    args.insert(args.end(), c.qors.begin(), c.qors.end());
    auto r = testsupport::run_program_with_address_limit("palvex", args,
                                                         size_t{1} << 30);
    EXPECT_EQ(r.status, 1) << "signal " << r.signal;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(p.out(), "");
  }
}
#endif

}  // namespace

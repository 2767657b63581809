#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "testsupport.h"

using testsupport::BifPoint;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

const char *const TEXTS[8] = {
    "scene a\n", "pci one\npci two\n\n", "scheme\n",  "2\n1\n\n", "3\n4\n\n",
    "0 255\n\n", "controls\n",           "palettes\n"};

const std::string SECTIONS =
    "Image:\nscene a\nPCI:\npci one\npci two\n\nScheme:\nscheme\n"
    "Counts:\n2\n1\n\nBands:\n3\n4\n\nRanges:\n0 255\n\n"
    "Controls:\ncontrols\nPalettes:\npalettes\nInterpretations:\n";

// A 4 x 10 image: band 3 holds row * 10 + col, band 4 holds 100 + that.
// The two PCI files hold 200 + and 50 + the offset.
class Nuvira : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> b3(40), b4(40), p1(40), p2(40);
    for (int i = 0; i < 40; ++i) {
      b3[i] = static_cast<uint8_t>(i);
      b4[i] = static_cast<uint8_t>(100 + i);
      p1[i] = static_cast<uint8_t>(200 + i);
      p2[i] = static_cast<uint8_t>(50 + i);
    }
    testsupport::write_band8(dir.file("b3"), b3);
    testsupport::write_band8(dir.file("b4"), b4);
    testsupport::write_band8(dir.file("p1"), p1);
    testsupport::write_band8(dir.file("p2"), p2);
  }

  std::vector<std::string> args(const std::string &bif, const std::string &pci,
                                const std::string &type = "1") {
    std::vector<std::string> a = {
        qor(), dir.file("b3") + " " + dir.file("b4"), "3 4", pci, type, bif};
    for (const char *t : TEXTS) a.push_back(t);
    a.push_back("4");
    a.push_back("10");
    return a;
  }
  std::string pcis() { return dir.file("p1") + " " + dir.file("p2"); }
  std::string qor() { return dir.file("out.qor"); }

  RunResult run(const std::vector<std::string> &a) {
    return testsupport::run_program("nuvira", a);
  }

  TempDir dir;
};

TEST_F(Nuvira, WritesSectionsAndOneLinePerRecordOfNonZeroClass) {
  testsupport::write_bif(
      dir.file("p.bif"),
      {{1, 2, 2}, {0, 0, 0}, {3, 9, 1}, {2, 5, -3}, {0, 1, 40}});
  RunResult r = run(args(dir.file("p.bif"), pcis()));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(testsupport::read_file(qor()),
            SECTIONS +
                "1 2 2 12 112 212 62\n3 9 1 39 139 239 89\n"
                "2 5 -3 25 125 225 75\n0 1 40 1 101 201 51\n");
}

TEST_F(Nuvira, NoPciAndEmptyBandLists) {
  testsupport::write_bif(dir.file("p.bif"), {{1, 2, 2}});
  EXPECT_EQ(run(args(dir.file("p.bif"), "NO-PCI")).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()), SECTIONS + "1 2 2 12 112\n");

  std::vector<std::string> a = args(dir.file("p.bif"), "  ");
  a[1] = "";
  a[2] = " ";
  EXPECT_EQ(run(a).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()), SECTIONS + "1 2 2\n");
}

TEST_F(Nuvira, PositionsPastTheRowLengthReadTheFollowingRow) {
  testsupport::write_bif(dir.file("p.bif"), {{1, 12, 1}});
  EXPECT_EQ(run(args(dir.file("p.bif"), "NO-PCI")).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()), SECTIONS + "1 12 1 22 122\n");
}

TEST_F(Nuvira, TrailingBytesOfTheBif) {
  const std::string one = testsupport::bif_bytes({{1, 2, 2}});
  testsupport::write_file(dir.file("p.bif"), "");
  EXPECT_EQ(run(args(dir.file("p.bif"), "NO-PCI")).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()), SECTIONS);

  testsupport::write_file(dir.file("p.bif"), one + "x");
  EXPECT_EQ(run(args(dir.file("p.bif"), "NO-PCI")).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()), SECTIONS + "1 2 2 12 112\n");

  testsupport::write_file(dir.file("p.bif"), one + "abcd");
  RunResult r = run(args(dir.file("p.bif"), "NO-PCI"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error reading from BIF (No data available).\n");
  EXPECT_EQ(testsupport::read_file(qor()), SECTIONS + "1 2 2 12 112\n");
}

TEST_F(Nuvira, SixteenBitAndGiImages) {
  std::vector<uint16_t> full(40), reduced(40);
  for (int i = 0; i < 40; ++i) full[i] = static_cast<uint16_t>(1000 + i);
  for (int i = 0; i < 40; ++i) reduced[i] = static_cast<uint16_t>(60000 + i);
  testsupport::write_band16(dir.file("b3"), reduced);
  testsupport::write_band16(dir.file("b4"), full);
  testsupport::write_band16(dir.file("p1"), full);
  testsupport::write_bif(dir.file("p.bif"), {{1, 5, 1}});
  // AVHRR: both bands full resolution.
  EXPECT_EQ(run(args(dir.file("p.bif"), dir.file("p1"), "3")).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()),
            SECTIONS + "1 5 1 60015 1015 1015\n");
  // GI: band 3 is a reduced plane (rows / 8, cols / 4: 2 words a plane row);
  // band 4 a reduced plane of rows / 4. The component is full resolution.
  std::vector<std::string> a = args(dir.file("p.bif"), dir.file("p1"), "4");
  a[2] = "3 1";
  EXPECT_EQ(run(a).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()),
            SECTIONS + "1 5 1 60001 1015 1015\n");
}

TEST_F(Nuvira, ArgumentChecksInOrder) {
  const std::string bif = dir.file("p.bif");
  testsupport::write_bif(bif, {{1, 2, 2}});
  RunResult r = testsupport::run_program("nuvira", {"a", "b"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Missing/extra parameter.\n");

  for (int pos : {4, 14, 15}) {
    std::vector<std::string> a = args(bif, "NO-PCI");
    a[pos] = "x1";
    r = run(a);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Illegal parameter.\n") << pos;
  }
  for (const char *type : {"0", "5", "-1"}) {
    r = run(args(bif, "NO-PCI", type));
    EXPECT_EQ(r.err, "Illegal parameter.\n") << type;
  }
  std::vector<std::string> a = args(dir.file("none.bif"), "NO-PCI");
  a[1] = "x";  // the BIF is opened before the lists are looked at
  r = run(a);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error opening BIF (No such file or directory).\n");
  EXPECT_FALSE(testsupport::file_exists(qor()));
}

TEST_F(Nuvira, IllegalListsCreateNoQorFile) {
  const std::string bif = dir.file("p.bif");
  testsupport::write_bif(bif, {{1, 2, 2}});
  std::vector<std::vector<std::string>> cases;
  auto a = args(bif, "NO-PCI");
  a[2] = "1 2 3";  // three numbers, two paths
  cases.push_back(a);
  a = args(bif, "NO-PCI");
  a[2] = "3,4";
  cases.push_back(a);
  a = args(bif, "NO-PCI");
  a[1] = "a b c d e f g h";
  a[2] = "1 2 3 4 5 6 7 1";
  cases.push_back(a);
  a = args(bif, "NO-PCI", "4");
  a[2] = "3 6";  // a GI image has no band 6
  cases.push_back(a);
  a = args(bif, "a b c d e f g h");
  cases.push_back(a);
  a = args(bif, std::string(256, 'p'));
  cases.push_back(a);
  for (const auto &c : cases) {
    RunResult r = run(c);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Illegal image paths/bands.");
    EXPECT_FALSE(testsupport::file_exists(qor()));
  }
}

TEST_F(Nuvira, OpenCreateAndReadFailures) {
  const std::string bif = dir.file("p.bif");
  testsupport::write_bif(bif, {{1, 2, 2}, {3, 9, 1}, {5, 0, 1}});
  auto a = args(bif, "NO-PCI");
  a[1] = dir.file("b3") + " " + dir.file("nope");
  RunResult r = run(a);
  EXPECT_EQ(r.err, "Error opening image file " + dir.file("nope") +
                       " (No such file or directory).\n");
  r = run(args(bif, dir.file("p1") + " " + dir.file("nope2")));
  EXPECT_EQ(r.err, "Error opening PCI file " + dir.file("nope2") +
                       " (No such file or directory).\n");
  EXPECT_FALSE(testsupport::file_exists(qor()));

  a = args(bif, "NO-PCI");
  a[0] = dir.file("no/such/dir.qor");
  r = run(a);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error creating QOR file (No such file or directory).\n");

  // Row 5 lies past the end of the 4-row bands: the lines before stay.
  r = run(args(bif, "NO-PCI"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error reading from image file (No data available).\n");
  EXPECT_EQ(testsupport::read_file(qor()),
            SECTIONS + "1 2 2 12 112\n3 9 1 39 139\n5 0 1");

  testsupport::write_band8(dir.file("p1"), {1, 2, 3});
  testsupport::write_bif(bif, {{0, 1, 2}, {0, 3, 2}});
  r = run(args(bif, dir.file("p1")));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error reading from PCI file (No data available).\n");
  EXPECT_EQ(testsupport::read_file(qor()),
            SECTIONS + "0 1 2 1 101 2\n0 3 2 3 103");

  testsupport::write_bif(bif, {{-1, 0, 2}});
  r = run(args(bif, "NO-PCI"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error reading from image file (Invalid argument).\n");
}

TEST_F(Nuvira, TextsAreCopiedUnchanged) {
  testsupport::write_bif(dir.file("p.bif"), {});
  auto a = args(dir.file("p.bif"), "NO-PCI");
  a[6] = "a";
  EXPECT_EQ(run(a).status, 0);
  const std::string text = testsupport::read_file(qor());
  EXPECT_EQ(text.substr(0, 14), "Image:\naPCI:\np");
  a[6] = "%s %d\n";  // texts are data, never formats
  EXPECT_EQ(run(a).status, 0);
  EXPECT_EQ(testsupport::read_file(qor()).substr(0, 20),
            "Image:\n%s %d\nPCI:\npc");
}

// A position whose offset lies beyond the largest file size fails its read
// (the system refuses the seek, or the file ends): it never delivers the
// sample where the stream stood.
TEST_F(Nuvira, PositionsFarPastTheEndFailTheirRead) {
  testsupport::write_bif(dir.file("p.bif"), {{1000000, 0, 1}});
  struct Case {
    std::string pci;
    std::string message;
  } cases[] = {{"NO-PCI", "Error reading from image file ("},
               {pcis(), "Error reading from PCI file ("}};
  for (Case &c : cases) {
    auto a = args(dir.file("p.bif"), c.pci);
    a[15] = "2147483647";     // iCols
    if (c.pci != "NO-PCI") {  // bands that reach: only the PCI read fails
      a[1] = "";
      a[2] = "";
    }
    RunResult r = run(a);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(r.err == c.message + "Invalid argument).\n" ||
                r.err == c.message + "No data available).\n")
        << r.err;
    EXPECT_EQ(testsupport::read_file(qor()), SECTIONS + "1000000 0 1");
  }
}

// The QOR file may not replace an input: a path naming the BIF, a band or a
// PCI file (by any spelling) is refused and the input keeps its bytes.
TEST_F(Nuvira, OutputNamingAnInputIsRefused) {
  testsupport::write_bif(dir.file("p.bif"), {{1, 2, 2}});
  const std::string dot = dir.path() + "/./";
  for (const std::string &input :
       {dir.file("p.bif"), dir.file("b4"), dot + "p2", dot + "b3"}) {
    const std::string base = input.substr(input.rfind('/') + 1);
    const std::string before = testsupport::read_file(dir.file(base));
    auto a = args(dir.file("p.bif"), pcis());
    a[0] = input;
    RunResult r = run(a);
    EXPECT_EQ(r.status, 1) << input;
    EXPECT_EQ(r.err, "Error creating QOR file (File exists).\n");
    EXPECT_EQ(testsupport::read_file(dir.file(base)), before) << input;
  }
}

// Random BIF bytes and random arguments: every run ends with 0 or 1 and,
// for 1, a message; never a signal, a hang or a sanitizer report.
TEST_F(Nuvira, RandomInputsNeverCrash) {
  std::mt19937 gen(12345);
  auto random_bytes = [&gen](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(gen() & 0xFF));
    return s;
  };
  auto random_text = [&gen](size_t n) {
    static const char alphabet[] = "0123456789 -+\t\nabNO-PCI,%s/";
    std::string s;
    for (size_t i = 0; i < n; ++i)
      s.push_back(alphabet[gen() % (sizeof alphabet - 1)]);
    return s;
  };
  for (int round = 0; round < 40; ++round) {
    // Small coordinates so that some records hit the image.
    std::string bif;
    const size_t records = gen() % 6;
    for (size_t i = 0; i < records; ++i) {
      std::vector<BifPoint> p = {{static_cast<int32_t>(gen() % 6) - 1,
                                  static_cast<int32_t>(gen() % 12) - 1,
                                  static_cast<int32_t>(gen() % 4)}};
      bif += gen() % 3 == 0 ? random_bytes(12) : testsupport::bif_bytes(p);
    }
    bif += random_bytes(gen() % 12);
    testsupport::write_file(dir.file("r.bif"), bif);
    auto a = args(dir.file("r.bif"), round % 2 ? pcis() : "NO-PCI",
                  std::to_string(static_cast<int>(gen() % 7) - 1));
    const int changes = static_cast<int>(gen() % 3);
    for (int c = 0; c < changes; ++c)
      a[1 + gen() % 15] = random_text(gen() % 12);
    RunResult r = run(a);
    ASSERT_EQ(r.signal, 0) << "round " << round << ": " << r.err;
    ASSERT_FALSE(r.timed_out);
    ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status << " " << r.err;
    if (r.status == 1)
      EXPECT_FALSE(r.err.empty());
    else
      EXPECT_EQ(r.err, "");
  }
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> a;
    const int n = static_cast<int>(gen() % 18);
    for (int i = 0; i < n; ++i) a.push_back(random_text(gen() % 20));
    RunResult r = testsupport::run_program_in(dir.path(), "nuvira", a);
    ASSERT_EQ(r.signal, 0);
    ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status << " " << r.err;
  }
}

}  // namespace

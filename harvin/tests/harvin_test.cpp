#include "harvin.h"

#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "clustertest.h"

using namespace clustertest;
using testsupport::changed;
using testsupport::expect_failures;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::RunResult;

namespace {

class Harvin : public ::testing::Test {
 protected:
  RunResult run(const Scene &s, bool wide, int nClasses,
                const std::string &threshold) {
    return testsupport::run_program(
        "harvin",
        scene_args(dir, s, wide, {std::to_string(nClasses), threshold, cof()}));
  }
  std::string cof() const { return dir.file("out.cof"); }
  testsupport::TempDir dir;
};

// Pixels of equal samples share a class whenever the leader pass may take
// equal samples together (a threshold of at least 0).
void expect_equal_pixels_together(const Scene &s, const std::string &bytes,
                                  const std::string &threshold) {
  std::map<std::vector<uint16_t>, char> classOf;
  for (int y = 0, p = 0; y < s.aRows; ++y)
    for (int x = 0; x < s.aCols; ++x, ++p) {
      std::vector<uint16_t> pixel;
      for (size_t k = 0; k < s.bands.size(); ++k)
        pixel.push_back(s.at(static_cast<int>(k), y, x));
      const auto known = classOf.emplace(pixel, bytes[static_cast<size_t>(p)]);
      ASSERT_EQ(known.first->second, bytes[static_cast<size_t>(p)])
          << threshold << " pixel " << p;
    }
}

// Progress lines and class bytes: first the 1 x 3 example, pixels 0, 10,
// 3, whose leader (pixel 2) takes pixel 0 (3 away) but not pixel 1 (7
// away); then random areas, whose outputs were recorded once, from runs
// checked against a plain model of the leader pass, merges and bytes.
TEST_F(Harvin, WritesWhatWasRecorded) {
  const Scene example{1, 3, 0, 0, 1, 3, {{0, 10, 3}}};
  const struct {
    int nClasses;
    std::string out, bytes;
  } examples[] = {{2, "2%\n3%\n5%\n99%\n100%\n", "\1\2\1"},
                  {1, "2%\n3%\n5%\n98%\n100%\n", "\1\1\1"},
                  {5, "2%\n3%\n5%\n98%\n", "\1\2\1"}};
  for (const auto &c : examples)
    expect_run(run(example, false, c.nClasses, "4"), {c.out, c.bytes}, cof(),
               c.out);

  // Thresholds that absorb nothing, only equal pixels, exact 3-4-5
  // distances, some pixels, or all of them; -1 and nan absorb no pixel,
  // not even an equal one.
  const char *thresholds[] = {"-1",   "0",    "1",     "5",    "7.5", "30",
                              "60.5", "1000", "40000", "1e30", "inf", "nan"};
  std::mt19937 rng(11);
  const struct {
    RandomScene scene;
    int nClasses;
  } cases[] = {
      {{{6, 7, 0, 0, 6, 7, {}}, 1, 9, false}, 3},
      {{{8, 9, 1, 2, 6, 5, {}}, 2, 30, false}, 4},
      {{{20, 25, 0, 0, 20, 25, {}}, 3, 255, false}, 300},  // bytes wrap
      {{{20, 20, 0, 0, 20, 20, {}}, 5, 3, false}, 6},
      {{{12, 10, 2, 1, 9, 8, {}}, 7, 60000, true}, 5},
      {{{6, 6, 0, 0, 3, 0, {}}, 2, 255, false}, 2},  // no column
      {{{6, 6, 0, 0, 0, 6, {}}, 2, 255, false}, 2},  // no row
  };
  // The digests of the runs, by case and threshold.
  const uint64_t recorded[][12] = {
      {0x1c5a91dff49e9284, 0x5c65b1fa812e588b, 0x937d027681ca2d13,
       0x9452e946b9f9661e, 0xdfd262ad275c3ed9, 0x28d56ee15e62ff99,
       0x28d56ee15e62ff99, 0x28d56ee15e62ff99, 0x28d56ee15e62ff99,
       0x28d56ee15e62ff99, 0x28d56ee15e62ff99, 0x1c5a91dff49e9284},
      {0xee817bb50c24afb6, 0xee817bb50c24afb6, 0x05611210c1904248,
       0x99eb03c629419cb7, 0xb5b8640a42c6d063, 0x5e750ba6862a811d,
       0x5d32a7f191c8eefd, 0x5d32a7f191c8eefd, 0x5d32a7f191c8eefd,
       0x5d32a7f191c8eefd, 0x5d32a7f191c8eefd, 0xee817bb50c24afb6},
      {0xa3b8a82101c8e330, 0xa3b8a82101c8e330, 0xa3b8a82101c8e330,
       0xa3b8a82101c8e330, 0xd01872eb809442f8, 0xa3f9275b519e4a04,
       0x3a7e13a456f8fe1f, 0x5632de96f0c3f4b3, 0x5632de96f0c3f4b3,
       0x5632de96f0c3f4b3, 0x5632de96f0c3f4b3, 0xa3b8a82101c8e330},
      {0x5e2ee0e7e900c8dc, 0x5e2ee0e7e900c8dc, 0xd2d114ccee28dc77,
       0xf51d99de1d8a2921, 0xb77ab373951d93bf, 0xb77ab373951d93bf,
       0xb77ab373951d93bf, 0xb77ab373951d93bf, 0xb77ab373951d93bf,
       0xb77ab373951d93bf, 0xb77ab373951d93bf, 0x5e2ee0e7e900c8dc},
      {0x6259dd4febdd8c13, 0x6259dd4febdd8c13, 0x6259dd4febdd8c13,
       0x6259dd4febdd8c13, 0x6259dd4febdd8c13, 0x6259dd4febdd8c13,
       0x6259dd4febdd8c13, 0x6259dd4febdd8c13, 0xa9c5f16528bfa658,
       0x48ba9fe2cf835917, 0x48ba9fe2cf835917, 0x6259dd4febdd8c13},
      {0x606f261bc49ec803, 0x606f261bc49ec803, 0x606f261bc49ec803,
       0x606f261bc49ec803, 0x606f261bc49ec803, 0x606f261bc49ec803,
       0x606f261bc49ec803, 0x606f261bc49ec803, 0x606f261bc49ec803,
       0x606f261bc49ec803, 0x606f261bc49ec803, 0x606f261bc49ec803},
      {0xaf63f14c8602103b, 0xaf63f14c8602103b, 0xaf63f14c8602103b,
       0xaf63f14c8602103b, 0xaf63f14c8602103b, 0xaf63f14c8602103b,
       0xaf63f14c8602103b, 0xaf63f14c8602103b, 0xaf63f14c8602103b,
       0xaf63f14c8602103b, 0xaf63f14c8602103b, 0xaf63f14c8602103b},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    const Scene s = c.scene.filled(rng);
    for (size_t t = 0; t < std::size(thresholds); ++t) {
      const std::string threshold = thresholds[t];
      const RunResult r = run(s, c.scene.wide, c.nClasses, threshold);
      const std::string bytes = testsupport::read_file(cof());
      expect_recorded_run(r, cof(), recorded[i][t], threshold);
      expect_classes(bytes, s, c.nClasses, threshold);
      if (threshold != "-1" && threshold != "nan")
        expect_equal_pixels_together(s, bytes, threshold);
    }
  }
}

TEST_F(Harvin, FailuresInOrder) {
  const Scene s{2, 3, 0, 0, 2, 3, {{1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}}};
  const auto base = scene_args(dir, s, false, {"2", "1.5", cof()});
  const std::string b1 = dir.file("b1"), none = dir.file("none");
  // Band files of 5 and 4 samples: the first short sample in pixel order
  // is the second band's at pixel 4.
  const std::string s1 = dir.file("s1"), s2 = dir.file("s2");
  testsupport::write_band8(s1, std::vector<uint8_t>(5, 1));
  testsupport::write_band8(s2, std::vector<uint8_t>(4, 2));
  // A GI image stores bands 1 to 5: band 6 is refused before any file is
  // opened, over an empty file that would read nothing.
  const std::string empty = dir.file("empty.raw"), gi = dir.file("h.cof");
  testsupport::write_file(empty, "");
  // More class bytes than the stream's buffer holds are written at once and
  // fail there; fewer fail when the COF file is closed.
  const std::string zeros = dir.file("zeros");
  testsupport::write_band8(zeros, std::vector<uint8_t>(5000, 0));
  expect_failures(
      "harvin",
      {{{},
        "Usage: harvin \"<iPaths>\" \"<iChannels>\" <iType>\n"
        "               <iRows> <iCols> <aRow> <aCol>\n"
        "               <aRows> <aCols> <nClasses>\n"
        "               <threshold1> <cof>\n"},
       {changed(base, {{3, "-tm"}, {5, "x"}}), "Unknown image type.\n"},
       {changed(base, {{9, "x"}, {2, ""}}), "Illegal parameter.\n"},
       {changed(base, {{11, "x"}, {2, ""}}), "Illegal parameter.\n"},
       {{empty, "6", "GI", "40", "48", "0", "0", "100", "100", "2", "30", gi},
        "Illegal image bands.\n"},
       // What the "%f" scan refuses though strtof alone reads a number.
       {scene_args(dir, s, false, {"2", "0x", cof()}), "Illegal parameter.\n"},
       {scene_args(dir, s, false, {"2", "infinit", cof()}),
        "Illegal parameter.\n"},
       {changed(base, {{12, none + "/x"}}),
        error_line("opening COF file", none + "/x",
                   "No such file or directory")},
       // Any listed band, the last one too, is never replaced.
       {scene_args(dir, s, false, {"2", "1.5", dir.file("b2")}),
        error_line("opening COF file", dir.file("b2"), "File exists")},
       // More pixels than the COF file's pixel numbers reach, checked once
       // the files are open.
       {changed(base, {{8, "70000"}, {9, "70000"}, {1, none + " " + b1}}),
        error_line("opening image file", none, "No such file or directory")},
       {changed(base, {{8, "70000"}, {9, "70000"}}),
        "Error allocating memory.\n"},
       // A row far longer than the files ends at the first short read.
       {changed(base, {{5, "2147483647"}, {8, "1"}, {9, "2147483647"}}),
        error_line("reading image file", b1, "No data available")},
       {changed(base, {{1, s1 + " " + s2}}),
        error_line("reading image file", s2, "No data available"), "1%\n"},
       {changed(base, {{12, "/dev/full"}}),
        error_line("closing COF file", "/dev/full", "No space left on device"),
        "1%\n2%\n3%\n5%\n98%\n99%\n100%\n"},
       {{zeros, "1", "TM", "1", "5000", "0", "0", "1", "5000", "2", "1.5",
         "/dev/full"},
        error_line("writing COF file", "/dev/full", "No space left on device"),
        "2%\n5%\n99%\n"}});
  EXPECT_FALSE(file_exists(gi));

  EXPECT_EQ(testsupport::read_file(dir.file("b2")),
            std::string("\6\5\4\3\2\1", 6));

  // Text behind the numbers is ignored; "%f" takes the threshold's number.
  const RunResult ok = testsupport::run_program(
      "harvin", changed(base, {{4, "2rows"}, {11, "1.5e0x"}}));
  EXPECT_EQ(ok.status, 0) << ok.err;
}

// A run whose standard output has no reader left finishes as it would
// have: status 0 and the same COF file, only its progress lines lost.
TEST_F(Harvin, RunWithoutAReaderOfItsProgress) {
  std::mt19937 rng(13);
  const Scene s =
      RandomScene{{30, 40, 0, 0, 30, 40, {}}, 3, 255, false}.filled(rng);
  const auto args = scene_args(dir, s, false, {"6", "40", cof()});
  testsupport::expect_same_result_without_reader("harvin", args, {cof()});
  EXPECT_EQ(read_file(cof()).size(), 1200u);
}

// An area of no columns has nothing to read: even 2^31 - 1 rows of it end
// at once, with the progress lines of all its rows and an empty COF file.
// A loop over the rows took 6 s of processor time; the run gets 2 s.
TEST_F(Harvin, RowsOfNoColumnsEndAtOnce) {
  const std::string empty = dir.file("empty");
  testsupport::write_file(empty, "");
  const std::vector<std::string> args = {empty, "1", "TM", "40",
                                         "48",  "0", "0",  "2147483647",
                                         "0",   "2", "30", cof()};
  const RunResult r =
      testsupport::run_program_with_address_limit("harvin", args, 0, 2);
  EXPECT_EQ(r.status, 0) << "signal " << r.signal;
  EXPECT_EQ(r.out, "0%\n1%\n2%\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(file_exists(cof()));
  EXPECT_EQ(read_file(cof()), "");
}

#if !defined(__SANITIZE_ADDRESS__)
// In a limited address space (64 MB): an area whose pixels do not fit ends
// with the message and an empty COF file; an area far larger than its band
// file reserves nothing for pixels it has not read, and ends at the first
// short read with little memory.
TEST_F(Harvin, MemoryOutOfReach) {
  // 16 million pixels that read as zeros, 64 MB as single floats alone.
  const std::string sparse = dir.file("sparse"), small = dir.file("small");
  testsupport::write_file(sparse, "");
  std::filesystem::resize_file(sparse, 4000 * 4000);
  testsupport::write_band8(small, std::vector<uint8_t>(40 * 48, 7));
  const struct {
    std::string band, rows, cols, err;
  } cases[] = {
      {sparse, "4000", "4000", "Error allocating memory.\n"},
      {small, "46000", "46000",
       error_line("reading image file", small, "No data available")},
  };
  for (const auto &c : cases) {
    const RunResult r = testsupport::run_program_with_address_limit(
        "harvin",
        {c.band, "1", "TM", c.rows, c.cols, "0", "0", c.rows, c.cols, "2", "30",
         cof()},
        size_t{64} << 20);
    EXPECT_EQ(r.status, 1) << c.rows;
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(file_exists(cof())) << c.rows;
    EXPECT_EQ(read_file(cof()), "") << c.rows;
  }
}
#endif

}  // namespace

#include "bandlib.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "filehandle.h"
#include "testsupport.h"

using testsupport::TempDir;

namespace {

FileHandle open_read(const std::string &path) {
  return FileHandle(fopen(path.c_str(), "rb"));
}

// A 16-bit file holding the given words, little-endian.
std::string words_file(const TempDir &dir, const std::vector<uint16_t> &words) {
  std::string path = dir.file("words.raw");
  testsupport::write_band16(path, words);
  return path;
}

TEST(ReadBandRow, EightBitLayoutsReadTheByteAtRowTimesColsPlusCol) {
  TempDir dir;
  std::vector<uint8_t> samples(300);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<uint8_t>(i * 7);
  testsupport::write_band8(dir.file("b.raw"), samples);
  FileHandle f = open_read(dir.file("b.raw"));
  for (int type : {1, 2, -1, -2}) {
    int32_t value = -1;
    ASSERT_EQ(
        read_band_row(f.get(), 3, 100, type, 6, 2, 5, 1, &value, KIND_I32), 0);
    EXPECT_EQ(value, samples[205]) << "type " << type;
  }
}

TEST(ReadBandRow, EightBitSamplesInEveryKind) {
  TempDir dir;
  testsupport::write_band8(dir.file("b.raw"), {10, 200, 255, 0});
  FileHandle f = open_read(dir.file("b.raw"));
  uint8_t u8[4];
  ASSERT_EQ(read_band_row(f.get(), 1, 4, 1, 1, 0, 0, 4, u8, KIND_U8), 0);
  EXPECT_EQ(std::vector<int>(u8, u8 + 4), (std::vector<int>{10, 200, 255, 0}));
  uint16_t u16[4];
  ASSERT_EQ(read_band_row(f.get(), 1, 4, 1, 1, 0, 0, 4, u16, KIND_U16), 0);
  EXPECT_EQ(std::vector<int>(u16, u16 + 4),
            (std::vector<int>{10, 200, 255, 0}));
  int32_t i32[4];
  for (int kind : {KIND_I32, KIND_I32_8}) {
    ASSERT_EQ(read_band_row(f.get(), 1, 4, 2, 1, 0, 0, 4, i32, kind), 0);
    EXPECT_EQ(std::vector<int>(i32, i32 + 4),
              (std::vector<int>{10, 200, 255, 0}))
        << "8-bit data is never shifted, kind " << kind;
  }
  float f32[4];
  ASSERT_EQ(read_band_row(f.get(), 1, 4, -1, 1, 0, 0, 4, f32, KIND_FLOAT), 0);
  EXPECT_EQ(f32[1], 200.0f);
  double f64[4];
  ASSERT_EQ(read_band_row(f.get(), 1, 4, -2, 1, 0, 0, 4, f64, KIND_DOUBLE), 0);
  EXPECT_EQ(f64[2], 255.0);
}

TEST(ReadBandRow, SixteenBitSamplesInEveryKind) {
  TempDir dir;
  const std::string path = words_file(dir, {0x0FFF, 0x1000, 0xFFFF, 3});
  FileHandle f = open_read(path);
  for (int type : {3, -3, -4}) {
    uint8_t u8[4];
    ASSERT_EQ(read_band_row(f.get(), 1, 4, type, 7, 0, 0, 4, u8, KIND_U8), 0);
    EXPECT_EQ(std::vector<int>(u8, u8 + 4),
              (std::vector<int>{0xFF, 0x00, 0xFF, 0}))
        << "shifted right by 2, low 8 bits kept, type " << type;
    uint16_t u16[4];
    ASSERT_EQ(read_band_row(f.get(), 1, 4, type, 7, 0, 0, 4, u16, KIND_U16), 0);
    EXPECT_EQ(std::vector<int>(u16, u16 + 4),
              (std::vector<int>{0x0FFF, 0x1000, 0xFFFF, 3}));
    int32_t i32[4];
    ASSERT_EQ(read_band_row(f.get(), 1, 4, type, 7, 0, 0, 4, i32, KIND_I32), 0);
    EXPECT_EQ(std::vector<int>(i32, i32 + 4),
              (std::vector<int>{4095, 4096, 65535, 3}));
    ASSERT_EQ(read_band_row(f.get(), 1, 4, type, 7, 0, 0, 4, i32, KIND_I32_8),
              0);
    EXPECT_EQ(std::vector<int>(i32, i32 + 4),
              (std::vector<int>{1023, 1024, 16383, 0}));
    float f32[4];
    ASSERT_EQ(read_band_row(f.get(), 1, 4, type, 7, 0, 0, 4, f32, KIND_FLOAT),
              0);
    EXPECT_EQ(f32[0], 4095.0f);
    double f64[4];
    ASSERT_EQ(read_band_row(f.get(), 1, 4, type, 7, 0, 0, 4, f64, KIND_DOUBLE),
              0);
    EXPECT_EQ(f64[2], 65535.0);
  }
}

TEST(ReadBandRow, LongRowsOfKindOneUseTheirOwnTemporary) {
  TempDir dir;
  std::vector<uint16_t> words(10000);
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(i);
  const std::string path = words_file(dir, words);
  FileHandle f = open_read(path);
  std::vector<uint8_t> out(9000);
  ASSERT_EQ(read_band_row(f.get(), 1, 10000, 3, 1, 0, 1000, 9000, out.data(),
                          KIND_U8),
            0);
  for (int i = 0; i < 9000; ++i)
    ASSERT_EQ(out[i], static_cast<uint8_t>((1000 + i) >> 2)) << i;
}

TEST(ReadBandRow, GiReducedPlanes) {
  TempDir dir;
  // Word w of the file holds 1000 + w, so every sample names its word.
  std::vector<uint16_t> words(400);
  for (size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<uint16_t>(1000 + i);
  const std::string path = words_file(dir, words);
  FileHandle f = open_read(path);
  int32_t out[5];

  // Band 2, row 9, col 6, count 5, cols 100: plane row 2 of 25 words,
  // words 1 and 2 from byte offset 102 (word 51).
  ASSERT_EQ(read_band_row(f.get(), 20, 100, 4, 2, 9, 6, 5, out, KIND_I32), 0);
  EXPECT_EQ(std::vector<int>(out, out + 5),
            (std::vector<int>{1051, 1051, 1052, 1052, 1052}));

  // Band 3 has half the plane rows: row 9 is plane row 1.
  ASSERT_EQ(read_band_row(f.get(), 20, 100, 4, 3, 9, 6, 5, out, KIND_I32), 0);
  EXPECT_EQ(out[0], 1000 + 25 + 1);

  // A run inside one word: every sample is that word.
  ASSERT_EQ(read_band_row(f.get(), 20, 100, 4, 5, 0, 4, 3, out, KIND_I32), 0);
  EXPECT_EQ(std::vector<int>(out, out + 3),
            (std::vector<int>{1001, 1001, 1001}));

  // Kind 1 expands in the temporary, then scales.
  uint8_t bytes[9];
  ASSERT_EQ(read_band_row(f.get(), 20, 100, 4, 4, 0, 3, 9, bytes, KIND_U8), 0);
  const int expect_words[9] = {0, 1, 1, 1, 1, 2, 2, 2, 2};
  for (int t = 0; t < 9; ++t)
    EXPECT_EQ(bytes[t], static_cast<uint8_t>((1000 + expect_words[t]) >> 2))
        << t;
}

TEST(ReadBandRow, GiBandOneAndPciFilesReadFullResolution) {
  TempDir dir;
  std::vector<uint16_t> words(400);
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(i);
  FileHandle f = open_read(words_file(dir, words));
  int32_t out[3];
  ASSERT_EQ(read_band_row(f.get(), 4, 100, 4, 1, 2, 5, 3, out, KIND_I32), 0);
  EXPECT_EQ(std::vector<int>(out, out + 3), (std::vector<int>{205, 206, 207}));
  for (int band : {1, 3, 7}) {
    ASSERT_EQ(read_band_row(f.get(), 4, 100, -4, band, 2, 5, 3, out, KIND_I32),
              0);
    EXPECT_EQ(out[0], 205) << "component " << band;
  }
}

TEST(ReadBandRow, TypesThatReadNothingLeaveBufferAndPosition) {
  TempDir dir;
  testsupport::write_band8(dir.file("b.raw"), {1, 2, 3, 4});
  FileHandle f = open_read(dir.file("b.raw"));
  ASSERT_EQ(fseek(f.get(), 2, SEEK_SET), 0);
  for (int type : {0, 7, 5, -5, 1000}) {
    int32_t value = -77;
    EXPECT_EQ(read_band_row(f.get(), 1, 4, type, 1, 0, 0, 1, &value, KIND_I32),
              0);
    EXPECT_EQ(value, -77);
    EXPECT_EQ(ftell(f.get()), 2);
  }
  int32_t value = -77;
  EXPECT_EQ(read_band_row(f.get(), 1, 4, 4, 6, 0, 0, 1, &value, KIND_I32), 0)
      << "GI band above 5 reads nothing";
}

TEST(ReadBandRow, ShortReadsAndUnaddressablePositions) {
  TempDir dir;
  testsupport::write_band8(dir.file("b.raw"), std::vector<uint8_t>(100, 9));
  testsupport::write_band16(dir.file("w.raw"), std::vector<uint16_t>(100, 9));
  testsupport::write_file(dir.file("empty.raw"), "");
  FileHandle b = open_read(dir.file("b.raw"));
  FileHandle w = open_read(dir.file("w.raw"));
  FileHandle e = open_read(dir.file("empty.raw"));
  int32_t out[20];
  EXPECT_EQ(read_band_row(b.get(), 10, 10, 1, 1, 10, 0, 1, out, KIND_I32), 1)
      << "row past the end";
  EXPECT_EQ(read_band_row(b.get(), 10, 10, 1, 1, 9, 5, 6, out, KIND_I32), 1)
      << "run past the end";
  EXPECT_EQ(read_band_row(b.get(), 10, 10, 1, 1, 9, 0, 10, out, KIND_I32), 0);
  EXPECT_EQ(read_band_row(w.get(), 10, 10, 3, 1, 9, 5, 6, out, KIND_U8), 1);
  EXPECT_EQ(read_band_row(w.get(), 10, 100, 4, 2, 16, 0, 4, out, KIND_I32), 1)
      << "plane row past the end";
  EXPECT_EQ(read_band_row(e.get(), 10, 10, 3, 1, 0, 0, 1, out, KIND_I32), 1);
  EXPECT_EQ(read_band_row(b.get(), 10, 10, 1, 1, -1, 0, 1, out, KIND_I32), 1);
  EXPECT_EQ(read_band_row(b.get(), 10, 10, 1, 1, 0, -1, 1, out, KIND_I32), 1);
  // A negative row length puts the position before the start of the file:
  // refused, not read from wherever the previous read left the stream.
  ASSERT_EQ(read_band_row(b.get(), 10, 10, 1, 1, 0, 0, 1, out, KIND_I32), 0);
  ASSERT_EQ(read_band_row(w.get(), 10, 10, 3, 1, 0, 0, 1, out, KIND_I32), 0);
  EXPECT_EQ(read_band_row(b.get(), 10, -10, 1, 1, 1, 0, 1, out, KIND_I32), 1);
  EXPECT_EQ(read_band_row(w.get(), 10, -10, 3, 1, 1, 0, 1, out, KIND_I32), 1);
  EXPECT_EQ(read_band_row(w.get(), 10, -40, 4, 2, 4, 0, 1, out, KIND_I32), 1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(read_band_row(w.get(), 10, 10, 3, 1, 0, 0, 1, out, 9), 1)
      << "no such kind for 16-bit data";
  EXPECT_EQ(read_band_row(w.get(), 10, 100, 4, 2, 0, 0, 0, out, KIND_I32), 0)
      << "an empty run reads nothing";
}

TEST(ReadBandRow, OffsetsPastTwoGibibytesAreAddressable) {
  TempDir dir;
  const std::string path = dir.file("big.raw");
  // A sparse file: one sample beyond 2^31 bytes.
  FILE *out = fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  const int64_t offset = (int64_t{1} << 31) + 12345;
  ASSERT_EQ(fseeko(out, offset, SEEK_SET), 0);
  fputc(77, out);
  fclose(out);
  FileHandle f = open_read(path);
  const int cols = 100000;
  int32_t value = 0;
  ASSERT_EQ(
      read_band_row(f.get(), 0, cols, 1, 1, static_cast<int>(offset / cols),
                    static_cast<int>(offset % cols), 1, &value, KIND_I32),
      0);
  EXPECT_EQ(value, 77);
}

TEST(ImageTypeCode, ExactNamesOnly) {
  const std::pair<const char *, int> names[] = {
      {"TM", 1},   {"MSS", 2},   {"AVHRR", 3},   {"GI", 4},
      {"-TM", -1}, {"-MSS", -2}, {"-AVHRR", -3}, {"-GI", -4}};
  for (const auto &n : names) {
    int code = 99;
    EXPECT_EQ(image_type_code(n.first, &code), 0);
    EXPECT_EQ(code, n.second) << n.first;
  }
  for (const char *bad : {"gi", "TM ", "", "-", "AVHR"}) {
    int code = 99;
    EXPECT_EQ(image_type_code(bad, &code), 1) << bad;
    EXPECT_EQ(code, 99);
  }
}

TEST(SwapBytes16, ExchangesEachPair) {
  uint8_t bytes[] = {1, 2, 3, 4, 5};
  swap_bytes16(bytes, 2);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 5),
            (std::vector<int>{2, 1, 4, 3, 5}));
}

TEST(ParseIntList, ItemsSeparatorsAndMalformedLists) {
  int out[7] = {};
  EXPECT_EQ(parse_int_list(" 4\t5\n", out, 7), 2);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[1], 5);
  EXPECT_EQ(parse_int_list("1 2 3 4 5 6 7 8 9", out, 7), 9);
  EXPECT_EQ(out[6], 7);
  EXPECT_EQ(parse_int_list("", out, 7), 0);
  EXPECT_EQ(parse_int_list(" \f\v\r ", out, 7), 0);
  EXPECT_EQ(parse_int_list("1,2", out, 7), -1);
  EXPECT_EQ(parse_int_list("12abc", out, 7), -1);
  EXPECT_EQ(parse_int_list("-", out, 7), -1);
  EXPECT_EQ(parse_int_list("3-4", out, 7), 1);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(parse_int_list("-5", out, 7), 1);
  EXPECT_EQ(out[0], -5);
}

TEST(ScanInt, ReadsLikeOneFormattedScan) {
  int v = 5;
  EXPECT_TRUE(scan_int("12abc", &v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(scan_int(" \t-7", &v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(scan_int("+2147483647", &v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(scan_int("-2147483648", &v));
  EXPECT_EQ(v, -2147483647 - 1);
  v = 5;
  for (const char *bad :
       {"", " ", "abc", "- 3", "+-3", "2147483648", "99999999999999999999"}) {
    EXPECT_FALSE(scan_int(bad, &v)) << bad;
    EXPECT_EQ(v, 5);
  }
  int out[2];
  EXPECT_EQ(parse_int_list("1 4294967297", out, 2), -1)
      << "items out of range are malformed";
}

// scan_float takes what one "%f" scan of the C library takes, to the bit:
// forms it accepts, forms it refuses although strtof alone would read a
// number from them, and forms whose value the scan's own reading decides.
TEST(ScanFloat, ReadsLikeOneFormattedScan) {
  const char *const texts[] = {
      // Plain, signed and exponent forms; text behind the number.
      "1", "-2.5", "+.5e1", "5.", ".5", "1.5e0x", "12abc", "1,5", "1e", "1e+",
      "1E-x", "1e5e3", "1.5.3", "1e5.3", "007", "1e-50", "1e40", "-1e400",
      "0.1", "3.4028235e38", "340282356779733661637539395458142568448",
      // Leading white space of every kind, and none at all.
      " 1.5", "\t\n-2.5e3x", "\v7", "\f8", "\r9", "", "  ", "\n",
      // Signs and points alone, words.
      "-", "+", ".", "-.", "+-1", "- 1", "e5", "x", "\xd9\xa1",
      // Hexadecimal forms: digits, points and "p" exponents; "0x" without a
      // hexadecimal digit fails the scan.
      "0x1p3", "0X1P-2", "0x1.8p1", "0x.8", "0x1e+5", "0x1p", "0x1p+", "-0x10",
      "0x1.fffffep127", "0x1p-150", "0x", "0xg", "0xp1", "-0x", "0x.", "0x.p1",
      "00x1", "0x1p1.5",
      // Infinities and NaNs: "nan" is taken without its "(...)", and an
      // "inf" followed by a cut-short "inity" fails.
      "inf", "-INF", "infx", "infinity", "INFINITYx", "infi", "infinit",
      "infinite", "i", "in", "nan", "-nan", "NaN", "nanx", "nan(", "nan(123)",
      "NaN(x_y)", "na", "n"};
  for (const char *text : texts) {
    float expected = -7.0f, got = -7.0f;
    const bool scanned = sscanf(text, "%f", &expected) == 1;
    errno = 1234;
    EXPECT_EQ(scan_float(text, &got), scanned) << text;
    EXPECT_EQ(errno, 1234) << text;
    uint32_t a, b;
    memcpy(&a, &expected, sizeof a);
    memcpy(&b, &got, sizeof b);
    EXPECT_EQ(a, b) << text << " reads " << got << ", the scan " << expected;
  }
}

TEST(ScanInt, EndStopsAfterTheDigits) {
  const struct {
    const char *text;
    int value;
    size_t end;  // offset of the character after the number
  } cases[] = {
      {"12abc", 12, 2}, {" \t-7 8", -7, 4}, {"+3,4", 3, 2}, {"0", 0, 1}};
  for (const auto &c : cases) {
    int v = 0;
    const char *end = nullptr;
    ASSERT_TRUE(scan_int_end(c.text, &v, &end)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
    EXPECT_EQ(end, c.text + c.end) << c.text;
  }
  int v = 5;
  const char *end = nullptr;
  EXPECT_FALSE(scan_int_end(" 2147483648 1", &v, &end));
  EXPECT_EQ(end, nullptr);
  EXPECT_EQ(v, 5);
}

TEST(ReadStreamInt, ReadsIntegersOneScanAtATime) {
  TempDir dir;
  // Each text: the integers read until the first failure, then the
  // character the stream stands on (EOF as -1).
  const struct {
    const char *text;
    std::vector<int> values;
    int next;
  } cases[] = {
      {"1 2\n\t-3\r\n+4", {1, 2, -3, 4}, -1},
      {"12abc", {12}, 'a'},
      {"7 -x", {7}, 'x'},
      {"4294967297 -1", {1, -1}, -1},      // low 32 bits of the value
      {"9223372036854775808", {-1}, -1},   // saturates, then the low bits
      {"18446744073709551620", {-1}, -1},  // no wrap back to a small value
      {"-99999999999999999999", {0}, -1},
      {"", {}, -1},
  };
  for (const auto &c : cases) {
    const std::string path = dir.file("ints.txt");
    testsupport::write_file(path, c.text);
    FileHandle file = open_read(path);
    std::vector<int> got;
    int v = 99;
    while (read_stream_int(file.get(), &v)) got.push_back(v);
    EXPECT_EQ(got, c.values) << c.text;
    EXPECT_EQ(getc(file.get()), c.next) << c.text;
  }
}

TEST(ParseIntList, PlusSignsEndAndAreAccepted) {
  int out[7] = {};
  EXPECT_EQ(parse_int_list("+5 6", out, 7), 2);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(parse_int_list("+", out, 7), -1);
  EXPECT_EQ(parse_int_list("++5", out, 7), -1);
  EXPECT_EQ(parse_int_list("+5+6", out, 7), 2)
      << "the second item starts at its sign";
}

TEST(ParseWordList, WordsAndTheirLengthLimit) {
  WordSlot out[7];
  EXPECT_EQ(parse_word_list("ab  cd", out, 7), 2);
  EXPECT_STREQ(out[0], "ab");
  EXPECT_STREQ(out[1], "cd");
  EXPECT_EQ(parse_word_list(" a\tb\nc d e f g h i ", out, 7), 9);
  EXPECT_STREQ(out[6], "g");
  const std::string w255(255, 'x'), w256(256, 'y');
  EXPECT_EQ(parse_word_list(("a " + w255).c_str(), out, 7), 2);
  EXPECT_EQ(std::string(out[1]), w255);
  EXPECT_EQ(parse_word_list(("a " + w256).c_str(), out, 7), -1);
  EXPECT_STREQ(out[0], "a");
  EXPECT_EQ(parse_word_list("", out, 7), 0);
}

class BandFileSet : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *name : {"x", "y", "z"})
      testsupport::write_file(dir.file(name), name);
    for (int i = 0; i < FILE_SLOTS; ++i) files[i] = nullptr;
  }
  void TearDown() override { close_file_set(files); }
  std::string paths(std::initializer_list<const char *> names) {
    std::string list;
    for (const char *n : names) list += dir.file(n) + " ";
    return list;
  }
  int slot_content(int i) {
    if (files[i] == nullptr) return 0;
    rewind(files[i]);
    return fgetc(files[i]);
  }
  TempDir dir;
  int needed[FILE_SLOTS] = {};
  FILE *files[FILE_SLOTS];
};

TEST_F(BandFileSet, OpensOnlyTheNeededBands) {
  needed[1] = 1;
  EXPECT_EQ(open_band_files(paths({"x", "y"}).c_str(), "3 1", needed, files),
            0);
  EXPECT_EQ(slot_content(1), 'y');
  EXPECT_EQ(files[3], nullptr);
}

TEST_F(BandFileSet, ListFaultsOpenNothing) {
  needed[1] = needed[2] = 1;
  EXPECT_EQ(open_band_files(paths({"x"}).c_str(), "1 2", needed, files), -1);
  EXPECT_EQ(open_band_files(paths({"x", "y"}).c_str(), "", needed, files), -1);
  EXPECT_EQ(open_band_files(paths({"x", "y"}).c_str(), "1 x", needed, files),
            -1);
  EXPECT_EQ(open_band_files(paths({"x", "y"}).c_str(), "1 9", needed, files),
            -1);
  EXPECT_EQ(
      open_band_files(paths({"x", "x", "x", "x", "x", "x", "x", "x"}).c_str(),
                      "1 2 3 4 5 6 7 1", needed, files),
      -1);
  needed[4] = 1;
  EXPECT_EQ(open_band_files(paths({"x", "y"}).c_str(), "1 2", needed, files),
            -2);
  for (int i = 1; i < FILE_SLOTS; ++i) EXPECT_EQ(files[i], nullptr);
}

TEST_F(BandFileSet, FailedOpenNamesTheBandAndKeepsItsError) {
  needed[1] = needed[5] = 1;
  std::string list = paths({"x"}) + dir.file("missing");
  EXPECT_EQ(open_band_files(list.c_str(), "1 5", needed, files), 5);
  EXPECT_EQ(errno, ENOENT);
  for (int i = 1; i < FILE_SLOTS; ++i) EXPECT_EQ(files[i], nullptr);
}

TEST_F(BandFileSet, BandListedTwiceKeepsTheLaterFile) {
  needed[2] = 1;
  EXPECT_EQ(open_band_files(paths({"x", "y"}).c_str(), "2 2", needed, files),
            0);
  EXPECT_EQ(slot_content(2), 'y');
}

TEST_F(BandFileSet, PciFiles) {
  EXPECT_EQ(open_pci_files("NO-PCI", needed, files), 0);
  needed[3] = 1;
  EXPECT_EQ(open_pci_files(paths({"x", "missing"}).c_str(), needed, files), -2)
      << "checked before any open";
  EXPECT_EQ(open_pci_files("NO-PCI", needed, files), -2)
      << "a needed component has no file";
  needed[1] = 1;
  EXPECT_EQ(open_pci_files(paths({"x", "y", "z"}).c_str(), needed, files), 0);
  EXPECT_EQ(slot_content(1), 'x');
  EXPECT_EQ(slot_content(3), 'z');
  EXPECT_EQ(files[2], nullptr);
  close_file_set(files);
  std::string list = paths({"x"}) + dir.file("missing") + " " + dir.file("z");
  EXPECT_EQ(open_pci_files(list.c_str(), needed, files), 0)
      << "component 2 is not needed";
  close_file_set(files);
  needed[2] = 1;
  EXPECT_EQ(open_pci_files(list.c_str(), needed, files), 2);
  EXPECT_EQ(errno, ENOENT);
  for (int i = 1; i < FILE_SLOTS; ++i) EXPECT_EQ(files[i], nullptr);
}

TEST_F(BandFileSet, OwningSetsOpenAsTheRawOnes) {
  needed[1] = needed[2] = 1;
  FileSet set;
  EXPECT_EQ(open_band_files(paths({"x", "y"}).c_str(), "2 1", needed, &set), 0);
  ASSERT_NE(set[1], nullptr);
  EXPECT_EQ(fgetc(set[1]), 'y');
  EXPECT_EQ(fgetc(set[2]), 'x');
  std::string list = paths({"x"}) + dir.file("missing");
  EXPECT_EQ(open_pci_files(list.c_str(), needed, &set), 2);
  EXPECT_EQ(errno, ENOENT);
  for (int i = 0; i < FILE_SLOTS; ++i) EXPECT_EQ(set[i], nullptr);
}

TEST_F(BandFileSet, OutputNamingAnyListedPath) {
  const std::string list = paths({"x", "y"}) + " " + dir.file("absent");
  std::string many;
  for (int i = 0; i < 60000; ++i) many += "a ";
  ASSERT_EQ(link(dir.file("y").c_str(), dir.file("hard").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("x").c_str(), dir.file("soft").c_str()), 0);
  struct Case {
    std::string out;
    std::string list;
    bool named;
  } cases[] = {
      {dir.file("y"), list, true},     // listed, whether read or not
      {dir.file("hard"), list, true},  // the same file by another name
      {dir.file("soft"), list, true},
      {dir.file("z"), list, false},
      {dir.file("absent"), list, false},  // not there: nothing to lose
      {dir.file("x"), "NO-PCI", false},
      {dir.file("x"), "", false},
      // Every word counts, in a list that no set could hold whole: after a
      // word too long for a slot or for any path, and after thousands of
      // words.
      {dir.file("x"), std::string(300, 'a') + " " + dir.file("x"), true},
      {dir.file("x"), std::string(256, 'a') + "\t" + dir.file("x"), true},
      {dir.file("x"), dir.file("x") + " " + std::string(5000, 'a'), true},
      {dir.file("x"), std::string(5000, 'a') + "\n" + dir.file("x"), true},
      {dir.file("x"), many + dir.file("x"), true},
      {dir.file("x"), std::string(300, 'a') + " " + many, false},
  };
  for (const Case &c : cases) {
    errno = 0;
    EXPECT_EQ(output_names_listed(c.out.c_str(), c.list.c_str()), c.named)
        << c.out << " in " << c.list;
    if (c.named) {
      EXPECT_EQ(errno, EEXIST);
    }
  }
}

TEST(RandomGenerator, FollowsTheLinearCongruence) {
  seed_random(1);
  EXPECT_EQ(next_random(), 41);
  EXPECT_EQ(next_random(), 18467);
  EXPECT_EQ(next_random(), 6334);
  seed_random(0);
  EXPECT_EQ(next_random(), 38);
  seed_random(0xFFFFFFFFu);
  uint32_t state = 0xFFFFFFFFu * 214013u + 2531011u;
  EXPECT_EQ(next_random(), static_cast<int>((state >> 16) & 32767));
}

}  // namespace

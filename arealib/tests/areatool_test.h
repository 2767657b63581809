// Test helpers shared by the suites of the two tools built on the area
// front end (dramen, fossik): the small scene they run on, failing runs,
// and random areas strings.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "testsupport.h"

namespace areatool {

// A 3 x 4 image: band 1 holds 0..11, band 2 holds 10 on row 0, 20 on row 1
// and 30 on row 2; component 1 holds 100 + offset, component 2 holds
// 200 - offset. Files b1, b2, p1, p2 in `dir`.
inline void write_scene(const testsupport::TempDir &dir) {
  std::vector<uint8_t> b1(12), b2(12), p1(12), p2(12);
  for (int i = 0; i < 12; ++i) {
    b1[i] = static_cast<uint8_t>(i);
    b2[i] = static_cast<uint8_t>(10 + 10 * (i / 4));
    p1[i] = static_cast<uint8_t>(100 + i);
    p2[i] = static_cast<uint8_t>(200 - i);
  }
  testsupport::write_band8(dir.file("b1"), b1);
  testsupport::write_band8(dir.file("b2"), b2);
  testsupport::write_band8(dir.file("p1"), p1);
  testsupport::write_band8(dir.file("p2"), p2);
}

// Arguments 1 to 10 over the whole scene: bands 1, 2 and 3 (whose path
// does not exist), the given PCI paths, type 1, 3 x 4 pixels.
inline std::vector<std::string> scene_arguments(const testsupport::TempDir &dir,
                                                const std::string &pciPaths) {
  return {dir.file("b1") + " " + dir.file("b2") + " " + dir.file("b3"),
          "1 2 3",
          pciPaths,
          "1",
          "3",
          "4",
          "0",
          "0",
          "3",
          "4"};
}

// A run that must fail: its arguments and its whole message.
struct FailureCase {
  std::vector<std::string> args;
  std::string err;
};

// No argument, one too few and one too many, from a whole argument list.
inline std::vector<FailureCase> count_cases(
    const std::vector<std::string> &whole, const std::string &none,
    const std::string &fewer, const std::string &more) {
  std::vector<std::string> longer = whole;
  longer.push_back("x");
  return {{{}, none},
          {std::vector<std::string>(whole.begin(), whole.end() - 1), fewer},
          {longer, more}};
}

// Every case ends with status 1, its message and nothing on standard
// output, and leaves the output file as it was: holding `earlier`, or not
// there when `earlier` is null.
inline void expect_failures(const char *program,
                            const std::vector<FailureCase> &cases,
                            const std::string &outPath, const char *earlier) {
  for (const FailureCase &c : cases) {
    testsupport::RunResult r = testsupport::run_program(program, c.args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(testsupport::file_exists(outPath), earlier != nullptr) << c.err;
    if (earlier != nullptr) {
      EXPECT_EQ(testsupport::read_file(outPath), earlier) << c.err;
    }
  }
}

// How a run on random input ended: with 0 and nothing on standard error,
// or with 1 and a message; never a signal, a hang or a sanitizer's status.
// Counts the run and returns whether it succeeded.
inline bool tally_end(const testsupport::RunResult &r, const std::string &input,
                      int *written, int *refused) {
  EXPECT_EQ(r.signal, 0) << input;
  EXPECT_FALSE(r.timed_out) << input;
  EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << " " << r.err;
  if (r.status == 0) {
    EXPECT_EQ(r.err, "") << input;
    ++*written;
    return true;
  }
  EXPECT_FALSE(r.err.empty()) << input;
  ++*refused;
  return false;
}

// Random areas strings: mostly items of a key and two triples of a band
// code from `codes` and two bounds, some with numbers beyond int, empty
// fields, a seventh field or stray text.
class RandomAreas {
 public:
  RandomAreas(unsigned seed, std::vector<std::string> codes)
      : gen_(seed), codes_(std::move(codes)) {}

  // Up to `maxItems` items; keys are names of A, B, C (some longer than a
  // name may be) or colour numbers.
  std::string next(bool named, int maxItems) {
    if (gen_() % 16 == 0) return "NO-AREAS";
    std::string areas;
    const int items = static_cast<int>(gen_() % (maxItems + 1));
    for (int i = 0; i < items; ++i) {
      if (i) areas += ",";
      if (gen_() % 10 == 0) {
        areas += stray_text();
        continue;
      }
      if (named)
        areas += std::string(gen_() % (gen_() % 8 == 0 ? 20 : 3),
                             static_cast<char>('A' + gen_() % 3));
      else
        areas += gen_() % 8 == 0 ? number() : std::to_string(gen_() % 10);
      for (int triple = 0; triple < 2; ++triple)
        areas += ":" + code() + ":" + number() + ":" + number();
      if (gen_() % 4 == 0) areas += ":" + number();
    }
    return areas;
  }

 private:
  std::string number() {
    switch (gen_() % 24) {
      case 0: return std::to_string(static_cast<int32_t>(gen_()));
      case 1: return "-99999999999999999999";
      case 2: return "";
      default: return std::to_string(static_cast<int>(gen_() % 300) - 20);
    }
  }
  std::string code() {
    return gen_() % 16 == 0 ? number() : codes_[gen_() % codes_.size()];
  }
  std::string stray_text() {
    static const char alphabet[] = "0123456789-+ :,:,:ABx\t";
    std::string s;
    const size_t n = gen_() % (gen_() % 4 == 0 ? 400 : 20);
    for (size_t k = 0; k < n; ++k)
      s += alphabet[gen_() % (sizeof alphabet - 1)];
    return s;
  }

  std::mt19937 gen_;
  std::vector<std::string> codes_;
};

}  // namespace areatool

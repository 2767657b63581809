// Test harness shared by the suites of the two tools built on the area front
// end (dramen, fossik): a small scene, runs that must fail, random areas.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "testsupport.h"
#include "tooltest.h"

namespace areatool {

using testsupport::Failure;
using testsupport::RunResult;

// Appends `option` to a sanitizer's settings (ASAN_OPTIONS, UBSAN_OPTIONS)
// for the programs run while it lives, and puts the old settings back at
// its end. Programs of a build without the sanitizers ignore them.
class SanitizerOption {
 public:
  SanitizerOption(const char *variable, const std::string &option)
      : variable_(variable) {
    const char *old = getenv(variable);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(variable,
           (had_ && !old_.empty() ? old_ + ":" : "").append(option).c_str(), 1);
  }
  ~SanitizerOption() {
    if (had_)
      setenv(variable_, old_.c_str(), 1);
    else
      unsetenv(variable_);
  }
  SanitizerOption(const SanitizerOption &) = delete;
  SanitizerOption &operator=(const SanitizerOption &) = delete;

 private:
  const char *variable_;
  bool had_ = false;
  std::string old_;
};

// Random areas strings: mostly items of a key and two triples of a band code
// from `codes` and two bounds, some with numbers beyond int, empty fields, a
// seventh field or stray text.
class RandomAreas {
 public:
  RandomAreas(unsigned seed, std::vector<std::string> codes)
      : gen_(seed), codes_(std::move(codes)) {}

  // Up to `maxItems` items keyed by names of A, B, C (some longer than a
  // name may be) or by colour numbers.
  std::string next(bool named, int maxItems) {
    if (gen_() % 16 == 0) return "NO-AREAS";
    std::string areas;
    const int items = static_cast<int>(gen_() % (maxItems + 1));
    for (int i = 0; i < items; ++i) {
      if (i) areas += ",";
      if (gen_() % 10 == 0) {
        static const char alphabet[] = "0123456789-+ :,:,:ABx\t";
        const size_t n = gen_() % 4 == 0 ? gen_() % 400 : gen_() % 20;
        for (size_t k = 0; k < n; ++k)
          areas += alphabet[gen_() % (sizeof alphabet - 1)];
        continue;
      }
      if (named) {
        const size_t length = gen_() % 8 == 0 ? gen_() % 20 : gen_() % 3;
        areas += std::string(length, static_cast<char>('A' + gen_() % 3));
      } else {
        areas += gen_() % 8 == 0 ? number() : std::to_string(gen_() % 10);
      }
      for (int field = 0; field < 6; ++field) {
        const bool code = field % 3 == 0 && gen_() % 16 != 0;
        areas += ":" + (code ? codes_[gen_() % codes_.size()] : number());
      }
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

  std::mt19937 gen_;
  std::vector<std::string> codes_;
};

// A 3 x 4 scene: band 1 holds 0..11, band 2 holds 10, 20, 30 by row,
// components 1 and 2 hold 100 + i and 200 - i; band 3's file is missing.
class AreaTool : public ::testing::Test {
 protected:
  // The PCI paths name components 1 .. `components`.
  AreaTool(const char *tool, int components)
      : tool_(tool), components_(components) {}

  void SetUp() override {
    std::vector<uint8_t> planes[4];
    for (int i = 0; i < 12; ++i) {
      const int values[] = {i, 10 + 10 * (i / 4), 100 + i, 200 - i};
      for (int p = 0; p < 4; ++p) planes[p].push_back(values[p]);
    }
    for (int p = 0; p < 4; ++p)
      testsupport::write_band8(dir.file(p < 2 ? "b" + std::to_string(p + 1)
                                              : "p" + std::to_string(p - 1)),
                               planes[p]);
  }

  std::string out() const { return dir.file("out"); }

  // Arguments 1..10 over the whole scene (type 1), then `tail` and the
  // output path; `changes` replace arguments by position.
  std::vector<std::string> args(
      const std::vector<std::string> &tail,
      const std::map<int, std::string> &changes = {}) {
    std::string pci = dir.file("p1");
    if (components_ == 2) pci += " " + dir.file("p2");
    std::vector<std::string> a = {
        dir.file("b1") + " " + dir.file("b2") + " " + dir.file("b3"), "1 2 3",
        pci};
    for (const char *v : {"1", "3", "4", "0", "0", "3", "4"}) a.push_back(v);
    a.insert(a.end(), tail.begin(), tail.end());
    a.push_back(out());
    return testsupport::changed(a, changes);
  }
  RunResult run(const std::vector<std::string> &a) {
    return testsupport::run_program(tool_, a);
  }

  // A run limited to `cpuSeconds` of processor time and, unless
  // `addressSpace` is 0, to that many bytes of address space: a run that
  // must be cheap is bounded in what it uses, never in the time of the clock.
  RunResult run_limited(const std::vector<std::string> &a, unsigned cpuSeconds,
                        size_t addressSpace = 0) {
    return testsupport::run_program_with_address_limit(tool_, a, addressSpace,
                                                       cpuSeconds);
  }
  // Each case, run with 5 seconds of processor time, ends with 1 and its
  // message and leaves the output holding `earlier`: a refusal that must
  // come at once, never after a long loop.
  void expect_cheap_failures(
      const std::vector<std::pair<std::vector<std::string>, std::string>>
          &cases,
      const char *earlier) {
    testsupport::write_file(out(), earlier);
    for (const auto &c : cases) {
      const RunResult r = run_limited(c.first, 5);
      EXPECT_EQ(r.status, 1) << r.signal;
      EXPECT_EQ(r.err, c.second);
      EXPECT_EQ(testsupport::read_file(out()), earlier);
    }
  }

  // Expects success with nothing printed; the output file.
  std::string output_of(const std::vector<std::string> &a) {
    RunResult r = run(a);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    return testsupport::read_file(out());
  }

  // Each case ends with 1, its message and nothing on standard output, and
  // leaves the output as it was: holding `earlier`, or absent when null.
  void expect_failures(const std::vector<Failure> &cases, const char *earlier) {
    for (const Failure &c : cases) {
      testsupport::expect_failure(tool_, c);
      EXPECT_EQ(testsupport::file_exists(out()), earlier != nullptr) << c.err;
      if (earlier) {
        EXPECT_EQ(testsupport::read_file(out()), earlier) << c.err;
      }
    }
  }

  // PCI lists that name components p1 and p2 among words that no file set
  // can hold (a word of 256 or 5000 characters, 60,000 words) and beside
  // one it can (255 characters), each paired with the path of p1 or p2.
  std::vector<std::pair<std::string, std::string>> lists_naming_components() {
    const std::string p1 = dir.file("p1"), p2 = dir.file("p2");
    std::string many;
    for (int i = 0; i < 60000; ++i) many += "x ";
    std::vector<std::pair<std::string, std::string>> lists;
    for (const std::string &list :
         {p1 + " " + std::string(256, 'a') + " " + p2,
          std::string(255, 'a') + " " + p1 + "\t" + p2,
          std::string(5000, 'a') + "\n" + p2 + " " + p1, many + p1 + " " + p2})
      for (const std::string &path : {p1, p2}) lists.push_back({list, path});
    return lists;
  }

  // expect_failures, and components p1 and p2 keep their 12 bytes.
  void expect_failures_keeping_components(const std::vector<Failure> &cases,
                                          const char *earlier) {
    const std::string p1 = dir.file("p1"), p2 = dir.file("p2");
    const std::string before[] = {testsupport::read_file(p1),
                                  testsupport::read_file(p2)};
    testsupport::write_file(out(), earlier);
    expect_failures(cases, earlier);
    EXPECT_EQ(testsupport::read_file(p1), before[0]);
    EXPECT_EQ(testsupport::read_file(p2), before[1]);
    EXPECT_EQ(before[0].size(), 12u);
  }

  // Runs `rounds` random areas strings: each run ends with 0, nothing on
  // standard error and an output `check` accepts, or with 1 and a message;
  // never a signal, a hang or a sanitizer's status. Both ends must occur.
  template <class Args, class Check>
  void expect_sound_ends(RandomAreas random, bool named, int maxItems,
                         int rounds, Args argsFor, Check check) {
    int written = 0, refused = 0;
    for (int round = 0; round < rounds; ++round) {
      const std::string areas = random.next(named, maxItems);
      RunResult r = run(argsFor(round, areas));
      EXPECT_EQ(r.signal, 0) << areas;
      EXPECT_FALSE(r.timed_out) << areas;
      EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << " " << r.err;
      EXPECT_EQ(r.err.empty(), r.status == 0) << areas;
      if (r.status == 0) check(testsupport::read_file(out()), areas);
      ++(r.status == 0 ? written : refused);
    }
    EXPECT_GE(written, 8) << refused;
    EXPECT_GE(refused, 8) << written;
  }

  testsupport::TempDir dir;

 private:
  std::string tool_;
  int components_;
};

}  // namespace areatool

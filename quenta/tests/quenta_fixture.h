// The quenta test fixture: scenes drawn around class centres, band files,
// and a run over an area into a COF file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "testsupport.h"

namespace {

using testsupport::read_file;
using testsupport::RunResult;
using testsupport::write_band8;
using testsupport::write_file;

using Centres = std::map<int, std::vector<int>>;  // class -> value per band

// A scene drawn around class centres: training samples within +-spread of
// their class's centre, pixels within +-2 of the centre of a random class.
// The classes lie far apart, so every pixel belongs to the class it was
// drawn from.
struct Scene {
  std::string ts;                            // training set text
  std::vector<std::vector<uint16_t>> bands;  // rows * cols samples per band
  std::string truth;                         // class byte per pixel

  Scene(std::mt19937 &rng, const Centres &centres, int pixels, int spread = 5,
        std::vector<std::pair<int, int>> constant = {}) {
    const int m = static_cast<int>(centres.begin()->second.size());
    std::uniform_int_distribution<int> off(-spread, spread), near(-2, 2);
    for (int s = 0; s < 30; ++s)
      for (const auto &c : centres) {
        ts += std::to_string(c.first);
        for (int b = 0; b < m; ++b) {
          bool fixed = false;
          for (auto cb : constant) fixed |= cb == std::make_pair(c.first, b);
          ts += " " + std::to_string(c.second[b] + (fixed ? 0 : off(rng)));
        }
        ts += "\n";
      }
    bands.assign(m, std::vector<uint16_t>(pixels));
    std::uniform_int_distribution<size_t> pick(0, centres.size() - 1);
    for (int p = 0; p < pixels; ++p) {
      auto c = std::next(centres.begin(), static_cast<long>(pick(rng)));
      truth += static_cast<char>(c->first);
      for (int b = 0; b < m; ++b)
        bands[b][p] = static_cast<uint16_t>(c->second[b] + near(rng));
    }
  }
};

std::string progress(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text += std::to_string(v) + "%\n";
  return text;
}

class Quenta : public ::testing::Test {
 protected:
  // Writes the bands as b1, b2, ... (16-bit when `wide`); the path list.
  std::string write_bands(const std::vector<std::vector<uint16_t>> &bands,
                          bool wide = false) {
    std::string paths;
    for (size_t b = 0; b < bands.size(); ++b) {
      const std::string path = dir.file("b" + std::to_string(b + 1));
      if (wide)
        testsupport::write_band16(path, bands[b]);
      else
        write_band8(path,
                    std::vector<uint8_t>(bands[b].begin(), bands[b].end()));
      paths += (b ? " " : "") + path;
    }
    return paths;
  }

  RunResult run(const std::string &paths, const std::string &bands,
                const std::string &type, std::vector<int> area) {
    std::vector<std::string> args = {paths, bands, type};
    for (int v : area) args.push_back(std::to_string(v));
    args.push_back(ts());
    args.push_back(cof());
    return testsupport::run_program("quenta", args);
  }

  std::string ts() { return dir.file("train.ts"); }
  std::string cof() { return dir.file("out.cof"); }
  std::string prefix(const std::string &text, const std::string &path) {
    return text + " \"" + path + "\" (";
  }

  testsupport::TempDir dir;
};

}  // namespace

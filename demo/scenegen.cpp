// scenegen: writes a synthetic multispectral scene for the demo and the
// benchmarks: band files, the ground truth, a BIF of interpreted points and
// a shell-sourceable description.
//
//   scenegen <dir> <rows> <cols> <bands> <classes> <bits> <seed> [<points>]
//
// Land-cover classes fill Voronoi regions of a coarse grid; each class has
// its own mean, spread and band correlation, so the classes overlap a
// little, as real ones do. bits 8 gives TM-like bytes, bits 16 gives
// AVHRR-like 10-bit values in little-endian 16-bit samples.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "filehandle.h"

namespace {

struct Scene {
  std::string dir;
  int rows, cols, bands, classes, bits;
  int points = 60;  // interpreted points per class at most
  uint64_t seed;
  // Voronoi sites: position and class.
  std::vector<double> siteRow, siteCol;
  std::vector<int> siteClass;
  // Per class and band: mean and spread (in 8-bit units).
  std::vector<double> mean, spread, mix;
};

// Closes a written file: false when a write or the close failed.
bool close_checked(FileHandle &file) {
  const bool written = !ferror(file.get());
  return fclose(file.release()) == 0 && written;
}

uint64_t splitmix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

double uniform(uint64_t key) {
  return static_cast<double>(splitmix(key) >> 11) / 9007199254740992.0;
}

// Roughly normal (sum of four uniforms), mean 0, spread 1.
double normalish(uint64_t key) {
  double s = 0;
  for (int i = 0; i < 4; ++i) s += uniform(key * 4 + static_cast<uint64_t>(i));
  return (s - 2.0) * std::sqrt(3.0);
}

constexpr int CELL = 16;  // the class map is constant on 16 x 16 cells

void place_sites(Scene &s) {
  const int n = s.classes * 4;
  for (int i = 0; i < n; ++i) {
    s.siteRow.push_back(uniform(s.seed * 1000 + static_cast<uint64_t>(3 * i)) *
                        s.rows);
    s.siteCol.push_back(
        uniform(s.seed * 1000 + static_cast<uint64_t>(3 * i + 1)) * s.cols);
    s.siteClass.push_back(i % s.classes + 1);
  }
  for (int k = 0; k < s.classes; ++k) {
    for (int b = 0; b < s.bands; ++b) {
      const uint64_t key =
          s.seed * 7919 + static_cast<uint64_t>(k * 16 + b) * 3;
      s.mean.push_back(100 + 50 * uniform(key));
      s.spread.push_back(10 + 14 * uniform(key + 1));
      s.mix.push_back(0.3 + 0.5 * uniform(key + 2));
    }
  }
}

int class_of_cell(const Scene &s, int cellRow, int cellCol) {
  const double r = (cellRow + 0.5) * CELL, c = (cellCol + 0.5) * CELL;
  int best = 0;
  double bestDistance = 1e300;
  for (size_t i = 0; i < s.siteRow.size(); ++i) {
    const double d = (s.siteRow[i] - r) * (s.siteRow[i] - r) +
                     (s.siteCol[i] - c) * (s.siteCol[i] - c);
    if (d < bestDistance) {
      bestDistance = d;
      best = s.siteClass[i];
    }
  }
  return best;
}

// The class map, one entry per cell.
std::vector<uint8_t> class_map(const Scene &s, int cellRows, int cellCols) {
  std::vector<uint8_t> map(static_cast<size_t>(cellRows) * cellCols);
  for (int r = 0; r < cellRows; ++r)
    for (int c = 0; c < cellCols; ++c)
      map[static_cast<size_t>(r) * cellCols + c] =
          static_cast<uint8_t>(class_of_cell(s, r, c));
  return map;
}

double sample_value(const Scene &s, int k, int b, uint64_t pixel) {
  const size_t i = static_cast<size_t>(k - 1) * s.bands + b;
  const double shared = normalish(pixel * 8 + 7 + s.seed);
  const double own = normalish(pixel * 8 + static_cast<uint64_t>(b) + s.seed);
  double v =
      s.mean[i] + s.spread[i] * (s.mix[i] * shared + (1 - s.mix[i]) * own);
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

bool write_scene(const Scene &s) {
  const int cellRows = (s.rows + CELL - 1) / CELL,
            cellCols = (s.cols + CELL - 1) / CELL;
  const std::vector<uint8_t> map = class_map(s, cellRows, cellCols);
  std::vector<FileHandle> files;
  for (int b = 1; b <= s.bands; ++b) {
    const std::string path = s.dir + "/band" + std::to_string(b) + ".raw";
    files.emplace_back(fopen(path.c_str(), "wb"));
    if (!files.back()) return false;
  }
  FileHandle truth(fopen((s.dir + "/truth.raw").c_str(), "wb"));
  if (!truth) return false;
  const int width = s.bits == 16 ? 2 : 1;
  std::vector<unsigned char> row(static_cast<size_t>(s.cols) * width);
  std::vector<uint8_t> truthRow(static_cast<size_t>(s.cols));
  for (int r = 0; r < s.rows; ++r) {
    for (int c = 0; c < s.cols; ++c)
      truthRow[c] = map[static_cast<size_t>(r / CELL) * cellCols + c / CELL];
    fwrite(truthRow.data(), 1, truthRow.size(), truth.get());
    for (int b = 0; b < s.bands; ++b) {
      for (int c = 0; c < s.cols; ++c) {
        const uint64_t pixel = static_cast<uint64_t>(r) * s.cols + c;
        const double v = sample_value(s, truthRow[c], b, pixel);
        if (s.bits == 16) {
          const unsigned w = static_cast<unsigned>(v * 4);
          row[2 * c] = static_cast<unsigned char>(w & 0xFF);
          row[2 * c + 1] = static_cast<unsigned char>(w >> 8);
        } else {
          row[c] = static_cast<unsigned char>(v);
        }
      }
      fwrite(row.data(), 1, row.size(), files[b].get());
    }
  }
  bool ok = close_checked(truth);
  for (FileHandle &f : files) ok = close_checked(f) && ok;
  return ok;
}

void put32(FILE *f, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
      static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  fwrite(bytes, 1, 4, f);
}

// Interpreted points: up to s.points per class (default 60), at random
// positions of the class.
bool write_points(const Scene &s, std::vector<int> &counts) {
  const int cellRows = (s.rows + CELL - 1) / CELL,
            cellCols = (s.cols + CELL - 1) / CELL;
  const std::vector<uint8_t> map = class_map(s, cellRows, cellCols);
  FileHandle bif(fopen((s.dir + "/points.bif").c_str(), "wb"));
  if (!bif) return false;
  counts.assign(static_cast<size_t>(s.classes) + 1, 0);
  uint64_t key = s.seed * 104729 + 17;
  for (int tries = 0; tries < 200000; ++tries) {
    const int r = static_cast<int>(uniform(key++) * s.rows);
    const int c = static_cast<int>(uniform(key++) * s.cols);
    const int k = map[static_cast<size_t>(r / CELL) * cellCols + c / CELL];
    if (counts[k] >= s.points) continue;
    ++counts[k];
    put32(bif.get(), r);
    put32(bif.get(), c);
    put32(bif.get(), k);
  }
  return close_checked(bif);
}

bool write_description(const Scene &s, const std::vector<int> &counts) {
  FileHandle file(fopen((s.dir + "/scene.env").c_str(), "w"));
  if (!file) return false;
  FILE *env = file.get();
  fprintf(env, "ROWS=%d\nCOLS=%d\nBANDS=%d\nCLASSES=%d\nBITS=%d\n", s.rows,
          s.cols, s.bands, s.classes, s.bits);
  fprintf(env, "TYPE=%d\nTYPE_NAME=%s\n", s.bits == 16 ? 3 : 1,
          s.bits == 16 ? "AVHRR" : "TM");
  std::string paths, numbers, countList;
  for (int b = 1; b <= s.bands; ++b) {
    paths += (b > 1 ? " " : "") + s.dir + "/band" + std::to_string(b) + ".raw";
    numbers += (b > 1 ? " " : "") + std::to_string(b);
  }
  for (int k = 1; k <= s.classes; ++k)
    countList += (k > 1 ? " " : "") + std::to_string(counts[k]);
  fprintf(env, "BAND_PATHS='%s'\nBAND_NUMBERS='%s'\nPOINT_COUNTS='%s'\n",
          paths.c_str(), numbers.c_str(), countList.c_str());
  return close_checked(file);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 8 && argc != 9) {
    fprintf(stderr,
            "Usage: scenegen <dir> <rows> <cols> <bands> <classes> <bits> "
            "<seed> [<points>]\n");
    return 1;
  }
  Scene s;
  s.dir = argv[1];
  s.rows = atoi(argv[2]);
  s.cols = atoi(argv[3]);
  s.bands = atoi(argv[4]);
  s.classes = atoi(argv[5]);
  s.bits = atoi(argv[6]);
  s.seed = strtoull(argv[7], nullptr, 10);
  if (argc == 9) s.points = atoi(argv[8]);
  if (s.rows < 1 || s.cols < 1 || s.bands < 1 || s.bands > 7 || s.classes < 1 ||
      s.classes > 27 || (s.bits != 8 && s.bits != 16)) {
    fprintf(stderr,
            "scenegen: rows and cols at least 1, 1..7 bands, 1..27 classes, "
            "bits 8 or 16.\n");
    return 1;
  }
  place_sites(s);
  std::vector<int> counts;
  if (!write_scene(s) || !write_points(s, counts) ||
      !write_description(s, counts)) {
    fprintf(stderr, "scenegen: cannot write into %s.\n", s.dir.c_str());
    return 1;
  }
  return 0;
}

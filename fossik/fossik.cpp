// fossik: marks, for every pixel of an area, the colour groups of value-range
// rectangles it falls into (bit k for colour number k) and writes the bytes
// as a matching points file.
//
// fossik iPaths iBands pciPaths iType iRows iCols aRow aCol aRows aCols
//        areas matchPath
#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "arealib.h"
#include "console.h"

namespace {

constexpr int ARG_COUNT = 12;

// One group per colour number, rectangles newest first.
using ColorGroup = RectGroup;

// The result raster: an anonymous mapping, zero from the start and given
// pages only where it is written. Large rasters go on huge pages where the
// system offers them: a few page faults instead of one per 4 KB.
class Raster {
 public:
  Raster() = default;
  Raster(const Raster &) = delete;
  Raster &operator=(const Raster &) = delete;
  ~Raster() { release(); }

  bool allocate(size_t bytes) {
    release();
    constexpr size_t HUGE_PAGE = size_t{2} << 20;
    if (bytes > SIZE_MAX - 2 * HUGE_PAGE) return false;
    // A large raster starts on a huge-page boundary and ends on one.
    const bool huge = bytes >= HUGE_PAGE;
    const size_t used =
        huge ? (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE : bytes;
    const size_t length = (used > 0 ? used : 1) + (huge ? HUGE_PAGE : 0);
    void *block = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return false;
    block_ = block;
    length_ = length;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t aligned =
        huge ? (start + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE : start;
    data_ = static_cast<uint8_t *>(block) + (aligned - start);
    if (huge) madvise(data_, used, MADV_HUGEPAGE);
    return true;
  }
  void release() {
    if (block_ != nullptr) munmap(block_, length_);
    block_ = nullptr;
    data_ = nullptr;
  }
  uint8_t *data() const { return data_; }

 private:
  void *block_ = nullptr;
  size_t length_ = 0;
  uint8_t *data_ = nullptr;
};

struct MatchRun {
  AreaArguments args;
  const char *areas = nullptr;
  const char *matchPath = nullptr;
  std::vector<ColorGroup> groups;  // newest first
  InputPlanes planes;
  Raster raster;
  int64_t size = 0;  // aRows * aCols bytes
  bool matchNamesInput = false;
};

void check_arguments(int argc, char **argv, MatchRun &run) {
  if (argc != ARG_COUNT + 1) fail_with("Missing/extra parameter.\n");
  if (!scan_area_arguments(argv, &run.args)) fail_with("Illegal parameter.\n");
  // An area of negative size has no raster.
  if (run.args.aRows < 0 || run.args.aCols < 0)
    fail_with("Illegal parameter.\n");
  run.areas = argv[11];
  run.matchPath = argv[12];
}

// The result raster, every byte 0.
void allocate_raster(MatchRun &run) {
  run.size = static_cast<int64_t>(run.args.aRows) * run.args.aCols;
  if (!run.raster.allocate(static_cast<size_t>(run.size)))
    fail_with("Error allocating memory.");
}

// The bit of a colour number; a number outside 0..7 has none and marks
// nothing.
uint8_t color_bit(int32_t color) {
  return color >= 0 && color <= 7 ? static_cast<uint8_t>(1u << color) : 0;
}

void mark_area(MatchRun &run) {
  const int64_t cols = run.args.aCols;
  for (int r = 0; r < run.args.aRows; ++r) {
    read_planes(run.args, &run.planes, r);
    uint8_t *row = run.raster.data() + r * cols;
    for (const ColorGroup &group : run.groups) {
      const uint8_t bit = color_bit(group.color);
      if (bit != 0) mark_group_row(group, run.planes, run.args.aCols, bit, row);
    }
  }
  // The matching file must not replace one of the files just read.
  run.matchNamesInput = output_names_plane(run.matchPath, run.planes);
  close_planes(&run.planes);
}

void write_matching_file(MatchRun &run) {
  if (run.matchNamesInput) errno = EEXIST;
  FILE *match = run.matchNamesInput ? nullptr : fopen(run.matchPath, "wb");
  if (match == nullptr)
    fail_with("Error creating matching file (%s).\n", error_text());
  const size_t bytes = static_cast<size_t>(run.size);
  if (fwrite(run.raster.data(), 1, bytes, match) != bytes)
    fail_with("Error writing matching file (%s).\n", error_text());
  if (fclose(match) != 0)
    fail_with("Error closing matching file (%s).\n", error_text());
}

}  // namespace

int main(int argc, char **argv) {
  MatchRun run;
  check_arguments(argc, argv, run);
  parse_areas(run.areas, AREA_KEY_COLOR, &run.groups, &run.planes);
  open_plane_files(run.args, &run.planes);
  allocate_raster(run);
  allocate_plane_rows(run.args, &run.planes);
  mark_area(run);
  write_matching_file(run);
  run.raster.release();
  return 0;
}

// fossik: marks, for every pixel of an area, the colour groups of value-range
// rectangles it falls into (bit k for colour number k) and writes the bytes
// as a matching points file.
//
// fossik iPaths iBands pciPaths iType iRows iCols aRow aCol aRows aCols
//        areas matchPath
#include <cerrno>
#include <cstdint>
#include <vector>

#include "areatool.h"
#include "buffer.h"
#include "console.h"

namespace {

constexpr int ARG_COUNT = 12;

// One group per colour number, rectangles newest first.
using ColorGroup = RectGroup;

struct MatchRun {
  AreaArguments args;
  const char *areas = nullptr;
  const char *matchPath = nullptr;
  std::vector<ColorGroup> groups;  // newest first
  InputPlanes planes;
  ZeroedArray<uint8_t> raster;
  int64_t size = 0;  // aRows * aCols bytes
  bool matchNamesInput = false;
};

void check_arguments(int argc, char **argv, MatchRun &run) {
  if (argc != ARG_COUNT + 1) fail_with("Missing/extra parameter.\n");
  if (!scan_area_arguments(argv, &run.args)) fail_with("Illegal parameter.\n");
  // An area of negative size has no raster, and a type of no layout would
  // mark an area of zeros as if it had been read.
  if (run.args.aRows < 0 || run.args.aCols < 0 ||
      !legal_image_type(run.args.iType))
    fail_with("Illegal parameter.\n");
  run.areas = argv[11];
  run.matchPath = argv[12];
}

// The result raster, every byte 0. Fresh zeroed pages: a raster far larger
// than its files costs nothing before the first read fails.
void allocate_raster(MatchRun &run) {
  run.size = static_cast<int64_t>(run.args.aRows) * run.args.aCols;
  run.raster = allocate_zeroed<uint8_t>(static_cast<size_t>(run.size));
  if (!run.raster) fail_allocating_area();
}

// The bit of a colour number; a number outside 0..7 has none and marks
// nothing.
uint8_t color_bit(int32_t color) {
  return color >= 0 && color <= 7 ? static_cast<uint8_t>(1u << color) : 0;
}

void mark_area(MatchRun &run) {
  const int64_t cols = run.args.aCols;
  for (int r = 0; r < run.args.aRows; r = next_area_row(run.args, r)) {
    read_plane_rows(run.args, &run.planes, r);
    uint8_t *row = run.raster.get() + r * cols;
    for (const ColorGroup &group : run.groups) {
      const uint8_t bit = color_bit(group.color);
      if (bit != 0) mark_group_row(group, run.planes, run.args.aCols, bit, row);
    }
  }
  // The matching file must not replace one of the files just read, nor
  // any other file the lists name.
  run.matchNamesInput = output_names_plane(run.matchPath, run.args, run.planes);
  close_planes(&run.planes);
}

void write_matching_file(MatchRun &run) {
  if (run.matchNamesInput) errno = EEXIST;
  FileHandle match(run.matchNamesInput ? nullptr : fopen(run.matchPath, "wb"));
  if (!match) fail_with("Error creating matching file (%s).\n", error_text());
  const size_t bytes = static_cast<size_t>(run.size);
  if (fwrite(run.raster.get(), 1, bytes, match.get()) != bytes)
    fail_with("Error writing matching file (%s).\n", error_text());
  if (fclose(match.release()) != 0)
    fail_with("Error closing matching file (%s).\n", error_text());
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  MatchRun run;
  check_arguments(argc, argv, run);
  parse_areas(run.areas, AREA_KEY_COLOR, run.args.iType, &run.groups,
              &run.planes);
  open_planes(run.args, &run.planes);
  allocate_raster(run);
  allocate_planes(run.args, &run.planes);
  mark_area(run);
  write_matching_file(run);
  run.raster.reset();
  return 0;
}

// Arguments 1 to 10, band codes and the input planes: opening the needed
// bands and components, reading them row by row as bytes, and testing the
// pixels of a row against rectangles.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>

#include "arealib.h"

namespace {
constexpr size_t STREAM_BUFFER = 1 << 17;
}

bool scan_area_arguments(char **argv, AreaArguments *args) {
  args->iPaths = argv[1];
  args->iBands = argv[2];
  args->pciPaths = argv[3];
  int *numbers[] = {&args->iType, &args->iRows, &args->iCols, &args->aRow,
                    &args->aCol,  &args->aRows, &args->aCols};
  for (int i = 0; i < 7; ++i)
    if (!scan_int(argv[4 + i], numbers[i])) return false;
  return true;
}

namespace {

// Components are read with the negated type. The most negative int has no
// negation; like every code beyond the four types it names no layout.
int component_type(int iType) { return iType == INT_MIN ? INT_MIN : -iType; }

}  // namespace

bool legal_band_code(int code, int iType) {
  if (code == 0 || code < -MAX_BANDS || code > MAX_BANDS) return false;
  return code > 0 ? band_is_stored(iType, code)
                  : band_is_stored(component_type(iType), -code);
}

bool legal_image_type(int type) { return type != 0 && type >= -4 && type <= 4; }

void mark_band_code(InputPlanes *planes, int code) {
  if (code < 0)
    planes->neededComponents[-code] = 1;
  else
    planes->neededBands[code] = 1;
}

namespace {

void give_buffer(FILE *file, std::vector<char> *buffer) {
  if (file == nullptr) return;
  buffer->resize(STREAM_BUFFER);
  setvbuf(file, buffer->data(), _IOFBF, buffer->size());
}

}  // namespace

PlaneStatus open_plane_files(const AreaArguments &args, InputPlanes *planes,
                             int *number) {
  const int b = open_band_files(args.iPaths, args.iBands, planes->neededBands,
                                &planes->bandFiles);
  if (b == -2) return PLANES_BAND_NOT_LISTED;
  if (b < 0) return PLANES_ILLEGAL_LISTS;
  if (b > 0) {
    *number = b;
    return PLANES_BAND_NOT_OPENED;
  }
  const int k = open_pci_files(args.pciPaths, planes->neededComponents,
                               &planes->pciFiles);
  if (k < 0) return PLANES_COMPONENT_NOT_LISTED;
  if (k > 0) {
    *number = k;
    return PLANES_COMPONENT_NOT_OPENED;
  }
  // Rows are read in order: large stream buffers spare most system calls.
  // A buffer that cannot be had leaves the stream with its own.
  try {
    for (int i = 1; i < FILE_SLOTS; ++i) {
      give_buffer(planes->bandFiles[i], &planes->bandBuffers[i]);
      give_buffer(planes->pciFiles[i], &planes->pciBuffers[i]);
    }
  } catch (const std::bad_alloc &) {
  }
  return PLANES_OK;
}

PlaneStatus allocate_plane_rows(const AreaArguments &args,
                                InputPlanes *planes) {
  // A negative column count is a request no allocator can meet.
  if (args.aCols < 0) return PLANES_NO_MEMORY;
  const size_t columns = static_cast<size_t>(args.aCols);
  for (int b = 1; b < FILE_SLOTS; ++b) {
    if (!planes->neededBands[b]) continue;
    planes->bandRows[b] = allocate_zeroed<uint8_t>(columns);
    if (!planes->bandRows[b]) return PLANES_NO_MEMORY;
  }
  for (int k = 1; k < FILE_SLOTS; ++k) {
    if (!planes->neededComponents[k]) continue;
    planes->pciRows[k] = allocate_zeroed<uint8_t>(columns);
    if (!planes->pciRows[k]) return PLANES_NO_MEMORY;
  }
  return PLANES_OK;
}

PlaneStatus read_planes(const AreaArguments &args, InputPlanes *planes, int r) {
  // A row past the largest int cannot be addressed; it goes to the reader
  // as a row before the first, which a type that reads samples refuses.
  const int64_t row = static_cast<int64_t>(args.aRow) + r;
  const int imageRow = row <= INT_MAX ? static_cast<int>(row) : -1;
  const int pciType = component_type(args.iType);
  for (int b = 1; b < FILE_SLOTS; ++b) {
    if (!planes->neededBands[b]) continue;
    errno = 0;
    if (read_band_row(planes->bandFiles[b], args.iRows, args.iCols, args.iType,
                      b, imageRow, args.aCol, args.aCols,
                      planes->bandRows[b].get(), KIND_U8) != 0)
      return PLANES_BAND_UNREAD;
  }
  for (int k = 1; k < FILE_SLOTS; ++k) {
    if (!planes->neededComponents[k]) continue;
    errno = 0;
    if (read_band_row(planes->pciFiles[k], args.iRows, args.iCols, pciType, k,
                      imageRow, args.aCol, args.aCols, planes->pciRows[k].get(),
                      KIND_U8) != 0)
      return PLANES_COMPONENT_UNREAD;
  }
  return PLANES_OK;
}

int next_area_row(const AreaArguments &args, int r) {
  if (args.aCols == 0 && r == 0 && args.aRows > 2) return args.aRows - 1;
  return r + 1;
}

const uint8_t *plane_row(const InputPlanes &planes, int code) {
  return code < 0 ? planes.pciRows[-code].get() : planes.bandRows[code].get();
}

namespace {

// The byte values low..high of an inclusive bound pair, as a start and a
// span so that one unsigned byte comparison tests membership.
struct ByteRange {
  bool empty;
  uint8_t low;
  uint8_t span;
};

ByteRange byte_range(int32_t low, int32_t high) {
  if (low > high || high < 0 || low > 255) return ByteRange{true, 0, 0};
  const int l = std::max(low, 0);
  const int h = std::min(high, 255);
  return ByteRange{false, static_cast<uint8_t>(l), static_cast<uint8_t>(h - l)};
}

}  // namespace

void mark_group_row(const RectGroup &group, const InputPlanes &planes,
                    int count, uint8_t value, uint8_t *out) {
  // A pixel in any rectangle of the group is in the group: testing every
  // rectangle over the whole row gives what stopping at the first hit gives.
  for (const AreaRect &rect : group.rects) {
    const ByteRange r1 = byte_range(rect.low1, rect.high1);
    const ByteRange r2 = byte_range(rect.low2, rect.high2);
    if (r1.empty || r2.empty) continue;
    const uint8_t *a = plane_row(planes, rect.band1);
    const uint8_t *b = plane_row(planes, rect.band2);
    for (int x = 0; x < count; ++x) {
      const uint8_t in1 = static_cast<uint8_t>(a[x] - r1.low) <= r1.span;
      const uint8_t in2 = static_cast<uint8_t>(b[x] - r2.low) <= r2.span;
      out[x] |= static_cast<uint8_t>(0 - (in1 & in2)) & value;
    }
  }
}

bool output_names_plane(const char *outPath, const AreaArguments &args,
                        const InputPlanes &planes) {
  FILE *inputs[2 * MAX_BANDS];
  for (int i = 0; i < MAX_BANDS; ++i) {
    inputs[i] = planes.bandFiles[i + 1];
    inputs[MAX_BANDS + i] = planes.pciFiles[i + 1];
  }
  // A listed file that the areas never read is an input all the same: the
  // next run, with other areas, reads it.
  return output_names_input(outPath, inputs, 2 * MAX_BANDS) ||
         output_names_listed(outPath, args.iPaths) ||
         output_names_listed(outPath, args.pciPaths);
}

void close_planes(InputPlanes *planes) {
  for (int b = 1; b < FILE_SLOTS; ++b) {
    planes->bandFiles.files[b].reset();
    planes->bandRows[b].reset();
    std::vector<char>().swap(planes->bandBuffers[b]);
  }
  for (int k = 1; k < FILE_SLOTS; ++k) {
    planes->pciFiles.files[k].reset();
    planes->pciRows[k].reset();
    std::vector<char>().swap(planes->pciBuffers[k]);
  }
}

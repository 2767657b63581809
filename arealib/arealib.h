// Front end shared by the scatter-plot tool dramen and the matching-points
// tool fossik: their first ten arguments, band codes, the areas string and
// its groups of value-range rectangles, and the needed bands and principal
// components read row by row as 8-bit values. It returns status codes and
// prints nothing; the tools' messages and their failing steps are in
// areatool.h, the console side (target arealib_tool).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bandlib.h"
#include "buffer.h"

constexpr int AREA_NAME_SIZE = 16;   // a group name of at most 15 characters
constexpr int MAX_COLOR_GROUPS = 8;  // fossik: one bit per colour number

// Arguments 1 to 10 of both tools.
struct AreaArguments {
  const char *iPaths = nullptr;
  const char *iBands = nullptr;
  const char *pciPaths = nullptr;
  int iType = 0;
  int iRows = 0;
  int iCols = 0;
  int aRow = 0;
  int aCol = 0;
  int aRows = 0;
  int aCols = 0;
};

// Takes argv[1..3] and scans argv[4..10] with "%d" in order. Returns false
// at the first number that does not scan.
bool scan_area_arguments(char **argv, AreaArguments *args);

// A band code names a plane: 1..7 an image band, -1..-7 a principal
// component, and the image of type `iType` stores that plane. Bands are read
// with iType and components with its negation, and a GI layout (type 4)
// stores bands 1 to 5 only: with iType 4, band codes 6 and 7 name nothing;
// with iType -4, component codes -6 and -7. Such a plane would read as
// zeros and be counted or marked as if it had been read.
bool legal_band_code(int code, int iType);

// An image type code that names a layout: 1..4, or -1..-4 for an image
// whose bands are principal components. Any other code would read nothing
// and count or mark an area of zeros as if it had been read.
bool legal_image_type(int type);

// One rectangle in the plane of two band-code values; bounds inclusive.
struct AreaRect {
  int32_t band1;
  int32_t low1;
  int32_t high1;
  int32_t band2;
  int32_t low2;
  int32_t high2;
};

// The rectangles that share one key: a name (dramen) or a colour number
// (fossik). Rectangles are held newest first.
struct RectGroup {
  char name[AREA_NAME_SIZE] = {};
  int32_t color = 0;
  std::vector<AreaRect> rects;
};

// How the items of an areas string are keyed.
enum AreaKeyKind { AREA_KEY_NAME, AREA_KEY_COLOR };

// Input planes: the band and component file sets with their needed flags,
// and one row buffer of aCols bytes per needed plane.
struct InputPlanes {
  int neededBands[FILE_SLOTS] = {};
  int neededComponents[FILE_SLOTS] = {};
  // Stream buffers of the open files. They are declared before the file
  // sets so that they are released after them: a stream must be closed
  // before the buffer it reads into goes.
  std::vector<char> bandBuffers[FILE_SLOTS];
  std::vector<char> pciBuffers[FILE_SLOTS];
  FileSet bandFiles;
  FileSet pciFiles;
  ZeroedArray<uint8_t> bandRows[FILE_SLOTS];
  ZeroedArray<uint8_t> pciRows[FILE_SLOTS];
};

// Marks the plane of a legal band code as needed.
void mark_band_code(InputPlanes *planes, int code);

// Outcome of parsing an areas string.
enum AreaParseResult {
  AREAS_OK = 0,
  AREAS_ILLEGAL,          // an item that does not parse
  AREAS_TOO_MANY_COLORS,  // a ninth colour group
  AREAS_NO_MEMORY,
};

// Builds the group list (newest group first, each group's rectangles newest
// first) from an areas string or "NO-AREAS", marking the band codes the
// rectangles use. Items are parsed one after another; the first failure
// stops the parse. A band code that is not legal for the image type is as
// malformed as a missing number.
AreaParseResult parse_area_groups(const char *areas, AreaKeyKind kind,
                                  int iType, std::vector<RectGroup> *groups,
                                  InputPlanes *planes);

// Outcome of opening the input planes, obtaining their rows or reading
// them. After a failed open or read errno tells why.
enum PlaneStatus {
  PLANES_OK = 0,
  PLANES_BAND_NOT_LISTED,       // a needed band is not in the band list
  PLANES_ILLEGAL_LISTS,         // malformed or unequal band lists
  PLANES_BAND_NOT_OPENED,       // the file of a band did not open
  PLANES_COMPONENT_NOT_LISTED,  // a needed component has no path
  PLANES_COMPONENT_NOT_OPENED,  // the file of a component did not open
  PLANES_NO_MEMORY,             // the row buffers cannot be had
  PLANES_BAND_UNREAD,           // a band row did not read
  PLANES_COMPONENT_UNREAD,      // a component row did not read
};

// Opens the needed bands, then the needed components. On a failed open
// `*number` is the band or component number; after a failure of the
// components the bands stay open.
PlaneStatus open_plane_files(const AreaArguments &args, InputPlanes *planes,
                             int *number);

// Obtains the row buffers of the needed planes, bands first, as zeroed
// pages: a row far wider than its files costs nothing before the first
// read fails.
PlaneStatus allocate_plane_rows(const AreaArguments &args, InputPlanes *planes);

// Reads area row r of every needed band, then of every needed component,
// stopping at the first that fails.
PlaneStatus read_planes(const AreaArguments &args, InputPlanes *planes, int r);

// The area row to read after row r: rows run 0 to aRows - 1 in order
// (`for (r = 0; r < aRows; r = next_area_row(args, r))`). An area of no
// columns reads no sample, so its rows differ only in their positions, and
// a row of no samples fails only at a position the reader cannot address:
// before the first row or column (the first row fails then) or past the
// largest int (the last one does). Its first and last rows thus end as
// all of them would, and the rows between are passed over: an area of no
// columns and 2^31 - 1 rows takes two reads, not minutes of empty ones.
int next_area_row(const AreaArguments &args, int r);

// The row buffer of the plane a band code names.
const uint8_t *plane_row(const InputPlanes &planes, int code);

// Byte x of the row buffer of the plane a band code names.
inline int plane_value(const InputPlanes &planes, int code, int x) {
  return plane_row(planes, code)[x];
}

// Whether the values of a pixel at the rectangle's two band codes lie in it.
inline bool rect_contains_values(const AreaRect &rect, int value1, int value2) {
  return rect.low1 <= value1 && value1 <= rect.high1 && rect.low2 <= value2 &&
         value2 <= rect.high2;
}

// ORs `value` into out[x] for every column x < count of the current row
// that lies in at least one of the group's rectangles.
void mark_group_row(const RectGroup &group, const InputPlanes &planes,
                    int count, uint8_t value, uint8_t *out);

// Whether an output path names one of the open input planes, or any path
// of the band path list or the PCI path list, read or not (errno EEXIST
// then). Called before the planes are closed.
bool output_names_plane(const char *outPath, const AreaArguments &args,
                        const InputPlanes &planes);

// Closes every band stream and releases its buffers, then the components'.
void close_planes(InputPlanes *planes);

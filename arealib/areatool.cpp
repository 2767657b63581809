// Console steps shared by the area tools: the messages of the front end's
// failures.
#include "areatool.h"

#include "console.h"

void parse_areas(const char *areas, AreaKeyKind kind, int iType,
                 std::vector<RectGroup> *groups, InputPlanes *planes) {
  switch (parse_area_groups(areas, kind, iType, groups, planes)) {
    case AREAS_OK: return;
    case AREAS_ILLEGAL:
      if (kind == AREA_KEY_NAME)
        fail_with("Illegal areas string (%s).\n", areas);
      fail_with("Illegal areas string.\n");
    case AREAS_TOO_MANY_COLORS: fail_with("Too many different colors.\n");
    case AREAS_NO_MEMORY: fail_with("Error allocating memory.\n");
  }
}

void open_planes(const AreaArguments &args, InputPlanes *planes) {
  int number = 0;
  switch (open_plane_files(args, planes, &number)) {
    case PLANES_BAND_NOT_LISTED: fail_with("%s", BAND_NOT_LISTED_MESSAGE);
    case PLANES_ILLEGAL_LISTS: fail_with("%s", ILLEGAL_LISTS_MESSAGE);
    case PLANES_BAND_NOT_OPENED:
      fail_with(BAND_NOT_OPENED_FORMAT, number, error_text());
    case PLANES_COMPONENT_NOT_LISTED:
      fail_with("%s", COMPONENT_NOT_LISTED_MESSAGE);
    case PLANES_COMPONENT_NOT_OPENED:
      fail_with(COMPONENT_NOT_OPENED_FORMAT, number, error_text());
    case PLANES_OK:
    default: return;  // opening reports no other status
  }
}

void allocate_planes(const AreaArguments &args, InputPlanes *planes) {
  if (allocate_plane_rows(args, planes) != PLANES_OK) fail_allocating_area();
}

void read_plane_rows(const AreaArguments &args, InputPlanes *planes, int r) {
  const PlaneStatus status = read_planes(args, planes, r);
  if (status == PLANES_BAND_UNREAD)
    fail_with("Error reading from image file (%s).\n", error_text());
  if (status == PLANES_COMPONENT_UNREAD)
    fail_with("Error reading from PCI file (%s).\n", error_text());
}

void fail_allocating_area() { fail_with("%s", NO_MEMORY_MESSAGE); }

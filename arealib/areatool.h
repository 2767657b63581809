// The console steps that dramen and fossik share on top of the front end:
// each runs a step of arealib.h and, when it fails, prints the tool's
// message on standard error and ends the run with status 1. This is the
// library's console side, the target arealib_tool, linked by the programs
// only; arealib itself returns status codes and never ends the process.
#pragma once

#include <vector>

#include "arealib.h"

// The six opening and allocation messages of the two tools end without a
// line end, while their neighbours end in "\n". The tools have always
// printed them so and users' scripts match them as they are: do not add
// one.
constexpr char BAND_NOT_LISTED_MESSAGE[] =
    "Error opening image file - band does not exist.";
constexpr char ILLEGAL_LISTS_MESSAGE[] =
    "Error opening image files - illegal parameter.";
constexpr char BAND_NOT_OPENED_FORMAT[] =
    "Error opening image file for band %d (%s).";
constexpr char COMPONENT_NOT_LISTED_MESSAGE[] =
    "Error opening PCI file - component does not exist.";
constexpr char COMPONENT_NOT_OPENED_FORMAT[] =
    "Error opening PCI file for component %d (%s).";
constexpr char NO_MEMORY_MESSAGE[] = "Error allocating memory.";

// parse_area_groups; a failure ends the run with "Illegal areas string
// (%s).\n" (names) or "Illegal areas string.\n" (colours), "Too many
// different colors.\n" or "Error allocating memory.\n".
void parse_areas(const char *areas, AreaKeyKind kind, int iType,
                 std::vector<RectGroup> *groups, InputPlanes *planes);

// open_plane_files; a failure ends the run with its opening message.
void open_planes(const AreaArguments &args, InputPlanes *planes);

// allocate_plane_rows; a failure ends the run with NO_MEMORY_MESSAGE.
void allocate_planes(const AreaArguments &args, InputPlanes *planes);

// read_planes; a failure ends the run with "Error reading from image file
// (%s).\n" or "Error reading from PCI file (%s).\n".
void read_plane_rows(const AreaArguments &args, InputPlanes *planes, int r);

// Ends the run with NO_MEMORY_MESSAGE, the message of the memory that an
// area needs (row buffers, fossik's raster, dramen's scratch rows), which
// has no line end: not the band-set run's "Error allocating memory.\n".
[[noreturn]] void fail_allocating_area();

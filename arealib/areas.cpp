// The areas string: items of two band-code triples keyed by a group name or
// a colour number, gathered into groups of rectangles.
#include <algorithm>
#include <cstring>
#include <new>

#include "arealib.h"

namespace {

// Scans `count` numbers separated by ':' (and preceded by one when
// `leadingColon`), as a "%d:%d:..." format would; white space is skipped
// before a number, never before a ':'.
bool scan_fields(const char *p, bool leadingColon, int count, int32_t *fields) {
  for (int i = 0; i < count; ++i) {
    if (i > 0 || leadingColon) {
      if (*p != ':') return false;
      ++p;
    }
    if (!scan_int_end(p, &fields[i], &p)) return false;
  }
  return true;
}

// The key and rectangle of one item.
struct AreaItem {
  char name[AREA_NAME_SIZE] = {};
  int32_t color = 0;
  AreaRect rect = {};
};

AreaRect rect_from(const int32_t *f) {
  return AreaRect{f[0], f[1], f[2], f[3], f[4], f[5]};
}

// dramen: name:b:lo:hi:b:lo:hi. The name runs from the item's start to the
// first ':' after it and must fit its field.
bool parse_named_item(const char *item, AreaItem *out) {
  const char *colon = strchr(item, ':');
  if (colon == nullptr) return false;
  const size_t length = static_cast<size_t>(colon - item);
  if (length > AREA_NAME_SIZE - 1) return false;
  int32_t f[6];
  if (!scan_fields(colon, true, 6, f)) return false;
  memcpy(out->name, item, length);
  out->name[length] = '\0';
  out->rect = rect_from(f);
  return true;
}

// fossik: colour:b:lo:hi:b:lo:hi.
bool parse_colored_item(const char *item, AreaItem *out) {
  int32_t f[7];
  if (!scan_fields(item, false, 7, f)) return false;
  out->color = f[0];
  out->rect = rect_from(f + 1);
  return true;
}

bool same_key(const RectGroup &group, const AreaItem &item, AreaKeyKind kind) {
  return kind == AREA_KEY_NAME ? strcmp(group.name, item.name) == 0
                               : group.color == item.color;
}

// Adds the item's rectangle to its group, or starts a new group. Groups and
// rectangles are kept in order of appearance here and turned round at the
// end of the parse.
AreaParseResult add_item(const AreaItem &item, AreaKeyKind kind,
                         std::vector<RectGroup> *groups) {
  for (RectGroup &group : *groups) {
    if (same_key(group, item, kind)) {
      group.rects.push_back(item.rect);
      return AREAS_OK;
    }
  }
  if (kind == AREA_KEY_COLOR && groups->size() >= MAX_COLOR_GROUPS)
    return AREAS_TOO_MANY_COLORS;
  RectGroup group;
  memcpy(group.name, item.name, sizeof group.name);
  group.color = item.color;
  group.rects.push_back(item.rect);
  groups->push_back(std::move(group));
  return AREAS_OK;
}

AreaParseResult parse_items(const char *areas, AreaKeyKind kind, int iType,
                            std::vector<RectGroup> *groups,
                            InputPlanes *planes) {
  const char *item = areas;
  for (;;) {
    AreaItem parsed;
    const bool scanned = kind == AREA_KEY_NAME
                             ? parse_named_item(item, &parsed)
                             : parse_colored_item(item, &parsed);
    // A band code that names no stored plane is as malformed as a missing
    // number.
    if (!scanned || !legal_band_code(parsed.rect.band1, iType) ||
        !legal_band_code(parsed.rect.band2, iType))
      return AREAS_ILLEGAL;
    mark_band_code(planes, parsed.rect.band1);
    mark_band_code(planes, parsed.rect.band2);
    const AreaParseResult added = add_item(parsed, kind, groups);
    if (added != AREAS_OK) return added;
    const char *comma = strchr(item, ',');
    if (comma == nullptr) return AREAS_OK;
    item = comma + 1;
  }
}

}  // namespace

AreaParseResult parse_area_groups(const char *areas, AreaKeyKind kind,
                                  int iType, std::vector<RectGroup> *groups,
                                  InputPlanes *planes) {
  groups->clear();
  if (strcmp(areas, "NO-AREAS") == 0) return AREAS_OK;
  AreaParseResult result;
  try {
    result = parse_items(areas, kind, iType, groups, planes);
  } catch (const std::bad_alloc &) {
    return AREAS_NO_MEMORY;
  }
  // Newest group first, each group's newest rectangle first.
  std::reverse(groups->begin(), groups->end());
  for (RectGroup &group : *groups)
    std::reverse(group.rects.begin(), group.rects.end());
  return result;
}

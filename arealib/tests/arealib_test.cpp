#include "arealib.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Rectangles as band1:lo1:hi1:band2:lo2:hi2 text, for compact expectations.
std::string text_of(const AreaRect &r) {
  char s[80];
  snprintf(s, sizeof s, "%d:%d:%d:%d:%d:%d", r.band1, r.low1, r.high1, r.band2,
           r.low2, r.high2);
  return s;
}

// Groups in list order as "key=rect|rect;key=rect".
std::string text_of(const std::vector<RectGroup> &groups, AreaKeyKind kind) {
  std::string s;
  for (const RectGroup &g : groups) {
    if (!s.empty()) s += ";";
    s += (kind == AREA_KEY_NAME ? std::string(g.name)
                                : std::to_string(g.color)) +
         "=";
    for (size_t i = 0; i < g.rects.size(); ++i)
      s += (i ? "|" : "") + text_of(g.rects[i]);
  }
  return s;
}

// The needed planes as "b1 b3 c2" (bands, then components).
std::string needed_of(const InputPlanes &p) {
  std::string s;
  for (int b = 1; b < FILE_SLOTS; ++b)
    if (p.neededBands[b]) s += (s.empty() ? "b" : " b") + std::to_string(b);
  for (int k = 1; k < FILE_SLOTS; ++k)
    if (p.neededComponents[k])
      s += (s.empty() ? "c" : " c") + std::to_string(k);
  return s;
}

struct ParseCase {
  const char *areas;
  AreaKeyKind kind;
  const char *groups;
  const char *needed;
};

const ParseCase PARSED[] = {
    {"NO-AREAS", AREA_KEY_NAME, "", ""},
    // Newest group first, newest rectangle first.
    {"A:1:0:9:2:5:6,B:-2:1:2:3:4:5,A:4:7:8:4:0:1", AREA_KEY_NAME,
     "B=-2:1:2:3:4:5;A=4:7:8:4:0:1|1:0:9:2:5:6", "b1 b2 b3 b4 c2"},
    // Names compare whole and case-sensitive; empty names and names of 15
    // characters are keys like any other.
    {"ab:1:0:1:1:0:1,a:1:2:3:1:4:5,AB:1:6:7:1:8:9,:7:0:0:7:0:0,"
     "abcdefghijklmno:1:0:0:1:0:0",
     AREA_KEY_NAME,
     "abcdefghijklmno=1:0:0:1:0:0;=7:0:0:7:0:0;AB=1:6:7:1:8:9;a=1:2:3:1:4:5;"
     "ab=1:0:1:1:0:1",
     "b1 b7"},
    // White space before a number, a plus sign, text after the seventh
    // field up to the next comma.
    {"g: 1:+2:\t3:-1: 4:5xyz:9:9,h:2:0:0:2:0:0", AREA_KEY_NAME,
     "h=2:0:0:2:0:0;g=1:2:3:-1:4:5", "b1 b2 c1"},
    // The name runs to the first ':' after the item's start, over a comma.
    {"x,y:1:0:0:1:0:0", AREA_KEY_NAME, "y=1:0:0:1:0:0;x,y=1:0:0:1:0:0", "b1"},
    {"A:1:-2147483648:2147483647:1:0:0", AREA_KEY_NAME,
     "A=1:-2147483648:2147483647:1:0:0", "b1"},
    {"3:1:0:9:2:0:9,1:-1:5:6:1:0:1,3:2:1:1:2:2:2", AREA_KEY_COLOR,
     "1=-1:5:6:1:0:1;3=2:1:1:2:2:2|1:0:9:2:0:9", "b1 b2 c1"},
    {" 9:1:0:0:1:0:0,-4:1:0:0:1:0:0", AREA_KEY_COLOR,
     "-4=1:0:0:1:0:0;9=1:0:0:1:0:0", "b1"},
    // Eight colours fit.
    {"0:1:0:0:1:0:0,1:1:0:0:1:0:0,2:1:0:0:1:0:0,3:1:0:0:1:0:0,"
     "4:1:0:0:1:0:0,5:1:0:0:1:0:0,6:1:0:0:1:0:0,7:1:0:0:1:0:0,0:2:0:0:2:0:0",
     AREA_KEY_COLOR,
     "7=1:0:0:1:0:0;6=1:0:0:1:0:0;5=1:0:0:1:0:0;4=1:0:0:1:0:0;3=1:0:0:1:0:0;"
     "2=1:0:0:1:0:0;1=1:0:0:1:0:0;0=2:0:0:2:0:0|1:0:0:1:0:0",
     "b1 b2"},
};

// clang-format off
const char *const ILLEGAL_NAMED[] = {
    "", "A:1:2:3:4:5", "A:1:2:3:4:5:6,", "NO-AREAS ", "A:0:0:0:1:0:0",
    "A :1:2:3:4:5:6,B:1:2:3 :4:5:6", "abcdefghijklmnop:1:0:0:1:0:0",
    "A:1:0:0:8:0:0", "A:-8:0:0:1:0:0", "A:1:0:2147483648:1:0:0"};
const char *const ILLEGAL_COLORED[] = {
    "", "1:1:0:0:1:0:0,", "1:1:0:0:1:0:0,,2:1:0:0:1:0:0", "1:1:0:0:1:0",
    "1:1:0:0:0:0:0", "A:1:0:0:1:0:0", "99999999999:1:0:0:1:0:0"};
// clang-format on

AreaParseResult parse(const std::string &areas, AreaKeyKind kind) {
  std::vector<RectGroup> groups;
  InputPlanes planes;
  return parse_area_groups(areas.c_str(), kind, 1, &groups, &planes);
}

TEST(ParseAreaGroups, GroupsRectanglesAndNeededPlanes) {
  for (const ParseCase &c : PARSED) {
    std::vector<RectGroup> groups;
    InputPlanes planes;
    ASSERT_EQ(parse_area_groups(c.areas, c.kind, 1, &groups, &planes), AREAS_OK)
        << c.areas;
    EXPECT_EQ(text_of(groups, c.kind), c.groups) << c.areas;
    EXPECT_EQ(needed_of(planes), c.needed) << c.areas;
  }
  for (const char *areas : ILLEGAL_NAMED)
    EXPECT_EQ(parse(areas, AREA_KEY_NAME), AREAS_ILLEGAL) << areas;
  for (const char *areas : ILLEGAL_COLORED)
    EXPECT_EQ(parse(areas, AREA_KEY_COLOR), AREAS_ILLEGAL) << areas;
  // A ninth colour is refused even when it has no bit, and before a
  // malformed item after it.
  std::string eight;
  for (int c = 0; c < 8; ++c) eight += std::to_string(c) + ":1:0:0:1:0:0,";
  EXPECT_EQ(parse(eight + "8:1:0:0:1:0:0", AREA_KEY_COLOR),
            AREAS_TOO_MANY_COLORS);
  EXPECT_EQ(parse(eight + "9:1:0:0:1:0:0,x", AREA_KEY_COLOR),
            AREAS_TOO_MANY_COLORS);
}

// The pixel test, the reference for the row-wide marking: whether the pixel
// at column x of the current row lies in the rectangle.
bool area_contains(const AreaRect &rect, const InputPlanes &planes, int x) {
  return rect_contains_values(rect, plane_value(planes, rect.band1, x),
                              plane_value(planes, rect.band2, x));
}

// The row-wide marking agrees with the pixel test on random rows and
// rectangles, bounds well outside 0..255 and at the ends of int included.
TEST(MarkGroupRow, AgreesWithThePixelTest) {
  std::mt19937 gen(7);
  const int codes[] = {1, 4, -2};
  std::uniform_int_distribution<int> bound(-300, 600), wide(INT_MIN, INT_MAX);
  for (int round = 0; round < 300; ++round) {
    const int n = static_cast<int>(gen() % 70);
    InputPlanes planes;  // rows of band 1, band 4 and component 2
    for (auto *row :
         {&planes.bandRows[1], &planes.bandRows[4], &planes.pciRows[2]}) {
      *row = allocate_zeroed<uint8_t>(static_cast<size_t>(n));
      for (int x = 0; x < n; ++x)
        (*row)[x] = static_cast<uint8_t>(gen() % 4 ? gen() : gen() % 3);
    }
    RectGroup group;
    const int count = 1 + static_cast<int>(gen() % 4);
    for (int i = 0; i < count; ++i) {
      auto pick = [&] {
        return gen() % 8 == 0 ? wide(gen) : bound(gen) / 2 + 50;
      };
      group.rects.push_back(
          {codes[gen() % 3], pick(), pick(), codes[gen() % 3], pick(), pick()});
    }
    const uint8_t value = static_cast<uint8_t>(1u << (gen() % 8));
    std::vector<uint8_t> out(n), before(n);
    for (auto &b : out) b = static_cast<uint8_t>(gen() & ~value);
    before = out;
    mark_group_row(group, planes, n, value, out.data());
    for (int x = 0; x < n; ++x) {
      bool inside = false;
      for (const AreaRect &r : group.rects)
        inside |= area_contains(r, planes, x);
      ASSERT_EQ(out[x], inside ? (before[x] | value) : before[x])
          << "round " << round << " column " << x;
    }
  }
}

}  // namespace

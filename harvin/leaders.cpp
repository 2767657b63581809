// The leader pass.
//
// A pixel joins a leader when the single-precision sum of its squared
// differences from the leader's samples is at most a limit. The sum never
// falls below any one of its terms, so a pixel that joins lies within the
// root of that limit of the leader on every band. The pixels are kept in
// the cells of a grid over all bands, cells at least as
// wide as that root, and a leader looks only at its own cell and the cells
// next to it. Within a cell the pixels keep their list order; the next
// leader is the first pixel of the list that no leader has taken.
//
// Against the plain pass over the linked list (each leader comparing every
// later cluster), 6.3x over the whole bench/harvin.sh run, threshold1 30 on
// 2000 x 2000 pixels: 11.5 s against 1.8 s of processor time.
#include <cmath>
#include <cstring>
#include <new>

#include "harvin.h"

namespace {

// Margins against rounding. The cell search works in double precision on
// cell coordinates, bounds and roots derived from the samples, and a
// rounding there could drop a cell that holds a pixel within reach. Each
// margin widens the search a little: cells somewhat wider than the reach,
// the reach somewhat longer where neighbour cells are pruned, and the gaps
// to those cells somewhat shorter. A wider search only costs a few more
// tests; which pixels join never changes, since every pixel of a visited
// cell is tested against the limit itself.
constexpr double CELL_WIDTH_MARGIN = 1.00001;
constexpr double REACH_MARGIN = 1.0001;
constexpr double GAP_SLACK = 1e-6;  // relative to the sample and cell width

// One pixel in a cell. Samples are stored in the narrowest type that holds
// every sample of the area exactly (8-bit images need 12 bytes a pixel
// rather than 32), since the pass streams through the cells many times.
template <class V>
struct Entry {
  V values[MAX_BANDS];
  int32_t position;  // list position
};

// Grid coordinates of samples on every band, packed into one 63-bit key:
// as many bits per band as fit, at most 30. Coordinates count cells from one
// below the smallest sample of the band, so that the cells next to every
// occupied cell have coordinates too; larger ones are clamped to the top, which
// merges cells and so only widens a search.
struct GridKeys {
  int bands = 0;
  int bits = 0;
  double width = 1.0;
  double low[MAX_BANDS] = {};

  int64_t top() const { return (int64_t{1} << bits) - 1; }
  int64_t coordinate(int b, float value) const {
    double c = std::floor((static_cast<double>(value) - low[b]) / width) + 1.0;
    if (!(c >= 0.0)) c = 0.0;
    if (!(c <= static_cast<double>(top()))) c = static_cast<double>(top());
    return static_cast<int64_t>(c);
  }
  // Keys start at 1; 0 marks an empty slot of the cell map.
  uint64_t pack(const int64_t *coords) const {
    uint64_t key = 0;
    for (int b = 0; b < bands; ++b)
      key = (key << bits) | static_cast<uint64_t>(coords[b]);
    return key + 1;
  }
};

// Open addressing from a cell's key to its number; cells are numbered in
// the order they are first met.
class CellMap {
 public:
  CellMap() : keys_(1024, 0), cells_(1024, 0) {}
  int32_t find(uint64_t key) const {
    for (size_t s = slot(key);; s = (s + 1) & (keys_.size() - 1)) {
      if (keys_[s] == key) return cells_[s];
      if (keys_[s] == 0) return -1;
    }
  }
  int32_t insert(uint64_t key) {
    for (size_t s = slot(key);; s = (s + 1) & (keys_.size() - 1)) {
      if (keys_[s] == key) return cells_[s];
      if (keys_[s] == 0) {
        keys_[s] = key;
        cells_[s] = count_++;
        if (2 * static_cast<size_t>(count_) > keys_.size()) grow();
        return count_ - 1;
      }
    }
  }
  int32_t count() const { return count_; }

 private:
  size_t slot(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) &
           (keys_.size() - 1);
  }
  void grow() {
    std::vector<uint64_t> keys(keys_.size() * 2, 0);
    std::vector<int32_t> cells(cells_.size() * 2, 0);
    keys.swap(keys_);
    cells.swap(cells_);
    for (size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == 0) continue;
      size_t s = slot(keys[i]);
      while (keys_[s] != 0) s = (s + 1) & (keys_.size() - 1);
      keys_[s] = keys[i];
      cells_[s] = cells[i];
    }
  }
  std::vector<uint64_t> keys_;
  std::vector<int32_t> cells_;
  int32_t count_ = 0;
};

template <class V>
struct Cells {
  GridKeys grid;
  CellMap map;
  std::vector<Entry<V>> entries;   // grouped by cell, list order within one
  std::vector<size_t> begin, end;  // the remaining entries of each cell
  std::vector<int32_t> cellOf;     // cell per list position
};

// distance_sum of clusterlib with the second vector in a stored type: each
// sample converts exactly to single precision.
template <class V>
float sum_to(const float *a, const V *b, int n) {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float d = a[i] - static_cast<float>(b[i]);
    sum = sum + d * d;
  }
  return sum;
}

// Member records are made in the order pixels join, so that the members of
// one leader lie together in the table.
void add_member(ClusterList &list, Cluster &c, int32_t pixel) {
  const auto m = static_cast<int32_t>(list.members.size());
  list.members.push_back(ClusterMember{pixel, NO_LINK});
  if (c.members == NO_LINK)
    c.members = m;
  else
    list.members[static_cast<size_t>(c.lastMember)].next = m;
  c.lastMember = m;
  ++c.count;
}

template <class V>
Cluster leader_cluster(const V *values, int bands, int32_t pixel,
                       ClusterList &list) {
  Cluster c;
  std::memset(&c, 0, sizeof c);
  for (int k = 0; k < bands; ++k) c.mean[k] = static_cast<float>(values[k]);
  c.count = 0;
  c.members = c.lastMember = c.next = NO_LINK;
  add_member(list, c, pixel);
  return c;
}

void coordinates(const GridKeys &grid, const float *values, int64_t *coords) {
  for (int b = 0; b < grid.bands; ++b)
    coords[b] = grid.coordinate(b, values[b]);
}

// Cells at least as wide as the reach of a leader, and wide enough for the
// samples' range to fit the coordinates.
void lay_grid(const PixelTable &table, float limit, GridKeys &grid) {
  grid.bands = table.bands;
  grid.bits = 63 / table.bands < 30 ? 63 / table.bands : 30;
  const double reach =
      std::sqrt(static_cast<double>(limit)) * CELL_WIDTH_MARGIN;
  double width = reach > 1.0 ? reach : 1.0;
  for (int b = 0; b < table.bands; ++b) {
    const std::vector<float> &v = table.values[b];
    float lo = v.empty() ? 0.0f : v[0], hi = lo;
    for (float x : v) {
      lo = x < lo ? x : lo;
      hi = x > hi ? x : hi;
    }
    grid.low[b] = lo;
    const double span =
        (static_cast<double>(hi) - lo) / static_cast<double>(grid.top() - 2);
    if (span > width) width = span;
  }
  grid.width = width;
}

template <class V>
void build_cells(PixelTable &table, float limit, Cells<V> &cells) {
  const size_t count = static_cast<size_t>(table.count);
  lay_grid(table, limit, cells.grid);
  cells.cellOf.resize(count);
  std::vector<size_t> sizes;
  float values[MAX_BANDS] = {};
  int64_t coords[MAX_BANDS] = {};
  for (size_t i = 0; i < count; ++i) {
    for (int b = 0; b < cells.grid.bands; ++b) values[b] = table.values[b][i];
    coordinates(cells.grid, values, coords);
    const int32_t c = cells.map.insert(cells.grid.pack(coords));
    if (static_cast<size_t>(c) == sizes.size()) sizes.push_back(0);
    ++sizes[static_cast<size_t>(c)];
    cells.cellOf[i] = c;
  }
  cells.begin.resize(sizes.size());
  cells.end.resize(sizes.size());
  size_t at = 0;
  for (size_t c = 0; c < sizes.size(); ++c) {
    cells.begin[c] = cells.end[c] = at;
    at += sizes[c];
  }
  cells.entries.resize(count);
  for (size_t i = 0; i < count; ++i) {
    Entry<V> &e =
        cells.entries[cells.end[static_cast<size_t>(cells.cellOf[i])]++];
    std::memset(&e, 0, sizeof e);
    for (int k = 0; k < table.bands; ++k)
      e.values[k] = static_cast<V>(table.values[k][i]);
    e.position = static_cast<int32_t>(i);
  }
  for (auto &v : table.values) std::vector<float>().swap(v);
}

struct Leading {
  Cluster cluster;
  int32_t position;  // the leader's list position
  float limit;
  int bands;
  int32_t count;  // pixels of the area
};

// Takes from one cell every pixel within the limit of the leader, and the
// leader itself; the others close up in order.
template <class V>
void scan_cell(Cells<V> &cells, size_t cell, Leading &lead,
               std::vector<uint8_t> &taken, ClusterList &list) {
  float mean[MAX_BANDS];
  std::memcpy(mean, lead.cluster.mean, sizeof mean);
  const int32_t leader = lead.position;
  const float limit = lead.limit;
  const int bands = lead.bands;
  Entry<V> *entries = cells.entries.data();
  size_t kept = cells.begin[cell];
  const size_t end = cells.end[cell];
  for (size_t r = cells.begin[cell]; r < end; ++r) {
    const int32_t position = entries[r].position;
    if (position == leader) continue;
    if (sum_to(mean, entries[r].values, bands) <= limit) {
      taken[static_cast<size_t>(position)] = 1;
      add_member(list, lead.cluster, lead.count - 1 - position);
      continue;
    }
    if (kept != r) entries[kept] = entries[r];
    ++kept;
  }
  cells.end[cell] = kept;
}

// The cells next to the leader's (its own included) that come within the
// reach of its samples. Offsets of -1, 0 or +1 cell are chosen band by
// band; a choice whose box lies farther than the reach from the leader is
// not followed further. The reach is taken a little long and the squared
// gaps a little short (the margins above).
template <class V>
struct NeighbourSearch {
  Cells<V> &cells;
  Leading &lead;
  std::vector<uint8_t> &taken;
  ClusterList &list;
  double reach2;
  int64_t centre[MAX_BANDS];
  double below[MAX_BANDS], above[MAX_BANDS];  // squared gaps to the neighbours
  int64_t coords[MAX_BANDS];

  void visit(int b, double gap2) {
    const GridKeys &grid = cells.grid;
    if (b == grid.bands) {
      const int32_t cell = cells.map.find(grid.pack(coords));
      if (cell >= 0)
        scan_cell(cells, static_cast<size_t>(cell), lead, taken, list);
      return;
    }
    const double gaps[3] = {below[b], 0.0, above[b]};
    for (int o = -1; o <= 1; ++o) {
      const int64_t c = centre[b] + o;
      if (c < 0 || c > grid.top()) continue;
      const double g = gap2 + gaps[o + 1];
      if (g > reach2) continue;
      coords[b] = c;
      visit(b + 1, g);
    }
  }
};

template <class V>
void scan_neighbours(Cells<V> &cells, Leading &lead,
                     std::vector<uint8_t> &taken, ClusterList &list) {
  const GridKeys &grid = cells.grid;
  NeighbourSearch<V> search{cells, lead, taken, list, 0.0, {}, {}, {}, {}};
  const double reach =
      std::sqrt(static_cast<double>(lead.limit)) * REACH_MARGIN;
  search.reach2 = reach * reach;
  for (int b = 0; b < grid.bands; ++b) {
    const double v = lead.cluster.mean[b];
    const int64_t c = grid.coordinate(b, lead.cluster.mean[b]);
    search.centre[b] = c;
    // Cell c covers [low + (c - 1) width, low + c width); a clamped
    // coordinate has no such bounds and its neighbours count as touching.
    const double slack = GAP_SLACK * (std::fabs(v) + grid.width);
    double lower = v - (grid.low[b] + static_cast<double>(c - 1) * grid.width);
    double upper = grid.low[b] + static_cast<double>(c) * grid.width - v;
    lower = lower - slack > 0.0 ? lower - slack : 0.0;
    upper = upper - slack > 0.0 ? upper - slack : 0.0;
    const bool clamped = c <= 1 || c >= grid.top() - 1;
    search.below[b] = clamped ? 0.0 : lower * lower;
    search.above[b] = clamped ? 0.0 : upper * upper;
  }
  search.visit(0, 0.0);
}

void link_in_order(ClusterList &list) {
  for (size_t i = 0; i + 1 < list.clusters.size(); ++i)
    list.clusters[i].next = static_cast<int32_t>(i + 1);
  list.head = list.clusters.empty() ? NO_LINK : 0;
  list.size = static_cast<int32_t>(list.clusters.size());
}

void reserve_members(int32_t count, ClusterList &list) {
  list.members.reserve(static_cast<size_t>(count));
}

// No pixel can join another: every pixel leads a cluster of its own.
void every_pixel_leads(const PixelTable &table, ClusterList &list) {
  list.clusters.reserve(static_cast<size_t>(table.count));
  float values[MAX_BANDS] = {};
  for (int32_t i = 0; i < table.count; ++i) {
    for (int k = 0; k < table.bands; ++k)
      values[k] = table.values[k][static_cast<size_t>(i)];
    list.clusters.push_back(
        leader_cluster(values, table.bands, table.count - 1 - i, list));
    show_progress(2, 5, i + 1, table.count);
  }
}

// Whether a sample lies above 255: the cells then store 16 bits a sample
// rather than 8. Samples are whole numbers 0..65535 (8-bit or 16-bit band
// files), so one of the two holds each of them exactly.
bool wide_samples(const PixelTable &table) {
  for (int k = 0; k < table.bands; ++k)
    for (float v : table.values[k])
      if (v > 255.0f) return true;
  return false;
}

template <class V>
void lead_in_cells(PixelTable &table, float limit, ClusterList &list) {
  Cells<V> cells;
  build_cells(table, limit, cells);
  std::vector<uint8_t> taken(static_cast<size_t>(table.count), 0);
  int32_t left = table.count, leaders = 0;
  for (int32_t i = 0; i < table.count; ++i) {
    if (taken[static_cast<size_t>(i)]) continue;
    // A leader is the first remaining pixel of its cell.
    const size_t cell =
        static_cast<size_t>(cells.cellOf[static_cast<size_t>(i)]);
    const Entry<V> &own = cells.entries[cells.begin[cell]];
    Leading lead{
        leader_cluster(own.values, table.bands, table.count - 1 - i, list), i,
        limit, table.bands, table.count};
    taken[static_cast<size_t>(i)] = 1;
    scan_neighbours(cells, lead, taken, list);
    left -= lead.cluster.count - 1;
    list.clusters.push_back(lead.cluster);
    show_progress(2, 5, ++leaders, left);
  }
}

}  // namespace

void leader_pass(PixelTable &table, float threshold1, ClusterList &list) {
  float limit = 0.0f;
  try {
    reserve_members(table.count, list);
    if (!absorb_limit(threshold1, &limit)) {
      every_pixel_leads(table, list);
    } else {
      if (wide_samples(table))
        lead_in_cells<uint16_t>(table, limit, list);
      else
        lead_in_cells<uint8_t>(table, limit, list);
    }
  } catch (const std::bad_alloc &) {
    fail_allocating();
  }
  link_in_order(list);
}

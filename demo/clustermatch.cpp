// clustermatch: compares the clusters of an unsupervised classification
// (a COF file) with a scene's ground truth (one class byte per pixel, same
// size). Prints the number of clusters and the best one-to-one matching of
// clusters to classes: the pairing that puts the most pixels of a cluster
// on its matched class, each cluster and each class used at most once.
//
//   clustermatch <cof-path> <truth-path>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

// Assignment of rows to columns of a square matrix with the largest total
// weight (Hungarian method on the negated weights). Returns the column of
// each row.
std::vector<int> best_assignment(const std::vector<std::vector<long>> &w) {
  const int n = static_cast<int>(w.size());
  const long inf = std::numeric_limits<long>::max() / 4;
  std::vector<long> u(n + 1, 0), v(n + 1, 0);
  std::vector<int> match(n + 1, 0), way(n + 1, 0);
  for (int i = 1; i <= n; ++i) {
    match[0] = i;
    int j0 = 0;
    std::vector<long> minv(n + 1, inf);
    std::vector<bool> used(n + 1, false);
    do {
      used[j0] = true;
      const int i0 = match[j0];
      long delta = inf;
      int j1 = 0;
      for (int j = 1; j <= n; ++j) {
        if (used[j]) continue;
        const long cur = -w[i0 - 1][j - 1] - u[i0] - v[j];
        if (cur < minv[j]) {
          minv[j] = cur;
          way[j] = j0;
        }
        if (minv[j] < delta) {
          delta = minv[j];
          j1 = j;
        }
      }
      for (int j = 0; j <= n; ++j) {
        if (used[j]) {
          u[match[j]] += delta;
          v[j] -= delta;
        } else {
          minv[j] -= delta;
        }
      }
      j0 = j1;
    } while (match[j0] != 0);
    do {
      const int j1 = way[j0];
      match[j0] = match[j1];
      j0 = j1;
    } while (j0 != 0);
  }
  std::vector<int> column(n, -1);
  for (int j = 1; j <= n; ++j)
    if (match[j] != 0) column[match[j] - 1] = j - 1;
  return column;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "Usage: clustermatch <cof-path> <truth-path>\n");
    return 1;
  }
  FILE *cof = fopen(argv[1], "rb");
  FILE *truth = fopen(argv[2], "rb");
  if (cof == nullptr || truth == nullptr) {
    fprintf(stderr, "clustermatch: cannot open the files.\n");
    return 1;
  }
  std::vector<std::vector<long>> together(256, std::vector<long>(256, 0));
  long pixels = 0;
  std::vector<unsigned char> a(65536), b(65536);
  for (;;) {
    const size_t n = fread(a.data(), 1, a.size(), cof);
    if (fread(b.data(), 1, n, truth) != n) {
      fprintf(stderr, "clustermatch: the files differ in size.\n");
      return 1;
    }
    for (size_t i = 0; i < n; ++i) ++together[a[i]][b[i]];
    pixels += static_cast<long>(n);
    if (n < a.size()) break;
  }
  std::vector<int> clusters, classes;
  for (int k = 0; k < 256; ++k) {
    long inCluster = 0, inClass = 0;
    for (int j = 0; j < 256; ++j) {
      inCluster += together[k][j];
      inClass += together[j][k];
    }
    if (inCluster > 0) clusters.push_back(k);
    if (inClass > 0) classes.push_back(k);
  }
  const size_t side =
      clusters.size() > classes.size() ? clusters.size() : classes.size();
  std::vector<std::vector<long>> w(side, std::vector<long>(side, 0));
  for (size_t i = 0; i < clusters.size(); ++i)
    for (size_t j = 0; j < classes.size(); ++j)
      w[i][j] = together[clusters[i]][classes[j]];
  const std::vector<int> column = best_assignment(w);
  printf("     %zu clusters; best one-to-one matching with the ground truth:\n",
         clusters.size());
  long matched = 0;
  for (size_t i = 0; i < clusters.size(); ++i) {
    long size = 0;
    for (int j = 0; j < 256; ++j) size += together[clusters[i]][j];
    const int j = column[i];
    if (j < 0 || static_cast<size_t>(j) >= classes.size()) {
      printf("     cluster %3d: %7ld pixels, no class left\n", clusters[i],
             size);
      continue;
    }
    matched += w[i][static_cast<size_t>(j)];
    printf("     cluster %3d: %7ld pixels -> class %2d (%5.1f%% of them)\n",
           clusters[i], size, classes[static_cast<size_t>(j)],
           100.0 * w[i][static_cast<size_t>(j)] / size);
  }
  printf("     matched: %ld of %ld pixels (%.1f%%)\n", matched, pixels,
         pixels ? 100.0 * matched / pixels : 0.0);
  return 0;
}

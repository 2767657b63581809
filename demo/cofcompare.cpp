// cofcompare: compares a COF file with a scene's ground truth (both one
// class byte per pixel, same size) and prints, per class, how many pixels
// were given the class and the share of them whose ground truth agrees.
//
//   cofcompare <cof-path> <truth-path>
#include <cstdio>
#include <vector>

#include "filehandle.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "Usage: cofcompare <cof-path> <truth-path>\n");
    return 1;
  }
  FileHandle cofFile(fopen(argv[1], "rb"));
  FileHandle truthFile(fopen(argv[2], "rb"));
  FILE *cof = cofFile.get();
  FILE *truth = truthFile.get();
  if (cof == nullptr || truth == nullptr) {
    fprintf(stderr, "cofcompare: cannot open the files.\n");
    return 1;
  }
  long given[256] = {}, agree[256] = {};
  long pixels = 0, agreeing = 0;
  std::vector<unsigned char> a(65536), b(65536);
  for (;;) {
    const size_t n = fread(a.data(), 1, a.size(), cof);
    const size_t m = fread(b.data(), 1, n, truth);
    if (m != n) {
      fprintf(stderr, "cofcompare: the files differ in size.\n");
      return 1;
    }
    for (size_t i = 0; i < n; ++i) {
      ++given[a[i]];
      if (a[i] == b[i]) {
        ++agree[a[i]];
        ++agreeing;
      }
    }
    pixels += static_cast<long>(n);
    if (n < a.size()) break;
  }
  for (int k = 0; k < 256; ++k) {
    if (given[k] == 0) continue;
    printf("     class %2d: %7ld pixels, %5.1f%% agree with the ground truth\n",
           k, given[k], 100.0 * agree[k] / given[k]);
  }
  printf("     all: %ld pixels, %.1f%% agree\n", pixels,
         pixels ? 100.0 * agreeing / pixels : 0.0);
  return 0;
}

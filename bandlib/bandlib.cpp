// Band-file library: row reader, image type names, list parsers, band file
// sets, progress lines and the pseudo-random generator.
#include "bandlib.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

namespace {

// Sample layouts selected by the image type code.
enum Layout { LAYOUT_NONE, LAYOUT_8BIT, LAYOUT_16BIT, LAYOUT_GI };

Layout layout_of(int type) {
  switch (type) {
    case 1:
    case 2:
    case -1:
    case -2: return LAYOUT_8BIT;
    case 3:
    case -3:
    case -4: return LAYOUT_16BIT;
    case 4: return LAYOUT_GI;
    default: return LAYOUT_NONE;
  }
}

// Absolute seek to a byte offset. Offsets are 64-bit so that images past
// 2 GiB read correctly; a position past the end shows up as a short read.
// A negative offset (a negative row length) lies before the start of the
// file and is refused (errno EINVAL). A seek the system refuses (an offset
// beyond the largest file size) fails the read too: reading on would take
// the bytes where the stream stood. A stream already at the offset (rows
// read in order) is left alone, which spares the system call.
bool seek_to(FILE *file, int64_t offset) {
  if (offset < 0) {
    errno = EINVAL;
    return false;
  }
  if (ftello(file) == static_cast<off_t>(offset)) return true;
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

// Reads exactly `count` items; a file that ends early leaves errno at
// ENODATA so that messages never report a short read as "Success".
bool read_exactly(void *buffer, size_t size, size_t count, FILE *file) {
  if (fread(buffer, size, count, file) == count) return true;
  if (!ferror(file)) errno = ENODATA;
  return false;
}

template <class T>
inline T load(const unsigned char *bytes, int index) {
  T value;
  memcpy(&value, bytes + static_cast<size_t>(index) * sizeof(T), sizeof(T));
  return value;
}

template <class T>
inline void store(unsigned char *bytes, int index, T value) {
  memcpy(bytes + static_cast<size_t>(index) * sizeof(T), &value, sizeof(T));
}

// Rewrites `count` stored samples of type S in place as elements of type T,
// from the last sample down to the first so that a wider element never
// overwrites a stored sample still to be read. The sample is shifted right
// by `shift` before it is stored (every stored type fits in int32_t).
template <class S, class T>
void widen_as(unsigned char *buf, int count, int shift = 0) {
  for (int i = count - 1; i >= 0; --i)
    store<T>(buf, i, static_cast<T>(int32_t{load<S>(buf, i)} >> shift));
}

// Widens `count` stored samples of type S in place into elements of kind
// `kind`. `shifted` applies the right shift by 2 of 16-bit data for kind 4.
template <class S>
void widen(unsigned char *buf, int count, int kind, bool shifted) {
  switch (kind) {
    case KIND_U16: widen_as<S, uint16_t>(buf, count); break;
    case KIND_I32: widen_as<S, int32_t>(buf, count); break;
    case KIND_I32_8: widen_as<S, int32_t>(buf, count, shifted ? 2 : 0); break;
    case KIND_FLOAT: widen_as<S, float>(buf, count); break;
    case KIND_DOUBLE: widen_as<S, double>(buf, count); break;
    default: break;
  }
}

// Word store for 16-bit layouts: kind 1 needs a temporary (the caller's
// buffer holds only one byte per sample); small runs use a fixed array,
// longer ones the heap.
class WordStore {
 public:
  WordStore(void *buffer, int count, int kind) {
    if (kind != KIND_U8) {
      words_ = static_cast<unsigned char *>(buffer);
    } else if (count <= kLocalWords) {
      words_ = reinterpret_cast<unsigned char *>(local_);
    } else {
      heap_ = new (std::nothrow) uint16_t[static_cast<size_t>(count)];
      words_ = reinterpret_cast<unsigned char *>(heap_);
    }
  }
  ~WordStore() { delete[] heap_; }
  WordStore(const WordStore &) = delete;
  WordStore &operator=(const WordStore &) = delete;
  unsigned char *words() const { return words_; }

 private:
  static constexpr int kLocalWords = 4096;
  uint16_t local_[kLocalWords];
  uint16_t *heap_ = nullptr;
  unsigned char *words_ = nullptr;
};

// Converts `count` 16-bit words held in `words` into the caller's buffer.
void convert_words(unsigned char *words, int count, void *buffer, int kind) {
  if (kind == KIND_U8) {
    unsigned char *out = static_cast<unsigned char *>(buffer);
    for (int i = 0; i < count; ++i)
      out[i] = static_cast<unsigned char>(load<uint16_t>(words, i) >> 2);
    return;
  }
  widen<uint16_t>(words, count, kind, true);
}

// Reads `count` words at a word offset; false on a short read.
bool read_words(FILE *file, int64_t word_offset, unsigned char *words,
                int count) {
  if (!seek_to(file, 2 * word_offset)) return false;
  return read_exactly(words, 2, static_cast<size_t>(count), file);
}

// The reduced GI planes of bands 2..5: one word per 4 image columns, plane
// rows of cols / 4 words, band 3 at half the row count of the others. The
// words read are expanded in place to one per image column.
bool read_gi_reduced(FILE *file, int cols, int band, int row, int col,
                     int count, unsigned char *words) {
  const int64_t plane_cols = cols / 4;
  const int64_t plane_row = band == 3 ? row / 8 : row / 4;
  const int first = col / 4;
  const int last =
      static_cast<int>((static_cast<int64_t>(col) + count - 1) / 4);
  const int n = last - first + 1;
  if (!read_words(file, plane_row * plane_cols + first, words, n)) return false;
  // Sample t takes word (col + t) / 4 - first; that index never exceeds t,
  // so filling from the end never overwrites a word still to be copied.
  for (int t = count - 1; t > 0; --t) {
    const int source =
        static_cast<int>((static_cast<int64_t>(col) + t) / 4) - first;
    store<uint16_t>(words, t, load<uint16_t>(words, source));
  }
  return true;
}

}  // namespace

int read_band_row(FILE *file, int /*rows*/, int cols, int type, int band,
                  int row, int col, int count, void *buffer, int kind) {
  const Layout layout = layout_of(type);
  if (layout == LAYOUT_NONE) return 0;
  // Positions before the start of the file cannot be addressed.
  if (row < 0 || col < 0 || count < 0) {
    errno = EINVAL;
    return 1;
  }
  if (count == 0) return 0;
  const int64_t offset = static_cast<int64_t>(row) * cols + col;

  if (layout == LAYOUT_8BIT) {
    if (!seek_to(file, offset)) return 1;
    if (!read_exactly(buffer, 1, static_cast<size_t>(count), file)) return 1;
    widen<uint8_t>(static_cast<unsigned char *>(buffer), count, kind, false);
    return 0;
  }

  // 16-bit layouts deliver only the six kinds.
  if (kind < KIND_U8 || kind > KIND_DOUBLE) {
    errno = EINVAL;
    return 1;
  }
  if (!band_is_stored(type, band)) return 0;
  WordStore store_(buffer, count, kind);
  unsigned char *words = store_.words();
  if (words == nullptr) return 1;

  bool ok;
  if (layout == LAYOUT_16BIT || band == 1)
    ok = read_words(file, offset, words, count);
  else
    ok = read_gi_reduced(file, cols, band, row, col, count, words);
  if (!ok) return 1;
  convert_words(words, count, buffer, kind);
  return 0;
}

bool band_is_stored(int type, int band) {
  return layout_of(type) != LAYOUT_GI || (band >= 1 && band <= 5);
}

bool type_has_layout(int type) { return layout_of(type) != LAYOUT_NONE; }

int image_type_code(const char *name, int *code) {
  static const struct {
    const char *name;
    int code;
  } table[] = {{"TM", 1},   {"AVHRR", 3},   {"MSS", 2},   {"GI", 4},
               {"-TM", -1}, {"-AVHRR", -3}, {"-MSS", -2}, {"-GI", -4}};
  for (const auto &entry : table) {
    if (strcmp(entry.name, name) == 0) {
      *code = entry.code;
      return 0;
    }
  }
  return 1;
}

void swap_bytes16(void *items, int count) {
  unsigned char *bytes = static_cast<unsigned char *>(items);
  for (int i = 0; i < count; ++i) {
    unsigned char low = bytes[2 * i];
    bytes[2 * i] = bytes[2 * i + 1];
    bytes[2 * i + 1] = low;
  }
}

namespace {

bool is_sign_or_digit(char c) { return c == '-' || (c >= '0' && c <= '9'); }

}  // namespace

int parse_int_list(const char *text, int *out, int max) {
  int count = 0;
  const char *p = text;
  for (;;) {
    while (is_scan_white(*p)) ++p;
    if (*p == '\0') return count;
    int value;
    if (!scan_int_at(p, &value)) return -1;
    if (count < max) out[count] = value;
    ++count;
    // A leading plus sign is accepted as the scan accepts it; step past it
    // so that the item is not read again.
    if (*p == '+') ++p;
    while (is_sign_or_digit(*p)) ++p;
  }
}

namespace {

// The next white-space separated word of a list at or after `p`: false at
// the end of the text, else its start and length, with `p` moved past it.
bool next_word(const char *&p, const char **start, size_t *length) {
  while (is_scan_white(*p)) ++p;
  if (*p == '\0') return false;
  *start = p;
  while (*p != '\0' && !is_scan_white(*p)) ++p;
  *length = static_cast<size_t>(p - *start);
  return true;
}

}  // namespace

int parse_word_list(const char *text, WordSlot *out, int max) {
  int count = 0;
  const char *p = text, *start;
  size_t length;
  while (next_word(p, &start, &length)) {
    if (length > WORD_SLOT_SIZE - 1) return -1;
    if (count < max) {
      memcpy(out[count], start, length);
      out[count][length] = '\0';
    }
    ++count;
  }
  return count;
}

void close_file_set(FILE *files[FILE_SLOTS]) {
  for (int i = 1; i < FILE_SLOTS; ++i) {
    if (files[i] != nullptr) fclose(files[i]);
    files[i] = nullptr;
  }
}

namespace {

// Closes the set after a failed open without losing the open's error code.
void close_keeping_errno(FILE *files[FILE_SLOTS]) {
  const int saved = errno;
  close_file_set(files);
  errno = saved;
}

}  // namespace

int open_band_files(const char *pathList, const char *bandList,
                    const int needed[FILE_SLOTS], FILE *files[FILE_SLOTS]) {
  for (int i = 1; i < FILE_SLOTS; ++i) files[i] = nullptr;
  int bands[MAX_BANDS];
  const int n = parse_int_list(bandList, bands, MAX_BANDS);
  // Only 7 bands fit a set, numbered 1..7.
  if (n < 1 || n > MAX_BANDS) return -1;
  for (int k = 0; k < n; ++k)
    if (bands[k] < 1 || bands[k] > MAX_BANDS) return -1;
  WordSlot paths[MAX_BANDS];
  if (parse_word_list(pathList, paths, MAX_BANDS) != n) return -1;

  for (int k = 0; k < n; ++k) {
    const int b = bands[k];
    if (!needed[b]) continue;
    FILE *file = fopen(paths[k], "rb");
    if (file == nullptr) {
      close_keeping_errno(files);
      return b;
    }
    if (files[b] != nullptr) fclose(files[b]);  // listed twice: keep the later
    files[b] = file;
  }
  for (int i = 1; i < FILE_SLOTS; ++i) {
    if (needed[i] && files[i] == nullptr) {
      close_file_set(files);
      return -2;
    }
  }
  return 0;
}

int open_pci_files(const char *pciPathList, const int needed[FILE_SLOTS],
                   FILE *files[FILE_SLOTS]) {
  for (int i = 1; i < FILE_SLOTS; ++i) files[i] = nullptr;
  // "NO-PCI" provides no component: a needed one does not exist.
  const bool none = strcmp(pciPathList, "NO-PCI") == 0;
  WordSlot paths[MAX_BANDS];
  const int m = none ? 0 : parse_word_list(pciPathList, paths, MAX_BANDS);
  for (int i = 1; i < FILE_SLOTS; ++i)
    if (needed[i] && i > m) return -2;
  for (int i = 1; i < FILE_SLOTS; ++i) {
    if (!needed[i]) continue;
    files[i] = fopen(paths[i - 1], "rb");
    if (files[i] == nullptr) {
      close_keeping_errno(files);
      return i;
    }
  }
  return 0;
}

namespace {

// Hands the streams of a raw set over to an owning one.
int adopt_file_set(int result, FILE *files[FILE_SLOTS], FileSet *set) {
  for (int i = 0; i < FILE_SLOTS; ++i) set->files[i].reset(files[i]);
  return result;
}

}  // namespace

int open_band_files(const char *pathList, const char *bandList,
                    const int needed[FILE_SLOTS], FileSet *set) {
  FILE *files[FILE_SLOTS] = {};
  const int result = open_band_files(pathList, bandList, needed, files);
  return adopt_file_set(result, files, set);
}

int open_pci_files(const char *pciPathList, const int needed[FILE_SLOTS],
                   FileSet *set) {
  FILE *files[FILE_SLOTS] = {};
  const int result = open_pci_files(pciPathList, needed, files);
  return adopt_file_set(result, files, set);
}

void show_progress(int from, int to, int step, int steps) {
  static int last_printed = -1;
  if (steps == 0) return;
  const int64_t p = from + (static_cast<int64_t>(to - from) * step) / steps;
  if (p == last_printed) return;
  printf("%d%%\n", static_cast<int>(p));
  fflush(stdout);
  last_printed = static_cast<int>(p);
}

namespace {
uint32_t random_state = 1;
}

void seed_random(uint32_t seed) { random_state = seed; }

void seed_random_or_time(uint32_t seed) {
  seed_random(seed != 0 ? seed : static_cast<uint32_t>(time(nullptr)));
}

int next_random() {
  random_state = random_state * 214013u + 2531011u;
  return static_cast<int>((random_state >> 16) & 32767u);
}

namespace {

bool same_file(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool output_names_input(const char *outPath, FILE *const *inputs, int count,
                        const char *const *inputPaths, int pathCount) {
  struct stat out;
  if (stat(outPath, &out) != 0) return false;  // not there yet: no input
  for (int i = 0; i < count; ++i) {
    struct stat in;
    if (inputs[i] != nullptr && fstat(fileno(inputs[i]), &in) == 0 &&
        same_file(out, in)) {
      errno = EEXIST;
      return true;
    }
  }
  for (int i = 0; i < pathCount; ++i) {
    struct stat in;
    if (inputPaths[i] != nullptr && stat(inputPaths[i], &in) == 0 &&
        same_file(out, in)) {
      errno = EEXIST;
      return true;
    }
  }
  return false;
}

bool output_names_listed(const char *outPath, const char *pathList) {
  if (strcmp(pathList, "NO-PCI") == 0) return false;
  struct stat out;
  if (stat(outPath, &out) != 0) return false;  // not there yet: no input
  // Each word is copied in turn into a buffer of the largest path the system
  // takes: nothing is allocated, however many words the list holds. A word
  // of PATH_MAX characters or more names no file (the system refuses such a
  // path, ENAMETOOLONG), so no tool can read it.
  char path[PATH_MAX];
  const char *p = pathList, *start;
  size_t length;
  while (next_word(p, &start, &length)) {
    if (length >= sizeof path) continue;
    memcpy(path, start, length);
    path[length] = '\0';
    struct stat in;
    if (stat(path, &in) == 0 && same_file(out, in)) {
      errno = EEXIST;
      return true;
    }
  }
  return false;
}

int read_stream_int(FILE *file, int *value) {
  int c;
  do {
    c = getc(file);
  } while (is_scan_white(c));
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    c = getc(file);
  }
  if (c < '0' || c > '9') {
    if (c != EOF) ungetc(c, file);
    return 0;
  }
  // Saturate like the library's conversion, then keep the low 32 bits.
  unsigned long long magnitude = 0;
  const unsigned long long limit = static_cast<unsigned long long>(LLONG_MAX);
  while (c >= '0' && c <= '9') {
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (magnitude > (limit - digit) / 10)
      magnitude = limit + 1;  // beyond the range: stays there
    else
      magnitude = magnitude * 10 + digit;
    c = getc(file);
  }
  if (c != EOF) ungetc(c, file);
  long long v;
  if (negative)
    v = magnitude > limit ? LLONG_MIN : -static_cast<long long>(magnitude);
  else
    v = magnitude > limit ? LLONG_MAX : static_cast<long long>(magnitude);
  *value = static_cast<int>(static_cast<uint32_t>(v));
  return 1;
}

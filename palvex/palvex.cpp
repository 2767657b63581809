// palvex: turns the interpretation lines of one or more QOR files into a
// training set file. Every sample of a class is written when the class has
// no more samples than the cap; above the cap a seeded random subset of
// exactly the cap's size is drawn.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "bandlib.h"
#include "console.h"
#include "filehandle.h"

namespace {

// QOR lines are read into 82 characters: at most 81 with the line feed.
constexpr int LINE_BUFFER_SIZE = 82;
// Row, column, class, up to 7 band values and up to 7 component values.
constexpr int MAX_LINE_FIELDS = 3 + 2 * MAX_BANDS;
// "1 2 3" is the shortest piece of a file that holds a sample.
constexpr long long MIN_SAMPLE_BYTES = 5;

const char USAGE[] =
    "Usage: palvex <ts-path> <max-samples> {spectral|pc}\n"
    "               \"<channels>\" <class-first> <value-format>\n"
    "               <seed> <qor-path> [<qor-path> ...]\n";

enum Mode { MODE_SPECTRAL, MODE_PCI };

struct Arguments {
  const char *tsPath = nullptr;
  int maxSamples = 0;
  Mode mode = MODE_SPECTRAL;
  int channels[MAX_BANDS] = {};
  int nChannels = 0;
  int classFirst = 0;
  int valueFormat = 0;
  int seed = 0;
  const char *const *qorPaths = nullptr;
  int nQorPaths = 0;
};

struct ClassSamples {
  long long total = 0;   // sum of the class's "Counts:" lines
  long long filled = 0;  // interpretation lines stored so far
  std::vector<std::vector<uint16_t>> values;  // per channel, per sample
  std::vector<unsigned char> used;            // set once a sample is drawn
};

// The value range of the samples, from the first "Ranges:" line.
struct ValueRange {
  bool set = false;
  int lo = 0;
  int hi = 0;
  long long range = 0;  // hi - lo + 1
};

// What the QOR files give: each class's samples and the value range.
struct QorSamples {
  ClassSamples classes[MAX_TS_CLASSES + 1];  // index 0 not used
  ValueRange range;
  long long qorBytes = 0;     // bytes of all QOR files, for sizing
  bool qorBytesKnown = true;  // false when a file could not be measured
};

// One "%d %d" scan: a number, optional white space, a second number.
bool scan_two_ints(const char *text, int *first, int *second) {
  if (!scan_int(text, first)) return false;
  while (isspace(static_cast<unsigned char>(*text))) ++text;
  if (*text == '-' || *text == '+') ++text;
  while (isdigit(static_cast<unsigned char>(*text))) ++text;
  return scan_int(text, second);
}

// Reads the next line, or the next 81-character piece of a longer one.
bool read_line(FILE *file, char *line) {
  return fgets(line, LINE_BUFFER_SIZE, file) != nullptr;
}

// Reads lines until one equals the keyword line; false at the end.
bool find_keyword(FILE *file, char *line, const char *keywordLine) {
  while (read_line(file, line)) {
    if (strcmp(line, keywordLine) == 0) return true;
  }
  return false;
}

// The next content line of a section: false at an empty line or the end.
bool read_content_line(FILE *file, char *line) {
  return read_line(file, line) && strcmp(line, "\n") != 0;
}

// A QOR file that cannot be read as one. `cause` is the system's text to
// give when the stream itself did not fail: EINVAL for malformed content,
// ENODATA for a file that ends before what it must hold.
[[noreturn]] void fail_qor_read(const char *path, FILE *file, int cause) {
  if (file == nullptr || !ferror(file)) errno = cause;
  fail_with("Error reading QOR file \"%s\" (%s).\n", path, error_text());
}

// The header sections of the second pass have their own wording.
[[noreturn]] void fail_qor_header(const char *path) {
  errno = EINVAL;
  fail_with("Error reading QOR file \"%s\"(%s).\n", path, error_text());
}

[[noreturn]] void fail_too_many_samples(int cls) {
  fail_with("Too many samples of class %d - corrupt QOR file.\n", cls);
}

Arguments parse_arguments(int argc, char **argv) {
  if (argc == 1) fail_with("%s", USAGE);
  if (argc - 1 < 8) fail_with("Missing parameter.\n");
  Arguments args;
  args.tsPath = argv[1];
  if (strcmp(argv[3], "spectral") == 0) {
    args.mode = MODE_SPECTRAL;
  } else if (strcmp(argv[3], "pci") == 0) {
    args.mode = MODE_PCI;
  } else {
    fail_with("Illegal parameter.\n");
  }
  if (!scan_int(argv[2], &args.maxSamples) ||
      !scan_int(argv[5], &args.classFirst) ||
      !scan_int(argv[6], &args.valueFormat) || !scan_int(argv[7], &args.seed))
    fail_with("Illegal parameter.\n");
  args.nChannels = parse_int_list(argv[4], args.channels, MAX_BANDS);
  if (args.nChannels < 1 || args.nChannels > MAX_BANDS)
    fail_with("Illegal image channels.\n");
  args.qorPaths = argv + 8;
  args.nQorPaths = argc - 8;
  return args;
}

// The training set file, created before any QOR file is read; a path that
// names one of the QOR files is refused rather than emptied.
FileHandle create_training_set(const Arguments &args) {
  if (output_names_input(args.tsPath, nullptr, 0, args.qorPaths,
                         args.nQorPaths))
    fail_with("Error creating training set file (%s).\n", error_text());
  FileHandle ts(fopen(args.tsPath, "w"));
  if (!ts) fail_with("Error creating training set file (%s).\n", error_text());
  return ts;
}

// Adds the size of an open QOR file to the byte count that bounds the
// number of samples the files can hold. A folder holds no line (its reads
// fail), whatever offset its end reports; a stream with no size (a pipe, a
// device) leaves the bound unknown.
void measure_qor_file(FILE *file, QorSamples *samples) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 ||
      !(S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))) {
    samples->qorBytesKnown = false;
    return;
  }
  if (S_ISDIR(status.st_mode)) return;
  const long long size = status.st_size;
  samples->qorBytes = size > LLONG_MAX - samples->qorBytes
                          ? LLONG_MAX
                          : samples->qorBytes + size;
}

// Value formats 2 and 3 divide by the range: it must not be empty.
bool range_usable(const ValueRange &range, int valueFormat) {
  if (!range.set) return false;
  if (valueFormat == 2) return range.range != 0;
  if (valueFormat == 3) return range.hi != range.lo;
  return true;
}

// Opens a QOR file for one pass.
FileHandle open_qor_file(const char *path) {
  FileHandle file(fopen(path, "r"));
  if (!file)
    fail_with("Error opening QOR file \"%s\" (%s).\n", path, error_text());
  return file;
}

// First pass over one file: the "Counts:" and "Ranges:" sections.
void count_samples(const char *path, QorSamples *samples) {
  FileHandle file = open_qor_file(path);
  char line[LINE_BUFFER_SIZE];
  find_keyword(file.get(), line, "Counts:\n");
  for (int k = 1; read_content_line(file.get(), line); ++k) {
    int count = 0;
    if (k > MAX_TS_CLASSES || !scan_int(line, &count))
      fail_qor_read(path, file.get(), EINVAL);
    samples->classes[k].total += count;
  }
  find_keyword(file.get(), line, "Ranges:\n");
  ValueRange &range = samples->range;
  while (read_content_line(file.get(), line)) {
    int lo = 0;
    int hi = 0;
    if (!scan_two_ints(line, &lo, &hi)) fail_qor_read(path, file.get(), EINVAL);
    if (!range.set) {
      range.set = true;
      range.lo = lo;
      range.hi = hi;
      range.range = static_cast<long long>(hi) - lo + 1;
    } else if (lo != range.lo || hi != range.hi) {
      fail_with("Different range in QOR file \"%s\".\n", path);
    }
  }
  measure_qor_file(file.get(), samples);
}

void first_pass(const Arguments &args, QorSamples *samples) {
  for (int i = 0; i < args.nQorPaths; ++i) {
    count_samples(args.qorPaths[i], samples);
    // The first file gives the range that every later file must repeat
    // and that value formats 2 and 3 divide by: it must be there (else the
    // file ended before it), and for those formats not empty.
    if (i == 0 && !range_usable(samples->range, args.valueFormat))
      fail_qor_read(args.qorPaths[0], nullptr,
                    samples->range.set ? EINVAL : ENODATA);
  }
}

// Storage sized once from the counts. A class never gets more room than
// the files could hold samples, so a corrupt count cannot exhaust memory;
// lines beyond the room are refused as too many samples.
void allocate_class_storage(int nChannels, QorSamples *samples) {
  long long limit = samples->qorBytes / MIN_SAMPLE_BYTES;
  try {
    for (int k = 1; k <= MAX_TS_CLASSES; ++k) {
      ClassSamples &cls = samples->classes[k];
      if (cls.total < 1) continue;
      long long size =
          samples->qorBytesKnown ? std::min(cls.total, limit) : cls.total;
      cls.values.assign(nChannels,
                        std::vector<uint16_t>(static_cast<size_t>(size)));
      cls.used.assign(static_cast<size_t>(size), 0);
    }
  } catch (const std::exception &) {
    fail_with("Error allocating memory.\n");
  }
}

void store_sample(const Arguments &args, const int *fields, int nb,
                  const int *bandChannel, int m, ClassSamples *cls) {
  size_t s = static_cast<size_t>(cls->filled);
  if (args.mode == MODE_SPECTRAL) {
    for (int j = 0; j < nb; ++j) {
      if (bandChannel[j] >= 0) {
        cls->values[bandChannel[j]][s] = static_cast<uint16_t>(fields[3 + j]);
      }
    }
  } else {
    // A component number beyond the file's components gives no value.
    for (int c = 0; c < args.nChannels; ++c) {
      int component = args.channels[c];
      if (component >= 1 && component <= m) {
        cls->values[c][s] = static_cast<uint16_t>(fields[2 + nb + component]);
      }
    }
  }
  cls->used[s] = 0;
  cls->filled += 1;
}

// Second pass over one file: the "PCI:" and "Bands:" sections, then every
// interpretation line.
void read_samples(const char *path, const Arguments &args,
                  QorSamples *samples) {
  FileHandle file = open_qor_file(path);
  char line[LINE_BUFFER_SIZE];
  int m = 0;
  find_keyword(file.get(), line, "PCI:\n");
  while (read_content_line(file.get(), line)) {
    if (m == MAX_BANDS) fail_qor_header(path);
    ++m;
  }
  int bands[MAX_BANDS];
  int nb = 0;
  find_keyword(file.get(), line, "Bands:\n");
  while (read_content_line(file.get(), line)) {
    if (nb == MAX_BANDS || !scan_int(line, &bands[nb])) fail_qor_header(path);
    ++nb;
  }
  // Spectral mode: the channel of each band is the first position of its
  // number in the channel list; a band that is not listed has none.
  int bandChannel[MAX_BANDS];
  for (int j = 0; j < nb; ++j) {
    bandChannel[j] = -1;
    for (int c = 0; c < args.nChannels && bandChannel[j] < 0; ++c) {
      if (args.channels[c] == bands[j]) bandChannel[j] = c;
    }
  }
  int nFields = nb + m + 3;
  find_keyword(file.get(), line, "Interpretations:\n");
  while (read_content_line(file.get(), line)) {
    int fields[MAX_LINE_FIELDS];
    if (parse_int_list(line, fields, nFields) != nFields)
      fail_with("Illegal interpretation line in QOR file \"%s\".\n", path);
    int k = fields[2];
    if (k < 1 || k > MAX_TS_CLASSES) fail_too_many_samples(k);
    ClassSamples &cls = samples->classes[k];
    if (cls.filled >= static_cast<long long>(cls.used.size()))
      fail_too_many_samples(k);
    store_sample(args, fields, nb, bandChannel, m, &cls);
  }
  // A read error anywhere in this pass is reported, not taken for the end.
  if (ferror(file.get())) fail_qor_read(path, file.get(), EIO);
}

void second_pass(const Arguments &args, QorSamples *samples) {
  for (int i = 0; i < args.nQorPaths; ++i)
    read_samples(args.qorPaths[i], args, samples);
}

int write_value(FILE *stream, int valueFormat, uint16_t v, int lo,
                long long range) {
  switch (valueFormat) {
    case 1: return fprintf(stream, "%d", static_cast<int>(v));
    case 2:
      return fprintf(stream, "%lld",
                     ((static_cast<long long>(v) - lo) * 256) / range);
    case 3:
      return fprintf(
          stream, "%9.7f",
          (static_cast<double>(v) - lo) / static_cast<double>(range - 1));
    default: return 0;
  }
}

// Writes the line of sample s of a class; 0, or 1 at the first write that
// fails, leaving the line unfinished.
int write_sample_line(FILE *stream, int classFirst, int cls, int valueFormat,
                      int nChannels, size_t s, int lo, long long range,
                      const std::vector<std::vector<uint16_t>> &values) {
  if (classFirst != 0) {
    if (fprintf(stream, "%d", cls) < 0) return 1;
    for (int c = 0; c < nChannels; ++c) {
      if (fprintf(stream, " ") < 0) return 1;
      if (write_value(stream, valueFormat, values[c][s], lo, range) < 0) {
        return 1;
      }
    }
  } else {
    for (int c = 0; c < nChannels; ++c) {
      if (write_value(stream, valueFormat, values[c][s], lo, range) < 0) {
        return 1;
      }
      if (fprintf(stream, " ") < 0) return 1;
    }
    if (fprintf(stream, "%d", cls) < 0) return 1;
  }
  return fprintf(stream, "\n") < 0 ? 1 : 0;
}

// One sample of a class, with the message for a failed write.
void write_sample(FILE *stream, const Arguments &args, const ValueRange &range,
                  int k, const ClassSamples &cls, long long s) {
  if (write_sample_line(stream, args.classFirst, k, args.valueFormat,
                        args.nChannels, static_cast<size_t>(s), range.lo,
                        range.range, cls.values) != 0)
    fail_with("Error writing training set file (%s).\n", error_text());
}

// The samples of one class: all of them up to the cap, else a random draw
// of exactly the cap's size, ended by an in-order walk when the tries run
// out. Only the samples actually read are written.
void write_class(FILE *stream, const Arguments &args, const ValueRange &range,
                 int k, ClassSamples *cls) {
  long long count = cls->filled;
  if (count <= args.maxSamples) {
    for (long long s = 0; s < count; ++s) {
      write_sample(stream, args, range, k, *cls, s);
    }
    return;
  }
  long long left = args.maxSamples;
  long long tries = 8LL * args.maxSamples;
  while (left >= 1) {
    long long s = static_cast<long long>(next_random()) * count / RANDOM_RANGE;
    if (cls->used[s] == 0) {
      write_sample(stream, args, range, k, *cls, s);
      cls->used[s] = 1;
      --left;
    }
    --tries;
    if (tries == 0 && left >= 1) {
      for (s = 0; s < count && left >= 1; ++s) {
        if (cls->used[s] != 0) continue;
        write_sample(stream, args, range, k, *cls, s);
        cls->used[s] = 1;
        --left;
      }
    }
  }
}

void write_training_set(FILE *stream, const Arguments &args,
                        QorSamples *samples) {
  for (int k = 1; k <= MAX_TS_CLASSES; ++k)
    write_class(stream, args, samples->range, k, &samples->classes[k]);
}

void release_class_storage(QorSamples *samples) {
  for (ClassSamples &cls : samples->classes) {
    std::vector<std::vector<uint16_t>>().swap(cls.values);
    std::vector<unsigned char>().swap(cls.used);
  }
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  const Arguments args = parse_arguments(argc, argv);
  FileHandle tsFile = create_training_set(args);
  QorSamples samples;
  first_pass(args, &samples);
  allocate_class_storage(args.nChannels, &samples);
  second_pass(args, &samples);

  seed_random_or_time(static_cast<uint32_t>(args.seed));
  write_training_set(tsFile.get(), args, &samples);

  release_class_storage(&samples);
  if (fclose(tsFile.release()) != 0)
    fail_with("Error writing training set file (%s).\n", error_text());
  return 0;
}

// Band-file library: reading rows of band files and principal-component
// files, image type codes, list parsing, opening band file sets, progress
// lines and the toolkit's own pseudo-random generator.
#pragma once

#include <cstdint>
#include <cstdio>

#include "filehandle.h"
#include "scan.h"  // scan_int, the one "%d" scan of command-line numbers

// Limits of the data model.
constexpr int MAX_BANDS = 7;         // band numbers and PCI components 1..7
constexpr int FILE_SLOTS = 8;        // slot 0 of a band file set is not used
constexpr int WORD_SLOT_SIZE = 256;  // a word of at most 255 characters
constexpr int MAX_TS_CLASSES = 27;   // class numbers 1..27 of training sets

using WordSlot = char[WORD_SLOT_SIZE];

// Sample kinds: the element type a row is delivered in.
enum SampleKind {
  KIND_U8 = 1,      // unsigned 8-bit (16-bit samples shifted right by 2)
  KIND_U16 = 2,     // unsigned 16-bit
  KIND_I32 = 3,     // signed 32-bit
  KIND_I32_8 = 4,   // signed 32-bit, 16-bit samples shifted right by 2
  KIND_FLOAT = 5,   // single-precision float
  KIND_DOUBLE = 6,  // double-precision float
};

// Reads `count` consecutive samples of one row of a band (or PCI) file and
// converts them in place into `buffer` as elements of `kind`. `rows` is
// accepted and not used; `cols` is the stored row length; `band` matters
// only for the GI layout (type 4). Returns 0 on success (also for a type
// that reads nothing), 1 on a failed seek, a short read (errno ENODATA when
// the file simply ends) or a missing temporary.
int read_band_row(FILE *file, int rows, int cols, int type, int band, int row,
                  int col, int count, void *buffer, int kind);

// Whether read_band_row reads band number `band` of an image of `type`:
// false only for a GI image (type 4) and a band outside 1 to 5, which GI
// does not store. Other layouts ignore the band number.
bool band_is_stored(int type, int band);

// Whether read_band_row reads anything for an image of `type`: false for
// 0 and the codes below -4 or above 4, which select no layout.
bool type_has_layout(int type);

// Maps a sensor name ("TM", "AVHRR", "MSS", "GI" and their "-" forms) to
// its image type code. Returns 0 and stores the code, or 1 leaving `code`.
int image_type_code(const char *name, int *code);

// Exchanges the two bytes of each of `count` 16-bit items in place.
void swap_bytes16(void *items, int count);

// Parses a white-space separated list of integers. Returns the number of
// items (only the first `max` are stored) or -1 for a malformed list.
int parse_int_list(const char *text, int *out, int max);

// Splits a white-space separated list of words into 256-character slots.
// Returns the number of words (only the first `max` are stored) or -1
// when a word is longer than 255 characters.
int parse_word_list(const char *text, WordSlot *out, int max);

// Opens the needed bands of an image into files[1..7] ("rb").
// 0: all needed bands open; -1: malformed or unequal lists; -2: a needed
// band is not listed; b > 0: opening the path of band b failed (errno kept).
// After a failure every slot is empty and nothing is left open.
int open_band_files(const char *pathList, const char *bandList,
                    const int needed[FILE_SLOTS], FILE *files[FILE_SLOTS]);

// Opens the needed principal components into files[1..7] ("rb"); the list
// "NO-PCI" means the image has none. 0: all needed components open; -2: a
// needed component has no path; i > 0: opening component i failed.
int open_pci_files(const char *pciPathList, const int needed[FILE_SLOTS],
                   FILE *files[FILE_SLOTS]);

// Closes and empties every slot 1..7 of a file set.
void close_file_set(FILE *files[FILE_SLOTS]);

// A band or component file set that owns its streams (slot 0 not used):
// every stream is closed when the set goes out of scope.
struct FileSet {
  FileHandle files[FILE_SLOTS];
  FILE *operator[](int slot) const { return files[slot].get(); }
};

// open_band_files and open_pci_files into an owning set, with the same
// results; after a failure every slot is empty.
int open_band_files(const char *pathList, const char *bandList,
                    const int needed[FILE_SLOTS], FileSet *set);
int open_pci_files(const char *pciPathList, const int needed[FILE_SLOTS],
                   FileSet *set);

// Prints "%d%%\n" on standard output, flushed, when the percentage
// from + ((to - from) * step) / steps differs from the last one printed.
// The last percentage printed is process-wide state, kept from the first
// call to the end of the process (never reset): a run that prints the same
// percentage twice in a row, even from two different passes, prints it once.
void show_progress(int from, int to, int step, int steps);

// The toolkit's pseudo-random generator, one process-wide state of 32 bits:
// each draw sets state = state * 214013 + 2531011 and returns bits 16..30
// (0..32767).
constexpr int RANDOM_RANGE = 32768;
void seed_random(uint32_t seed);
// Seeds from the current time (seconds) when `seed` is 0.
void seed_random_or_time(uint32_t seed);
int next_random();

// One decimal integer from a stream, read as one "%d" scan reads it: white
// space, an optional sign, digits; a value beyond 64 bits saturates and the
// low 32 bits are kept. Returns 1 with the value stored, 0 when no integer
// is there (the end of the file too) leaving `value` as it was.
int read_stream_int(FILE *file, int *value);

// Whether an output path names one of a tool's inputs (the same device and
// inode): `inputs` are open streams (null entries are skipped, so a band
// file set can be passed whole), `inputPaths` files not held open. A path
// that does not exist yet names no input. On a match errno is set to EEXIST
// for the tool's "Error creating ..." message. No tool truncates its inputs.
bool output_names_input(const char *outPath, FILE *const *inputs, int count,
                        const char *const *inputPaths = nullptr,
                        int pathCount = 0);

// Whether an output path names any word of a white-space separated list,
// whether or not the tool opens that path (errno EEXIST then). Every word
// counts, however many there are and however long any of them is: a list
// that the tool could not hold whole (a word over 255 characters, more than
// 7 words) still names its files. The word "NO-PCI" is the empty PCI list.
// A tool that reads only some of its listed files must still never replace
// the others. Allocates nothing.
bool output_names_listed(const char *outPath, const char *pathList);

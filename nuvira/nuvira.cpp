// nuvira: writes a QOR file from a BIF of interpreted points and the image's
// band and PCI files: eight sections copied from the arguments, then one
// interpretation line per point of non-zero class with the sample value of
// every band and every principal component at that point.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bandlib.h"
#include "bif.h"
#include "console.h"
#include "filehandle.h"

namespace {

constexpr int ARG_COUNT = 16;

// The one message of nuvira without a line end, unlike its neighbours: it
// has always been printed so and users' scripts match it as it is. Leave it
// without one.
constexpr char ILLEGAL_LISTS[] = "Illegal image paths/bands.";

struct Arguments {
  const char *qorPath;
  const char *iPaths;
  const char *iBands;
  const char *pciPaths;
  int iType;
  const char *bifPath;
  const char *sectionTexts[8];
  int iRows;
  int iCols;
};

// The eight sections, in file order; their texts follow the keyword lines.
const char *const SECTION_FORMATS[8] = {
    "Image:\n%s", "PCI:\n%s",    "Scheme:\n%s",   "Counts:\n%s",
    "Bands:\n%s", "Ranges:\n%s", "Controls:\n%s", "Palettes:\n%s"};

struct Inputs {
  FileHandle bif;
  int nb = 0;
  int bands[MAX_BANDS] = {};
  FileHandle bandFiles[MAX_BANDS];
  int m = 0;
  FileHandle pciFiles[MAX_BANDS];
};

Arguments check_arguments(int argc, char **argv) {
  if (argc != ARG_COUNT + 1) fail_with("Missing/extra parameter.\n");
  Arguments a;
  a.qorPath = argv[1];
  a.iPaths = argv[2];
  a.iBands = argv[3];
  a.pciPaths = argv[4];
  a.bifPath = argv[6];
  for (int i = 0; i < 8; ++i) a.sectionTexts[i] = argv[7 + i];
  if (!scan_int(argv[5], &a.iType) || !scan_int(argv[15], &a.iRows) ||
      !scan_int(argv[16], &a.iCols))
    fail_with("Illegal parameter.\n");
  // Only the four sensor layouts deliver a sample for every point.
  if (a.iType < 1 || a.iType > 4) fail_with("Illegal parameter.\n");
  return a;
}

void open_bif(const Arguments &a, Inputs &in) {
  in.bif.reset(fopen(a.bifPath, "rb"));
  if (!in.bif) fail_with("Error opening BIF (%s).\n", error_text());
}

// Band paths and numbers pair up one to one; at most 7 of each. A GI image
// stores bands 1..5 only.
void open_band_list(const Arguments &a, Inputs &in) {
  WordSlot paths[MAX_BANDS];
  const int nb = parse_int_list(a.iBands, in.bands, MAX_BANDS);
  const int np = parse_word_list(a.iPaths, paths, MAX_BANDS);
  bool legal = nb >= 0 && np == nb && nb <= MAX_BANDS;
  for (int k = 0; legal && k < nb; ++k)
    if (a.iType == 4 && (in.bands[k] < 1 || in.bands[k] > 5)) legal = false;
  if (!legal) fail_with("%s", ILLEGAL_LISTS);
  in.nb = nb;
  for (int k = 0; k < nb; ++k) {
    in.bandFiles[k].reset(fopen(paths[k], "rb"));
    if (!in.bandFiles[k])
      fail_with("Error opening image file %s (%s).\n", paths[k], error_text());
  }
}

// "NO-PCI" (or an empty list) means no components. A list that cannot be
// held whole (a path over 255 characters, more than 7 paths) is refused
// rather than silently dropped.
void open_pci_list(const Arguments &a, Inputs &in) {
  if (strcmp(a.pciPaths, "NO-PCI") == 0) return;
  WordSlot paths[MAX_BANDS];
  const int m = parse_word_list(a.pciPaths, paths, MAX_BANDS);
  if (m < 0 || m > MAX_BANDS) fail_with("%s", ILLEGAL_LISTS);
  in.m = m;
  for (int j = 0; j < m; ++j) {
    in.pciFiles[j].reset(fopen(paths[j], "rb"));
    if (!in.pciFiles[j])
      fail_with("Error opening PCI file %s (%s).\n", paths[j], error_text());
  }
}

// The QOR file may not replace one of the inputs: a path that names the
// BIF, a band file or a PCI file is refused before anything is truncated.
FileHandle create_qor(const Arguments &a, const Inputs &in) {
  FILE *inputs[1 + 2 * MAX_BANDS] = {in.bif.get()};
  for (int k = 0; k < in.nb; ++k) inputs[1 + k] = in.bandFiles[k].get();
  for (int j = 0; j < in.m; ++j)
    inputs[1 + MAX_BANDS + j] = in.pciFiles[j].get();
  if (output_names_input(a.qorPath, inputs, 1 + 2 * MAX_BANDS))
    fail_with("Error creating QOR file (%s).\n", error_text());
  FileHandle qor(fopen(a.qorPath, "w"));
  if (!qor) fail_with("Error creating QOR file (%s).\n", error_text());
  return qor;
}

void check_write(int result) {
  if (result < 0) fail_with("Error writing to QOR file (%s).\n", error_text());
}

void write_sections(FILE *qor, const Arguments &a) {
  for (int i = 0; i < 8; ++i)
    check_write(fprintf(qor, SECTION_FORMATS[i], a.sectionTexts[i]));
  check_write(fprintf(qor, "Interpretations:\n"));
}

// The next record; false at the end of the BIF. A record cut short or a
// read error ends the run.
bool next_bif_record(FILE *bif, BifRecord *record) {
  const BifRead result = read_bif_record(bif, record);
  if (result == BIF_ERROR)
    fail_with("Error reading from BIF (%s).\n", error_text());
  return result == BIF_RECORD;
}

int32_t read_sample(FILE *file, const Arguments &a, int type, int band,
                    const BifRecord &r, const char *message) {
  int32_t value = 0;
  if (read_band_row(file, a.iRows, a.iCols, type, band, r.row, r.column, 1,
                    &value, KIND_I32) != 0)
    fail_with(message, error_text());
  return value;
}

void write_interpretation(FILE *qor, const Arguments &a, const Inputs &in,
                          const BifRecord &r) {
  check_write(fprintf(qor, "%d %d %d", r.row, r.column, r.cls));
  for (int k = 0; k < in.nb; ++k) {
    const int32_t v =
        read_sample(in.bandFiles[k].get(), a, a.iType, in.bands[k], r,
                    "Error reading from image file (%s).\n");
    check_write(fprintf(qor, " %d", v));
  }
  for (int j = 0; j < in.m; ++j) {
    const int32_t v = read_sample(in.pciFiles[j].get(), a, -a.iType, j + 1, r,
                                  "Error reading from PCI file (%s).\n");
    check_write(fprintf(qor, " %d", v));
  }
  check_write(fprintf(qor, "\n"));
}

void write_interpretations(FILE *qor, const Arguments &a, const Inputs &in) {
  BifRecord record;
  while (next_bif_record(in.bif.get(), &record)) {
    if (record.cls == 0) continue;
    write_interpretation(qor, a, in, record);
  }
}

void close_all(FileHandle &qor, Inputs &in) {
  in.bif.reset();
  for (FileHandle &f : in.bandFiles) f.reset();
  for (FileHandle &f : in.pciFiles) f.reset();
  if (fclose(qor.release()) != 0)
    fail_with("Error closing QOR file (%s).\n", error_text());
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  const Arguments args = check_arguments(argc, argv);
  Inputs inputs;
  open_bif(args, inputs);
  open_band_list(args, inputs);
  open_pci_list(args, inputs);
  FileHandle qor = create_qor(args, inputs);
  write_sections(qor.get(), args);
  write_interpretations(qor.get(), args, inputs);
  close_all(qor, inputs);
  return 0;
}

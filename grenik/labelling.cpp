// Labelling the area row by row.
#include "grenik.h"

void label_area(GrenikRun &run, const ClusterList &list) {
  const BandRun &f = run.bandRun;
  ClassTable table;
  if (class_table(list, f.bandCount, table) != 0) fail_allocating();
  const uint16_t *rows[MAX_BANDS] = {};
  for (int k = 0; k < f.bandCount; ++k) rows[k] = run.rows[k].get();
  for (int r = 0; r < f.aRows; ++r) {
    for (int k = 0; k < f.bandCount; ++k)
      read_area_row(f, k, r, run.rows[k].get(), KIND_U16);
    nearest_cluster_classes(table, rows, f.aCols, f.outputRow.get());
    write_output_row(f);
    show_progress(50, 100, r + 1, f.aRows);
  }
}

// The plot file: the group names, the maxima, then one line per value pair
// that holds pixels with its total count and each group's count.
#include <cerrno>

#include "console.h"
#include "dramen.h"

namespace {

FileHandle create_plot_file(const ScatterRun &run) {
  if (run.plotNamesInput) {
    errno = EEXIST;
    fail_with("Error creating plot file (%s).\n", error_text());
  }
  FileHandle plot(fopen(run.plotPath, "w"));
  if (!plot) fail_with("Error creating plot file (%s).\n", error_text());
  return plot;
}

void check_write(int result) {
  if (result < 0) fail_with("Error writing plot file (%s).\n", error_text());
}

void write_header(FILE *plot, const ScatterRun &run) {
  check_write(fprintf(plot, "%d", static_cast<int>(run.groups.size())));
  for (const AreaGroup &group : run.groups)
    check_write(fprintf(plot, " %s", group.area.name));
  check_write(fprintf(plot, "\n%ld", static_cast<long>(run.totalMaximum)));
  for (const AreaGroup &group : run.groups)
    check_write(fprintf(plot, " %ld", static_cast<long>(group.maximum)));
}

void write_cells(FILE *plot, const ScatterRun &run) {
  for (int value1 = 0; value1 < PLOT_VALUES; ++value1) {
    for (int value2 = 0; value2 < PLOT_VALUES; ++value2) {
      const int c = value1 * PLOT_VALUES + value2;
      const int64_t total = run.total.get()->cell[c];
      if (total <= 0) continue;
      check_write(fprintf(plot, "\n%d %d %ld", value1, value2,
                          static_cast<long>(total)));
      for (const AreaGroup &group : run.groups)
        check_write(fprintf(plot, " %ld",
                            static_cast<long>(group.counts.get()->cell[c])));
    }
  }
}

}  // namespace

void write_plot_file(ScatterRun &run) {
  FileHandle plot = create_plot_file(run);
  write_header(plot.get(), run);
  write_cells(plot.get(), run);
  check_write(fprintf(plot.get(), "\n"));
  if (fclose(plot.release()) != 0)
    fail_with("Error closing plot file (%s).\n", error_text());
}

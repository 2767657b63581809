#include "bandrun.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "testsupport.h"

namespace {

// Area positions: the row reader takes int rows and columns, so a position
// past the range of int is refused with the tool's own error, and one just
// inside it is read. A row length of 0 lets row INT_MAX read the start of
// the file, as a tool's command line can ask.
TEST(ReadAreaSamples, PositionsPastIntGiveTheProfilesError) {
  testsupport::TempDir dir;
  testsupport::write_band8(dir.file("b1"), {10, 11, 12, 13});
  const RunProfile overflow = {"COF file", true, "w+b", EOVERFLOW};
  const RunProfile invalid = {"classifications file", false, "wb", EINVAL};
  const int PROFILES = -1;  // the profile's own error
  const struct {
    int aRow, aCol;
    int64_t y, x;
    int sample, error;  // the sample read, or the error of a refusal
  } cases[] = {
      {INT_MAX, 0, 0, 0, 10, 0},       {INT_MAX, 2, 0, 1, 13, 0},
      {INT_MAX, 0, 1, 0, 0, PROFILES}, {0, INT_MAX, 0, 1, 0, PROFILES},
      {INT_MIN, 0, 0, 0, 0, EINVAL},  // before the file: the reader's own
  };
  for (const RunProfile *profile : {&overflow, &invalid}) {
    for (const auto &c : cases) {
      BandRun run(*profile);
      run.aRow = c.aRow, run.aCol = c.aCol, run.type = 1, run.bandCount = 1;
      run.bands[0] = 1;
      run.bandFiles[0].reset(fopen(dir.file("b1").c_str(), "rb"));
      uint8_t sample = 0;
      errno = 0;
      const int result =
          read_area_samples(run, 0, c.y, c.x, 1, &sample, KIND_U8);
      ASSERT_EQ(result, c.error == 0 ? 0 : 1) << c.aRow << " " << c.y;
      if (result == 0)
        EXPECT_EQ(sample, c.sample);
      else
        EXPECT_EQ(errno,
                  c.error == PROFILES ? profile->pastRangeError : c.error);
    }
  }
}

}  // namespace

// The remembered percentage lives for the whole process, so this suite
// holds a single test that walks through the calls in order.
#include <gtest/gtest.h>

#include "bandlib.h"

TEST(ShowProgress, PrintsOnlyChangedPercentagesAcrossPhases) {
  testing::internal::CaptureStdout();
  show_progress(0, 3, 1, 7);                      // 0: first call prints
  show_progress(0, 3, 2, 7);                      // 0 again
  show_progress(3, 35, 1, 100);                   // 3
  show_progress(3, 35, 2, 100);                   // 3 + 64 / 100 = 3
  show_progress(3, 35, 100, 100);                 // 35
  show_progress(35, 65, 0, 10);                   // 35 again
  show_progress(0, 100, 1000000000, 1000000000);  // no overflow: 100
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "0%\n3%\n35%\n100%\n");
}

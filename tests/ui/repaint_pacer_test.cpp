// The progress bar's paint pacing: which of a run of steps are painted.
#include "ui/repaint_pacer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kNoReset = SIZE_MAX;

struct PacerCase {
  const char* name;
  std::vector<std::uint64_t> times;  // the clock at each step
  std::string painted;               // one letter per step: P painted, - not
  std::size_t resetBefore = kNoReset;  // the step before which Reset() is called
};

TEST(RepaintPacer, PaintsAtMostOncePerIntervalAndAlwaysAfterReset) {
  constexpr std::uint64_t kI = ui::RepaintPacer::kIntervalMs;
  const PacerCase cases[] = {
      {"the first step is always painted, even at clock zero", {0, 0, 0}, "P--"},
      {"a burst is painted once, then again one interval after the painted step",
       {100, 101, 100 + kI - 1, 100 + kI, 100 + kI + 1},
       "P--P-"},
      {"the interval counts from the last painted step, not the last step",
       {100, 100 + kI - 1, 100 + 2 * kI - 2, 100 + 2 * kI},
       "P-P-"},
      {"steps further apart than the interval are all painted", {10, 10 + kI, 10 + 3 * kI}, "PPP"},
      {"a reset paints the next step at once", {100, 101, 102, 103}, "P-P-", 2},
      {"a clock near its end does not wrap into the past", {UINT64_MAX - kI, UINT64_MAX - 1, UINT64_MAX}, "P-P"},
  };
  for (const PacerCase& c : cases) {
    ui::RepaintPacer pacer;
    std::string painted;
    for (std::size_t i = 0; i < c.times.size(); ++i) {
      if (i == c.resetBefore) pacer.Reset();
      painted += pacer.Due(c.times[i]) ? 'P' : '-';
    }
    EXPECT_EQ(painted, c.painted) << c.name;
  }
}

}  // namespace

// The progress bar's paint pacing: which of a run of steps are painted.
#include "ui/repaint_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct PacerCase {
  const char* name;
  std::vector<std::uint64_t> times;  // the clock at each step; 0 stands for a Reset() before it
  std::string painted;               // one letter per step: P painted, - not
};

TEST(RepaintPacer, PaintsAtMostOncePerIntervalAndAlwaysAfterReset) {
  constexpr std::uint64_t kI = ui::RepaintPacer::kIntervalMs;
  const PacerCase cases[] = {
      {"the first step is always painted, even at clock zero", {1, 1, 1}, "P--"},
      {"a burst is painted once, then again one interval after the painted step",
       {100, 101, 100 + kI - 1, 100 + kI, 100 + kI + 1},
       "P--P-"},
      {"the interval counts from the last painted step, not the last step",
       {100, 100 + kI - 1, 100 + 2 * kI - 2, 100 + 2 * kI},
       "P-P-"},
      {"steps further apart than the interval are all painted", {10, 10 + kI, 10 + 3 * kI}, "PPP"},
      {"a reset paints the next step at once", {100, 101, 0, 102, 103}, "P-P-"},
      {"a clock near its end does not wrap into the past",
       {UINT64_MAX - kI, UINT64_MAX - 1, UINT64_MAX},
       "P-P"},
  };
  for (const PacerCase& c : cases) {
    ui::RepaintPacer pacer;
    std::string painted;
    bool resetNext = false;
    for (std::size_t i = 0; i < c.times.size(); ++i) {
      if (c.times[i] == 0 && i > 0) {
        resetNext = true;
        continue;
      }
      if (resetNext) pacer.Reset();
      resetNext = false;
      painted += pacer.Due(c.times[i]) ? 'P' : '-';
    }
    EXPECT_EQ(painted, c.painted) << c.name;
  }
}

}  // namespace

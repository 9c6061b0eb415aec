// The progress bar's paint pacing: which of a run of steps are painted, and where the steps
// taken together leave the bar.
#include "ui/progress_steps.h"
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

// The installer's bar runs from 0 to 50 by 1 and takes a step per payload entry, so that a large
// payload goes round it more than once; steps taken together must land where the same steps taken
// one at a time by the control would.
TEST(SteppedPosition, LandsWhereSingleStepsWould) {
  struct Case {
    const char* name;
    int position;
    unsigned steps;
    int step, minimum, maximum;
    int expected;
  };
  const Case cases[] = {
      {"no steps", 17, 0, 1, 0, 50, 17},
      {"up to the maximum, not past it", 0, 50, 1, 0, 50, 50},
      {"one past the maximum starts over, keeping the step", 50, 1, 1, 0, 50, 1},
      {"two rounds and a bit", 0, 103, 1, 0, 50, 3},
      {"a payload of 101 entries from the start", 0, 102, 1, 0, 50, 2},
      {"a larger step past the maximum keeps what it went past by", 45, 1, 10, 0, 50, 5},
      {"a range not starting at zero", 95, 3, 2, 90, 100, 91},
      {"a step larger than the range", 0, 1, 120, 0, 50, 20},
      {"the 16-bit extremes do not overflow", 65535, 2, 65535, 0, 65535, 65535},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ui::SteppedPosition(c.position, c.steps, c.step, c.minimum, c.maximum), c.expected) << c.name;
  }
}

}  // namespace

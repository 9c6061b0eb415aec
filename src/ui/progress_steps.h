// Where a progress bar's position ends up after a number of steps.
#pragma once
#include <cstdint>

namespace ui {

// The position after `steps` steps of `step` (positive) from `position`, in a range from
// `minimum` to `maximum` (minimum < maximum), counted as the progress bar control counts its own
// steps: a step that passes the maximum starts the bar over from the beginning, keeping what it
// went past by, so that with a step of 1 the position after the maximum is minimum + 1.
inline int SteppedPosition(int position, unsigned steps, int step, int minimum, int maximum) {
  const std::int64_t span = static_cast<std::int64_t>(maximum) - minimum;
  std::int64_t at = position;
  for (unsigned i = 0; i < steps; ++i) {
    at += step;
    if (at > maximum) at = (at - minimum) % span + minimum;
  }
  return static_cast<int>(at);
}

}  // namespace ui

// How often a control that changes in a tight loop is painted.
#pragma once
#include <cstdint>

namespace ui {

// The progress bar paints itself at every step (the control updates its window at once), and the
// payload copy steps it once per file: hundreds of paints a second for a folder of small files,
// each one a round trip on a remote desktop or under Wine's X11 driver. Nobody sees more than
// the screen shows, so a step is painted when the last painted one is at least kInterval old;
// the steps in between reach the control with it, so that the bar is never more than that far
// behind, and counts every step as the control counts them.
class RepaintPacer {
 public:
  // About 30 paints a second: two ticks of the Windows clock.
  static constexpr std::uint64_t kIntervalMs = 30;

  // True when a change made at `nowMs` (a millisecond clock that only goes forward) should be
  // painted now; it then counts as the last painted one.
  bool Due(std::uint64_t nowMs) {
    if (m_painted && nowMs - m_lastMs < kIntervalMs) return false;
    m_painted = true;
    m_lastMs = nowMs;
    return true;
  }

  // The next change is painted whatever its time (a new range, a set position).
  void Reset() { m_painted = false; }

 private:
  bool m_painted = false;
  std::uint64_t m_lastMs = 0;
};

}  // namespace ui

// What the user is shown outside the dialog's own controls: message boxes and the progress bar.
#pragma once
#include <cstdint>
#include <string_view>

namespace platform {

// MessageBox flags and answers (MB_* / ID*).
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconStop = 0x10;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconExclamation = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbDefButton2 = 0x100;  // the second button is the default

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// An opaque window reference (an HWND on Windows); 0 means "the active window".
using WindowRef = std::uintptr_t;

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A modal message box (ANSI data inside the text has been converted already); returns the
  // button pressed.
  virtual int MessageBox(WindowRef owner, std::u8string_view text, std::u8string_view caption,
                         std::uint32_t flags) = 0;
};

// The progress bar control's messages (PBM_SETRANGE, PBM_SETSTEP, PBM_SETPOS, PBM_STEPIT).
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetRange(int minimum, int maximum) = 0;
  virtual void SetStep(int step) = 0;
  virtual void SetPos(int position) = 0;
  virtual void StepIt() = 0;
};

// A bar nobody sees: the unattended mode's, and any window's before it has a bar to show.
class HiddenProgressBar final : public ProgressBar {
 public:
  void SetRange(int, int) override {}
  void SetStep(int) override {}
  void SetPos(int) override {}
  void StepIt() override {}
};

// Where the control's position is after `steps` PBM_STEPITs of `step`: a step past the maximum
// (or below the minimum) starts the bar over, carrying the overshoot, so that with a step of 1
// the position after the maximum is minimum + 1; an empty range keeps it at the minimum.
inline int SteppedPosition(int position, unsigned steps, int step, int minimum, int maximum) {
  const std::int64_t span = static_cast<std::int64_t>(maximum) - minimum;
  std::int64_t at = position;
  for (unsigned i = 0; i < steps; ++i) {
    at += step;
    if (span <= 0) {
      at = minimum;
    } else if (at > maximum || at < minimum) {
      at = minimum + ((at - minimum) % span + span) % span;
    }
  }
  return static_cast<int>(at);
}

}  // namespace platform

// An interval timer that fires on the thread that made it, through that thread's window
// messages (WM_TIMER dispatched by any message loop). Interval 0 never fires. Enable after
// Disable starts the interval again. Destroying the timer stops it; a WM_TIMER message that
// was already queued for it is ignored, so the callback never runs for a dead timer.
#pragma once

#include <windows.h>

#include <functional>

namespace lorvex::win32 {

class IntervalTimer {
 public:
  // The callback runs through Guarded: an exception from it is traced and swallowed.
  explicit IntervalTimer(std::function<void()> onExpiry);
  ~IntervalTimer();
  IntervalTimer(const IntervalTimer&) = delete;
  IntervalTimer& operator=(const IntervalTimer&) = delete;

  void SetInterval(UINT milliseconds);
  UINT Interval() const noexcept { return interval_; }
  // Starts (or restarts) the interval; throws std::runtime_error when the system has no timer.
  void Enable();
  void Disable() noexcept;
  bool Enabled() const noexcept { return enabled_; }

 private:
  static void CALLBACK Expired(HWND, UINT, UINT_PTR id, DWORD);

  std::function<void()> onExpiry_;
  UINT interval_ = 0;
  UINT_PTR id_ = 0;
  bool enabled_ = false;
};

}  // namespace lorvex::win32

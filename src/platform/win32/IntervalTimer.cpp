#include "platform/win32/IntervalTimer.h"

#include <map>
#include <stdexcept>

#include "platform/win32/Boundary.h"

namespace lorvex::win32 {

namespace {
// Live thread timers by their id. Everything runs on one thread, like the messages that
// fire the timers, so no lock is taken.
std::map<UINT_PTR, IntervalTimer*>& LiveTimers() {
  static std::map<UINT_PTR, IntervalTimer*> timers;
  return timers;
}
}  // namespace

IntervalTimer::IntervalTimer(std::function<void()> onExpiry) : onExpiry_(std::move(onExpiry)) {}

IntervalTimer::~IntervalTimer() { Disable(); }

void IntervalTimer::SetInterval(UINT milliseconds) {
  interval_ = milliseconds;
  if (enabled_) Enable();
}

void IntervalTimer::Enable() {
  Disable();
  enabled_ = true;
  if (interval_ == 0) return;
  // A thread timer (no window): its WM_TIMER carries this procedure, and DispatchMessage
  // calls it on this thread.
  UINT_PTR id = ::SetTimer(nullptr, 0, interval_, &IntervalTimer::Expired);
  if (id == 0) {
    enabled_ = false;
    throw std::runtime_error("SetTimer failed");
  }
  id_ = id;
  LiveTimers()[id_] = this;
}

void IntervalTimer::Disable() noexcept {
  enabled_ = false;
  if (id_ == 0) return;
  ::KillTimer(nullptr, id_);
  LiveTimers().erase(id_);
  id_ = 0;
}

void CALLBACK IntervalTimer::Expired(HWND, UINT, UINT_PTR id, DWORD) {
  Guarded([id] {
    auto found = LiveTimers().find(id);
    if (found == LiveTimers().end()) return;  // stopped after its message was queued
    // Copy: the callback may destroy the timer that runs it.
    std::function<void()> onExpiry = found->second->onExpiry_;
    if (onExpiry) onExpiry();
  });
}

}  // namespace lorvex::win32

#include "platform/win32/IntervalTimer.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/win32/Boundary.h"

namespace lorvex::win32 {

namespace {
// Live thread timers by their id. The timers fire on the thread that made them, but an owner
// may be destroyed on another thread, so the table is locked.
std::map<UINT_PTR, IntervalTimer*>& LiveTimers() {
  static std::map<UINT_PTR, IntervalTimer*> timers;
  return timers;
}
std::mutex& TimersLock() {
  static std::mutex lock;
  return lock;
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
  std::lock_guard<std::mutex> guard(TimersLock());
  LiveTimers()[id_] = this;
}

void IntervalTimer::Disable() noexcept {
  enabled_ = false;
  if (id_ == 0) return;
  ::KillTimer(nullptr, id_);
  std::lock_guard<std::mutex> guard(TimersLock());
  LiveTimers().erase(id_);
  id_ = 0;
}

void CALLBACK IntervalTimer::Expired(HWND, UINT, UINT_PTR id, DWORD) {
  Guarded("IntervalTimer::Expired", [id] {
    std::function<void()> onExpiry;
    {
      std::lock_guard<std::mutex> guard(TimersLock());
      auto found = LiveTimers().find(id);
      if (found == LiveTimers().end()) return;  // stopped after its message was queued
      // A copy: the callback may destroy the timer that runs it.
      onExpiry = found->second->onExpiry_;
    }
    if (onExpiry) onExpiry();
  });
}

}  // namespace lorvex::win32

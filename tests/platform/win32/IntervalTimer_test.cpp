#include "platform/win32/IntervalTimer.h"

#include <gtest/gtest.h>

#include <memory>

namespace lorvex::win32 {
namespace {

// Processes this thread's messages for ms milliseconds, or until done.
void Pump(DWORD ms, const std::function<bool()>& done = {}) {
  DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms && !(done && done())) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    ::Sleep(2);
  }
}

TEST(IntervalTimer, FiresThroughMessagesOnlyWhileEnabled) {
  int fired = 0;
  IntervalTimer timer([&] { ++fired; });
  timer.SetInterval(30);
  timer.Enable();
  EXPECT_TRUE(timer.Enabled());
  ::Sleep(100);
  EXPECT_EQ(fired, 0);  // nothing happens without message processing
  Pump(2000, [&] { return fired >= 2; });
  EXPECT_GE(fired, 2);
  timer.Disable();
  int seen = fired;
  Pump(150);
  EXPECT_EQ(fired, seen);
}

TEST(IntervalTimer, IntervalZeroNeverFires) {
  int fired = 0;
  IntervalTimer timer([&] { ++fired; });
  timer.Enable();
  EXPECT_TRUE(timer.Enabled());
  Pump(150);
  EXPECT_EQ(fired, 0);
}

TEST(IntervalTimer, EnableStartsTheIntervalAgain) {
  int fired = 0;
  IntervalTimer timer([&] { ++fired; });
  timer.SetInterval(300);
  timer.Enable();
  for (int i = 0; i < 5; ++i) {  // restarted every 100 ms: never 300 ms without a restart
    Pump(100);
    timer.Enable();
  }
  EXPECT_EQ(fired, 0);
  Pump(3000, [&] { return fired > 0; });
  EXPECT_EQ(fired, 1);
}

TEST(IntervalTimer, CallbackMayDestroyItsTimerAndDeadTimersStaySilent) {
  int fired = 0;
  std::unique_ptr<IntervalTimer> timer;
  timer = std::make_unique<IntervalTimer>([&] {
    ++fired;
    timer.reset();
  });
  timer->SetInterval(10);
  timer->Enable();
  Pump(2000, [&] { return fired > 0; });
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(timer, nullptr);
  // A timer destroyed after its WM_TIMER was queued: the message is ignored.
  int late = 0;
  auto other = std::make_unique<IntervalTimer>([&] { ++late; });
  other->SetInterval(10);
  other->Enable();
  ::Sleep(50);
  other.reset();
  Pump(100);
  EXPECT_EQ(late, 0);
}

}  // namespace
}  // namespace lorvex::win32

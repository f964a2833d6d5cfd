#include "platform/win32/IntervalTimer.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/win32/MessageLoop.h"

namespace lorvex::win32 {
namespace {

using test::PumpFor;
using test::PumpUntil;

TEST(IntervalTimer, FiresThroughMessagesOnlyWhileEnabled) {
  int fired = 0;
  IntervalTimer timer([&] { ++fired; });
  timer.SetInterval(30);
  timer.Enable();
  EXPECT_TRUE(timer.Enabled());
  ::Sleep(100);
  EXPECT_EQ(fired, 0);  // nothing happens without message processing
  PumpUntil([&] { return fired >= 2; }, 2000);
  EXPECT_GE(fired, 2);
  timer.Disable();
  int seen = fired;
  PumpFor(150);
  EXPECT_EQ(fired, seen);
}

TEST(IntervalTimer, IntervalZeroNeverFires) {
  int fired = 0;
  IntervalTimer timer([&] { ++fired; });
  timer.Enable();
  EXPECT_TRUE(timer.Enabled());
  PumpFor(150);
  EXPECT_EQ(fired, 0);
}

TEST(IntervalTimer, EnableStartsTheIntervalAgain) {
  int fired = 0;
  IntervalTimer timer([&] { ++fired; });
  timer.SetInterval(300);
  timer.Enable();
  for (int i = 0; i < 5; ++i) {  // restarted every 100 ms: never 300 ms without a restart
    PumpFor(100);
    timer.Enable();
  }
  EXPECT_EQ(fired, 0);
  PumpUntil([&] { return fired > 0; }, 3000);
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
  PumpUntil([&] { return fired > 0; }, 2000);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(timer, nullptr);
  // A timer destroyed after its WM_TIMER was queued: the message is ignored.
  int late = 0;
  auto other = std::make_unique<IntervalTimer>([&] { ++late; });
  other->SetInterval(10);
  other->Enable();
  ::Sleep(50);
  other.reset();
  PumpFor(100);
  EXPECT_EQ(late, 0);
}

}  // namespace
}  // namespace lorvex::win32

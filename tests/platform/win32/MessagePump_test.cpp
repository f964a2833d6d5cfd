#include "platform/win32/MessagePump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lorvex::win32 {
namespace {

// A message-only Unicode window that records what reaches it: WM_APP + n as n, WM_CHAR as
// the character it carries.
class Recorder {
 public:
  Recorder() {
    WNDCLASSW type{};
    type.lpfnWndProc = Procedure;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = L"lorvex-pump-recorder";
    ::RegisterClassW(&type);  // a second registration fails harmlessly
    window_ = ::CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                type.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, LONG_PTR(this));
  }
  ~Recorder() { ::DestroyWindow(window_); }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  HWND window() const { return window_; }
  std::vector<WPARAM> seen;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<Recorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message >= WM_APP && message < WM_APP + 100) self->seen.push_back(message - WM_APP);
    if (self && message == WM_CHAR) self->seen.push_back(w);
    return ::DefWindowProcW(window, message, w, l);
  }
  HWND window_ = nullptr;
};

// What is still in the queue, WM_APP + n as n and WM_QUIT as "quit".
std::string Remaining() {
  std::string left;
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    left += message.message == WM_QUIT ? std::string("quit ")
                                       : std::to_string(message.message - WM_APP) + " ";
  return left;
}

// Each row posts WM_APP + 0..4 (a WM_QUIT after the second when asked, a WM_CHAR of U+263A
// first when asked) and states what was dispatched, what stayed queued and whether the pump
// kept the quit.
TEST(PumpMessages, SettingsDecideWhatIsTakenAndDispatched) {
  constexpr WPARAM kSmile = 0x263A;  // no ANSI code page has it in one byte
  struct Row {
    const char* name;
    PumpSettings settings;
    bool quit, character;
    std::vector<WPARAM> dispatched;
    std::string remaining;
    bool kept;
  } rows[] = {
      {"all", {}, false, false, {0, 1, 2, 3, 4}, "", false},
      {"capped", {.MaxMessages = 2}, false, false, {0, 1}, "2 3 4 ", false},
      {"handled",
       {.Handle = [](const MSG& m) { return m.message == WM_APP + 1; }},
       false,
       false,
       {0, 2, 3, 4},
       "",
       false},
      {"quit", {}, true, false, {0, 1}, "2 3 4 ", true},
      {"quit beyond the cap", {.MaxMessages = 2}, true, false, {0, 1}, "quit 2 3 4 ", false},
      {"wide", {.Wide = true}, false, true, {kSmile, 0, 1, 2, 3, 4}, "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Remaining();
    Recorder recorder;
    if (row.character) ::PostMessageW(recorder.window(), WM_CHAR, kSmile, 0);
    for (UINT n = 0; n < 5; ++n) {
      ::PostMessageW(recorder.window(), WM_APP + n, 0, 0);
      // In the queue's order, unlike PostQuitMessage's, which comes after everything posted.
      if (row.quit && n == 1) ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 7, 0);
    }
    {
      QuitKeeper quit;
      PumpMessages(quit, row.settings);
      EXPECT_EQ(quit.Seen(), row.kept);
      EXPECT_EQ(recorder.seen, row.dispatched);
      EXPECT_EQ(Remaining(), row.remaining);
    }
    EXPECT_EQ(Remaining(), row.kept ? "quit " : "");  // the keeper posts it again
  }
  // The ANSI calls do not carry a character outside the code page.
  Recorder recorder;
  ::PostMessageW(recorder.window(), WM_CHAR, kSmile, 0);
  QuitKeeper quit;
  PumpMessages(quit, {});
  ASSERT_EQ(recorder.seen.size(), 1u);
  EXPECT_NE(recorder.seen[0], kSmile);
}

}  // namespace
}  // namespace lorvex::win32

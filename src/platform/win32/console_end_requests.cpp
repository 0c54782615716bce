#include "platform/win32/console_end_requests.h"

#include <atomic>

#include "platform/win32/windows_api.h"

namespace fu {

namespace {

std::atomic<bool> g_held{false};
std::atomic<bool> g_requested{false};
// Signalled while no write runs; a handler that must not return during a
// write waits for it.
HANDLE g_released = nullptr;
std::string_view g_ending_text;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (!g_held.load()) {
    // On a thread of its own, not in a signal: any call may be made here.
    if (!g_ending_text.empty()) {
      DWORD written = 0;
      ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), g_ending_text.data(),
                  static_cast<DWORD>(g_ending_text.size()), &written, nullptr);
    }
    return FALSE;  // the default handler ends the program
  }
  g_requested.store(true);
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return TRUE;
    default:  // close, log-off, shut-down: the program ends when this returns
      ::WaitForSingleObject(g_released, INFINITE);
      return FALSE;
  }
}

}  // namespace

ConsoleEndRequests::ConsoleEndRequests(std::string_view ending_text) {
  g_ending_text = ending_text;
  g_released = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

ConsoleEndRequests::~ConsoleEndRequests() {
  Release();
  ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  ::CloseHandle(g_released);
  g_released = nullptr;
  g_ending_text = {};
}

void ConsoleEndRequests::Hold() {
  g_requested.store(false);
  ::ResetEvent(g_released);
  g_held.store(true);
}

bool ConsoleEndRequests::Release() {
  g_held.store(false);
  ::SetEvent(g_released);
  return g_requested.exchange(false);
}

}  // namespace fu

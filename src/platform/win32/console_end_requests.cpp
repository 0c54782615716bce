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

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (!g_held.load()) {
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

ConsoleEndRequests::ConsoleEndRequests() {
  g_released = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

ConsoleEndRequests::~ConsoleEndRequests() {
  Release();
  ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  ::CloseHandle(g_released);
  g_released = nullptr;
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

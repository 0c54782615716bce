#include "session_support.h"

#include <cstdlib>

namespace fu::session {

std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
  }
  for (char& c : path) {
    if (c == '/') {
      c = '\\';
    }
  }
  return path;
}

void EndProcess(PROCESS_INFORMATION& process) {
  if (process.hProcess == nullptr) {
    return;
  }
  if (::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process.hProcess, 3);
  }
  ::CloseHandle(process.hProcess);
  ::CloseHandle(process.hThread);
  process = PROCESS_INFORMATION{};
}

DWORD ScaledTimeout(DWORD timeout_ms) {
  char text[16] = {};
  const DWORD length = ::GetEnvironmentVariableA("FU_SESSION_TIME_SCALE", text, sizeof(text));
  const unsigned long scale =
      length > 0 && length < sizeof(text) ? std::strtoul(text, nullptr, 10) : 1;
  return scale > 1 ? timeout_ms * static_cast<DWORD>(scale) : timeout_ms;
}

bool Emulated() {
  return ScaledTimeout(1) > 1;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  while (!condition()) {
    if (::GetTickCount() - start > timeout_ms) {
      return false;
    }
    ::Sleep(20);
  }
  return true;
}

HWND FindProcessWindow(DWORD process_id, const char* window_class) {
  HWND found = nullptr;
  for (HWND window = ::FindWindowExA(nullptr, nullptr, window_class, nullptr); window != nullptr;
       window = ::FindWindowExA(nullptr, window, window_class, nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == process_id && ::IsWindowVisible(window)) {
      found = window;
    }
  }
  return found;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  ::SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

std::string MessageBoxText(HWND box) {
  std::string text;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    char window_class[32] = {};
    ::GetClassNameA(child, window_class, sizeof(window_class));
    if (std::string(window_class) == "Static") {
      text += TextOf(child);
    }
  }
  return text;
}

}  // namespace fu::session

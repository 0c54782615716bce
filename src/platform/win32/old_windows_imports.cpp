// Functions the static C++ runtime calls that older Windows lacks: the thread
// library calls GetTickCount64 (Vista), the vectored exception handler calls
// (XP), TryEnterCriticalSection (NT 4, not 9x), IsDebuggerPresent and
// SetProcessAffinityMask (98 and NT, not 95); the C++ streams and
// std::filesystem call _fstat64 and _wstat64, which the msvcrt.dll of
// Windows 2000 does not export.
//
// The runtime calls them through the import pointers __imp__<name>. Defined
// here, in an object linked into each program, those pointers are taken
// before the import libraries are searched, so the program imports none of
// these functions: each pointer leads to a function that looks the real one up
// in the running system and falls back to an older call where it is missing.

#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "platform/win32/tick_count.h"

namespace {

template <typename Function>
Function Lookup(const char* dll, const char* name) {
  const HMODULE module = ::GetModuleHandleA(dll);
  if (module == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// GetTickCount64, or GetTickCount widened: the high half counts the
// wrap-arounds of the 32-bit count (every 49.7 days). The last count seen and
// the wrap-arounds are kept in one word, so that threads agree on both.
// The lookup is kept without a guarded static: the guard's lock could wait
// through this very function.
ULONGLONG WINAPI TickCount64() {
  using Function = ULONGLONG(WINAPI*)();
  static std::atomic<bool> looked_up{false};
  static std::atomic<Function> system{nullptr};
  if (!looked_up.load()) {
    system.store(Lookup<Function>("kernel32.dll", "GetTickCount64"));
    looked_up.store(true);
  }
  if (const Function found = system.load()) {
    return found();
  }
  static std::atomic<std::uint64_t> last{0};
  std::uint64_t seen = last.load();
  std::uint64_t now = 0;
  do {
    now = fu::WidenTickCount(::GetTickCount(), seen);
  } while (!last.compare_exchange_weak(seen, now));
  return now;
}

// The thread library registers its handler at start-up and copes with none
// (a null handle): without one it only names no threads for a debugger.
PVOID WINAPI AddVectoredHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  using Function = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
  const auto system = Lookup<Function>("kernel32.dll", "AddVectoredExceptionHandler");
  return system != nullptr ? system(first, handler) : nullptr;
}

ULONG WINAPI RemoveVectoredHandler(PVOID handle) {
  using Function = ULONG(WINAPI*)(PVOID);
  const auto system = Lookup<Function>("kernel32.dll", "RemoveVectoredExceptionHandler");
  return system != nullptr ? system(handle) : 0;
}

// The thread library's condition variables (pthread_cond_wait,
// pthread_cond_timedwait, pthread_cond_destroy) try the lock of a variable's
// waiter count while holding its gate semaphore; a failed try gives the gate
// back, yields and starts again, since pthread_cond_signal takes the two the
// other way round. Without TryEnterCriticalSection (Windows 9x) the lock is
// entered. On one thread, as the programs run, nothing else ever holds it, so
// the entry returns at once and succeeds as the try would have: reporting
// failure instead would make pthread_cond_wait retry for ever. With a second
// thread signalling the same variable the entry could wait for good; the
// programs start none.
BOOL WINAPI TryEnter(LPCRITICAL_SECTION section) {
  using Function = BOOL(WINAPI*)(LPCRITICAL_SECTION);
  if (const auto system = Lookup<Function>("kernel32.dll", "TryEnterCriticalSection")) {
    return system(section);
  }
  ::EnterCriticalSection(section);
  return TRUE;
}

// pthread_setname_np names a thread only for a debugger that is present;
// without the call (Windows 95) there is taken to be none.
BOOL WINAPI DebuggerPresent() {
  using Function = BOOL(WINAPI*)();
  const auto system = Lookup<Function>("kernel32.dll", "IsDebuggerPresent");
  return system != nullptr ? system() : FALSE;
}

// pthread_set_num_processors_np; Windows 95 fails as 9x does where the call
// exists only as a stub.
BOOL WINAPI SetAffinity(HANDLE process, DWORD_PTR mask) {
  using Function = BOOL(WINAPI*)(HANDLE, DWORD_PTR);
  if (const auto system = Lookup<Function>("kernel32.dll", "SetProcessAffinityMask")) {
    return system(process, mask);
  }
  ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

// _fstat64 and _wstat64, or their 32-bit-time forms _fstati64 and _wstati64,
// which every msvcrt.dll exports.
void Widen(const struct _stat32i64& from, struct _stat64* to) {
  to->st_dev = from.st_dev;
  to->st_ino = from.st_ino;
  to->st_mode = from.st_mode;
  to->st_nlink = from.st_nlink;
  to->st_uid = from.st_uid;
  to->st_gid = from.st_gid;
  to->st_rdev = from.st_rdev;
  to->st_size = from.st_size;
  to->st_atime = from.st_atime;
  to->st_mtime = from.st_mtime;
  to->st_ctime = from.st_ctime;
}

template <typename Argument>
int Stat64(const char* name, const char* old_name, Argument file, struct _stat64* status) {
  using Function = int(__cdecl*)(Argument, struct _stat64*);
  using OldFunction = int(__cdecl*)(Argument, struct _stat32i64*);
  if (const auto system = Lookup<Function>("msvcrt.dll", name)) {
    return system(file, status);
  }
  if (const auto old = Lookup<OldFunction>("msvcrt.dll", old_name)) {
    struct _stat32i64 narrow {};
    const int result = old(file, &narrow);
    if (result == 0) {
      Widen(narrow, status);
    }
    return result;
  }
  errno = ENOSYS;
  return -1;
}

int __cdecl FileStatus64(int descriptor, struct _stat64* status) {
  return Stat64("_fstat64", "_fstati64", descriptor, status);
}

int __cdecl PathStatus64(const wchar_t* path, struct _stat64* status) {
  return Stat64("_wstat64", "_wstati64", path, status);
}

}  // namespace

extern "C" {
// The import pointers, named as the import libraries name them.
ULONGLONG(WINAPI* fu_imp_GetTickCount64)() __asm__("__imp__GetTickCount64@0") = &TickCount64;
PVOID(WINAPI* fu_imp_AddVectoredExceptionHandler)
(ULONG,
 PVECTORED_EXCEPTION_HANDLER) __asm__("__imp__AddVectoredExceptionHandler@8") = &AddVectoredHandler;
ULONG(WINAPI* fu_imp_RemoveVectoredExceptionHandler)
(PVOID) __asm__("__imp__RemoveVectoredExceptionHandler@4") = &RemoveVectoredHandler;
BOOL(WINAPI* fu_imp_TryEnterCriticalSection)
(LPCRITICAL_SECTION) __asm__("__imp__TryEnterCriticalSection@4") = &TryEnter;
BOOL(WINAPI* fu_imp_IsDebuggerPresent)() __asm__("__imp__IsDebuggerPresent@0") = &DebuggerPresent;
BOOL(WINAPI* fu_imp_SetProcessAffinityMask)
(HANDLE, DWORD_PTR) __asm__("__imp__SetProcessAffinityMask@8") = &SetAffinity;
int(__cdecl* fu_imp_fstat64)(int, struct _stat64*) __asm__("__imp___fstat64") = &FileStatus64;
int(__cdecl* fu_imp_wstat64)(const wchar_t*,
                             struct _stat64*) __asm__("__imp___wstat64") = &PathStatus64;
}

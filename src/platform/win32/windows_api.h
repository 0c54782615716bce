#pragma once
// <windows.h> for the Win32 ports and their tests. The ANSI/wide switch macros
// of the API (CreateFile -> CreateFileA, ...) would also rename the methods of
// the ports that carry the same names, so they are undefined here; the ports'
// implementations call the ...A functions by their full names. The constants
// of the system-calls port (win::GENERIC_READ, ...) are macros of the API as
// well: the port's header is read first, and code below this header uses the
// API's own names.

#include "platform/system_calls.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winsvc.h>

#undef CopyFile
#undef CreateFile
#undef CreateService
#undef GetModuleFileName
#undef OpenSCManager
#undef OpenService
#undef StartService

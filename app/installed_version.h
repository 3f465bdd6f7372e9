// Reads the installed kit's version, as its installer recorded it in the registry.
#pragma once

#include <windows.h>

// Fills buffer (capacity bytes, terminator included) with the value "Version" of
// HKLM\Software\Torvane\Lumaris in the process's own registry view. Returns 0,
// or the system error code of the registry call that failed; the buffer is
// defined only on 0. Data that does not fit with its terminator fails with
// ERROR_MORE_DATA.
DWORD QueryInstalledVersion(char *buffer, DWORD capacity);

// The process-wide verbose flag and the one format of a verbose failure line.
#pragma once

#include <windows.h>

// Set by the command-line scan before any output; read by every reporter.
extern bool g_verbose;

// In verbose mode only, prints "....Failed <what> err: <code> (0x<code>)", what
// being "to load hbaapi.dll", "in HBA_GetVersion" and the like.
void PrintVerboseFailure(const char *what, DWORD errorCode);

// The verbose flag and the verbose failure line.
#include "diagnostics.h"

#include <stdio.h>

bool g_verbose = false;

void PrintVerboseFailure(const char *what, DWORD errorCode)
{
    if (!g_verbose)
        return;
    printf("....Failed %s err: %d (0x%x)\n", what, (int)errorCode, (unsigned)errorCode);
}

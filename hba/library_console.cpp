// Hands standard error out as standard output before hbaapi.dll loads.
#include "library_console.h"

#include <windows.h>

void HandStandardErrorOutToLibrary()
{
    HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    // A handle value that is not open could be reused by whatever the library
    // opens next, a file of its own say, which its messages would then be
    // written into: hand out none instead.
    if (standardError != NULL && standardError != INVALID_HANDLE_VALUE &&
        GetFileType(standardError) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR)
        standardError = NULL;
    // Kept until the process ends, not just the inventory: the library stays
    // loaded, and its DllMain still runs (and may write) when the process exits.
    SetStdHandle(STD_OUTPUT_HANDLE, standardError);
}

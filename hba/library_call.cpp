// The marker of the call into hbaapi.dll that is under way.
#include "library_call.h"

#include <stdio.h>

const char *volatile g_libraryCallInProgress = NULL;

static LPTOP_LEVEL_EXCEPTION_FILTER g_libraryFaultFilter = NULL;

void SetLibraryFaultFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter)
{
    g_libraryFaultFilter = filter;
}

void EnterLibrary(const char *call)
{
    fflush(stdout);  // nothing to do when nothing is pending
    // A library's runtime may put in a top-level filter of its own while it
    // loads or during a call: Visual C++'s ends the process through terminate()
    // on a C++ exception nobody caught. Ours goes back first, so that a fault
    // in this call ends the report as any library fault does, whatever the
    // library put in before.
    if (g_libraryFaultFilter != NULL)
        SetUnhandledExceptionFilter(g_libraryFaultFilter);
    g_libraryCallInProgress = call;
}

// The marker of the call into hbaapi.dll that is under way.
#include "library_call.h"

#include <stdio.h>

const char *volatile g_libraryCallInProgress = NULL;

void EnterLibrary(const char *call)
{
    fflush(stdout);  // nothing to do when nothing is pending
    g_libraryCallInProgress = call;
}

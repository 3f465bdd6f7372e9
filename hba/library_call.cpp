// The marker of the call into hbaapi.dll that is under way.
#include "library_call.h"

#include <stddef.h>

const char *volatile g_libraryCallInProgress = NULL;

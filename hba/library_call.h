// Which call into hbaapi.dll is under way, so that a fault inside the library
// can be told from one in the program itself, and named in the report.
#pragma once

// What the verbose failure line says failed when the library faults now:
// "to load hbaapi.dll" while it loads, "in HBA_OpenAdapter" and so on during a
// call; NULL while the program's own code runs. One plain variable, set around
// each call, because the fault handler must read it without calls or locks.
extern const char *volatile g_libraryCallInProgress;

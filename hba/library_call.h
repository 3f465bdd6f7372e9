// Calls into hbaapi.dll, each marked while it runs, so that a fault inside the
// library can be told from one in the program itself and named in the report,
// and each preceded by writing out what the report has printed so far.
#pragma once

#include <windows.h>

#include <type_traits>

// What the verbose failure line says failed when the library faults now:
// "to load hbaapi.dll" while it loads, "in HBA_OpenAdapter" and so on during a
// call; NULL while the program's own code runs. One plain variable, because the
// fault handler must read it without calls or locks.
extern const char *volatile g_libraryCallInProgress;

// The program's own top-level exception filter, handed over at start by the
// code that owns it; EnterLibrary puts it back before every call.
void SetLibraryFaultFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);

// Writes out what the report has printed (a library may end the process where
// no handler runs, and Windows buffers stdout for a file or a pipe), puts the
// program's fault filter back in place, then marks `call` as under way.
void EnterLibrary(const char *call);

// Runs function(arguments...) inside the library as `call`, and returns its result.
template <typename Function, typename... Arguments>
auto CallLibrary(const char *call, Function function, Arguments... arguments)
{
    EnterLibrary(call);
    if constexpr (std::is_void_v<decltype(function(arguments...))>) {
        function(arguments...);
        g_libraryCallInProgress = nullptr;
    } else {
        const auto result = function(arguments...);
        g_libraryCallInProgress = nullptr;  // a plain store: the last error stays as the call left it
        return result;
    }
}

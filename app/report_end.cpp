// The end of a run, shared by the normal path and the fault path.
#include "report_end.h"

#include <stdio.h>

#include <windows.h>

#include "app/build_info.h"
#include "hba/diagnostics.h"
#include "hba/library_call.h"

namespace {

// Runs on the faulting thread, inside the exception dispatch. It only uses
// what was set up before the fault: the stdout buffer the report has been
// printing into and the marker of the call under way.
LONG WINAPI EndReportAfterFault(EXCEPTION_POINTERS *exception)
{
    const char *call = g_libraryCallInProgress;
    static volatile LONG entered = 0;
    if (InterlockedExchange(&entered, 1) != 0)  // a second fault while ending: end without more output
        TerminateProcess(GetCurrentProcess(), call != NULL ? 0 : exception->ExceptionRecord->ExceptionCode);

    if (call == NULL) {
        fflush(stdout);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    PrintVerboseFailure(call, exception->ExceptionRecord->ExceptionCode);
    FinishReport();
    fflush(stdout);
    // Not ExitProcess: that would call into the library again (its DllMain),
    // and after a fault its state is unknown.
    TerminateProcess(GetCurrentProcess(), 0);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void FinishReport()
{
    if (g_verbose)
        printf("\n%s\n", g_buildStamp);
}

void HandleLibraryFaults()
{
    // No Windows Error Reporting box for a fault, and no "no disk in drive"
    // box while the DLL search walks a removable drive: unattended runs must end.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // Stack for the handler to print with, should the library overflow its stack.
    ULONG handlerStack = 32 * 1024;
    SetThreadStackGuarantee(&handlerStack);
    SetUnhandledExceptionFilter(EndReportAfterFault);
}

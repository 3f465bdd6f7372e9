// The end of a run, shared by the normal path and the fault path.
#include "report_end.h"

#include <stdio.h>

#include <windows.h>

#include "app/build_info.h"
#include "hba/diagnostics.h"
#include "hba/library_call.h"

namespace {

// The fault handler ends the report on a stack of its own, made at start: after
// a stack overflow in the library the faulting stack has little left, and how
// little depends on the platform (Wine 10 leaves one page and ignores
// SetThreadStackGuarantee). What that ending needs is handed over in these.
void *g_reportEndingFiber = NULL;
const char *g_faultingCall = NULL;
DWORD g_faultCode = 0;

// Closes the report as a failed inventory would and ends the process, exit
// status 0; the ending fiber's start. Not ExitProcess: that would call into the
// library again (its DllMain), and after a fault its state is unknown.
void WINAPI CloseReportAfterLibraryFault(void *)
{
    PrintVerboseFailure(g_faultingCall, g_faultCode);
    FinishReport();
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 0);
}

// Runs on the faulting thread, inside the exception dispatch, on whatever stack
// the fault left. It only uses what was set up before the fault (the stdout
// buffer, the marker of the call under way, the fiber) and allocates nothing.
LONG WINAPI EndReportAfterFault(EXCEPTION_POINTERS *exception)
{
    const char *call = g_libraryCallInProgress;
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    static volatile LONG entered = 0;
    if (InterlockedExchange(&entered, 1) != 0)  // a second fault while ending: end without more output
        TerminateProcess(GetCurrentProcess(), call != NULL ? 0 : code);

    // A fault in the program's own code: the output written out, and the process
    // ended with the fault's code by the thread's outermost handler. Not passed
    // on: Wine would start its debugger whatever the error mode says, and wait.
    if (call == NULL) {
        fflush(stdout);
        return EXCEPTION_EXECUTE_HANDLER;
    }
    g_faultingCall = call;
    g_faultCode = code;
    // The library may have turned the thread back from a fiber; converting it
    // again is the one step here that allocates, and only then.
    if (g_reportEndingFiber != NULL && (IsThreadAFiber() || ConvertThreadToFiber(NULL) != NULL))
        SwitchToFiber(g_reportEndingFiber);
    CloseReportAfterLibraryFault(NULL);  // no stack of its own: on what is left of this one
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
    // A stack to end the report on whatever happened to the thread's own; the
    // thread becomes a fiber now so that the handler has nothing to allocate.
    // 64 KiB is ample for the few lines it prints.
    if (ConvertThreadToFiber(NULL) != NULL)
        g_reportEndingFiber = CreateFiber(64 * 1024, CloseReportAfterLibraryFault, NULL);
    // Room for the exception dispatch itself to reach the handler after an
    // overflow, where the platform honours it (Windows does; Wine 10 does not).
    ULONG handlerStack = 32 * 1024;
    SetThreadStackGuarantee(&handlerStack);
    SetUnhandledExceptionFilter(EndReportAfterFault);
    SetLibraryFaultFilter(EndReportAfterFault);
}

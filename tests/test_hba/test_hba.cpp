// A stand-in hbaapi.dll for the tests. It does what the file named by
// LUMARIS_TEST_HBA_BEHAVIOUR says, and appends every call, with its arguments
// and result, to the file named by LUMARIS_TEST_HBA_LOG. Without a behaviour
// file it initialises fine and has no adapters. It can fault in any entry point,
// or while it loads, to stand for a vendor library that crashes, and load a
// helper library of its own as vendors' libraries do.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>


#include "behaviour.h"

#include <windows.h>

// In hbaplugin.dll, which every build imports with a delayed import, as Visual
// C++'s /DELAYLOAD does: it is looked for only when first called. Not declared
// dllimport: the call must go through the import's thunk, or ld (2.40) drops the
// thunk that the import slot starts out pointing to, and the slot stays null.
extern "C" int __cdecl HbaPluginReady(void);
// The import's slot, which the delay-load helper fills with the resolved address.
extern "C" void *_imp__HbaPluginReady;

namespace {

TestBehaviour g_behaviour;
bool g_loaded = false;
size_t g_currentAdapter = (size_t)-1;  // the index of the last HBA_GetAdapterName call

void Log(const char *format, ...)
{
    const char *path = getenv("LUMARIS_TEST_HBA_LOG");
    if (path == nullptr || *path == '\0')
        return;
    FILE *log = fopen(path, "ab");
    if (log == nullptr)
        return;
    va_list arguments;
    va_start(arguments, format);
    vfprintf(log, format, arguments);
    va_end(arguments);
    fputc('\n', log);
    fclose(log);
}

// The behaviour is read on the first call, whichever entry point that is.
TestBehaviour &Behaviour()
{
    if (g_loaded)
        return g_behaviour;
    g_loaded = true;
    g_behaviour.loadLibraryStatus = HBA_STATUS_OK;
    g_behaviour.adapterCount = 0;
    const char *path = getenv("LUMARIS_TEST_HBA_BEHAVIOUR");
    if (path == nullptr || *path == '\0')
        return g_behaviour;
    std::string text, error;
    FILE *file = fopen(path, "rb");
    if (file != nullptr) {
        char chunk[4096];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;)
            text.append(chunk, got);
        fclose(file);
    } else {
        error = "cannot open it";
    }
    if (file == nullptr || !ParseTestBehaviour(text, &g_behaviour, &error)) {
        fprintf(stderr, "test hbaapi.dll: cannot use %s: %s\n", path, error.c_str());
        exit(99);
    }
    return g_behaviour;
}

// Recurses without end, 4 KiB a frame: the work after the call keeps it from
// becoming a loop.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) unsigned OverflowStack(unsigned depth)
{
    volatile char frame[4096];
    frame[0] = (char)depth;
    return OverflowStack(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop

// Makes the .rdata section of the exe that loaded this library (its format
// strings, among others) unreadable, so that the exe's next own step faults.
void HideCallerReadOnlyData()
{
    BYTE *image = (BYTE *)GetModuleHandleA(NULL);
    const IMAGE_NT_HEADERS *headers = (const IMAGE_NT_HEADERS *)(image + ((IMAGE_DOS_HEADER *)image)->e_lfanew);
    const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(headers);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        if (strncmp((const char *)section->Name, ".rdata", sizeof section->Name) == 0) {
            DWORD old;
            VirtualProtect(image + section->VirtualAddress, section->Misc.VirtualSize, PAGE_NOACCESS, &old);
        }
    }
}

// Ends the call as the behaviour's FaultKind says.
DWORD WINAPI Fault(void *)
{
    const TestFault &fault = Behaviour().fault;
    switch (fault.kind) {
    case FaultKind::kRaise:
        RaiseException(fault.code, 0, 0, NULL);
        break;
    case FaultKind::kNullWrite: {
        // Volatile twice over: without it the compiler drops the store, or
        // replaces it with a trap instruction of its own.
        volatile int *volatile nowhere = nullptr;
        *nowhere = 1;
        break;
    }
    case FaultKind::kStackOverflow:
        OverflowStack(0);
        break;
    case FaultKind::kFailFast:
        TerminateProcess(GetCurrentProcess(), kFailFastCode);
        break;
    case FaultKind::kExitProcess:
        ExitProcess(kLibraryExitCode);
        break;
    case FaultKind::kHideCallerData:
        HideCallerReadOnlyData();
        break;
    }
    return 0;
}

// When the behaviour says this call faults (entryPoint, on adapterIndex where it
// works on one adapter), logs the call with its arguments and "faults", then
// faults, on this thread or on one of its own that it waits for. A raised fault
// that some handler continues returns, and so does hiding the caller's data.
void FaultIfChosen(const char *entryPoint, size_t adapterIndex, const char *argumentsFormat, ...)
{
    if (!FaultsIn(Behaviour(), entryPoint, adapterIndex))
        return;
    char argumentText[512];  // a name handed over, 256 bytes and its terminator, fits
    va_list arguments;
    va_start(arguments, argumentsFormat);
    vsnprintf(argumentText, sizeof argumentText, argumentsFormat, arguments);
    va_end(arguments);
    Log("%s%s faults", entryPoint, argumentText);
    if (!Behaviour().fault.onOwnThread) {
        Fault(NULL);
        return;
    }
    HANDLE thread = CreateThread(NULL, 0, Fault, NULL, 0, NULL);
    if (thread != NULL) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

// What Visual C++ 2005-2013's static runtime puts in as the top-level filter:
// a C++ exception nobody caught ends the process through terminate(); every
// other exception goes on to the filter that was there before.
LPTOP_LEVEL_EXCEPTION_FILTER g_filterBeforeRuntime = NULL;

LONG WINAPI RuntimeFilter(EXCEPTION_POINTERS *exception)
{
    if (exception->ExceptionRecord->ExceptionCode == kCxxExceptionCode)
        _exit(kTerminateExitCode);
    return g_filterBeforeRuntime != NULL ? g_filterBeforeRuntime(exception) : EXCEPTION_CONTINUE_SEARCH;
}

std::string FolderOf(const char *path)
{
    const char *slash = strrchr(path, '\\');
    return slash == nullptr ? std::string() : std::string(path, slash - path);
}

// Where a loaded library's file lies, as the log names it: beside the exe, in
// the system folder, or the folder itself.
std::string LibraryOrigin(HMODULE library)
{
    char path[MAX_PATH], exe[MAX_PATH], system[MAX_PATH];
    const DWORD length = GetModuleFileNameA(library, path, sizeof path);
    if (library == NULL || length == 0 || length >= sizeof path || GetModuleFileNameA(NULL, exe, sizeof exe) == 0 ||
        GetSystemDirectoryA(system, sizeof system) == 0)
        return "from an unknown folder";
    const std::string folder = FolderOf(path);
    if (lstrcmpiA(folder.c_str(), FolderOf(exe).c_str()) == 0)
        return "beside the exe";
    if (lstrcmpiA(folder.c_str(), system) == 0)
        return "in the system folder";
    return "from " + folder;
}

// Loads the helper as the behaviour says, during HBA_LoadLibrary, and logs where from.
void LoadHelper()
{
    switch (Behaviour().helperLoad) {
    case HelperLoad::kNone:
        break;
    case HelperLoad::kBareName: {
        HMODULE helper = LoadLibraryA(kHelperLibrary);
        if (helper == NULL)
            Log("HBA_LoadLibrary: %s by bare name: not loaded (%lu)", kHelperLibrary, GetLastError());
        else
            Log("HBA_LoadLibrary: %s by bare name: %s", kHelperLibrary, LibraryOrigin(helper).c_str());
        break;
    }
    case HelperLoad::kDelayed:
        Log("HBA_LoadLibrary: calls %s through a delayed import", kHelperLibrary);
        // Binutils 2.44 (Debian 13) puts the slot in the read-only .idata, and
        // MinGW's helper writes it as it stands; Visual C++'s helper makes a
        // protected slot writable itself, as this does for it.
        DWORD protection;
        VirtualProtect(&_imp__HbaPluginReady, sizeof _imp__HbaPluginReady, PAGE_READWRITE, &protection);
        HbaPluginReady();
        Log("HBA_LoadLibrary: %s delay-loaded: %s", kHelperLibrary,
            LibraryOrigin(GetModuleHandleA(kHelperLibrary)).c_str());
        break;
    }
}

// The standard output handle as the library's runtime took it while loading.
HANDLE g_outputAtLoad = INVALID_HANDLE_VALUE;

// Prints one console message, with its line end, as the behaviour says:
// through `output`, or through msvcrt.dll's stdout.
void SayOnConsole(HANDLE output, const char *format, ...)
{
    char message[64];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(message, sizeof message - 2, format, arguments);
    va_end(arguments);
    switch (Behaviour().console) {
    case ConsoleWrites::kNone:
        break;
    case ConsoleWrites::kHandles: {
        strcat(message, "\r\n");
        DWORD written;
        WriteFile(output, message, (DWORD)strlen(message), &written, NULL);
        break;
    }
    case ConsoleWrites::kSharedRuntime:
        printf("%s\n", message);
        break;
    }
}

TestAdapter *CurrentAdapter()
{
    TestBehaviour &behaviour = Behaviour();
    return g_currentAdapter < behaviour.adapters.size() ? &behaviour.adapters[g_currentAdapter] : nullptr;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH && Behaviour().console == ConsoleWrites::kHandles)
        SayOnConsole(GetStdHandle(STD_OUTPUT_HANDLE), "vendor: unloading");
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    g_outputAtLoad = GetStdHandle(STD_OUTPUT_HANDLE);
    if (Behaviour().runtimeFilter)
        g_filterBeforeRuntime = SetUnhandledExceptionFilter(RuntimeFilter);
    FaultIfChosen("DllMain", 0, "(DLL_PROCESS_ATTACH)");
    return TRUE;
}

HBA_STATUS __cdecl HBA_LoadLibrary(void)
{
    FaultIfChosen("HBA_LoadLibrary", 0, "()");
    LoadHelper();
    SayOnConsole(g_outputAtLoad, "vendor: starting");
    HBA_STATUS status = Behaviour().loadLibraryStatus;
    Log("HBA_LoadLibrary() = %u", status);
    return status;
}

HBA_UINT32 __cdecl HBA_GetVersion(void)
{
    FaultIfChosen("HBA_GetVersion", 0, "()");
    Log("HBA_GetVersion() = 2");
    return 2;
}

HBA_STATUS __cdecl HBA_FreeLibrary(void)
{
    FaultIfChosen("HBA_FreeLibrary", 0, "()");
    Log("HBA_FreeLibrary() = 0");
    return HBA_STATUS_OK;
}

HBA_UINT32 __cdecl HBA_GetNumberOfAdapters(void)
{
    FaultIfChosen("HBA_GetNumberOfAdapters", 0, "()");
    HBA_UINT32 count = Behaviour().adapterCount;
    Log("HBA_GetNumberOfAdapters() = %u", count);
    return count;
}

HBA_STATUS __cdecl HBA_GetAdapterName(HBA_UINT32 adapterIndex, char *adapterName)
{
    g_currentAdapter = adapterIndex;
    FaultIfChosen("HBA_GetAdapterName", adapterIndex, "(%u)", adapterIndex);
    TestAdapter *adapter = CurrentAdapter();
    HBA_STATUS status = adapter == nullptr ? HBA_STATUS_ERROR : adapter->nameStatus;
    if (status == HBA_STATUS_OK)
        memcpy(adapterName, adapter->name, sizeof adapter->name);
    Log("HBA_GetAdapterName(%u) = %u", adapterIndex, status);
    return status;
}

HBA_HANDLE __cdecl HBA_OpenAdapter(char *adapterName)
{
    // Read as most libraries read it, as a C string: a name handed over without
    // its terminator shows here as the bytes that follow it.
    FaultIfChosen("HBA_OpenAdapter", g_currentAdapter, "(\"%s\")", adapterName);
    TestAdapter *adapter = CurrentAdapter();
    HBA_HANDLE handle = adapter == nullptr ? 0 : adapter->handle;
    Log("HBA_OpenAdapter(\"%s\") = %u", adapterName, handle);
    return handle;
}

void __cdecl HBA_CloseAdapter(HBA_HANDLE handle)
{
    FaultIfChosen("HBA_CloseAdapter", g_currentAdapter, "(%u)", handle);
    Log("HBA_CloseAdapter(%u)", handle);
}

HBA_STATUS __cdecl HBA_GetAdapterAttributes(HBA_HANDLE handle, HBA_ADAPTERATTRIBUTES *attributes)
{
    FaultIfChosen("HBA_GetAdapterAttributes", g_currentAdapter, "(%u)", handle);
    SayOnConsole(GetStdHandle(STD_OUTPUT_HANDLE), "vendor: adapter %u", (unsigned)g_currentAdapter);
    TestAdapter *adapter = CurrentAdapter();
    HBA_STATUS status = adapter == nullptr ? HBA_STATUS_ERROR : adapter->attributesStatus;
    if (status == HBA_STATUS_OK)
        *attributes = adapter->attributes;
    Log("HBA_GetAdapterAttributes(%u) = %u", handle, status);
    return status;
}

}  // extern "C"

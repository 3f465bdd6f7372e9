// Loads hbaapi.dll, calls HBA_LoadLibrary and resolves the other entry points
// in their fixed order, stopping at the first failure.
#include "hba_binding.h"

#include <stdio.h>
#include <string.h>

#include "diagnostics.h"
#include "library_call.h"
#include "library_console.h"

#include <strsafe.h>

namespace {

// One row per entry point: its exported name and where the resolved address goes.
struct EntryPointRow {
    const char *name;
    void *slot;
};

static_assert(sizeof(FARPROC) == sizeof(HBA_GetVersionFn), "entry points are stored as plain function pointers");

bool ResolveEntryPoint(HMODULE module, const EntryPointRow &row)
{
    FARPROC address = GetProcAddress(module, row.name);
    if (address == NULL) {
        DWORD error = GetLastError();
        char what[64];  // "to GetProcAddress for " and the longest entry-point name fit
        StringCchPrintfA(what, ARRAYSIZE(what), "to GetProcAddress for %s", row.name);
        PrintVerboseFailure(what, error);
        return false;
    }
    // memcpy, not a cast through the slot, keeps the store free of aliasing trouble.
    memcpy(row.slot, &address, sizeof address);
    return true;
}

// Whether the system folder (SysWOW64 for this 32-bit program on 64-bit
// Windows, through the file system redirection the loader also sees) holds hbaapi.dll.
bool SystemFolderHasHbaApi()
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || FAILED(StringCchCatA(path, sizeof path, "\\hbaapi.dll")))
        return false;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

typedef BOOL(WINAPI *SetDefaultDllDirectoriesFn)(DWORD directoryFlags);

// Loads hbaapi.dll from the system folder, where Windows keeps its own and
// vendors plug into it; only where the system has none, from beside the exe.
// Never from the working directory or PATH, and never a copy beside the exe over
// the system's: in a folder other users can write to, a planted library would
// run with the rights of the administrator running the report. Whether the
// system folder has one decides, not how loading it went, so that a system copy
// that fails to load is reported as it is. Hosts without the restricted search
// (Windows 7 without KB2533623, whose kernel32 lacks SetDefaultDllDirectories)
// keep the default search.
HMODULE LoadHbaApiLibrary()
{
    // Keeps the working directory out of the default search on hosts without
    // the restricted one (Wine keeps it in regardless; Windows does not).
    SetDllDirectoryA("");
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    const SetDefaultDllDirectoriesFn setDefaultDllDirectories =
        kernel32 == NULL ? NULL : (SetDefaultDllDirectoriesFn)(void *)GetProcAddress(kernel32, "SetDefaultDllDirectories");
    if (setDefaultDllDirectories == NULL)
        return CallLibrary("to load hbaapi.dll", LoadLibraryA, "hbaapi.dll");
    // What the library loads by bare name later (its helpers, and what the
    // delay-load helper loads with LoadLibraryExA(name, NULL, 0)) goes through
    // the process's default search, which otherwise ends with the working
    // directory and PATH, often writable by ordinary users. From here on it is
    // the exe's folder, folders added with AddDllDirectory and the system folder.
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    // The loader looks for the library's own dependencies with the same flags:
    // the system's copy takes them from the system folder alone, the copy beside
    // the exe from beside it and then from the system folder, where the runtime
    // a vendor's build imports (VCRUNTIME140.dll and the like) lives.
    const DWORD folder = SystemFolderHasHbaApi() ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                                 : LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    // The library's own start-up runs inside the load.
    return CallLibrary("to load hbaapi.dll", LoadLibraryExA, "hbaapi.dll", (HANDLE)NULL, folder);
}

}  // namespace

bool LoadHbaApi(HbaApiBinding *binding)
{
    memset(binding, 0, sizeof *binding);

    // Before the load: a library's C runtime takes its standard output as it starts.
    HandStandardErrorOutToLibrary();
    binding->module = LoadHbaApiLibrary();
    if (binding->module == NULL) {
        PrintVerboseFailure("to load hbaapi.dll", GetLastError());
        return false;
    }

    const EntryPointRow loadLibraryRow = {"HBA_LoadLibrary", &binding->loadLibrary};
    if (!ResolveEntryPoint(binding->module, loadLibraryRow))
        return false;
    const HBA_STATUS status = CallLibrary("in HBA_LoadLibrary", binding->loadLibrary);
    if (status == HBA_STATUS_ERROR) {
        printf("Error loading library.  Exitting...\n");
        return false;
    }

    const EntryPointRow rows[] = {
        {"HBA_GetVersion", &binding->getVersion},
        {"HBA_FreeLibrary", &binding->freeLibrary},
        {"HBA_GetNumberOfAdapters", &binding->getNumberOfAdapters},
        {"HBA_GetAdapterName", &binding->getAdapterName},
        {"HBA_OpenAdapter", &binding->openAdapter},
        {"HBA_CloseAdapter", &binding->closeAdapter},
        {"HBA_GetAdapterAttributes", &binding->getAdapterAttributes},
    };
    for (const EntryPointRow &row : rows) {
        if (!ResolveEntryPoint(binding->module, row))
            return false;
    }
    return true;
}

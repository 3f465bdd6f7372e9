// Loads hbaapi.dll, calls HBA_LoadLibrary and resolves the other entry points
// in their fixed order, stopping at the first failure.
#include "hba_binding.h"

#include <stdio.h>
#include <string.h>

#include "diagnostics.h"

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
        char what[64];  // "GetProcAddress for " and the longest entry-point name fit
        StringCchPrintfA(what, ARRAYSIZE(what), "GetProcAddress for %s", row.name);
        PrintVerboseFailure(what, error);
        return false;
    }
    // memcpy, not a cast through the slot, keeps the store free of aliasing trouble.
    memcpy(row.slot, &address, sizeof address);
    return true;
}

}  // namespace

bool LoadHbaApi(HbaApiBinding *binding)
{
    memset(binding, 0, sizeof *binding);

    // Leave the current directory out of the search: a hbaapi.dll lying in the
    // folder the administrator happens to stand in must never be loaded.
    SetDllDirectoryA("");
    binding->module = LoadLibraryA("hbaapi.dll");
    if (binding->module == NULL) {
        PrintVerboseFailure("load hbaapi.dll", GetLastError());
        return false;
    }

    const EntryPointRow loadLibraryRow = {"HBA_LoadLibrary", &binding->loadLibrary};
    if (!ResolveEntryPoint(binding->module, loadLibraryRow))
        return false;
    if (binding->loadLibrary() == HBA_STATUS_ERROR) {
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

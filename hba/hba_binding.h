// Run-time binding to hbaapi.dll: loads it, initialises the API and resolves
// the entry points the adapter inventory calls.
#pragma once

#include <windows.h>

#include "hba_api.h"

struct HbaApiBinding {
    HMODULE module;  // never freed: the library stays loaded until the process ends
    HBA_LoadLibraryFn loadLibrary;
    HBA_GetVersionFn getVersion;
    HBA_FreeLibraryFn freeLibrary;
    HBA_GetNumberOfAdaptersFn getNumberOfAdapters;
    HBA_GetAdapterNameFn getAdapterName;
    HBA_OpenAdapterFn openAdapter;
    HBA_CloseAdapterFn closeAdapter;
    HBA_GetAdapterAttributesFn getAdapterAttributes;
};

// Fills the binding and returns whether the report may proceed. Prints its own
// diagnostics: verbose failure lines, and the "Error loading library" line when
// HBA_LoadLibrary reports HBA_STATUS_ERROR.
bool LoadHbaApi(HbaApiBinding *binding);

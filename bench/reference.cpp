// The bare minimum the report does, for timing only: the same HBA API calls in
// the same order and the same lines, with no bounds, no checks and nothing else.
#include <stdio.h>
#include <windows.h>

#include "hba/hba_api.h"

int main()
{
    printf("Torvane Lumaris (Build 8182156): ??\n");
    HMODULE library = LoadLibraryA("hbaapi.dll");
    if (library == NULL)
        return 0;
    auto loadLibrary = (HBA_LoadLibraryFn)GetProcAddress(library, "HBA_LoadLibrary");
    loadLibrary();
    auto getVersion = (HBA_GetVersionFn)GetProcAddress(library, "HBA_GetVersion");
    auto freeLibrary = (HBA_FreeLibraryFn)GetProcAddress(library, "HBA_FreeLibrary");
    auto getCount = (HBA_GetNumberOfAdaptersFn)GetProcAddress(library, "HBA_GetNumberOfAdapters");
    auto getName = (HBA_GetAdapterNameFn)GetProcAddress(library, "HBA_GetAdapterName");
    auto open = (HBA_OpenAdapterFn)GetProcAddress(library, "HBA_OpenAdapter");
    auto close = (HBA_CloseAdapterFn)GetProcAddress(library, "HBA_CloseAdapter");
    auto getAttributes = (HBA_GetAdapterAttributesFn)GetProcAddress(library, "HBA_GetAdapterAttributes");
    int count = (int)getCount();
    getVersion();
    char name[256] = "";
    HBA_ADAPTERATTRIBUTES a;
    for (int i = 0; i < count; ++i) {
        getName(i, name);
        HBA_HANDLE handle = open(name);
        if (getAttributes(handle, &a) == 0)
            printf("\nHBA %s:\n\tManufacturer: %s\n\tModel: %s\n\tModel Description: %s\n\tFirmware: %s\n"
                   "\tDriver (%s): %s\n\tHardware version: %s\n\tSerialNumber: %s\n",
                   name, a.Manufacturer, a.Model, a.ModelDescription, a.FirmwareVersion, a.DriverName,
                   a.DriverVersion, a.HardwareVersion, a.SerialNumber);
        close(handle);
    }
    if (count >= 1)
        freeLibrary();
    return 0;
}

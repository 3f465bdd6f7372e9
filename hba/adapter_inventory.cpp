// Enumerates the adapters through a complete HBA API binding and prints their blocks.
#include "adapter_inventory.h"

#include <stdio.h>
#include <string.h>

#include "hba_binding.h"
#include "library_call.h"

namespace {

// A vendor library may fill a member to its full width with no terminator:
// every printed text is bounded by the storage it lives in.
#define FIELD(member) (int)strnlen(member, sizeof(member)), member

void PrintAdapterBlock(const char *name, size_t nameCapacity, const HBA_ADAPTERATTRIBUTES &attributes)
{
    printf("\n");
    printf("HBA %.*s:\n", (int)strnlen(name, nameCapacity), name);
    printf("\tManufacturer: %.*s\n", FIELD(attributes.Manufacturer));
    printf("\tModel: %.*s\n", FIELD(attributes.Model));
    printf("\tModel Description: %.*s\n", FIELD(attributes.ModelDescription));
    printf("\tFirmware: %.*s\n", FIELD(attributes.FirmwareVersion));
    printf("\tDriver (%.*s): %.*s\n", FIELD(attributes.DriverName), FIELD(attributes.DriverVersion));
    printf("\tHardware version: %.*s\n", FIELD(attributes.HardwareVersion));
    printf("\tSerialNumber: %.*s\n", FIELD(attributes.SerialNumber));
}

#undef FIELD

void ReportBoundAdapters(const HbaApiBinding &api)
{
    const int count = (int)CallLibrary("in HBA_GetNumberOfAdapters", api.getNumberOfAdapters);
    CallLibrary("in HBA_GetVersion", api.getVersion);
    if (count < 1)
        return;

    // The name as the API writes it (at most HBA_ADAPTER_NAME_LENGTH bytes), plus
    // one byte the library never sees, so a name filled to full width is still
    // terminated when it is handed back to HBA_OpenAdapter. Empty before the
    // first fill, in case that fill fails.
    char adapterName[HBA_ADAPTER_NAME_LENGTH + 1] = "";
    HBA_ADAPTERATTRIBUTES attributes;  // refilled per adapter
    memset(&attributes, 0, sizeof attributes);

    for (int index = 0; index < count; ++index) {
        CallLibrary("in HBA_GetAdapterName", api.getAdapterName, (HBA_UINT32)index, adapterName);
        const HBA_HANDLE handle = CallLibrary("in HBA_OpenAdapter", api.openAdapter, adapterName);
        const HBA_STATUS status = CallLibrary("in HBA_GetAdapterAttributes", api.getAdapterAttributes, handle, &attributes);
        if (status == HBA_STATUS_OK)
            PrintAdapterBlock(adapterName, HBA_ADAPTER_NAME_LENGTH, attributes);
        CallLibrary("in HBA_CloseAdapter", api.closeAdapter, handle);
    }
    CallLibrary("in HBA_FreeLibrary", api.freeLibrary);
}

}  // namespace

void ReportAdapters()
{
    HbaApiBinding api;
    if (LoadHbaApi(&api))
        ReportBoundAdapters(api);
}

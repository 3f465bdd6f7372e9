// The parts of the SNIA Common HBA API that the adapter inventory uses, declared
// as the standard publishes them; hbaapi.dll itself is loaded at run time.
#pragma once

#include <stdint.h>

typedef uint8_t HBA_UINT8;
typedef uint32_t HBA_UINT32;
typedef HBA_UINT32 HBA_STATUS;
typedef HBA_UINT32 HBA_HANDLE;

#define HBA_STATUS_OK 0
#define HBA_STATUS_ERROR 1

// The API writes at most this many bytes, terminator included, into an adapter name.
#define HBA_ADAPTER_NAME_LENGTH 256

typedef struct HBA_wwn {
    HBA_UINT8 wwn[8];
} HBA_WWN;

typedef struct HBA_AdapterAttributes {
    char Manufacturer[64];
    char SerialNumber[64];
    char Model[256];
    char ModelDescription[256];
    HBA_WWN NodeWWN;
    char NodeSymbolicName[256];
    char HardwareVersion[256];
    char DriverVersion[256];
    char OptionROMVersion[256];
    char FirmwareVersion[256];
    HBA_UINT32 VendorSpecificID;
    HBA_UINT32 NumberOfPorts;
    char DriverName[256];
} HBA_ADAPTERATTRIBUTES;

static_assert(sizeof(HBA_ADAPTERATTRIBUTES) == 2192, "HBA_ADAPTERATTRIBUTES must match the published layout");

// The API is cdecl; a mismatched convention corrupts the stack on 32-bit x86.
typedef HBA_STATUS(__cdecl *HBA_LoadLibraryFn)(void);
typedef HBA_UINT32(__cdecl *HBA_GetVersionFn)(void);
typedef HBA_STATUS(__cdecl *HBA_FreeLibraryFn)(void);
typedef HBA_UINT32(__cdecl *HBA_GetNumberOfAdaptersFn)(void);
typedef HBA_STATUS(__cdecl *HBA_GetAdapterNameFn)(HBA_UINT32 adapterIndex, char *adapterName);
typedef HBA_HANDLE(__cdecl *HBA_OpenAdapterFn)(char *adapterName);
typedef void(__cdecl *HBA_CloseAdapterFn)(HBA_HANDLE handle);
typedef HBA_STATUS(__cdecl *HBA_GetAdapterAttributesFn)(HBA_HANDLE handle, HBA_ADAPTERATTRIBUTES *attributes);

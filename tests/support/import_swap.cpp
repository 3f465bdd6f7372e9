// Import address table swaps in the running test program.
#include "import_swap.h"

#include <string.h>

#include <windows.h>

void *SwapImport(const char *dll, const char *function, void *replacement)
{
    BYTE *image = (BYTE *)GetModuleHandleA(NULL);
    const IMAGE_NT_HEADERS *headers = (const IMAGE_NT_HEADERS *)(image + ((IMAGE_DOS_HEADER *)image)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR *descriptor = (const IMAGE_IMPORT_DESCRIPTOR *)(image + imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (_stricmp((const char *)(image + descriptor->Name), dll) != 0)
            continue;
        const IMAGE_THUNK_DATA *names = (const IMAGE_THUNK_DATA *)(image + descriptor->OriginalFirstThunk);
        IMAGE_THUNK_DATA *addresses = (IMAGE_THUNK_DATA *)(image + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME *byName = (const IMAGE_IMPORT_BY_NAME *)(image + names->u1.AddressOfData);
            if (strcmp((const char *)byName->Name, function) != 0)
                continue;
            DWORD protection;
            if (!VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, PAGE_READWRITE, &protection))
                return nullptr;
            void *previous = (void *)addresses->u1.Function;
            addresses->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

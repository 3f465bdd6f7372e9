// The installed-version lookup: read-only access to the installer's registry value.
#include "installed_version.h"

namespace {

// RegQueryValueExA hands back stored bytes as they are: a binary value, or a
// string stored without its terminator, ends wherever its data ends. Terminate
// what was read within the capacity, or report that it does not fit.
DWORD TerminateRegistryText(char *buffer, DWORD capacity, DWORD bytesRead)
{
    if (bytesRead > 0 && buffer[bytesRead - 1] == '\0')
        return ERROR_SUCCESS;
    if (bytesRead >= capacity)
        return ERROR_MORE_DATA;
    buffer[bytesRead] = '\0';
    return ERROR_SUCCESS;
}

}  // namespace

DWORD QueryInstalledVersion(char *buffer, DWORD capacity)
{
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Torvane\\Lumaris", 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return (DWORD)status;

    DWORD bytesRead = capacity;
    status = RegQueryValueExA(key, "Version", NULL, NULL, (BYTE *)buffer, &bytesRead);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return (DWORD)status;
    return TerminateRegistryText(buffer, capacity, bytesRead);
}

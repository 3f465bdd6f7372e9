// A stand-in hbaapi.dll for the tests. It does what the file named by
// LUMARIS_TEST_HBA_BEHAVIOUR says, and appends every call, with its arguments
// and result, to the file named by LUMARIS_TEST_HBA_LOG. Without a behaviour
// file it initialises fine and has no adapters.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>


#include "behaviour.h"

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

TestAdapter *CurrentAdapter()
{
    TestBehaviour &behaviour = Behaviour();
    return g_currentAdapter < behaviour.adapters.size() ? &behaviour.adapters[g_currentAdapter] : nullptr;
}

}  // namespace

extern "C" {

HBA_STATUS __cdecl HBA_LoadLibrary(void)
{
    HBA_STATUS status = Behaviour().loadLibraryStatus;
    Log("HBA_LoadLibrary() = %u", status);
    return status;
}

HBA_UINT32 __cdecl HBA_GetVersion(void)
{
    Log("HBA_GetVersion() = 2");
    return 2;
}

HBA_STATUS __cdecl HBA_FreeLibrary(void)
{
    Log("HBA_FreeLibrary() = 0");
    return HBA_STATUS_OK;
}

HBA_UINT32 __cdecl HBA_GetNumberOfAdapters(void)
{
    HBA_UINT32 count = Behaviour().adapterCount;
    Log("HBA_GetNumberOfAdapters() = %u", count);
    return count;
}

HBA_STATUS __cdecl HBA_GetAdapterName(HBA_UINT32 adapterIndex, char *adapterName)
{
    g_currentAdapter = adapterIndex;
    TestAdapter *adapter = CurrentAdapter();
    HBA_STATUS status = adapter == nullptr ? HBA_STATUS_ERROR : adapter->nameStatus;
    if (status == HBA_STATUS_OK)
        memcpy(adapterName, adapter->name, sizeof adapter->name);
    Log("HBA_GetAdapterName(%u) = %u", adapterIndex, status);
    return status;
}

HBA_HANDLE __cdecl HBA_OpenAdapter(char *adapterName)
{
    TestAdapter *adapter = CurrentAdapter();
    HBA_HANDLE handle = adapter == nullptr ? 0 : adapter->handle;
    Log("HBA_OpenAdapter(\"%.*s\") = %u", (int)strnlen(adapterName, HBA_ADAPTER_NAME_LENGTH), adapterName, handle);
    return handle;
}

void __cdecl HBA_CloseAdapter(HBA_HANDLE handle)
{
    Log("HBA_CloseAdapter(%u)", handle);
}

HBA_STATUS __cdecl HBA_GetAdapterAttributes(HBA_HANDLE handle, HBA_ADAPTERATTRIBUTES *attributes)
{
    TestAdapter *adapter = CurrentAdapter();
    HBA_STATUS status = adapter == nullptr ? HBA_STATUS_ERROR : adapter->attributesStatus;
    if (status == HBA_STATUS_OK)
        *attributes = adapter->attributes;
    Log("HBA_GetAdapterAttributes(%u) = %u", handle, status);
    return status;
}

}  // extern "C"

// Imports that make a test hbaapi.dll depend on other libraries as vendors'
// builds do, compiled into the variants that need them, the helper library one
// of them ships beside it, and the helper that every build loads at run time
// when its behaviour says so. The static imports only have to be there for the
// loader to resolve; nothing calls them.
#include <windows.h>

#if defined(TEST_HBA_HELPER)
// The helper library itself.
extern "C" __declspec(dllexport) int __cdecl HbaHelperReady(void)
{
    return 1;
}
#elif defined(TEST_HBA_PLUGIN)
// The helper every build of the test library can load at run time (hbaplugin.dll).
extern "C" __declspec(dllexport) int __cdecl HbaPluginReady(void)
{
    return 1;
}
#elif defined(TEST_HBA_IMPORTS_HELPER)
// A helper library shipped beside hbaapi.dll.
extern "C" __declspec(dllimport) int __cdecl HbaHelperReady(void);
extern "C" __attribute__((used)) int(__cdecl *const kHelperImport)(void) = HbaHelperReady;
#elif defined(TEST_HBA_IMPORTS_SYSTEM_LIBRARY)
// A system library outside the loader's known ones, as Visual C++'s runtime
// (VCRUNTIME140.dll) is.
extern "C" __attribute__((used)) DWORD(WINAPI *const kSystemLibraryImport)(LPCSTR, LPDWORD) = GetFileVersionInfoSizeA;
#endif

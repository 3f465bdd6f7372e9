// The module version-resource query, over the platform's version APIs.
#include "module_version.h"

#include <stdlib.h>
#include <string.h>

// wsprintfA is the formatter used here; strsafe would otherwise rename it away.
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

// A failure must never read as success: the version APIs do not always set
// the last error (a missing value, for one).
DWORD FailureStatus(DWORD lastError)
{
    return lastError != ERROR_SUCCESS ? lastError : ERROR_RESOURCE_TYPE_NOT_FOUND;
}

struct Translation {
    WORD language;
    WORD codePage;
};

DWORD QueryBlock(const void *block, char *specialBuild, uint32_t specialBuildCapacity, char *languageName,
                 int32_t languageNameCapacity)
{
    Translation *translations = NULL;
    UINT translationsLength = 0;
    if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", (void **)&translations, &translationsLength))
        return FailureStatus(GetLastError());
    if (translationsLength < sizeof(Translation))
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    const Translation first = translations[0];

    // Holds the language's display name, then the SpecialBuild query path.
    char work[80];
    if (languageName != NULL) {
        // A capacity below the work text's, negative ones included, leaves the name out.
        if (VerLanguageNameA(first.language, work, sizeof work) != 0 && languageNameCapacity >= (int32_t)sizeof work)
            StringCchCopyA(languageName, sizeof work, work);
    }

    wsprintfA(work, "\\StringFileInfo\\%04X%04X\\SpecialBuild", first.language, first.codePage);
    if (specialBuild == NULL)
        return GetLastError();

    char *text = NULL;
    UINT length = 0;
    if (!VerQueryValueA(block, work, (void **)&text, &length))
        return FailureStatus(GetLastError());
    if (length >= specialBuildCapacity)
        return SPECIAL_BUILD_TOO_LONG;
    StringCchCopyNA(specialBuild, length + 1, text, length);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD QueryModuleSpecialBuild(const char *moduleName, char *specialBuild, uint32_t specialBuildCapacity,
                              char *languageName, int32_t languageNameCapacity)
{
    const char *name = moduleName;
    DWORD size = GetFileVersionInfoSizeA(name, NULL);
    char extendedName[MAX_PATH];  // moduleName with ".exe" appended
    if (size == 0) {
        if (strstr(moduleName, ".exe") != NULL)
            return FailureStatus(GetLastError());
        if (FAILED(StringCchCopyA(extendedName, sizeof extendedName, moduleName)) ||
            FAILED(StringCchCatA(extendedName, sizeof extendedName, ".exe")))
            return ERROR_FILENAME_EXCED_RANGE;
        name = extendedName;
        size = GetFileVersionInfoSizeA(name, NULL);
        if (size == 0)
            return FailureStatus(GetLastError());
    }

    void *block = calloc(1, size);
    if (block == NULL)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD status;
    if (!GetFileVersionInfoA(name, 0, size, block))
        status = FailureStatus(GetLastError());
    else
        status = QueryBlock(block, specialBuild, specialBuildCapacity, languageName, languageNameCapacity);
    free(block);
    return status;
}

// Reads the SpecialBuild string and the language name of the first translation
// from the version resource of a module (an executable or library file).
#pragma once

#include <windows.h>
#include <stdint.h>

// Status when the SpecialBuild text does not fit into specialBuildCapacity.
#define SPECIAL_BUILD_TOO_LONG 1903

// Looks the module up by moduleName and, if that name has no version resource
// and no ".exe" in it, again with ".exe" appended. Fills languageName (when not
// null and languageNameCapacity is at least 80) with the display name of the
// first translation's language, and specialBuild (when not null) with the
// SpecialBuild text of that translation. Returns:
//   0                       the SpecialBuild text was copied;
//   SPECIAL_BUILD_TOO_LONG  it was found but does not fit, specialBuild untouched;
//   otherwise the thread's last error code. A failure never returns 0: where the
//   last error is 0 it returns ERROR_RESOURCE_TYPE_NOT_FOUND; a Translation value
//   with no entries gives ERROR_RESOURCE_LANG_NOT_FOUND, and a name too long for
//   MAX_PATH once ".exe" is added gives ERROR_FILENAME_EXCED_RANGE. Only with
//   specialBuild null is the last error returned as it is, 0 included.
// languageName may be filled even when a later step fails.
DWORD QueryModuleSpecialBuild(const char *moduleName, char *specialBuild, uint32_t specialBuildCapacity,
                              char *languageName, int32_t languageNameCapacity);

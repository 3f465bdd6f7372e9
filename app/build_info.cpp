// The build number and the build stamp, fixed when this file is compiled.
#include "build_info.h"

const char kBuildNumber[] = "8182156";

#ifdef _WIN64
#define LUMARIS_BITNESS "64-bit"
#else
#define LUMARIS_BITNESS "32-bit"
#endif

// __DATE__ already has the stamp's form: "Mar  4 2025", a space before a single-digit day.
const char *const g_buildStamp = "Build on " __DATE__ " " __TIME__ " (" LUMARIS_BITNESS ")";

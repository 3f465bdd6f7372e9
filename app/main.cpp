// lumaris-hba: prints the kit's build and installed version and the host's Fibre
// Channel adapters; "-v" adds why the inventory could not run and the build stamp.
#include <stdio.h>

#include "app/build_info.h"
#include "app/installed_version.h"
#include "app/report_end.h"
#include "hba/adapter_inventory.h"
#include "hba/diagnostics.h"

namespace {

bool IsVerboseSwitch(const char *argument)
{
    return argument[0] == '-' && (argument[1] == 'v' || argument[1] == 'V') && argument[2] == '\0';
}

}  // namespace

int main(int argc, char **argv)
{
    HandleLibraryFaults();

    // Every argument is looked at; anything but the switch is ignored silently.
    for (int i = 1; i < argc; ++i) {
        if (IsVerboseSwitch(argv[i]))
            g_verbose = true;
    }

    printf("Torvane Lumaris (Build %s): ", kBuildNumber);

    char installedVersion[2048];  // of which the lookup is offered the first 256 bytes
    const DWORD versionCapacity = 256;
    static_assert(versionCapacity <= sizeof installedVersion, "the offered capacity lies within the buffer");
    if (QueryInstalledVersion(installedVersion, versionCapacity) == ERROR_SUCCESS)
        printf("%s\n", installedVersion);
    else
        printf("??\n");

    ReportAdapters();

    FinishReport();
    return 0;
}

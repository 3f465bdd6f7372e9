// Entry of the test programs: they write the registry, so they run only in the
// build tree's own Wine prefix.
#include "wine_host.h"

int main(int argc, char **argv)
{
    return RunTestsInIsolatedPrefix(argc, argv);
}

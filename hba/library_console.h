// Where a vendor's hbaapi.dll finds its console: standard error, so that what
// the library prints itself never lands inside the report.
#pragma once

// From now until the process ends, the standard output handle the process hands
// out (GetStdHandle, and the C runtime of a library loaded from now on) is
// standard error's, or none where standard error is absent or not open. The
// report is unaffected: this program's C runtime bound its stdout at start.
void HandStandardErrorOutToLibrary();

// How every run ends: the normal way, or after a fault inside hbaapi.dll, which
// must not cost the administrator the report printed so far.
#pragma once

// The driver's closing step, on both ends: in verbose mode, an empty line and
// the build stamp.
void FinishReport();

// Called first thing: no error dialog may ever hold the process, and a fault
// inside hbaapi.dll ends the report as a failed inventory would (in verbose mode
// "....Failed in HBA_... err: <exception code>", then FinishReport), with
// everything printed before it written out and exit status 0. A fault in the
// program's own code still ends it with the fault's code, its output written out.
void HandleLibraryFaults();

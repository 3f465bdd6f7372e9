// The adapter inventory: binds to the HBA API at run time and prints one block
// per Fibre Channel adapter whose attributes can be read.
#pragma once

// Prints to standard output; its failures are reported only as text.
void ReportAdapters();

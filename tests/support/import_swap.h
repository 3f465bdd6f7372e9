// Swaps an entry of this test program's own import address table, so that a
// test can make a platform call fail the way Windows may and Wine does not,
// for code linked into the program.
#pragma once

// Points this program's imported dll!function at replacement; returns the
// address it pointed at before (to swap back), or nullptr when there is no such import.
void *SwapImport(const char *dll, const char *function, void *replacement);

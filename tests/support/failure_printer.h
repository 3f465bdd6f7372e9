// GoogleTest's own result printer, except that failures are printed here: the
// printer also hands each failure to OutputDebugStringA, and under Wine on
// qemu-i386 that call crashes the test program, losing every later result.
#pragma once

// Replaces the default result printer of the running test program.
void PrintFailuresWithoutDebugOutput();

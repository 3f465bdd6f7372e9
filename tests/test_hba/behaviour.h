// What the test hbaapi.dll does, as read from a behaviour file: the status of
// HBA_LoadLibrary, the adapter count, and per adapter its name, handle, statuses
// and attribute texts.
#pragma once

#include <string>
#include <vector>

#include "hba/hba_api.h"

struct TestAdapter {
    char name[HBA_ADAPTER_NAME_LENGTH];  // copied as is: may lack a terminator
    HBA_STATUS nameStatus;               // non-zero: HBA_GetAdapterName fails, buffer untouched
    HBA_HANDLE handle;
    HBA_STATUS attributesStatus;         // non-zero: HBA_GetAdapterAttributes fails, record untouched
    HBA_ADAPTERATTRIBUTES attributes;
};

struct TestBehaviour {
    HBA_STATUS loadLibraryStatus;
    HBA_UINT32 adapterCount;  // may differ from adapters.size(), and may be "negative"
    std::vector<TestAdapter> adapters;
};

// Parses the behaviour text; returns false with a reason on a line it cannot read.
//
//   load_library_status=N      status of HBA_LoadLibrary (default 0)
//   adapter_count=N            any 32-bit value (default: the number of [adapter] sections)
//   [adapter]                  starts the next adapter; its handle defaults to its index + 1
//   name=TEXT  name_status=N  handle=N  attributes_status=N
//   Manufacturer=TEXT ... DriverName=TEXT   any text member of HBA_ADAPTERATTRIBUTES
//   full_width=FIELD ...       fill these members (or "name") to their whole width by
//                              repeating their text, leaving no terminator
//   generated_adapters=N       append N plain, readable adapters (for timing at scale)
//   seed=N                     replace everything with GenerateHostileBehaviour(N)
//
// Numbers take C syntax (0x... for hexadecimal). Blank lines and lines starting with '#' are skipped.
bool ParseTestBehaviour(const std::string &text, TestBehaviour *behaviour, std::string *error);

// A behaviour a hostile vendor library might have, drawn from the seed alone (the
// same seed always gives the same behaviour): random statuses from
// HBA_LoadLibrary, HBA_GetAdapterName and HBA_GetAdapterAttributes, a count that
// is mostly 0 to 64 and sometimes has its top bit set, random handles, and the
// name and every text member filled with random non-zero bytes at random
// lengths, full width with no terminator included.
void GenerateHostileBehaviour(HBA_UINT32 seed, TestBehaviour *behaviour);

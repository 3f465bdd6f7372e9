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

// How the library ends the call it faults in.
enum class FaultKind {
    kRaise,          // RaiseException(code)
    kNullWrite,      // a write through a null pointer
    kStackOverflow,  // recursion without end, 4 KiB a frame, until the stack runs out
    kFailFast,       // TerminateProcess of itself with 0xC0000409, as __fastfail ends a process
    kExitProcess,    // ExitProcess(kLibraryExitCode)
    kHideCallerData, // makes the exe's read-only data unreadable and returns as usual:
                     // the exe then faults in its own code
};

// The exit status a library that ends the process itself chooses.
const HBA_UINT32 kLibraryExitCode = 7;
const HBA_UINT32 kFailFastCode = 0xC0000409;

// A fault inside the library.
struct TestFault {
    std::string entryPoint;  // "DllMain" or an HBA_ entry point; "": the library never faults
    HBA_UINT32 adapter;      // for the four entry points that work on one adapter: its index
    FaultKind kind;
    HBA_UINT32 code;         // the code RaiseException raises
    bool onOwnThread;        // the fault happens on a thread the library starts, which the call waits for
};

// The code of a C++ exception as Visual C++ raises it.
const HBA_UINT32 kCxxExceptionCode = 0xE06D7363;
// The exit status of terminate(), through abort(), in Visual C++'s runtime.
const HBA_UINT32 kTerminateExitCode = 3;

// How HBA_LoadLibrary loads a helper library of its own, hbaplugin.dll, as
// vendors' libraries do: through the process's default DLL search either way.
enum class HelperLoad {
    kNone,
    kBareName,  // LoadLibraryA("hbaplugin.dll")
    kDelayed,   // a call through a delayed import, which the delay-load helper resolves
};

// The helper library HBA_LoadLibrary loads, and how the log names where it came from.
const char kHelperLibrary[] = "hbaplugin.dll";

// How the library prints console messages of its own, as vendors' debug builds
// do: "vendor: starting" in HBA_LoadLibrary, "vendor: adapter N" in each
// HBA_GetAdapterAttributes (N its index) and, with handles, "vendor: unloading"
// when the process ends.
enum class ConsoleWrites {
    kNone,
    kHandles,        // the first through the standard output handle taken in DllMain, as
                     // a Visual C++ runtime takes it when it starts; the others through
                     // GetStdHandle(STD_OUTPUT_HANDLE) at the moment they are written
    kSharedRuntime,  // through the stdout of msvcrt.dll, the C runtime the tool uses too
};

struct TestBehaviour {
    HBA_STATUS loadLibraryStatus;
    HBA_UINT32 adapterCount;  // may differ from adapters.size(), and may be "negative"
    std::vector<TestAdapter> adapters;
    TestFault fault;
    // Puts in a top-level exception filter while the library loads, as Visual
    // C++ 2005-2013's static runtime does: a C++ exception ends the process
    // through terminate(), anything else goes on to the filter there before.
    bool runtimeFilter;
    HelperLoad helperLoad;
    ConsoleWrites console;
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
//   fault=ENTRY_POINT          fault in this entry point (or in DllMain, while the library loads)
//   fault_adapter=N            ... only when it works on adapter N (name, open, attributes,
//                              close; default 0); the other entry points fault on their first call
//   fault_code=N | write | overflow | fastfail | exit | hide-caller-data
//                              RaiseException(N, 0, 0, NULL), or another FaultKind
//   fault_thread=1             ... on a thread of the library's own, which the call waits for
//   runtime_filter=1           put in a runtime's top-level filter while loading (see runtimeFilter)
//   helper=bare | delayed      HBA_LoadLibrary loads hbaplugin.dll (see HelperLoad) and logs
//                              "HBA_LoadLibrary: hbaplugin.dll <how>: <where from>", where is
//                              "beside the exe", "in the system folder", "from <folder>" or
//                              "not loaded (<error>)"; a delayed import that cannot be
//                              resolved raises the delay-load helper's exception instead
//   console=handles | shared-runtime
//                              the library prints console messages (see ConsoleWrites)
//   seed=N                     replace everything with GenerateHostileBehaviour(N)
//
// Numbers take C syntax (0x... for hexadecimal). Blank lines and lines starting with '#' are skipped.
bool ParseTestBehaviour(const std::string &text, TestBehaviour *behaviour, std::string *error);

// The eight entry points the tool binds, in the order it resolves them.
extern const char *const kHbaEntryPoints[8];

// Whether the library faults in this call: entryPoint, working on adapterIndex
// where it works on one adapter.
bool FaultsIn(const TestBehaviour &behaviour, const std::string &entryPoint, size_t adapterIndex);

// A behaviour a hostile vendor library might have, drawn from the seed alone (the
// same seed always gives the same behaviour): random statuses from
// HBA_LoadLibrary, HBA_GetAdapterName and HBA_GetAdapterAttributes, a count that
// is mostly 0 to 64 and sometimes has its top bit set, random handles, and the
// name and every text member filled with random non-zero bytes at random
// lengths, full width with no terminator included; now and then a raised fault
// with a common exception code in a random call.
void GenerateHostileBehaviour(HBA_UINT32 seed, TestBehaviour *behaviour);

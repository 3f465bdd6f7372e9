// Runs the real exe against the test hbaapi.dll in its hostile mode over a fixed
// list of seeds, some of which make the library raise a fault in some call. For
// every seed: exit status 0, an empty stderr, the banner line first (whatever
// version the registry holds: the sweep leaves the registry to the tests that
// write it, so it can run beside them), then exactly the adapter blocks of the
// adapters whose attributes the library reported as read, up to its fault, each
// value bounded by its field and made of the bytes the library wrote there, or
// the one "Error loading library" line; and exactly the calls into the library,
// with their arguments, that the seed's behaviour implies, ending at its fault.
#include <gtest/gtest.h>

#include <string.h>

#include "tests/support/tool_host.h"
#include "tests/test_hba/behaviour.h"

namespace {

const int kSeedCount = 300;

std::string Bounded(const char *text, size_t width)
{
    return std::string(text, strnlen(text, width));
}

#define FIELD_TEXT(member) Bounded(attributes.member, sizeof attributes.member)

// What the report must say after its banner, and what the library must log,
// given what the library does: every call the tool makes, in order, up to the
// library's fault, if it faults on the way (the report then just ends there:
// the sweep runs without "-v").
void ExpectedRun(const TestBehaviour &behaviour, std::string *report, std::string *log)
{
    *report = *log = "";
    // Logs call (with its result, or as the fault) and says whether it returned.
    auto call = [&](const char *entryPoint, size_t index, const std::string &arguments, const std::string &result) {
        if (FaultsIn(behaviour, entryPoint, index)) {
            *log += entryPoint + arguments + " faults\n";
            return false;
        }
        *log += entryPoint + arguments + result + "\n";
        return true;
    };
    if (!call("HBA_LoadLibrary", 0, "()", " = " + std::to_string(behaviour.loadLibraryStatus)))
        return;
    if (behaviour.loadLibraryStatus == HBA_STATUS_ERROR) {
        *report = "Error loading library.  Exitting...\n";
        return;
    }
    if (!call("HBA_GetNumberOfAdapters", 0, "()", " = " + std::to_string(behaviour.adapterCount)) ||
        !call("HBA_GetVersion", 0, "()", " = 2"))
        return;
    std::string name;  // the tool's name buffer: empty at first, kept when a fetch fails
    const int count = (int)behaviour.adapterCount;
    for (int index = 0; index < count; ++index) {
        const TestAdapter *adapter = (size_t)index < behaviour.adapters.size() ? &behaviour.adapters[index] : nullptr;
        const HBA_STATUS nameStatus = adapter != nullptr ? adapter->nameStatus : HBA_STATUS_ERROR;
        const HBA_HANDLE handle = adapter != nullptr ? adapter->handle : 0;
        const HBA_STATUS attributesStatus = adapter != nullptr ? adapter->attributesStatus : HBA_STATUS_ERROR;
        const std::string onHandle = "(" + std::to_string(handle) + ")";
        if (!call("HBA_GetAdapterName", index, "(" + std::to_string(index) + ")", " = " + std::to_string(nameStatus)))
            return;
        if (nameStatus == HBA_STATUS_OK)
            name = Bounded(adapter->name, sizeof adapter->name);
        if (!call("HBA_OpenAdapter", index, "(\"" + name + "\")", " = " + std::to_string(handle)) ||
            !call("HBA_GetAdapterAttributes", index, onHandle, " = " + std::to_string(attributesStatus)))
            return;
        if (attributesStatus == HBA_STATUS_OK) {
            const HBA_ADAPTERATTRIBUTES &attributes = adapter->attributes;
            *report += "\nHBA " + name + ":\n\tManufacturer: " + FIELD_TEXT(Manufacturer) + "\n\tModel: " +
                       FIELD_TEXT(Model) + "\n\tModel Description: " + FIELD_TEXT(ModelDescription) +
                       "\n\tFirmware: " + FIELD_TEXT(FirmwareVersion) + "\n\tDriver (" + FIELD_TEXT(DriverName) +
                       "): " + FIELD_TEXT(DriverVersion) + "\n\tHardware version: " + FIELD_TEXT(HardwareVersion) +
                       "\n\tSerialNumber: " + FIELD_TEXT(SerialNumber) + "\n";
        }
        if (!call("HBA_CloseAdapter", index, onHandle, ""))
            return;
    }
    if (count >= 1)
        call("HBA_FreeLibrary", 0, "()", " = 0");
}

#undef FIELD_TEXT

class HostileLibraryTest : public testing::TestWithParam<int> {};

TEST_P(HostileLibraryTest, ReportStaysWhole)
{
    const HBA_UINT32 seed = (HBA_UINT32)GetParam();
    SCOPED_TRACE("seed " + std::to_string(seed) + "; rerun alone with --gtest_filter=Sweep/HostileLibraryTest." +
                 "ReportStaysWhole/Seed" + std::to_string(seed));
    TestBehaviour behaviour;
    GenerateHostileBehaviour(seed, &behaviour);

    ToolRun run;
    std::string error;
    // A folder per test process: shards of the sweep run side by side.
    const std::string host = "hostile-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(RunToolOnHost({host, "complete", "seed=" + std::to_string(seed) + "\n"}, {}, &run, &error))
        << error;
    EXPECT_EQ(0u, run.program.exitCode);
    EXPECT_EQ("", run.program.standardError);
    const std::string banner = "Torvane Lumaris (Build 8182156): ";
    ASSERT_EQ(banner, run.program.standardOutput.substr(0, banner.size()));
    const size_t bannerEnd = run.program.standardOutput.find("\r\n");
    ASSERT_NE(std::string::npos, bannerEnd);
    const std::string inventory = run.program.standardOutput.substr(bannerEnd + 2);
    std::string expectedInventory, expectedLog;
    ExpectedRun(behaviour, &expectedInventory, &expectedLog);
    EXPECT_TRUE(WithCrLf(expectedInventory) == inventory) << "the inventory differs from the library's data";
    EXPECT_TRUE(expectedLog == run.callLog) << "the calls into the library differ from those its behaviour implies";
}

INSTANTIATE_TEST_SUITE_P(Sweep, HostileLibraryTest, testing::Range(1, kSeedCount + 1),
                         [](const testing::TestParamInfo<int> &info) { return "Seed" + std::to_string(info.param); });

}  // namespace

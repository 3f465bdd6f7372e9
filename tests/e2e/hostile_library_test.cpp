// Runs the real exe against the test hbaapi.dll in its hostile mode over a fixed
// list of seeds, some of which make the library raise a fault in some call. For
// every seed: exit status 0, an empty stderr, the banner line first (whatever
// version the registry holds: the sweep leaves the registry to the tests that
// write it, so it can run beside them), then exactly the adapter blocks of the
// adapters whose attributes the library reported as read, up to its fault, each
// value bounded by its field and made of the bytes the library wrote there, or
// the one "Error loading library" line; and the library's calls end at its fault.
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

// What the report must say after its banner, given what the library does, and
// whether the library faults on the way (the report then just ends there: the
// sweep runs without "-v").
std::string ExpectedInventory(const TestBehaviour &behaviour, bool *faults)
{
    *faults = true;
    if (FaultsIn(behaviour, "HBA_LoadLibrary", 0))
        return "";
    if (behaviour.loadLibraryStatus == HBA_STATUS_ERROR) {
        *faults = false;
        return "Error loading library.  Exitting...\n";
    }
    if (FaultsIn(behaviour, "HBA_GetNumberOfAdapters", 0) || FaultsIn(behaviour, "HBA_GetVersion", 0))
        return "";
    std::string report;
    std::string name;  // the tool's name buffer: empty at first, kept when a fetch fails
    const int count = (int)behaviour.adapterCount;
    for (int index = 0; index < count; ++index) {
        if (FaultsIn(behaviour, "HBA_GetAdapterName", index) || FaultsIn(behaviour, "HBA_OpenAdapter", index) ||
            FaultsIn(behaviour, "HBA_GetAdapterAttributes", index))
            return report;
        const TestAdapter *adapter = (size_t)index < behaviour.adapters.size() ? &behaviour.adapters[index] : nullptr;
        if (adapter != nullptr && adapter->nameStatus == HBA_STATUS_OK)
            name = Bounded(adapter->name, sizeof adapter->name);
        if (adapter != nullptr && adapter->attributesStatus == HBA_STATUS_OK) {
            const HBA_ADAPTERATTRIBUTES &attributes = adapter->attributes;
            report += "\nHBA " + name + ":\n\tManufacturer: " + FIELD_TEXT(Manufacturer) + "\n\tModel: " +
                      FIELD_TEXT(Model) + "\n\tModel Description: " + FIELD_TEXT(ModelDescription) +
                      "\n\tFirmware: " + FIELD_TEXT(FirmwareVersion) + "\n\tDriver (" + FIELD_TEXT(DriverName) +
                      "): " + FIELD_TEXT(DriverVersion) + "\n\tHardware version: " + FIELD_TEXT(HardwareVersion) +
                      "\n\tSerialNumber: " + FIELD_TEXT(SerialNumber) + "\n";
        }
        if (FaultsIn(behaviour, "HBA_CloseAdapter", index))
            return report;
    }
    *faults = count >= 1 && FaultsIn(behaviour, "HBA_FreeLibrary", 0);
    return report;
}

#undef FIELD_TEXT

size_t CountOccurrences(const std::string &text, const std::string &part)
{
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

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
    bool faults;
    EXPECT_TRUE(WithCrLf(ExpectedInventory(behaviour, &faults)) == inventory)
        << "the inventory differs from the library's data";
    const std::string faultMark = " faults\n";
    const bool logEndsInFault = run.callLog.size() >= faultMark.size() &&
                                run.callLog.compare(run.callLog.size() - faultMark.size(), faultMark.size(), faultMark) == 0;
    EXPECT_EQ(faults, logEndsInFault) << "the library's calls must end at its fault, and only there";
    EXPECT_EQ(CountOccurrences(run.callLog, ") = 0\nHBA_CloseAdapter("), CountOccurrences(inventory, "\r\n\tSerialNumber: "))
        << "blocks printed differ from the attributes the library reported as read";
}

INSTANTIATE_TEST_SUITE_P(Sweep, HostileLibraryTest, testing::Range(1, kSeedCount + 1),
                         [](const testing::TestParamInfo<int> &info) { return "Seed" + std::to_string(info.param); });

}  // namespace

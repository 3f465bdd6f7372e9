// Drives a copy of lumaris-hba.exe from outside, as an administrator would run
// it: per case the arguments, the registry, the hbaapi.dll beside the exe and
// what that library does, against the exact report, the library's call log,
// an empty stderr and exit status 0.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <regex>
#include <tuple>

#include "tests/support/tool_host.h"
#include "tests/test_hba/behaviour.h"

namespace {

const char kBanner[] = "Torvane Lumaris (Build 8182156): ";
const char kStampMark[] = "{stamp}";  // stands for the build stamp in an expected report
const char kNotFound126[] = "....Failed to load hbaapi.dll err: 126 (0x7e)\n";

struct RegistryState {
    enum Kind { kNoKey, kKeyOnly, kValue } kind;
    RegistryView view;
    DWORD type;
    std::string data;
};

const RegistryState kNoKey = {RegistryState::kNoKey, RegistryView::kOwn, REG_NONE, ""};
const RegistryState kInstalled = {RegistryState::kValue, RegistryView::kOwn, REG_SZ, std::string("8.0.0.0", 8)};

struct ReportCase {
    std::string title;
    std::vector<std::string> arguments;
    RegistryState registry;
    std::string library;  // test library variant placed beside the exe as hbaapi.dll; "": none
    std::string behaviour;
    std::string expectedReport;  // "\n" line ends; kStampMark where the build stamp stands
    std::string expectedLog;     // the library's call log; "" when it is never called
    std::string workingDirectoryLibrary = "";  // variant planted where the tool is started; "": none
    std::string pathLibrary = "";              // variant planted in a folder on PATH; "": none
    std::string systemLibrary = "";            // variant placed in the system folder; "": none
    DWORD expectedExit = 0;                    // what a library that ends the process chose, or a fault's code
    std::string expectedStandardError = "";    // what the library printed itself; the tool prints nothing there
    ChildStreams streams = {};
};

// Failure messages name the case rather than dump its bytes.
void PrintTo(const ReportCase &c, std::ostream *out)
{
    *out << c.title;
}

// The administrator's guide, copied beside this program by the build: every
// diagnostic line a row expects must have its entry in the guide's
// troubleshooting table, with entry-point names and codes generalised, and its
// code must be listed there as "<decimal> (0x<hex>)".
void ExpectDiagnosticsInGuide(const std::string &expectedReport)
{
    static const std::string guide = ReadWholeFile(DirectoryOfThisProgram() + "\\guide.txt");
    ASSERT_FALSE(guide.empty()) << "no guide.txt beside the test program";
    const std::regex diagnostic("(\\.\\.\\.\\..* err: )(-?[0-9]+ \\(0x[0-9a-f]+\\))|\\.\\.\\.\\..*|Error loading library.*");
    std::istringstream lines(expectedReport);
    for (std::string line; std::getline(lines, line);) {
        std::smatch parts;
        if (!std::regex_match(line, parts, diagnostic))
            continue;
        const std::string entry =
            std::regex_replace(parts[1].matched ? parts[1].str() : line, std::regex("HBA_[A-Za-z]+"), "<entry point>");
        EXPECT_NE(std::string::npos, guide.find(entry)) << "the guide has no entry for: " << entry;
        if (parts[2].matched) {
            EXPECT_NE(std::string::npos, guide.find(parts[2].str())) << "the guide does not list " << parts[2];
        }
    }
}

void ExpectReport(const std::string &expected, const std::string &actual)
{
    ExpectDiagnosticsInGuide(expected);
    const std::string wanted = WithCrLf(expected);
    size_t mark = wanted.find(kStampMark);
    if (mark == std::string::npos) {
        EXPECT_EQ(wanted, actual);
        return;
    }
    const std::string before = wanted.substr(0, mark);
    const std::string after = wanted.substr(mark + strlen(kStampMark));
    ASSERT_GE(actual.size(), before.size() + after.size()) << actual;
    EXPECT_EQ(before, actual.substr(0, before.size()));
    EXPECT_EQ(after, actual.substr(actual.size() - after.size()));
    const std::string stamp = actual.substr(before.size(), actual.size() - before.size() - after.size());
    EXPECT_TRUE(std::regex_match(stamp, std::regex("Build on (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                                   "[ 123][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9] "
                                                   "\\(32-bit\\)")))
        << "stamp: [" << stamp << "]";
}

void ApplyRegistry(const RegistryState &state)
{
    RemoveProductKey();
    if (state.kind == RegistryState::kKeyOnly) {
        ASSERT_TRUE(CreateProductKey(state.view));
    }
    if (state.kind == RegistryState::kValue) {
        ASSERT_TRUE(WriteVersionValue(state.view, state.type, state.data));
    }
}

class ReportTest : public testing::TestWithParam<ReportCase> {
protected:
    void TearDown() override { RemoveProductKey(); }
};

TEST_P(ReportTest, PrintsExactReport)
{
    const ReportCase &c = GetParam();
    ApplyRegistry(c.registry);
    ToolRun run;
    std::string error;
    const ToolHost host = {c.title,         c.library, c.behaviour, c.workingDirectoryLibrary, c.pathLibrary,
                           c.systemLibrary, true,      c.streams};
    ASSERT_TRUE(RunToolOnHost(host, c.arguments, &run, &error)) << error;

    EXPECT_EQ(c.expectedExit, run.program.exitCode) << std::hex << "0x" << run.program.exitCode;
    EXPECT_EQ(c.expectedStandardError, run.program.standardError);
    ExpectReport(c.expectedReport, run.program.standardOutput);
    EXPECT_EQ(c.expectedLog, run.callLog);
}

std::string CaseName(const testing::TestParamInfo<ReportCase> &info)
{
    return info.param.title;
}

// --- The switch: matched whole, in either case, anywhere; nothing else counts. ---

ReportCase SwitchCase(const std::string &title, std::vector<std::string> arguments, bool verbose)
{
    std::string report = std::string(kBanner) + "??\n";
    if (verbose)
        report += std::string(kNotFound126) + "\n" + kStampMark + "\n";
    return {title, arguments, kNoKey, "", "", report, ""};
}

INSTANTIATE_TEST_SUITE_P(
    Switch, ReportTest,
    testing::Values(SwitchCase("NoArguments", {}, false), SwitchCase("LowerV", {"-v"}, true),
                    SwitchCase("UpperV", {"-V"}, true), SwitchCase("AfterOtherArguments", {"report", "/x", "-v"}, true),
                    SwitchCase("Repeated", {"-v", "-V", "-v"}, true), SwitchCase("Verbose", {"-verbose"}, false),
                    SwitchCase("Slash", {"/v"}, false), SwitchCase("DoubleDash", {"--v"}, false),
                    SwitchCase("BareV", {"v"}, false), SwitchCase("DashOnly", {"-"}, false),
                    SwitchCase("Empty", {""}, false), SwitchCase("Spaced", {"-v "}, false)),
    CaseName);

// --- The installed version on the banner line. ---

ReportCase VersionCase(const std::string &title, RegistryState registry, const std::string &shown)
{
    return {title, {}, registry, "", "", std::string(kBanner) + shown + "\n", ""};
}

RegistryState StringValue(const std::string &text)
{
    return {RegistryState::kValue, RegistryView::kOwn, REG_SZ, text + '\0'};
}

RegistryState RawValue(DWORD type, const std::string &bytes)
{
    return {RegistryState::kValue, RegistryView::kOwn, type, bytes};
}

INSTANTIATE_TEST_SUITE_P(
    InstalledVersion, ReportTest,
    testing::Values(
        VersionCase("Recorded", StringValue("8.0.0.0"), "8.0.0.0"), VersionCase("KeyMissing", kNoKey, "??"),
        VersionCase("ValueMissing", {RegistryState::kKeyOnly, RegistryView::kOwn, REG_NONE, ""}, "??"),
        VersionCase("Empty", StringValue(""), ""),
        VersionCase("Longest", StringValue(std::string(255, '7')), std::string(255, '7')),
        VersionCase("OneTooLong", StringValue(std::string(256, '7')), "??"),
        // The tool is 32-bit: it reads WOW6432Node, never the 64-bit view.
        VersionCase("Only64BitView", {RegistryState::kValue, RegistryView::k64Bit, REG_SZ, std::string("9.9", 4)},
                    "??"),
        VersionCase("ExpandString", RawValue(REG_EXPAND_SZ, std::string("8.1.0.2", 8)), "8.1.0.2"),
        // Data without a terminator prints exactly the bytes stored, nothing after them.
        VersionCase("BinaryUnterminated", RawValue(REG_BINARY, "8.2.0.1"), "8.2.0.1"),
        VersionCase("BinaryUnterminatedLongest", RawValue(REG_BINARY, std::string(255, 'b')), std::string(255, 'b')),
        VersionCase("BinaryUnterminatedFull", RawValue(REG_BINARY, std::string(256, 'b')), "??"),
        VersionCase("BinaryEmpty", RawValue(REG_BINARY, ""), ""),
        VersionCase("DwordValue", RawValue(REG_DWORD, std::string("8.3\0", 4)), "8.3"),
        VersionCase("EmbeddedTerminator", RawValue(REG_BINARY, std::string("8.4\0junk", 8)), "8.4")),
    CaseName);

// --- The binding: each step that can fail, silent unless verbose. ---

std::vector<ReportCase> MissingEntryPointCases()
{
    std::vector<ReportCase> cases;
    for (const char *entryPoint : kHbaEntryPoints) {
        for (bool verbose : {false, true}) {
            std::string title = std::string(verbose ? "VerboseWithout" : "Without") + (entryPoint + 4);
            std::string library = std::string("without-") + entryPoint;
            std::string report = std::string(kBanner) + "8.0.0.0\n";
            if (verbose)
                report += std::string("....Failed to GetProcAddress for ") + entryPoint + " err: 127 (0x7f)\n\n" +
                          kStampMark + "\n";
            // HBA_LoadLibrary is called once it is found, before the rest are looked up.
            std::string log = strcmp(entryPoint, "HBA_LoadLibrary") == 0 ? "" : "HBA_LoadLibrary() = 0\n";
            std::vector<std::string> arguments;
            if (verbose)
                arguments.push_back("-v");
            cases.push_back({title, arguments, kInstalled, library, "", report, log});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(MissingEntryPoint, ReportTest, testing::ValuesIn(MissingEntryPointCases()), CaseName);

struct AdapterTexts {
    std::string name, manufacturer, model, description, firmware, driverName, driverVersion, hardware, serial;
};

const AdapterTexts kPort0 = {"cf-port0", "Corvel Networks", "CF-3200", "Corvel 32Gb dual-port FC HBA", "2.10.4",
                             "cfhba", "9.1.7.0", "HW-B2", "CVL19283746"};
const AdapterTexts kPort1 = {"cf-port1", "Corvel Networks", "CF-3200", "Corvel 32Gb dual-port FC HBA", "2.10.4",
                             "cfhba", "9.1.7.0", "HW-B2", "CVL19283747"};
const AdapterTexts kPort2 = {"ax-port0", "Axiom Fabric", "AX16", "Axiom 16Gb FC HBA", "7.2", "axfc", "3.0",
                             "r1", "AXF000042"};

std::string Section(const AdapterTexts &a, const std::string &extra = "")
{
    return "[adapter]\nname=" + a.name + "\nManufacturer=" + a.manufacturer + "\nModel=" + a.model +
           "\nModelDescription=" + a.description + "\nFirmwareVersion=" + a.firmware + "\nDriverName=" +
           a.driverName + "\nDriverVersion=" + a.driverVersion + "\nHardwareVersion=" + a.hardware +
           "\nSerialNumber=" + a.serial + "\nNodeSymbolicName=never printed\nOptionROMVersion=never printed\n" +
           extra;
}

std::string Block(const AdapterTexts &a)
{
    return "\nHBA " + a.name + ":\n\tManufacturer: " + a.manufacturer + "\n\tModel: " + a.model +
           "\n\tModel Description: " + a.description + "\n\tFirmware: " + a.firmware + "\n\tDriver (" +
           a.driverName + "): " + a.driverVersion + "\n\tHardware version: " + a.hardware +
           "\n\tSerialNumber: " + a.serial + "\n";
}

// A block with only a name and a manufacturer, every other member empty.
std::string Block(const std::string &name, const std::string &manufacturer)
{
    return Block({name, manufacturer, "", "", "", "", "", "", ""});
}

const char kTwoAdapters[] = "[adapter]\nname=alpha\nManufacturer=M1\n[adapter]\nname=beta\nManufacturer=M2\n";


std::string AdapterCalls(unsigned index, const std::string &name, unsigned handle, unsigned attributesStatus,
                         unsigned nameStatus = 0)
{
    return "HBA_GetAdapterName(" + std::to_string(index) + ") = " + std::to_string(nameStatus) +
           "\nHBA_OpenAdapter(\"" + name + "\") = " + std::to_string(handle) + "\nHBA_GetAdapterAttributes(" +
           std::to_string(handle) + ") = " + std::to_string(attributesStatus) + "\nHBA_CloseAdapter(" +
           std::to_string(handle) + ")\n";
}

const std::string kOpening = "HBA_LoadLibrary() = 0\nHBA_GetNumberOfAdapters() = ";
const std::string kVersionCall = "HBA_GetVersion() = 2\n";
const std::string kFreeCall = "HBA_FreeLibrary() = 0\n";

INSTANTIATE_TEST_SUITE_P(
    Binding, ReportTest,
    testing::Values(
        ReportCase{"LibraryAbsent", {}, kInstalled, "", "", std::string(kBanner) + "8.0.0.0\n", ""},
        ReportCase{"LibraryAbsentVerbose", {"-v"}, kInstalled, "", "",
                   std::string(kBanner) + "8.0.0.0\n" + kNotFound126 + "\n" + kStampMark + "\n", ""},
        ReportCase{"LoadLibraryError", {}, kInstalled, "complete", std::string("load_library_status=1\n") + kTwoAdapters,
                   std::string(kBanner) + "8.0.0.0\nError loading library.  Exitting...\n", "HBA_LoadLibrary() = 1\n"},
        ReportCase{"LoadLibraryErrorVerbose", {"-v"}, kInstalled, "complete", "load_library_status=1\n",
                   std::string(kBanner) + "8.0.0.0\nError loading library.  Exitting...\n\n" + kStampMark + "\n",
                   "HBA_LoadLibrary() = 1\n"},
        // Only HBA_STATUS_ERROR stops the binding; any other status goes on.
        ReportCase{"LoadLibraryOtherStatus", {}, kInstalled, "complete", std::string("load_library_status=2\n") + kTwoAdapters,
                   std::string(kBanner) + "8.0.0.0\n" + Block("alpha", "M1") + Block("beta", "M2"),
                   "HBA_LoadLibrary() = 2\nHBA_GetNumberOfAdapters() = 2\n" + kVersionCall +
                       AdapterCalls(0, "alpha", 1, 0) + AdapterCalls(1, "beta", 2, 0) + kFreeCall},
        ReportCase{"LoadLibraryStatusAllOnes", {}, kInstalled, "complete", "load_library_status=0xFFFFFFFF\n",
                   std::string(kBanner) + "8.0.0.0\n", "HBA_LoadLibrary() = 4294967295\nHBA_GetNumberOfAdapters() = 0\n" + kVersionCall}),
    CaseName);

// --- The inventory: which adapters are printed, how, and the calls behind them. ---

std::string Repeat(const std::string &text, size_t width)
{
    std::string filled;
    while (filled.size() < width)
        filled += text[filled.size() % text.size()];
    return filled;
}

// Every printed member filled to its whole width, with no terminator.
const AdapterTexts kFullWidth = {Repeat("n", 256),  Repeat("m", 64),  Repeat("d", 256), Repeat("e", 256),
                                 Repeat("f", 256), Repeat("k", 256), Repeat("v", 256), Repeat("h", 256),
                                 Repeat("s", 64)};

const std::string kInstalledBanner = std::string(kBanner) + "8.0.0.0\n";

std::string Opening(const std::string &count)
{
    return kOpening + count + "\n" + kVersionCall;
}

INSTANTIATE_TEST_SUITE_P(
    Inventory, ReportTest,
    testing::Values(
        ReportCase{"TwoAdapters", {}, kInstalled, "complete", Section(kPort0) + Section(kPort1),
                   kInstalledBanner + Block(kPort0) + Block(kPort1),
                   Opening("2") + AdapterCalls(0, "cf-port0", 1, 0) + AdapterCalls(1, "cf-port1", 2, 0) + kFreeCall},
        ReportCase{"TwoAdaptersVerbose", {"-V"}, kNoKey, "complete", Section(kPort0) + Section(kPort1),
                   std::string(kBanner) + "??\n" + Block(kPort0) + Block(kPort1) + "\n" + kStampMark + "\n",
                   Opening("2") + AdapterCalls(0, "cf-port0", 1, 0) + AdapterCalls(1, "cf-port1", 2, 0) + kFreeCall},
        ReportCase{"CountZero", {"-v"}, kInstalled, "complete", "",
                   kInstalledBanner + "\n" + kStampMark + "\n", Opening("0")},
        ReportCase{"CountNegative", {}, kInstalled, "complete", "adapter_count=0xFFFFFFFF\n" + Section(kPort0),
                   kInstalledBanner, Opening("4294967295")},
        ReportCase{"CountTopBit", {}, kInstalled, "complete", "adapter_count=0x80000000\n" + Section(kPort0),
                   kInstalledBanner, Opening("2147483648")},
        ReportCase{"SecondOfThreeUnreadable", {}, kInstalled, "complete",
                   Section(kPort0) + Section(kPort1, "attributes_status=1\n") + Section(kPort2),
                   kInstalledBanner + Block(kPort0) + Block(kPort2),
                   Opening("3") + AdapterCalls(0, "cf-port0", 1, 0) + AdapterCalls(1, "cf-port1", 2, 1) +
                       AdapterCalls(2, "ax-port0", 3, 0) + kFreeCall},
        ReportCase{"AttributesOtherStatusVerbose", {"-v"}, kInstalled, "complete",
                   Section(kPort0, "attributes_status=5\n") + Section(kPort1),
                   kInstalledBanner + Block(kPort1) + "\n" + kStampMark + "\n",
                   Opening("2") + AdapterCalls(0, "cf-port0", 1, 5) + AdapterCalls(1, "cf-port1", 2, 0) + kFreeCall},
        ReportCase{"AllUnreadable", {}, kInstalled, "complete",
                   Section(kPort0, "attributes_status=1\n") + Section(kPort1, "attributes_status=1\n"),
                   kInstalledBanner,
                   Opening("2") + AdapterCalls(0, "cf-port0", 1, 1) + AdapterCalls(1, "cf-port1", 2, 1) + kFreeCall},
        // A failing first name fetch leaves the buffer empty, never undefined.
        ReportCase{"FirstNameFails", {}, kInstalled, "complete", Section(kPort0, "name_status=1\n"),
                   kInstalledBanner + Block({"", kPort0.manufacturer, kPort0.model, kPort0.description,
                                             kPort0.firmware, kPort0.driverName, kPort0.driverVersion,
                                             kPort0.hardware, kPort0.serial}),
                   Opening("1") + AdapterCalls(0, "", 1, 0, 1) + kFreeCall},
        // A later failing fetch passes on, and prints, the name left from before.
        ReportCase{"LaterNameFails", {}, kInstalled, "complete", Section(kPort0) + Section(kPort2, "name_status=7\n"),
                   kInstalledBanner + Block(kPort0) +
                       Block({kPort0.name, kPort2.manufacturer, kPort2.model, kPort2.description, kPort2.firmware,
                              kPort2.driverName, kPort2.driverVersion, kPort2.hardware, kPort2.serial}),
                   Opening("2") + AdapterCalls(0, "cf-port0", 1, 0) + AdapterCalls(1, "cf-port0", 2, 0, 7) + kFreeCall},
        ReportCase{"HandleZero", {}, kInstalled, "complete", Section(kPort0, "handle=0\n"),
                   kInstalledBanner + Block(kPort0), Opening("1") + AdapterCalls(0, "cf-port0", 0, 0) + kFreeCall},
        ReportCase{"CountBeyondAdapters", {}, kInstalled, "complete", "adapter_count=2\n" + Section(kPort0),
                   kInstalledBanner + Block(kPort0),
                   Opening("2") + AdapterCalls(0, "cf-port0", 1, 0) + AdapterCalls(1, "cf-port0", 0, 1, 1) + kFreeCall},
        ReportCase{"FullWidthTexts", {}, kInstalled, "complete",
                   "[adapter]\nname=n\nManufacturer=m\nSerialNumber=s\nModel=d\nModelDescription=e\n"
                   "FirmwareVersion=f\nDriverName=k\nDriverVersion=v\nHardwareVersion=h\nNodeSymbolicName=NEXT\n"
                   "OptionROMVersion=NEXT\nfull_width=name Manufacturer SerialNumber Model ModelDescription "
                   "FirmwareVersion DriverName DriverVersion HardwareVersion\n",
                   kInstalledBanner + Block(kFullWidth),
                   Opening("1") + AdapterCalls(0, kFullWidth.name, 1, 0) + kFreeCall},
        // A member filled to its width must not run on into the member after it.
        ReportCase{"FullWidthBesideText", {}, kInstalled, "complete",
                   Section({"p", "", "M", "D", "F", "K", "V", "H", "serial-after"},
                           "Manufacturer=x\nfull_width=Manufacturer\n"),
                   kInstalledBanner + Block({"p", Repeat("x", 64), "M", "D", "F", "K", "V", "H", "serial-after"}),
                   Opening("1") + AdapterCalls(0, "p", 1, 0) + kFreeCall}),
    CaseName);

// Two names filled to their whole width: each must reach HBA_OpenAdapter
// terminated, since libraries read it as a C string (the test library does).
INSTANTIATE_TEST_SUITE_P(
    NameTermination, ReportTest,
    testing::Values(ReportCase{
        "FullWidthNames", {}, kInstalled, "complete",
        "[adapter]\nname=a\nManufacturer=M1\nfull_width=name\n[adapter]\nname=b\nManufacturer=M2\nfull_width=name\n",
        kInstalledBanner + Block(Repeat("a", 256), "M1") + Block(Repeat("b", 256), "M2"),
        Opening("2") + AdapterCalls(0, Repeat("a", 256), 1, 0) + AdapterCalls(1, Repeat("b", 256), 2, 0) + kFreeCall}),
    CaseName);

// --- What the library prints itself goes to stderr, whole and in order; the report stays the report. ---

// The library's console messages (console=handles) over the adapters of these indexes.
std::string VendorMessages(std::initializer_list<int> adapters)
{
    std::string said = "vendor: starting\r\n";
    for (int index : adapters)
        said += "vendor: adapter " + std::to_string(index) + "\r\n";
    return said + "vendor: unloading\r\n";
}

std::vector<ReportCase> VendorConsoleCases()
{
    const std::string twoPorts = Section(kPort0) + Section(kPort1);
    const std::string report = kInstalledBanner + Block(kPort0) + Block(kPort1);
    const std::string stamp = "\n" + std::string(kStampMark) + "\n";
    const std::string log = Opening("2") + AdapterCalls(0, "cf-port0", 1, 0) + AdapterCalls(1, "cf-port1", 2, 0) + kFreeCall;
    const std::string said = VendorMessages({0, 1});
    ChildStreams pipe, noError, errorNotOpen;
    pipe.outputToPipe = true;
    noError.error = ChildStreams::kNone;
    errorNotOpen.error = ChildStreams::kNotOpen;
    const std::string handles = "console=handles\n";
    std::vector<ReportCase> cases = {
        {"VendorConsole", {}, kInstalled, "complete", twoPorts + handles, report, log, "", "", "", 0, said},
        {"VendorConsoleVerbose", {"-v"}, kInstalled, "complete", twoPorts + handles, report + stamp, log, "", "", "", 0,
         said},
        {"VendorConsoleSkippedAdapter", {}, kInstalled, "complete",
         Section(kPort0) + Section(kPort1, "attributes_status=1\n") + Section(kPort2) + handles,
         kInstalledBanner + Block(kPort0) + Block(kPort2),
         Opening("3") + AdapterCalls(0, "cf-port0", 1, 0) + AdapterCalls(1, "cf-port1", 2, 1) +
             AdapterCalls(2, "ax-port0", 3, 0) + kFreeCall,
         "", "", "", 0, VendorMessages({0, 1, 2})},
        {"VendorConsoleToPipe", {}, kInstalled, "complete", twoPorts + handles, report, log, "", "", "", 0, said, pipe},
        {"VendorConsoleVerboseToPipe", {"-v"}, kInstalled, "complete", twoPorts + handles, report + stamp, log, "", "",
         "", 0, said, pipe},
        // Without a standard error the library's messages go nowhere.
        {"VendorConsoleNoStandardError", {"-v"}, kInstalled, "complete", twoPorts + handles, report + stamp, log, "",
         "", "", 0, "", noError},
        {"VendorConsoleStandardErrorNotOpen", {"-v"}, kInstalled, "complete", twoPorts + handles, report + stamp, log,
         "", "", "", 0, "", errorNotOpen},
        // A library on the tool's own C runtime (msvcrt.dll) prints into the
        // report's own stream: its lines stand in the report where they were printed.
        {"VendorConsoleOnSharedRuntimeVerbose", {"-v"}, kInstalled, "complete", twoPorts + "console=shared-runtime\n",
         kInstalledBanner + "vendor: starting\nvendor: adapter 0\n" + Block(kPort0) + "vendor: adapter 1\n" +
             Block(kPort1) + stamp,
         log},
    };
    return cases;
}

INSTANTIATE_TEST_SUITE_P(VendorConsole, ReportTest, testing::ValuesIn(VendorConsoleCases()), CaseName);

// Variants that lack every entry point from one onward: the line names the first
// of them in the fixed order, so any other order of the lookups shows.
std::vector<ReportCase> LookupOrderCases()
{
    std::vector<ReportCase> cases;
    for (size_t first = 1; first + 1 < std::size(kHbaEntryPoints); ++first) {
        const std::string entryPoint = kHbaEntryPoints[first];
        cases.push_back({"VerboseWithoutFrom" + entryPoint.substr(4), {"-v"}, kInstalled, "without-from-" + entryPoint,
                         "",
                         kInstalledBanner + "....Failed to GetProcAddress for " + entryPoint + " err: 127 (0x7f)\n\n" +
                             kStampMark + "\n",
                         "HBA_LoadLibrary() = 0\n"});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(LookupOrder, ReportTest, testing::ValuesIn(LookupOrderCases()), CaseName);

// --- Where hbaapi.dll is looked for: beside the exe and in the system folder only. ---

std::string Hex(DWORD code)
{
    char text[16];
    snprintf(text, sizeof text, "0x%x", (unsigned)code);
    return text;
}

const char kHelperNotFound[] = "not loaded (126)";
// What MinGW's delay-load helper raises, as Visual C++'s does, for a library it cannot load.
const DWORD kDelayLoadModuleNotFound = 0xC06D007E;

// During HBA_LoadLibrary the library loads its own helper, hbaplugin.dll, as
// `how` says ("bare": by bare name, "delayed": through a delayed import); it
// must come from `origin`, or, with kHelperNotFound, from nowhere: an unresolved
// delayed import then raises, and ends the report as a fault in the library does.
ReportCase HelperCase(const std::string &title, const std::string &how, const std::string &library,
                      const std::string &origin)
{
    const bool delayed = how == "delayed";
    std::string report = kInstalledBanner;
    std::string log = delayed ? "HBA_LoadLibrary: calls hbaplugin.dll through a delayed import\n" : "";
    if (delayed && origin == kHelperNotFound)
        report += "....Failed in HBA_LoadLibrary err: " + std::to_string((int)kDelayLoadModuleNotFound) + " (" +
                  Hex(kDelayLoadModuleNotFound) + ")\n";
    else
        log += std::string("HBA_LoadLibrary: hbaplugin.dll ") + (delayed ? "delay-loaded: " : "by bare name: ") +
               origin + "\n" + Opening("0");
    return {title, {"-v"}, kInstalled, library, "helper=" + how + "\n", report + "\n" + kStampMark + "\n", log};
}

std::string HelperTitle(const std::string &how, const std::string &where)
{
    return std::string("Verbose") + (how == "bare" ? "BareNameHelper" : "DelayedHelper") + where;
}

std::vector<ReportCase> LibrarySearchCases()
{
    std::vector<ReportCase> cases;
    for (bool verbose : {false, true}) {
        const std::string prefix = verbose ? "Verbose" : "";
        const std::vector<std::string> arguments = verbose ? std::vector<std::string>{"-v"} : std::vector<std::string>{};
        const std::string absent = kInstalledBanner + (verbose ? std::string(kNotFound126) + "\n" + kStampMark + "\n" : "");
        // A planted library is never loaded, so it never logs a call.
        cases.push_back({prefix + "PlantedInWorkingDirectory", arguments, kInstalled, "", kTwoAdapters, absent, "",
                         "complete", ""});
        cases.push_back({prefix + "PlantedOnPath", arguments, kInstalled, "", kTwoAdapters, absent, "", "", "complete"});
        cases.push_back({prefix + "PlantedInBoth", arguments, kInstalled, "", kTwoAdapters, absent, "", "complete",
                         "complete"});
        // The planted copies lack HBA_LoadLibrary: had either been loaded, the
        // report would end at once, and in verbose mode say so.
        cases.push_back({prefix + "BesideExeWinsOverPlanted", arguments, kInstalled, "complete", Section(kPort0),
                         kInstalledBanner + Block(kPort0) + (verbose ? "\n" + std::string(kStampMark) + "\n" : ""),
                         Opening("1") + AdapterCalls(0, "cf-port0", 1, 0) + kFreeCall, "without-HBA_LoadLibrary",
                         "without-HBA_LoadLibrary"});
    }
    // What the library loads itself comes from beside the exe (or the system
    // folder, in the rows below), never from the working directory or PATH.
    for (const char *how : {"bare", "delayed"}) {
        ReportCase inWorkingDirectory = HelperCase(HelperTitle(how, "InWorkingDirectory"), how, "complete",
                                                   kHelperNotFound);
        inWorkingDirectory.workingDirectoryLibrary = "plugin";
        cases.push_back(inWorkingDirectory);
        ReportCase onPath = HelperCase(HelperTitle(how, "OnPath"), how, "complete", kHelperNotFound);
        onPath.pathLibrary = "plugin";
        cases.push_back(onPath);
        cases.push_back(HelperCase(HelperTitle(how, "BesideExe"), how, "with-plugin", "beside the exe"));
    }
    // Built as vendors build theirs: a copy beside the exe finds its dependencies
    // in the system folder, or beside it.
    for (const char *variant : {"with-system-dependency", "with-helper"}) {
        cases.push_back({std::string("VerboseBesideExe") + (variant[5] == 's' ? "WithSystemDependency" : "WithHelper"),
                         {"-v"}, kInstalled, variant, Section(kPort0),
                         kInstalledBanner + Block(kPort0) + "\n" + kStampMark + "\n",
                         Opening("1") + AdapterCalls(0, "cf-port0", 1, 0) + kFreeCall});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(LibrarySearch, ReportTest, testing::ValuesIn(LibrarySearchCases()), CaseName);

// The system folder's copy comes first; the exe's folder only where the system
// has none (the rows without a system copy above). These place a library where
// every run in the Wine prefix finds it: ctest runs them in a prefix of their own.
std::vector<ReportCase> SystemFolderCases()
{
    std::vector<ReportCase> cases;
    for (bool verbose : {false, true}) {
        const std::string prefix = verbose ? "Verbose" : "";
        const std::vector<std::string> arguments = verbose ? std::vector<std::string>{"-v"} : std::vector<std::string>{};
        const std::string report = kInstalledBanner + Block(kPort0) + (verbose ? "\n" + std::string(kStampMark) + "\n" : "");
        const std::string log = Opening("1") + AdapterCalls(0, "cf-port0", 1, 0) + kFreeCall;
        ReportCase only = {prefix + "SystemFolderOnly", arguments, kInstalled, "", Section(kPort0), report, log};
        only.systemLibrary = "complete";
        cases.push_back(only);
        // The copy beside the exe lacks HBA_LoadLibrary: had it been loaded, the
        // report would end at once, and in verbose mode say so.
        ReportCase wins = {prefix + "SystemFolderWinsOverBesideExe", arguments, kInstalled, "without-HBA_LoadLibrary",
                           Section(kPort0), report, log};
        wins.systemLibrary = "complete";
        cases.push_back(wins);
    }
    ReportCase dependent = {"VerboseSystemFolderWithSystemDependency", {"-v"}, kInstalled, "", Section(kPort0),
                            kInstalledBanner + Block(kPort0) + "\n" + kStampMark + "\n",
                            Opening("1") + AdapterCalls(0, "cf-port0", 1, 0) + kFreeCall};
    dependent.systemLibrary = "with-system-dependency";
    cases.push_back(dependent);
    // A system copy that fails to load is reported as it is: the copy beside the
    // exe is not tried (it would log a second load).
    ReportCase failing = {"VerboseSystemFolderCopyFailsToLoad", {"-v"}, kInstalled, "complete",
                          "fault=DllMain\nfault_code=0xC0000005\n",
                          kInstalledBanner + "....Failed to load hbaapi.dll err: 998 (0x3e6)\n\n" + kStampMark + "\n",
                          "DllMain(DLL_PROCESS_ATTACH) faults\n"};
    failing.systemLibrary = "complete";
    cases.push_back(failing);
    // The library's own helper from the system folder; and from beside the exe
    // when a copy lies in every place the search might look.
    for (const char *how : {"bare", "delayed"}) {
        ReportCase inSystemFolder = HelperCase(HelperTitle(how, "InSystemFolder"), how, "complete", "in the system folder");
        inSystemFolder.systemLibrary = "plugin";
        cases.push_back(inSystemFolder);
        ReportCase everywhere = HelperCase(HelperTitle(how, "Everywhere"), how, "with-plugin", "beside the exe");
        everywhere.workingDirectoryLibrary = everywhere.pathLibrary = everywhere.systemLibrary = "plugin";
        cases.push_back(everywhere);
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(SystemFolder, ReportTest, testing::ValuesIn(SystemFolderCases()), CaseName);

// --- A fault inside the library: the report printed so far stays, and ends as usual. ---

// One call into the library on a normal run over kPort0 and kPort1: the call as
// the library logs it, what it logs as the result, and the block printed after it.
struct LibraryCall {
    std::string call, result, printedAfter;
};

const std::vector<LibraryCall> kTwoPortCalls = {
    {"HBA_LoadLibrary()", " = 0", ""},
    {"HBA_GetNumberOfAdapters()", " = 2", ""},
    {"HBA_GetVersion()", " = 2", ""},
    {"HBA_GetAdapterName(0)", " = 0", ""},
    {"HBA_OpenAdapter(\"cf-port0\")", " = 1", ""},
    {"HBA_GetAdapterAttributes(1)", " = 0", Block(kPort0)},
    {"HBA_CloseAdapter(1)", "", ""},
    {"HBA_GetAdapterName(1)", " = 0", ""},
    {"HBA_OpenAdapter(\"cf-port1\")", " = 2", ""},
    {"HBA_GetAdapterAttributes(2)", " = 0", Block(kPort1)},
    {"HBA_CloseAdapter(2)", "", ""},
    {"HBA_FreeLibrary()", " = 0", ""},
};

// The library faults in call number faulting of kTwoPortCalls, the way `how`
// says (a fault_code of the test library), which reaches the tool as code.
ReportCase FaultCase(size_t faulting, const std::string &how, DWORD code, bool verbose)
{
    const LibraryCall &fault = kTwoPortCalls[faulting];
    const std::string entryPoint = fault.call.substr(0, fault.call.find('('));
    const bool onAdapter1 = faulting > 6 && faulting < 11;
    const std::string kind = how == "write"      ? "Hardware"
                             : how == "overflow" ? "RealOverflow"
                             : how == "fastfail" ? "FailFast"
                             : how == "exit"     ? "ExitProcess"
                                                 : "Raised" + Hex(code).substr(2);
    std::string title = std::string(verbose ? "Verbose" : "") + "FaultIn" + entryPoint.substr(4) +
                        (faulting > 2 && faulting < 11 ? (onAdapter1 ? "OfAdapter1" : "OfAdapter0") : "") + kind;
    std::string behaviour = Section(kPort0) + Section(kPort1) + "fault=" + entryPoint +
                            "\nfault_adapter=" + (onAdapter1 ? "1" : "0") + "\nfault_code=" + how + "\n";
    std::string report = kInstalledBanner, log;
    for (size_t i = 0; i < faulting; ++i) {
        log += kTwoPortCalls[i].call + kTwoPortCalls[i].result + "\n";
        report += kTwoPortCalls[i].printedAfter;
    }
    log += fault.call + " faults\n";
    if (verbose)
        report += "....Failed in " + entryPoint + " err: " + std::to_string((int)code) + " (" + Hex(code) + ")\n\n" +
                  kStampMark + "\n";
    std::vector<std::string> arguments;
    if (verbose)
        arguments.push_back("-v");
    return {title, arguments, kInstalled, "complete", behaviour, report, log};
}

// The library ends the whole process in call number ending, where no handler
// of the tool runs: what was printed before the call is all there is, and the
// exit status is the library's.
ReportCase LibraryEndsProcessCase(size_t ending, const std::string &how, DWORD exitCode, bool verbose)
{
    ReportCase c = FaultCase(ending, how, 0, verbose);
    c.expectedReport = kInstalledBanner;
    for (size_t i = 0; i < ending; ++i)
        c.expectedReport += kTwoPortCalls[i].printedAfter;
    c.expectedExit = exitCode;
    return c;
}

const DWORD kAccessViolation = 0xC0000005;
const DWORD kStackOverflow = 0xC00000FD;

// The code a hardware fault reaches the program with: under CPU emulation
// (qemu-i386) every one arrives as an illegal instruction.
DWORD HardwareFaultCode(DWORD native)
{
    return UnderCpuEmulation() ? 0xC000001D : native;
}

std::vector<ReportCase> LibraryFaultCases()
{
    std::vector<ReportCase> cases;
    // Every call into the library, the first adapter's and a later one's, raising an access violation.
    for (size_t faulting = 0; faulting < kTwoPortCalls.size(); ++faulting) {
        for (bool verbose : {false, true})
            cases.push_back(FaultCase(faulting, "0xC0000005", kAccessViolation, verbose));
    }
    // Other codes as a library raises them: division by zero, stack overflow, a C++ exception.
    for (DWORD code : {(DWORD)0xC0000094, kStackOverflow, (DWORD)0xE06D7363})
        cases.push_back(FaultCase(9, Hex(code), code, true));
    // A real write through a null pointer.
    cases.push_back(FaultCase(9, "write", HardwareFaultCode(kAccessViolation), true));
    cases.push_back(FaultCase(1, "write", HardwareFaultCode(kAccessViolation), false));
    // A real stack overflow: the faulting stack has next to nothing left, so the
    // report must be closed on another.
    for (bool verbose : {false, true})
        cases.push_back(FaultCase(9, "overflow", HardwareFaultCode(kStackOverflow), verbose));
    // A library that ends the process itself: a fail-fast (as __fastfail ends a
    // process) right after a block is printed and in HBA_FreeLibrary, or
    // ExitProcess. Windows would lose whatever still sat in the stdout buffer of
    // a file or a pipe; Wine writes every printf through, so these rows show the
    // report is whole only as far as Wine can (check_flush_before_library_calls.sh
    // shows the flush itself).
    cases.push_back(LibraryEndsProcessCase(6, "fastfail", kFailFastCode, true));
    cases.push_back(LibraryEndsProcessCase(10, "fastfail", kFailFastCode, false));
    cases.push_back(LibraryEndsProcessCase(11, "fastfail", kFailFastCode, true));
    cases.push_back(LibraryEndsProcessCase(6, "exit", kLibraryExitCode, false));
    cases.push_back(LibraryEndsProcessCase(11, "exit", kLibraryExitCode, true));
    // The fault ends the report the same way whatever the library did before it:
    // its runtime put in a top-level filter of its own (which would end the
    // process on a C++ exception), or it faults on a thread of its own.
    for (const auto &[code, setting, suffix] :
         {std::tuple((DWORD)kCxxExceptionCode, "runtime_filter=1\n", "UnderRuntimeFilter"),
          std::tuple(kAccessViolation, "runtime_filter=1\n", "UnderRuntimeFilter"),
          std::tuple(kAccessViolation, "fault_thread=1\n", "OnLibraryThread")}) {
        ReportCase c = FaultCase(9, Hex(code), code, true);
        c.title += suffix;
        c.behaviour += setting;
        cases.push_back(c);
    }
    // A fault while the library loads: Wine's loader catches it and fails the
    // load with ERROR_NOACCESS; the report goes on as without a library.
    cases.push_back({"VerboseFaultInDllMain", {"-v"}, kInstalled, "complete",
                     "fault=DllMain\nfault_code=0xC0000005\n",
                     kInstalledBanner + "....Failed to load hbaapi.dll err: 998 (0x3e6)\n\n" + kStampMark + "\n",
                     "DllMain(DLL_PROCESS_ATTACH) faults\n"});
    // A fault in the tool's own code is not dressed up as success: the library
    // hides the exe's read-only data in HBA_FreeLibrary, and the build stamp is
    // read from there next. No fault line, no stamp, and the fault's own code.
    ReportCase ownFault = FaultCase(11, "hide-caller-data", 0, true);
    ownFault.title = "VerboseOwnCodeFaultAfterFreeLibrary";
    ownFault.expectedReport = kInstalledBanner + Block(kPort0) + Block(kPort1);
    ownFault.expectedLog += "HBA_FreeLibrary() = 0\n";
    ownFault.expectedExit = HardwareFaultCode(kAccessViolation);
    cases.push_back(ownFault);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(LibraryFault, ReportTest, testing::ValuesIn(LibraryFaultCases()), CaseName);

}  // namespace

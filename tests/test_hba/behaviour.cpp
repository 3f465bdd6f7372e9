// Reads the test library's behaviour file format.
#include "behaviour.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <iterator>


namespace {

struct TextField {
    const char *key;
    size_t offset;
    size_t width;
};

#define TEXT_FIELD(member) \
    { #member, offsetof(HBA_ADAPTERATTRIBUTES, member), sizeof(((HBA_ADAPTERATTRIBUTES *)0)->member) }

const TextField kTextFields[] = {
    TEXT_FIELD(Manufacturer),     TEXT_FIELD(SerialNumber),    TEXT_FIELD(Model),
    TEXT_FIELD(ModelDescription), TEXT_FIELD(NodeSymbolicName), TEXT_FIELD(HardwareVersion),
    TEXT_FIELD(DriverVersion),    TEXT_FIELD(OptionROMVersion), TEXT_FIELD(FirmwareVersion),
    TEXT_FIELD(DriverName),
};

#undef TEXT_FIELD

// Where a member's (or the name's) text lives in an adapter, and how wide it is.
bool FindField(TestAdapter &adapter, const std::string &key, char **storage, size_t *width)
{
    if (key == "name") {
        *storage = adapter.name;
        *width = sizeof adapter.name;
        return true;
    }
    for (const TextField &field : kTextFields) {
        if (key == field.key) {
            *storage = (char *)&adapter.attributes + field.offset;
            *width = field.width;
            return true;
        }
    }
    return false;
}

bool ParseNumber(const std::string &value, HBA_UINT32 *number)
{
    if (value.empty())
        return false;
    char *end = nullptr;
    *number = (HBA_UINT32)strtoul(value.c_str(), &end, 0);
    return *end == '\0';
}

void SetText(char *storage, size_t width, const std::string &value)
{
    memset(storage, 0, width);
    memcpy(storage, value.data(), value.size() < width ? value.size() : width - 1);
}

void FillToWidth(char *storage, size_t width)
{
    size_t length = strnlen(storage, width);
    if (length == 0) {
        storage[0] = 'X';
        length = 1;
    }
    for (size_t i = length; i < width; ++i)
        storage[i] = storage[i % length];
}

// No iostreams here: their locale set-up would cost every run of the test
// library a third of a second when Wine runs under CPU emulation.
std::vector<std::string> SplitOn(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    if (start < text.size())
        parts.push_back(text.substr(start));
    return parts;
}

bool ApplyAdapterKey(TestAdapter &adapter, const std::string &key, const std::string &value)
{
    if (key == "name_status")
        return ParseNumber(value, &adapter.nameStatus);
    if (key == "handle")
        return ParseNumber(value, &adapter.handle);
    if (key == "attributes_status")
        return ParseNumber(value, &adapter.attributesStatus);
    char *storage;
    size_t width;
    if (key == "full_width") {
        for (const std::string &name : SplitOn(value, ' ')) {
            if (name.empty())
                continue;
            if (!FindField(adapter, name, &storage, &width))
                return false;
            FillToWidth(storage, width);
        }
        return true;
    }
    if (!FindField(adapter, key, &storage, &width))
        return false;
    SetText(storage, width, value);
    return true;
}

// xorshift32: small, and the same on every platform.
struct Random {
    HBA_UINT32 state;
    HBA_UINT32 Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    HBA_UINT32 Below(HBA_UINT32 bound) { return Next() % bound; }
};

void FillRandomText(Random &random, char *storage, size_t width)
{
    memset(storage, 0, width);
    size_t length = random.Below(4) == 0 ? width : random.Below((HBA_UINT32)width + 1);
    for (size_t i = 0; i < length; ++i)
        storage[i] = (char)(1 + random.Below(255));
}

HBA_STATUS RandomStatus(Random &random, HBA_UINT32 failOneIn)
{
    if (random.Below(failOneIn) != 0)
        return HBA_STATUS_OK;
    return random.Below(2) == 0 ? HBA_STATUS_ERROR : random.Next();
}

TestAdapter PlainAdapter(size_t index)
{
    TestAdapter adapter;
    memset(&adapter, 0, sizeof adapter);
    adapter.handle = (HBA_HANDLE)index + 1;
    snprintf(adapter.name, sizeof adapter.name, "cf-port%u", (unsigned)index);
    SetText(adapter.attributes.Manufacturer, sizeof adapter.attributes.Manufacturer, "Corvel Networks");
    SetText(adapter.attributes.Model, sizeof adapter.attributes.Model, "CF-3200");
    SetText(adapter.attributes.ModelDescription, sizeof adapter.attributes.ModelDescription,
            "Corvel 32Gb dual-port Fibre Channel HBA");
    SetText(adapter.attributes.FirmwareVersion, sizeof adapter.attributes.FirmwareVersion, "2.10.4");
    SetText(adapter.attributes.DriverName, sizeof adapter.attributes.DriverName, "cfhba.sys");
    SetText(adapter.attributes.DriverVersion, sizeof adapter.attributes.DriverVersion, "9.1.7.0");
    SetText(adapter.attributes.HardwareVersion, sizeof adapter.attributes.HardwareVersion, "B2");
    snprintf(adapter.attributes.SerialNumber, sizeof adapter.attributes.SerialNumber, "CVL%08u", (unsigned)index);
    return adapter;
}

bool WorksOnOneAdapter(const std::string &entryPoint)
{
    return entryPoint == "HBA_GetAdapterName" || entryPoint == "HBA_OpenAdapter" || entryPoint == "HBA_CloseAdapter" ||
           entryPoint == "HBA_GetAdapterAttributes";
}

bool IsFaultPlace(const std::string &entryPoint)
{
    if (entryPoint == "DllMain")
        return true;
    for (const char *known : kHbaEntryPoints) {
        if (entryPoint == known)
            return true;
    }
    return false;
}

bool ParseFaultCode(const std::string &value, TestFault *fault)
{
    static const struct {
        const char *name;
        FaultKind kind;
    } kKinds[] = {{"write", FaultKind::kNullWrite},   {"overflow", FaultKind::kStackOverflow},
                  {"fastfail", FaultKind::kFailFast}, {"exit", FaultKind::kExitProcess},
                  {"hide-caller-data", FaultKind::kHideCallerData}};
    for (const auto &known : kKinds) {
        if (value == known.name) {
            fault->kind = known.kind;
            return true;
        }
    }
    fault->kind = FaultKind::kRaise;
    return ParseNumber(value, &fault->code);
}

}  // namespace

const char *const kHbaEntryPoints[8] = {"HBA_LoadLibrary",    "HBA_GetVersion",  "HBA_FreeLibrary",
                                        "HBA_GetNumberOfAdapters", "HBA_GetAdapterName", "HBA_OpenAdapter",
                                        "HBA_CloseAdapter",   "HBA_GetAdapterAttributes"};

bool FaultsIn(const TestBehaviour &behaviour, const std::string &entryPoint, size_t adapterIndex)
{
    const TestFault &fault = behaviour.fault;
    return fault.entryPoint == entryPoint && (!WorksOnOneAdapter(entryPoint) || fault.adapter == adapterIndex);
}

void GenerateHostileBehaviour(HBA_UINT32 seed, TestBehaviour *behaviour)
{
    Random random = {seed * 2654435761u + 1};  // never the all-zero state
    behaviour->loadLibraryStatus = RandomStatus(random, 3);
    behaviour->adapters.clear();
    size_t adapters = random.Below(65);
    behaviour->adapterCount = random.Below(16) == 0 ? 0x80000000u | random.Next() : (HBA_UINT32)adapters;
    for (size_t i = 0; i < adapters; ++i) {
        TestAdapter adapter;
        memset(&adapter, 0, sizeof adapter);
        adapter.nameStatus = RandomStatus(random, 6);
        adapter.handle = random.Below(8) == 0 ? 0 : random.Next();
        adapter.attributesStatus = RandomStatus(random, 5);
        FillRandomText(random, adapter.name, sizeof adapter.name);
        for (const TextField &field : kTextFields)
            FillRandomText(random, (char *)&adapter.attributes + field.offset, field.width);
        behaviour->adapters.push_back(adapter);
    }
    // Drawn last, so that every other draw stays what it was before faults were drawn.
    static const HBA_UINT32 kCodes[] = {0xC0000005, 0xC0000094, 0xC00000FD, 0xC000001D, 0xC0000096,
                                        0xC000008C, 0xC0000374, 0xE06D7363, 0x80000003};
    behaviour->fault = TestFault();
    if (random.Below(8) == 0) {
        behaviour->fault.entryPoint = kHbaEntryPoints[random.Below(std::size(kHbaEntryPoints))];
        behaviour->fault.adapter = random.Below((HBA_UINT32)adapters + 1);
        behaviour->fault.code = kCodes[random.Below(std::size(kCodes))];
    }
}

bool ParseTestBehaviour(const std::string &text, TestBehaviour *behaviour, std::string *error)
{
    behaviour->loadLibraryStatus = HBA_STATUS_OK;
    behaviour->adapters.clear();
    behaviour->fault = TestFault();
    behaviour->runtimeFilter = false;
    behaviour->helperLoad = HelperLoad::kNone;
    behaviour->console = ConsoleWrites::kNone;
    bool countGiven = false;

    const std::vector<std::string> lines = SplitOn(text, '\n');
    for (size_t index = 0; index < lines.size(); ++index) {
        std::string line = lines[index];
        const size_t number = index + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line == "[adapter]") {
            TestAdapter adapter;
            memset(&adapter, 0, sizeof adapter);
            adapter.handle = (HBA_HANDLE)behaviour->adapters.size() + 1;
            behaviour->adapters.push_back(adapter);
            continue;
        }
        size_t equals = line.find('=');
        std::string key = line.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        bool understood;
        if (equals == std::string::npos)
            understood = false;
        else if (key == "load_library_status")
            understood = ParseNumber(value, &behaviour->loadLibraryStatus);
        else if (key == "adapter_count")
            understood = countGiven = ParseNumber(value, &behaviour->adapterCount);
        else if (key == "fault")
            understood = IsFaultPlace(behaviour->fault.entryPoint = value);
        else if (key == "fault_adapter")
            understood = ParseNumber(value, &behaviour->fault.adapter);
        else if (key == "fault_code")
            understood = ParseFaultCode(value, &behaviour->fault);
        else if (key == "fault_thread" || key == "runtime_filter") {
            HBA_UINT32 on = 0;
            understood = ParseNumber(value, &on);
            (key == "fault_thread" ? behaviour->fault.onOwnThread : behaviour->runtimeFilter) = on != 0;
        } else if (key == "helper") {
            understood = value == "bare" || value == "delayed";
            behaviour->helperLoad = value == "bare" ? HelperLoad::kBareName : HelperLoad::kDelayed;
        } else if (key == "console") {
            understood = value == "handles" || value == "shared-runtime";
            behaviour->console = value == "handles" ? ConsoleWrites::kHandles : ConsoleWrites::kSharedRuntime;
        } else if (key == "seed") {
            HBA_UINT32 seed;
            if (!ParseNumber(value, &seed))
                understood = false;
            else {
                GenerateHostileBehaviour(seed, behaviour);
                return true;
            }
        } else if (key == "generated_adapters") {
            HBA_UINT32 count;
            understood = ParseNumber(value, &count);
            for (HBA_UINT32 i = 0; understood && i < count; ++i)
                behaviour->adapters.push_back(PlainAdapter(behaviour->adapters.size()));
        }
        else
            understood = !behaviour->adapters.empty() && ApplyAdapterKey(behaviour->adapters.back(), key, value);
        if (!understood) {
            *error = "line " + std::to_string(number) + " not understood: " + line;
            return false;
        }
    }
    if (!countGiven)
        behaviour->adapterCount = (HBA_UINT32)behaviour->adapters.size();
    return true;
}

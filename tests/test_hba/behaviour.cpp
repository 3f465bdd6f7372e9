// Reads the test library's behaviour file format.
#include "behaviour.h"

#include <stdlib.h>
#include <string.h>

#include <sstream>

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
        std::istringstream names(value);
        std::string name;
        while (names >> name) {
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

}  // namespace

bool ParseTestBehaviour(const std::string &text, TestBehaviour *behaviour, std::string *error)
{
    behaviour->loadLibraryStatus = HBA_STATUS_OK;
    behaviour->adapters.clear();
    bool countGiven = false;

    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
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

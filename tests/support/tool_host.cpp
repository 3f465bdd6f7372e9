// Host folders for runs of the real exe beside a test hbaapi.dll.
#include "tool_host.h"

namespace {

// Copies a test library variant into folder as hbaapi.dll; "" copies nothing.
bool PlaceLibrary(const std::string &bin, const std::string &variant, const std::string &folder,
                  std::string *error)
{
    if (variant.empty())
        return true;
    const std::string dll = bin + "\\test-hba\\" + variant + "\\hbaapi.dll";
    if (!CopyFileA(dll.c_str(), (folder + "\\hbaapi.dll").c_str(), FALSE)) {
        *error = "cannot copy " + dll + " into " + folder;
        return false;
    }
    return true;
}

std::string SystemFolder()
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

}  // namespace

bool RunToolOnHost(const ToolHost &host, const std::vector<std::string> &arguments, ToolRun *run,
                   std::string *error)
{
    const std::string bin = DirectoryOfThisProgram();
    const std::string hosts = bin + "\\e2e-hosts";
    const std::string folder = hosts + "\\" + host.name;
    const std::string workingDirectory = folder + "\\working-directory";
    const std::string onPath = folder + "\\on-path";
    CreateDirectoryA(hosts.c_str(), NULL);
    for (const std::string &directory : {folder, workingDirectory, onPath}) {
        if (!MakeEmptyDirectory(directory)) {
            *error = "cannot make " + directory;
            return false;
        }
    }
    if (!CopyFileA((bin + "\\lumaris-hba.exe").c_str(), (folder + "\\lumaris-hba.exe").c_str(), FALSE)) {
        *error = "cannot copy the exe into " + folder;
        return false;
    }
    if (!PlaceLibrary(bin, host.library, folder, error) ||
        !PlaceLibrary(bin, host.workingDirectoryLibrary, workingDirectory, error) ||
        !PlaceLibrary(bin, host.pathLibrary, onPath, error))
        return false;
    const std::string systemCopy = SystemFolder() + "\\hbaapi.dll";
    if (!host.systemLibrary.empty()) {
        if (GetEnvironmentVariableA("LUMARIS_SYSTEM_FOLDER_OURS", NULL, 0) == 0) {
            *error = "refusing to place hbaapi.dll in the system folder of a Wine prefix that other tests share";
            return false;
        }
        if (!PlaceLibrary(bin, host.systemLibrary, SystemFolder(), error))
            return false;
    }

    const std::string behaviourPath = folder + "\\behaviour.txt";
    const std::string logPath = folder + "\\calls.log";
    if (!WriteWholeFile(behaviourPath, host.behaviour)) {
        *error = "cannot write " + behaviourPath;
        return false;
    }
    std::vector<std::string> environment = {"LUMARIS_TEST_HBA_BEHAVIOUR=" + behaviourPath,
                                            std::string("LUMARIS_TEST_HBA_LOG=") + (host.withCallLog ? logPath : "")};
    if (!host.pathLibrary.empty()) {
        char path[32768];
        DWORD length = GetEnvironmentVariableA("PATH", path, sizeof path);
        environment.push_back("PATH=" + onPath + ";" + std::string(path, length < sizeof path ? length : 0));
    }
    const std::string startIn = host.workingDirectoryLibrary.empty() ? folder : workingDirectory;
    const bool ran = RunProgram(folder + "\\lumaris-hba.exe", arguments, startIn, environment, &run->program, error);
    if (!host.systemLibrary.empty() && !DeleteFileA(systemCopy.c_str())) {
        *error = "cannot remove " + systemCopy;
        return false;
    }
    if (!ran)
        return false;
    run->callLog = ReadWholeFile(logPath);
    return true;
}

std::string WithCrLf(const std::string &text)
{
    std::string converted;
    for (char c : text) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    return converted;
}

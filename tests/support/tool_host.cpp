// Host folders for runs of the real exe beside a test hbaapi.dll.
#include "tool_host.h"

namespace {

// Copies a test library variant into folder: its hbaapi.dll and any helper
// library shipped beside it, adding each copy's path to placed unless it is
// NULL; "" copies nothing.
bool PlaceLibrary(const std::string &bin, const std::string &variant, const std::string &folder,
                  std::vector<std::string> *placed, std::string *error)
{
    if (variant.empty())
        return true;
    const std::string variantFolder = bin + "\\test-hba\\" + variant;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((variantFolder + "\\*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *error = "no test library in " + variantFolder;
        return false;
    }
    bool copied = true;
    do {
        const std::string copy = folder + "\\" + found.cFileName;
        copied = CopyFileA((variantFolder + "\\" + found.cFileName).c_str(), copy.c_str(), FALSE);
        if (!copied)
            *error = "cannot copy " + variantFolder + "\\" + found.cFileName + " into " + folder;
        else if (placed != NULL)
            placed->push_back(copy);
    } while (copied && FindNextFileA(search, &found));
    FindClose(search);
    return copied;
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
    std::vector<std::string> systemCopies;
    if (!PlaceLibrary(bin, host.library, folder, NULL, error) ||
        !PlaceLibrary(bin, host.workingDirectoryLibrary, workingDirectory, NULL, error) ||
        !PlaceLibrary(bin, host.pathLibrary, onPath, NULL, error))
        return false;
    if (!host.systemLibrary.empty()) {
        if (GetEnvironmentVariableA("LUMARIS_SYSTEM_FOLDER_OURS", NULL, 0) == 0) {
            *error = "refusing to place hbaapi.dll in the system folder of a Wine prefix that other tests share";
            return false;
        }
        const bool placedAll = PlaceLibrary(bin, host.systemLibrary, SystemFolder(), &systemCopies, error);
        if (!placedAll) {
            for (const std::string &copy : systemCopies)
                DeleteFileA(copy.c_str());
            return false;
        }
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
    const bool ran = RunProgram(folder + "\\lumaris-hba.exe", arguments, startIn, environment, &run->program, error,
                                 host.streams);
    for (const std::string &copy : systemCopies) {
        if (!DeleteFileA(copy.c_str())) {
            *error = "cannot remove " + copy;
            return false;
        }
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

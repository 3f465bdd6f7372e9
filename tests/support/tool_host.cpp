// Host folders for runs of the real exe beside a test hbaapi.dll.
#include "tool_host.h"

bool RunToolOnHost(const std::string &hostName, const std::string &library, const std::string &behaviour,
                   const std::vector<std::string> &arguments, ToolRun *run, std::string *error, bool withCallLog)
{
    const std::string bin = DirectoryOfThisProgram();
    const std::string hosts = bin + "\\e2e-hosts";
    const std::string host = hosts + "\\" + hostName;
    CreateDirectoryA(hosts.c_str(), NULL);
    if (!MakeEmptyDirectory(host)) {
        *error = "cannot make " + host;
        return false;
    }
    if (!CopyFileA((bin + "\\lumaris-hba.exe").c_str(), (host + "\\lumaris-hba.exe").c_str(), FALSE)) {
        *error = "cannot copy the exe into " + host;
        return false;
    }
    if (!library.empty()) {
        const std::string dll = bin + "\\test-hba\\" + library + "\\hbaapi.dll";
        if (!CopyFileA(dll.c_str(), (host + "\\hbaapi.dll").c_str(), FALSE)) {
            *error = "cannot copy " + dll;
            return false;
        }
    }
    const std::string behaviourPath = host + "\\behaviour.txt";
    const std::string logPath = host + "\\calls.log";
    if (!WriteWholeFile(behaviourPath, behaviour)) {
        *error = "cannot write " + behaviourPath;
        return false;
    }
    std::vector<std::string> environment = {"LUMARIS_TEST_HBA_BEHAVIOUR=" + behaviourPath,
                                            std::string("LUMARIS_TEST_HBA_LOG=") + (withCallLog ? logPath : "")};
    if (!RunProgram(host + "\\lumaris-hba.exe", arguments, host, environment, &run->program, error))
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

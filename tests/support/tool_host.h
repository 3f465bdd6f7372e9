// Runs a copy of lumaris-hba.exe in a folder of its own, with a chosen variant
// of the test hbaapi.dll beside it, as an administrator's host would have it.
#pragma once

#include <string>
#include <vector>

#include "wine_host.h"

// Library fields name a variant under bin\test-hba ("complete", "without-HBA_...");
// "" places none.
struct ToolHost {
    std::string name;       // the folder, under the test program's own
    std::string library;    // beside the exe, where Windows looks first
    std::string behaviour;  // the text of the test library's behaviour file
    std::string workingDirectoryLibrary = "";  // in the folder the tool is started from (not the exe's)
    std::string pathLibrary = "";              // in a folder put first on PATH
    // In the system folder, for this run only. Every run in the Wine prefix sees
    // it there: only a test program with the prefix to itself may place one.
    std::string systemLibrary = "";
    bool withCallLog = true;              // false runs the library without its log, as timing runs do
    ChildStreams streams = {};
};

struct ToolRun {
    ProgramRun program;
    std::string callLog;  // what the test library logged; "" when it was never called
};

bool RunToolOnHost(const ToolHost &host, const std::vector<std::string> &arguments, ToolRun *run,
                   std::string *error);

// Expected text as the tool's text-mode output writes it: every "\n" as CRLF.
std::string WithCrLf(const std::string &text);

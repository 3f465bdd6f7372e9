// Runs a copy of lumaris-hba.exe in a folder of its own, with a chosen variant
// of the test hbaapi.dll beside it, as an administrator's host would have it.
#pragma once

#include <string>
#include <vector>

#include "wine_host.h"

struct ToolRun {
    ProgramRun program;
    std::string callLog;  // what the test library logged; "" when it was never called
};

// hostName names the folder (under the test program's own) that the run uses;
// library is a variant under bin\test-hba ("" for no hbaapi.dll at all), and
// behaviour the text of its behaviour file. withCallLog false runs the library
// without its log, as timing runs do.
bool RunToolOnHost(const std::string &hostName, const std::string &library, const std::string &behaviour,
                   const std::vector<std::string> &arguments, ToolRun *run, std::string *error,
                   bool withCallLog = true);

// Expected text as the tool's text-mode output writes it: every "\n" as CRLF.
std::string WithCrLf(const std::string &text);

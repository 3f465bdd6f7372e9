// What the tests need of a Windows host under Wine: a guard that refuses any
// prefix but the build tree's own, the product's registry key, files, and
// programs run with their output captured.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// True only under Wine, in a prefix that this build tree created and marked.
bool InIsolatedWinePrefix(std::string *why);

// Runs main() of a GoogleTest program only in an isolated prefix: tests write the registry.
int RunTestsInIsolatedPrefix(int argc, char **argv);

// Which registry view a value is written to. A 32-bit program (the tool, and
// these tests) sees its own view, which on 64-bit Windows is WOW6432Node.
enum class RegistryView { kOwn, k64Bit };

// Removes the product key (and its vendor parent, when empty) from both views.
void RemoveProductKey();
bool CreateProductKey(RegistryView view);
bool WriteVersionValue(RegistryView view, DWORD type, const std::string &data);

std::string ReadWholeFile(const std::string &path);
bool WriteWholeFile(const std::string &path, const std::string &text);
std::string DirectoryOfThisProgram();
// Creates the directory afresh, removing whatever it held.
bool MakeEmptyDirectory(const std::string &path);

struct ProgramRun {
    DWORD exitCode;
    std::string standardOutput;
    std::string standardError;
};

// Whether Wine's 32-bit half runs under CPU emulation (qemu-i386) on this host.
bool UnderCpuEmulation();

// How long a run may take: a normal one takes about a second even under CPU
// emulation, while a crash debugger that Wine starts can take more than 30 s.
const DWORD kRunTimeLimitMs = 20000;

// Where a child's standard output and standard error go: a file by default,
// stdout to a pipe, or stderr nowhere, given as no handle or as one not open.
struct ChildStreams {
    bool outputToPipe = false;
    enum { kFile, kNone, kNotOpen } error = kFile;
};

// Runs a program with the given arguments in workDirectory, adding the given
// "NAME=value" entries to the environment it inherits, and waits for it to end,
// at most kRunTimeLimitMs: a run still going then is ended and counts as failed.
bool RunProgram(const std::string &program, const std::vector<std::string> &arguments,
                const std::string &workDirectory, const std::vector<std::string> &environment, ProgramRun *run,
                std::string *error, ChildStreams streams = {});

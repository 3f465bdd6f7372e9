// The test host under Wine: prefix guard, registry edits, files and child processes.
#include "wine_host.h"

#include <stdio.h>

#include <gtest/gtest.h>

#include "failure_printer.h"

namespace {

const char kProductKey[] = "Software\\Torvane\\Lumaris";
const char kVendorKey[] = "Software\\Torvane";

REGSAM ViewFlag(RegistryView view)
{
    return view == RegistryView::k64Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::string LastErrorText(const char *what)
{
    return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

// The name of a temporary file for one stream of a child process.
std::string CaptureFile(const std::string &workDirectory, const char *stream)
{
    return workDirectory + "\\" + stream + ".captured";
}

HANDLE OpenInheritable(const std::string &path)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

// Reads a pipe to its end, on a thread of its own while the child runs.
struct PipeReader {
    HANDLE pipe;
    std::string text;
};

DWORD WINAPI ReadPipeToEnd(void *reader)
{
    PipeReader &r = *(PipeReader *)reader;
    char chunk[4096];
    for (DWORD got; ReadFile(r.pipe, chunk, sizeof chunk, &got, NULL) && got > 0;)
        r.text.append(chunk, got);
    return 0;
}

std::string QuoteArgument(const std::string &argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

bool InIsolatedWinePrefix(std::string *why)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == NULL || GetProcAddress(ntdll, "wine_get_version") == NULL) {
        *why = "not running under Wine";
        return false;
    }
    char prefix[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (length == 0 || length >= sizeof prefix || prefix[0] != '/') {
        *why = "WINEPREFIX does not name a prefix";
        return false;
    }
    // The prefix's own Unix path, seen through Wine's Z: drive.
    std::string marker = std::string("Z:") + prefix + "/.lumaris-isolated-prefix";
    for (char &c : marker) {
        if (c == '/')
            c = '\\';
    }
    if (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *why = std::string("the prefix ") + prefix + " was not created by this build tree (no marker)";
        return false;
    }
    return true;
}

int RunTestsInIsolatedPrefix(int argc, char **argv)
{
    std::string why;
    if (!InIsolatedWinePrefix(&why)) {
        fprintf(stderr, "Refusing to run: these tests write the registry, and %s.\n"
                        "Run them through ctest, which uses the build tree's own Wine prefix.\n",
                why.c_str());
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    PrintFailuresWithoutDebugOutput();
    return RUN_ALL_TESTS();
}

void RemoveProductKey()
{
    for (RegistryView view : {RegistryView::kOwn, RegistryView::k64Bit}) {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kProductKey, ViewFlag(view), 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, ViewFlag(view), 0);  // fails while not empty
    }
}

namespace {

bool OpenProductKeyForWriting(RegistryView view, HKEY *key)
{
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, NULL, 0, KEY_SET_VALUE | ViewFlag(view), NULL, key,
                           NULL) == ERROR_SUCCESS;
}

}  // namespace

bool CreateProductKey(RegistryView view)
{
    HKEY key;
    if (!OpenProductKeyForWriting(view, &key))
        return false;
    RegCloseKey(key);
    return true;
}

bool WriteVersionValue(RegistryView view, DWORD type, const std::string &data)
{
    HKEY key;
    if (!OpenProductKeyForWriting(view, &key))
        return false;
    LONG status = RegSetValueExA(key, "Version", 0, type, (const BYTE *)data.data(), (DWORD)data.size());
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string ReadWholeFile(const std::string &path)
{
    std::string text;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return text;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    fclose(file);
    return text;
}

bool WriteWholeFile(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}

std::string DirectoryOfThisProgram()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of("\\/"));
}

bool MakeEmptyDirectory(const std::string &path)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((path + "\\" + entry.cFileName).c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    return CreateDirectoryA(path.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RunProgram(const std::string &program, const std::vector<std::string> &arguments,
                const std::string &workDirectory, const std::vector<std::string> &environment, ProgramRun *run,
                std::string *error, ChildStreams streams)
{
    std::string commandLine = QuoteArgument(program);
    for (const std::string &argument : arguments)
        commandLine += " " + QuoteArgument(argument);

    // The child inherits this process's environment with the extra entries set.
    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string &entry : environment) {
        std::string name = entry.substr(0, entry.find('='));
        char old[32768];
        DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
        saved.push_back({name, length ? std::string(old, length) : std::string("\x01")});
        SetEnvironmentVariableA(name.c_str(), entry.substr(name.size() + 1).c_str());
    }

    const std::string outPath = CaptureFile(workDirectory, "stdout");
    const std::string errPath = CaptureFile(workDirectory, "stderr");
    PipeReader outputReader = {INVALID_HANDLE_VALUE, ""};
    HANDLE out = INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    if (!streams.outputToPipe)
        out = OpenInheritable(outPath);
    else if (CreatePipe(&outputReader.pipe, &out, &inheritable, 0))
        SetHandleInformation(outputReader.pipe, HANDLE_FLAG_INHERIT, 0);
    HANDLE err = streams.error == ChildStreams::kFile ? OpenInheritable(errPath) : INVALID_HANDLE_VALUE;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    // A value no handle in the child has: as if its parent had closed it.
    startup.hStdError = streams.error == ChildStreams::kFile   ? err
                        : streams.error == ChildStreams::kNone ? NULL
                                                               : (HANDLE)(ULONG_PTR)0x7ffc;
    PROCESS_INFORMATION process = {};
    BOOL started = out != INVALID_HANDLE_VALUE && (streams.error != ChildStreams::kFile || err != INVALID_HANDLE_VALUE) &&
                   CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, 0, NULL, workDirectory.c_str(), &startup,
                                  &process);
    if (!started)
        *error = LastErrorText(("starting " + commandLine).c_str());
    CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE)
        CloseHandle(err);
    HANDLE reader = started && streams.outputToPipe ? CreateThread(NULL, 0, ReadPipeToEnd, &outputReader, 0, NULL) : NULL;

    for (const auto &entry : saved)
        SetEnvironmentVariableA(entry.first.c_str(), entry.second == "\x01" ? NULL : entry.second.c_str());
    if (!started) {
        if (outputReader.pipe != INVALID_HANDLE_VALUE)
            CloseHandle(outputReader.pipe);
        return false;
    }

    const bool ended = WaitForSingleObject(process.hProcess, kRunTimeLimitMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        *error = commandLine + " did not end within " + std::to_string(kRunTimeLimitMs / 1000) + " s";
    }
    GetExitCodeProcess(process.hProcess, &run->exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (streams.outputToPipe) {
        // The pipe ends with the child, unless something the child started holds it open.
        const bool read = reader != NULL && WaitForSingleObject(reader, kRunTimeLimitMs) == WAIT_OBJECT_0;
        if (reader != NULL && !read) {
            TerminateThread(reader, 1);  // it reads into outputReader, which goes when this returns
            WaitForSingleObject(reader, INFINITE);
        }
        if (reader != NULL)
            CloseHandle(reader);
        CloseHandle(outputReader.pipe);
        if (!read) {
            *error = "the pipe of " + commandLine + " did not end";
            return false;
        }
        run->standardOutput = outputReader.text;
    } else {
        run->standardOutput = ReadWholeFile(outPath);
    }
    run->standardError = ReadWholeFile(errPath);
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());
    return ended;
}

bool UnderCpuEmulation()
{
    return GetEnvironmentVariableA("LUMARIS_I386_EMULATED", NULL, 0) != 0;
}

// QueryModuleSpecialBuild against fixture modules with made-to-measure version
// resources and against the tool's own exe, through the real version APIs.
// Output buffers start filled with a sentinel, so "untouched" is checked.
#include <gtest/gtest.h>

#include <string.h>

#include "tests/support/import_swap.h"
#include "tests/support/wine_host.h"
#include "versioninfo/module_version.h"

namespace {

const char kSentinel = '#';
const DWORD kAnyFailure = 0xFFFFFFFF;  // expected status: any non-zero code
const int kUntouched = -1;             // expected language: buffer left as it was

std::string FixtureDirectory()
{
    return DirectoryOfThisProgram() + "\\version-fixtures";
}

std::string LanguageName(WORD language)
{
    char name[80];
    // Wine counts the terminator in the returned length, Windows does not.
    return VerLanguageNameA(language, name, sizeof name) != 0 ? std::string(name) : std::string();
}

struct Buffer {
    char bytes[256];
    Buffer() { memset(bytes, kSentinel, sizeof bytes); }
    bool Untouched() const
    {
        for (char c : bytes) {
            if (c != kSentinel)
                return false;
        }
        return true;
    }
};

struct QueryCase {
    const char *title;
    std::string module;  // under the fixture directory; "exe:" prefix: beside the test program
    bool withSpecialBuild;
    uint32_t specialBuildCapacity;
    bool withLanguage;
    int32_t languageCapacity;
    DWORD expectedStatus;  // kAnyFailure: any non-zero status
    const char *expectedSpecialBuild;  // nullptr: untouched
    int expectedLanguage;              // a LANGID, or kUntouched
};

void PrintTo(const QueryCase &c, std::ostream *out)
{
    *out << c.title;
}

std::string ModulePath(const std::string &module)
{
    if (module.rfind("exe:", 0) == 0)
        return DirectoryOfThisProgram() + "\\" + module.substr(4);
    return FixtureDirectory() + "\\" + module;
}

class ModuleVersionTest : public testing::TestWithParam<QueryCase> {
protected:
    // Files whose names test the ".exe" rule: the name handed over has no
    // version resource, the name with ".exe" appended has one.
    static void SetUpTestSuite()
    {
        const std::string dir = FixtureDirectory();
        for (const char *name : {"caps.EXE", "inner.exe.bak"}) {
            ASSERT_TRUE(CopyFileA((dir + "\\no_version.dll").c_str(), (dir + "\\" + name).c_str(), FALSE));
            ASSERT_TRUE(CopyFileA((dir + "\\german.dll").c_str(), (dir + "\\" + name + ".exe").c_str(), FALSE));
        }
    }
};

TEST_P(ModuleVersionTest, ReadsSpecialBuildAndLanguage)
{
    const QueryCase &c = GetParam();
    Buffer specialBuild, language;
    DWORD status = QueryModuleSpecialBuild(ModulePath(c.module).c_str(), c.withSpecialBuild ? specialBuild.bytes : NULL,
                                           c.specialBuildCapacity, c.withLanguage ? language.bytes : NULL,
                                           c.languageCapacity);
    if (c.expectedStatus == kAnyFailure) {
        EXPECT_NE(0u, status);
    } else {
        EXPECT_EQ(c.expectedStatus, status);
    }
    if (c.expectedSpecialBuild == nullptr) {
        EXPECT_TRUE(specialBuild.Untouched());
    } else {
        EXPECT_STREQ(c.expectedSpecialBuild, specialBuild.bytes);
    }
    if (c.expectedLanguage == kUntouched) {
        EXPECT_TRUE(language.Untouched());
    } else {
        EXPECT_EQ(LanguageName((WORD)c.expectedLanguage), std::string(language.bytes));
    }
}

const char kUsBuild[] = "SB-2025.03-hotfix7";

INSTANTIATE_TEST_SUITE_P(
    Query, ModuleVersionTest,
    testing::Values(
        QueryCase{"UsEnglish", "us_english.dll", true, 256, true, 80, 0, kUsBuild, 0x0409},
        QueryCase{"German", "german.dll", true, 256, true, 80, 0, "de-build-42", 0x0407},
        QueryCase{"FirstOfSeveralTranslations", "several_translations.dll", true, 256, true, 80, 0, "fr-first", 0x040C},
        QueryCase{"OwnExe", "exe:lumaris-hba.exe", true, 256, true, 256, 0, "8.0.0.0", 0x0409},
        QueryCase{"OwnExeBareName", "exe:lumaris-hba", true, 256, true, 256, 0, "8.0.0.0", 0x0409},
        QueryCase{"BareNameTakesExe", "exe_only", true, 256, true, 80, 0, kUsBuild, 0x0409},
        // ".EXE" in capitals is not ".exe": the name gets ".exe" appended.
        QueryCase{"CapitalExeTakesExe", "caps.EXE", true, 256, true, 80, 0, "de-build-42", 0x0407},
        // ".exe" anywhere in the name: no second attempt with ".exe".
        QueryCase{"ExeInsideName", "inner.exe.bak", true, 256, true, 80, kAnyFailure, nullptr, kUntouched},
        QueryCase{"AbsentExe", "absent.exe", true, 256, true, 80, kAnyFailure, nullptr, kUntouched},
        QueryCase{"AbsentBareName", "absent", true, 256, true, 80, kAnyFailure, nullptr, kUntouched},
        QueryCase{"NoVersionResource", "no_version.dll", true, 256, true, 80, kAnyFailure, nullptr, kUntouched},
        // Failures after the language step keep the name it copied.
        QueryCase{"NoSpecialBuild", "no_build_string.dll", true, 256, true, 80, kAnyFailure, nullptr, 0x0409},
        QueryCase{"NoTranslation", "no_translation.dll", true, 256, true, 80, kAnyFailure, nullptr, kUntouched},
        QueryCase{"EmptyTranslation", "empty_translation.dll", true, 256, true, 80, ERROR_RESOURCE_LANG_NOT_FOUND,
                  nullptr, kUntouched},
        QueryCase{"NoLanguageBuffer", "german.dll", true, 256, false, 80, 0, "de-build-42", kUntouched},
        QueryCase{"LanguageCapacity79", "german.dll", true, 256, true, 79, 0, "de-build-42", kUntouched},
        QueryCase{"LanguageCapacity80", "german.dll", true, 256, true, 80, 0, "de-build-42", 0x0407},
        QueryCase{"LanguageCapacityNegative", "german.dll", true, 256, true, -1, 0, "de-build-42", kUntouched},
        QueryCase{"LanguageCapacityMostNegative", "german.dll", true, 256, true, INT32_MIN, 0, "de-build-42",
                  kUntouched},
        QueryCase{"SpecialBuildCapacityZero", "german.dll", true, 0, true, 80, SPECIAL_BUILD_TOO_LONG, nullptr,
                  0x0407}),
    [](const testing::TestParamInfo<QueryCase> &info) { return std::string(info.param.title); });

// The looked-up length of a module's SpecialBuild text, as VerQueryValueA reports it.
UINT LookedUpLength(const std::string &path, const char *query)
{
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), NULL);
    std::vector<char> block(size);
    char *text = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), query, (void **)&text, &length))
        return 0;
    return length;
}

TEST(ModuleVersionCapacity, FitsOnlyWithRoomBeyondTheLookedUpLength)
{
    const std::string path = ModulePath("us_english.dll");
    const UINT n = LookedUpLength(path, "\\StringFileInfo\\040904B0\\SpecialBuild");
    ASSERT_GE(n, strlen(kUsBuild));

    Buffer exact;
    EXPECT_EQ((DWORD)SPECIAL_BUILD_TOO_LONG, QueryModuleSpecialBuild(path.c_str(), exact.bytes, n, NULL, 0));
    EXPECT_TRUE(exact.Untouched());

    Buffer roomy;
    EXPECT_EQ(0u, QueryModuleSpecialBuild(path.c_str(), roomy.bytes, n + 1, NULL, 0));
    EXPECT_STREQ(kUsBuild, roomy.bytes);
    for (size_t i = n + 1; i < sizeof roomy.bytes; ++i)
        ASSERT_EQ(kSentinel, roomy.bytes[i]) << "byte " << i << " was written";
}

TEST(ModuleVersionNullBuffers, ReturnTheLastErrorAsItStands)
{
    const std::string path = ModulePath("german.dll");
    SetLastError(0);
    DWORD status = QueryModuleSpecialBuild(path.c_str(), NULL, 256, NULL, 80);
    EXPECT_EQ(GetLastError(), status);

    Buffer language;
    SetLastError(0);
    status = QueryModuleSpecialBuild(path.c_str(), NULL, 256, language.bytes, 80);
    EXPECT_EQ(GetLastError(), status);
    EXPECT_EQ(LanguageName(0x0407), std::string(language.bytes));
}

TEST(ModuleVersionNames, OverlongNameFailsWithoutOverrun)
{
    // 255 characters leave room for ".exe" and the terminator in MAX_PATH; 256 do not.
    const std::string fits(MAX_PATH - 5, 'a');
    const std::string tooLong(MAX_PATH - 4, 'a');
    Buffer specialBuild;
    EXPECT_NE((DWORD)ERROR_FILENAME_EXCED_RANGE,
              QueryModuleSpecialBuild(fits.c_str(), specialBuild.bytes, 256, NULL, 0));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE,
              QueryModuleSpecialBuild(tooLong.c_str(), specialBuild.bytes, 256, NULL, 0));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE,
              QueryModuleSpecialBuild(std::string(5000, 'a').c_str(), specialBuild.bytes, 256, NULL, 0));
    EXPECT_TRUE(specialBuild.Untouched());
}

// On Windows a version API may fail and leave the last error at 0 (VerQueryValueA
// does for a missing value; Wine sets 1813). A failure must still not read as
// success. Each step of the query is made to fail so, through this program's
// own imports, which the query linked into it calls.
struct SilentFailureCase {
    const char *title;
    const char *function;       // the VERSION.dll import to swap
    void *replacement;
    std::string module;         // as in QueryCase
    const char *missingValue;   // for VerQueryValueA: the value whose path contains this is missing
};

void PrintTo(const SilentFailureCase &c, std::ostream *out)
{
    *out << c.title;
}

const char *g_silentlyMissingValue;  // a VerQueryValueA path containing this "fails"
void *g_realVerQueryValueA;          // what the swapped import pointed at

DWORD WINAPI SizeFailsSilently(LPCSTR, LPDWORD)
{
    SetLastError(0);
    return 0;
}

BOOL WINAPI InfoFailsSilently(LPCSTR, DWORD, DWORD, LPVOID)
{
    SetLastError(0);
    return FALSE;
}

BOOL WINAPI ValueMissingSilently(LPCVOID block, LPCSTR subBlock, LPVOID *buffer, PUINT length)
{
    if (strstr(subBlock, g_silentlyMissingValue) != nullptr) {
        SetLastError(0);
        return FALSE;
    }
    return ((decltype(&VerQueryValueA))g_realVerQueryValueA)(block, subBlock, buffer, length);
}

class SilentFailureTest : public testing::TestWithParam<SilentFailureCase> {};

TEST_P(SilentFailureTest, NeverReadsAsSuccess)
{
    const SilentFailureCase &c = GetParam();
    g_silentlyMissingValue = c.missingValue;
    void *original = SwapImport("version.dll", c.function, c.replacement);
    ASSERT_NE(nullptr, original) << "this program does not import " << c.function;
    g_realVerQueryValueA = original;
    Buffer specialBuild;
    const DWORD status = QueryModuleSpecialBuild(ModulePath(c.module).c_str(), specialBuild.bytes, 256, NULL, 0);
    SwapImport("version.dll", c.function, original);
    EXPECT_EQ((DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND, status);
    EXPECT_TRUE(specialBuild.Untouched());
}

INSTANTIATE_TEST_SUITE_P(
    LastErrorZero, SilentFailureTest,
    testing::Values(
        // Under the bare name and again with ".exe" appended.
        SilentFailureCase{"SizeOfBareName", "GetFileVersionInfoSizeA", (void *)&SizeFailsSilently, "german.dll", ""},
        SilentFailureCase{"SizeOfExeName", "GetFileVersionInfoSizeA", (void *)&SizeFailsSilently,
                          "exe:lumaris-hba.exe", ""},
        SilentFailureCase{"Info", "GetFileVersionInfoA", (void *)&InfoFailsSilently, "german.dll", ""},
        SilentFailureCase{"Translation", "VerQueryValueA", (void *)&ValueMissingSilently, "german.dll",
                          "\\VarFileInfo\\Translation"},
        SilentFailureCase{"SpecialBuild", "VerQueryValueA", (void *)&ValueMissingSilently, "german.dll",
                          "\\SpecialBuild"}),
    [](const testing::TestParamInfo<SilentFailureCase> &info) { return std::string(info.param.title); });

}  // namespace

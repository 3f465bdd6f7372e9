// What lumaris-hba.exe carries about itself: one asInvoker manifest and the
// version resource, both id 1 in U.S. English, read back through the real
// resource and version APIs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/wine_host.h"

namespace {

const WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::string ExePath()
{
    return DirectoryOfThisProgram() + "\\lumaris-hba.exe";
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found)
{
    ((std::vector<WORD> *)found)->push_back(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR found)
{
    EXPECT_TRUE(IS_INTRESOURCE(name));
    auto *names = (std::vector<std::pair<ULONG_PTR, std::vector<WORD>>> *)found;
    names->push_back({(ULONG_PTR)name, {}});
    EnumResourceLanguagesA(module, type, name, CollectLanguage, (LONG_PTR)&names->back().second);
    return TRUE;
}

// The (id, languages) of every resource of one type.
std::vector<std::pair<ULONG_PTR, std::vector<WORD>>> ResourcesOfType(LPCSTR type)
{
    std::vector<std::pair<ULONG_PTR, std::vector<WORD>>> names;
    HMODULE exe = LoadLibraryExA(ExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(nullptr, exe);
    if (exe != NULL) {
        EnumResourceNamesA(exe, type, CollectName, (LONG_PTR)&names);
        FreeLibrary(exe);
    }
    return names;
}

TEST(ExecutableResources, ExactlyOneManifestAndVersionResourceWithId1InUsEnglish)
{
    for (LPCSTR type : {RT_MANIFEST, RT_VERSION}) {
        auto resources = ResourcesOfType(type);
        ASSERT_EQ(1u, resources.size());
        EXPECT_EQ(1u, resources[0].first);
        EXPECT_EQ(std::vector<WORD>{kUsEnglish}, resources[0].second);
    }
}

TEST(ExecutableResources, ManifestRunsAsInvokerWithoutUiAccess)
{
    HMODULE exe = LoadLibraryExA(ExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    HRSRC found = FindResourceExA(exe, RT_MANIFEST, MAKEINTRESOURCEA(1), kUsEnglish);
    ASSERT_NE(nullptr, found);
    std::string manifest((const char *)LockResource(LoadResource(exe, found)), SizeofResource(exe, found));
    FreeLibrary(exe);
    EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"))
        << manifest;
}

class VersionResource : public testing::Test {
protected:
    void SetUp() override
    {
        DWORD size = GetFileVersionInfoSizeA(ExePath().c_str(), NULL);
        ASSERT_NE(0u, size);
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(ExePath().c_str(), 0, size, block.data()));
    }

    std::string Text(const char *name)
    {
        char *value = nullptr;
        UINT length = 0;
        std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(block.data(), path.c_str(), (void **)&value, &length))
            return "(absent)";
        return std::string(value, length && value[length - 1] == '\0' ? length - 1 : length);
    }

    std::vector<char> block;
};

TEST_F(VersionResource, FixedPartDescribesVersion8SpecialBuildApplication)
{
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void **)&fixed, &length));
    ASSERT_EQ(sizeof *fixed, length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00080000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00080000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ((DWORD)VS_FF_SPECIALBUILD, fixed->dwFileFlags);
    EXPECT_EQ(0x40004u, fixed->dwFileOS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);
    EXPECT_EQ(0u, fixed->dwFileDateMS);
    EXPECT_EQ(0u, fixed->dwFileDateLS);
}

TEST_F(VersionResource, StringTableAndTranslation)
{
    EXPECT_EQ("8.0.0.0", Text("FileVersion"));
    EXPECT_EQ("8.0.0.0", Text("ProductVersion"));
    EXPECT_EQ("8.0.0.0", Text("SpecialBuild"));
    EXPECT_EQ("lumaris-hba.exe", Text("OriginalFilename"));
    for (const char *name : {"CompanyName", "FileDescription", "InternalName", "LegalCopyright", "ProductName"}) {
        std::string text = Text(name);
        EXPECT_NE("(absent)", text) << name;
        EXPECT_FALSE(text.empty()) << name;
    }
    DWORD *translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x04B00409u, *translation);
}

}  // namespace

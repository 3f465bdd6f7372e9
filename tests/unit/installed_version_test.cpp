// QueryInstalledVersion against the real registry of the isolated prefix: what
// it returns and what it leaves in the caller's buffer, at the capacity's edges.
#include <gtest/gtest.h>

#include <string.h>

#include "app/installed_version.h"
#include "tests/support/wine_host.h"

namespace {

const char kSentinel = '#';

struct LookupCase {
    const char *title;
    bool createKey;
    RegistryView view;
    DWORD type;
    std::string data;  // nothing is written when empty and type is REG_NONE
    DWORD capacity;
    DWORD expectedStatus;
    std::string expectedText;  // checked on status 0, followed by the terminator
};

void PrintTo(const LookupCase &c, std::ostream *out)
{
    *out << c.title;
}

class InstalledVersionTest : public testing::TestWithParam<LookupCase> {
protected:
    void SetUp() override { RemoveProductKey(); }
    void TearDown() override { RemoveProductKey(); }
};

TEST_P(InstalledVersionTest, ReturnsStatusAndText)
{
    const LookupCase &c = GetParam();
    if (c.createKey) {
        ASSERT_TRUE(CreateProductKey(c.view));
    }
    if (c.type != REG_NONE) {
        ASSERT_TRUE(WriteVersionValue(c.view, c.type, c.data));
    }

    char buffer[512];
    memset(buffer, kSentinel, sizeof buffer);
    ASSERT_LE(c.capacity, sizeof buffer);
    EXPECT_EQ(c.expectedStatus, QueryInstalledVersion(buffer, c.capacity));
    if (c.expectedStatus == ERROR_SUCCESS) {
        EXPECT_EQ(c.expectedText, std::string(buffer));
    }
    // Nothing is ever written past the capacity offered.
    for (size_t i = c.capacity; i < sizeof buffer; ++i)
        ASSERT_EQ(kSentinel, buffer[i]) << "byte " << i << " was written";
}

std::string Text(const std::string &text)
{
    return text + '\0';
}

INSTANTIATE_TEST_SUITE_P(
    Lookup, InstalledVersionTest,
    testing::Values(
        LookupCase{"NoKey", false, RegistryView::kOwn, REG_NONE, "", 256, ERROR_FILE_NOT_FOUND, ""},
        LookupCase{"NoValue", true, RegistryView::kOwn, REG_NONE, "", 256, ERROR_FILE_NOT_FOUND, ""},
        LookupCase{"Recorded", true, RegistryView::kOwn, REG_SZ, Text("8.0.0.0"), 256, ERROR_SUCCESS, "8.0.0.0"},
        LookupCase{"ExactFit", true, RegistryView::kOwn, REG_SZ, Text("8.0.0.0"), 8, ERROR_SUCCESS, "8.0.0.0"},
        LookupCase{"OneShort", true, RegistryView::kOwn, REG_SZ, Text("8.0.0.0"), 7, ERROR_MORE_DATA, ""},
        LookupCase{"Longest", true, RegistryView::kOwn, REG_SZ, Text(std::string(255, 'x')), 256, ERROR_SUCCESS,
                   std::string(255, 'x')},
        LookupCase{"TooLong", true, RegistryView::kOwn, REG_SZ, Text(std::string(256, 'x')), 256, ERROR_MORE_DATA,
                   ""},
        LookupCase{"OtherViewOnly", true, RegistryView::k64Bit, REG_SZ, Text("9.9"), 256, ERROR_FILE_NOT_FOUND, ""},
        // Bytes without a terminator get one right after them, if it fits.
        LookupCase{"BinaryRoomForTerminator", true, RegistryView::kOwn, REG_BINARY, "abc", 4, ERROR_SUCCESS, "abc"},
        LookupCase{"BinaryNoRoomForTerminator", true, RegistryView::kOwn, REG_BINARY, "abc", 3, ERROR_MORE_DATA, ""},
        LookupCase{"BinaryEmpty", true, RegistryView::kOwn, REG_BINARY, "", 16, ERROR_SUCCESS, ""},
        LookupCase{"ZeroCapacity", true, RegistryView::kOwn, REG_BINARY, "", 0, ERROR_MORE_DATA, ""}),
    [](const testing::TestParamInfo<LookupCase> &info) { return std::string(info.param.title); });

}  // namespace

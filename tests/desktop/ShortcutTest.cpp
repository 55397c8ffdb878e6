#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include <gtest/gtest.h>

#include "desktop/Shortcut.h"
#include "support/FileTree.h"
#include "support/Registry.h"
#include "support/ShellLinkReader.h"

namespace {

// How the installer finds a desktop folder: the Shell Folders value, and
// where that gives none, what SHGetFolderPathW says.
struct Lookup {
    const char* name;
    const ShellFolder& value;
    bool (*find)(wchar_t (&)[kDesktopPathCapacity]);
    int csidl;
};
const Lookup kLookups[] = {
    {"all users' desktop", kCommonDesktop, FindCommonDesktop, CSIDL_COMMON_DESKTOPDIRECTORY},
    {"user's desktop", kUserDesktop, FindUserDesktop, CSIDL_DESKTOPDIRECTORY},
};

std::string FoundDesktop(const Lookup& lookup, bool* found) {
    wchar_t folder[kDesktopPathCapacity];
    std::wmemset(folder, L'J', kDesktopPathCapacity);  // junk: an unterminated read shows
    *found = lookup.find(folder);
    const wchar_t* end = std::wmemchr(folder, L'\0', kDesktopPathCapacity);
    EXPECT_NE(nullptr, end) << "desktop folder text is not terminated inside its buffer";
    return end ? Narrow(folder) : "<unterminated>";
}

// The value where it is a folder's text that fits; the system's folder
// where it is missing or cannot serve.
TEST(FindDesktop, TakesTheValueWhereItHoldsAFolderAndTheSystemsFolderElsewhere) {
    struct Case {
        const char* what;
        DWORD type;
        std::string bytes;
        std::string folder;  // "" for the system's
    };
    const std::string longest(4095, 'd');  // with its terminator one unit too many
    const Case cases[] = {
        {"plain folder", REG_SZ, Utf16Bytes(std::string("C:\\Documents and Settings\\All Users\\Desktop") + '\0'),
         "C:\\Documents and Settings\\All Users\\Desktop"},
        {"trailing backslash", REG_SZ, Utf16Bytes(std::string("C:\\Desk\\") + '\0'), "C:\\Desk\\"},
        {"expandable text", REG_EXPAND_SZ, Utf16Bytes(std::string("C:\\Desk") + '\0'), "C:\\Desk"},
        {"stored without terminator", REG_SZ, Utf16Bytes("C:\\Desk"), "C:\\Desk"},
        // A unit cut in half by an odd size is dropped, not read past.
        {"odd size", REG_SZ, Utf16Bytes("C:\\Desk") + 'x', "C:\\Desk"},
        {"Cyrillic", REG_SZ, Utf16Bytes(std::string("C:\\Рабочий стол") + '\0'), "C:\\Рабочий стол"},
        {"several scripts", REG_SZ, Utf16Bytes(std::string("D:\\Jürgen\\Ελληνικά\\デスクトップ") + '\0'),
         "D:\\Jürgen\\Ελληνικά\\デスクトップ"},
        {"empty text", REG_SZ, Utf16Bytes(std::string(1, '\0')), ""},
        {"not text", REG_DWORD, std::string("\x01\x02\x03\x04", 4), ""},
        {"binary", REG_BINARY, Utf16Bytes(std::string("C:\\Desk") + '\0'), ""},
        {"too long for the buffer", REG_SZ, Utf16Bytes(longest + '\0'), ""},
    };
    for (const Lookup& lookup : kLookups) {
        SCOPED_TRACE(lookup.name);
        wchar_t system[MAX_PATH] = L"";
        ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, lookup.csidl, nullptr, SHGFP_TYPE_CURRENT, system));
        ASSERT_NE(L'\0', system[0]);
        ShellFolderValue value(lookup.value);
        for (const Case& c : cases) {
            value.Set(c.type, c.bytes);
            bool found = false;
            const std::string folder = FoundDesktop(lookup, &found);
            EXPECT_TRUE(found) << c.what;
            EXPECT_EQ(c.folder.empty() ? Narrow(system) : c.folder, folder) << c.what;
        }
        value.Remove();
        bool found = false;
        EXPECT_EQ(Narrow(system), FoundDesktop(lookup, &found)) << "value absent";
        EXPECT_TRUE(found) << "value absent";
    }
}

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
    ScratchFolder scratch{"shell-link"};
};

TEST_F(ShellLinkTest, WritesTargetAndDescriptionAndReplacesAnExistingLink) {
    const std::string target = scratch / "Zel Or\\zel_or.exe";
    WriteFile(target, "MZ");
    // A doubled separator before the name, as a desktop folder ending in a
    // backslash gives.
    const std::string link = scratch.Path() + "\\\\Орвента.lnk";
    WriteFile(link, "not a link");

    EXPECT_EQ(S_OK, CreateShellLink(Wide(target).c_str(), Wide(link).c_str(), L"Орвента"));
    const ShellLinkFields fields = ReadShellLink(scratch / "Орвента.lnk");
    ASSERT_TRUE(fields.loaded);
    EXPECT_EQ(target, fields.target);
    EXPECT_EQ("Орвента", fields.description);
}

TEST_F(ShellLinkTest, RefusesANameLongerThanMaxPathInsteadOfCuttingIt) {
    const std::string target = scratch / "zel_or.exe";
    WriteFile(target, "MZ");
    const std::string longName = scratch / (std::string(300 - scratch.Path().size(), 'n') + ".lnk");
    EXPECT_TRUE(FAILED(CreateShellLink(Wide(target).c_str(), Wide(longName).c_str(), L"Орвента")));
    EXPECT_TRUE(ListFiles(scratch.Path()) == std::vector<std::string>{"zel_or.exe"});
}

TEST_F(ShellLinkTest, MissingFolderFailsQuietly) {
    EXPECT_TRUE(FAILED(CreateShellLink(L"C:\\x.exe", Wide(scratch / "missing\\Орвента.lnk").c_str(), L"Орвента")));
}

// Leaves a link beside the test program for the independent lnkinfo check.
TEST_F(ShellLinkTest, WritesALinkForTheIndependentReader) {
    const std::string link = OwnFolder() + "\\Орвента.lnk";
    EXPECT_EQ(S_OK, CreateShellLink(L"C:\\Program Files\\ZelOr\\zel_or.exe", Wide(link).c_str(), L"Орвента"));
}

}  // namespace

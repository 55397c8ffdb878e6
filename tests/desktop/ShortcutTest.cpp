#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>

#include <gtest/gtest.h>

#include "desktop/Shortcut.h"
#include "support/FileTree.h"
#include "support/Registry.h"
#include "support/ShellLinkReader.h"

namespace {

std::string FoundDesktop(bool* found) {
    wchar_t folder[kDesktopPathCapacity];
    std::wmemset(folder, L'J', kDesktopPathCapacity);  // junk: an unterminated read shows
    *found = FindCommonDesktop(folder);
    const wchar_t* end = std::wmemchr(folder, L'\0', kDesktopPathCapacity);
    EXPECT_NE(nullptr, end) << "desktop folder text is not terminated inside its buffer";
    return end ? Narrow(folder) : "<unterminated>";
}

TEST(FindCommonDesktop, AcceptsOnlyNonEmptyTextThatFits) {
    CommonDesktopValue value;
    struct Case {
        const char* what;
        DWORD type;
        std::string bytes;
        bool found;
        std::string folder;
    };
    const std::string longest(4095, 'd');  // with its terminator one unit too many
    const Case cases[] = {
        {"plain folder", REG_SZ, Utf16Bytes(std::string("C:\\Documents and Settings\\All Users\\Desktop") + '\0'),
         true, "C:\\Documents and Settings\\All Users\\Desktop"},
        {"trailing backslash", REG_SZ, Utf16Bytes(std::string("C:\\Desk\\") + '\0'), true, "C:\\Desk\\"},
        {"expandable text", REG_EXPAND_SZ, Utf16Bytes(std::string("C:\\Desk") + '\0'), true, "C:\\Desk"},
        {"stored without terminator", REG_SZ, Utf16Bytes("C:\\Desk"), true, "C:\\Desk"},
        // A unit cut in half by an odd size is dropped, not read past.
        {"odd size", REG_SZ, Utf16Bytes("C:\\Desk") + 'x', true, "C:\\Desk"},
        {"Cyrillic", REG_SZ, Utf16Bytes(std::string("C:\\Рабочий стол") + '\0'), true, "C:\\Рабочий стол"},
        {"several scripts", REG_SZ, Utf16Bytes(std::string("D:\\Jürgen\\Ελληνικά\\デスクトップ") + '\0'), true,
         "D:\\Jürgen\\Ελληνικά\\デスクトップ"},
        {"empty text", REG_SZ, Utf16Bytes(std::string(1, '\0')), false, ""},
        {"not text", REG_DWORD, std::string("\x01\x02\x03\x04", 4), false, ""},
        {"binary", REG_BINARY, Utf16Bytes(std::string("C:\\Desk") + '\0'), false, ""},
        {"too long for the buffer", REG_SZ, Utf16Bytes(longest + '\0'), false, ""},
    };
    for (const Case& c : cases) {
        value.Set(c.type, c.bytes);
        bool found = false;
        const std::string folder = FoundDesktop(&found);
        EXPECT_EQ(c.found, found) << c.what;
        if (c.found) {
            EXPECT_EQ(c.folder, folder) << c.what;
        }
    }

    value.Remove();
    bool found = true;
    FoundDesktop(&found);
    EXPECT_FALSE(found) << "value absent";
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

// logic/shared/PathText: paths as text in fixed buffers, with sentinel units
// after every buffer.
#include <windows.h>

#include <cwchar>
#include <string>

#include <gtest/gtest.h>

#include "logic/shared/PathText.h"
#include "support/GuardedPath.h"

namespace {

TEST(FindLastChar, FindsTheLastOccurrenceOrNothing) {
    wchar_t driveRoot[] = L"D:\\hd.exe";
    EXPECT_EQ(driveRoot + 2, FindLastChar(driveRoot, L'\\'));
    *FindLastChar(driveRoot, L'\\') = L'\0';
    EXPECT_STREQ(L"D:", driveRoot);

    wchar_t nested[] = L"C:\\a\\b\\hd.exe";
    EXPECT_EQ(nested + 6, FindLastChar(nested, L'\\'));

    wchar_t bare[] = L"hd.exe";
    EXPECT_EQ(nullptr, FindLastChar(bare, L'\\'));

    wchar_t empty[] = L"";
    EXPECT_EQ(nullptr, FindLastChar(empty, L'\\'));

    // Units compare exactly: U+005C is the only backslash (U+FF3C, the
    // fullwidth one, and U+2216 are not), and 'A' is not 'a'. In Shift-JIS a
    // second byte 0x5C can follow a first; in UTF-16 no unit but U+005C is one.
    wchar_t lookalikes[] = L"C:\\Ж\uFF3C\u2216ソ\\x";
    EXPECT_EQ(lookalikes + 7, FindLastChar(lookalikes, L'\\'));
    wchar_t letters[] = L"aA";
    EXPECT_EQ(letters + 1, FindLastChar(letters, L'A'));
}

TEST(TrimSpaces, CutsTrailingSpacesInPlaceAndSkipsLeadingOnes) {
    struct Case {
        const wchar_t* input;
        const wchar_t* buffer;    // what the buffer holds afterwards
        const wchar_t* returned;  // what the returned position reads
    };
    const Case cases[] = {
        {L"   ", L"", L""},
        {L"  C:\\ZelOr  ", L"  C:\\ZelOr", L"C:\\ZelOr"},
        {L"C:\\ZelOr", L"C:\\ZelOr", L"C:\\ZelOr"},
        {L"\tC:\\ZelOr", L"\tC:\\ZelOr", L"\tC:\\ZelOr"},
        {L"C:\\Zel Or \t ", L"C:\\Zel Or \t", L"C:\\Zel Or \t"},
        // Only U+0020 is a space: the no-break and the ideographic space stay.
        {L"\u00A0C:\\Jürgen\u3000 ", L"\u00A0C:\\Jürgen\u3000", L"\u00A0C:\\Jürgen\u3000"},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        wchar_t buffer[64];
        std::wcscpy(buffer, c.input);
        const wchar_t* returned = TrimSpaces(buffer);
        EXPECT_STREQ(c.buffer, buffer) << "input \"" << c.input << "\"";
        EXPECT_STREQ(c.returned, returned) << "input \"" << c.input << "\"";
        EXPECT_TRUE(returned >= buffer && returned <= buffer + std::wcslen(buffer));
    }
    EXPECT_EQ(nullptr, SkipLeadingSpaces(nullptr));
    EXPECT_EQ(nullptr, CutTrailingSpaces(nullptr));
}

TEST(JoinPath, JoinsWithExactlyOneAddedSeparator) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* joined;
    };
    const Case cases[] = {
        {L"D:", L"setup", L"D:\\setup"},
        // No second separator after a folder that ends in one: a drive root.
        {L"C:\\A\\", L"x", L"C:\\A\\x"},
        {L"M:\\", L"data", L"M:\\data"},
        {L"", L"x", L"\\x"},
        {L"C:\\A", L"*.*", L"C:\\A\\*.*"},
        {L"C:\\Папка", L"файл.txt", L"C:\\Папка\\файл.txt"},
        {L"C:\\Jürgen\\Ελληνικά", L"説明書.txt", L"C:\\Jürgen\\Ελληνικά\\説明書.txt"},
    };
    for (const Case& c : cases) {
        GuardedPath<260> out;
        EXPECT_TRUE(JoinPath(out.path, c.folder, c.name));
        EXPECT_STREQ(c.joined, out.path.text);
        EXPECT_TRUE(out.SentinelIntact());
    }
}

// Joined lengths capacity - 1 (fits), capacity and capacity + 1 (do not),
// from a folder without and with its own separator at the end.
template <int Capacity>
void CheckJoinAtCapacity() {
    for (bool separated : {false, true}) {
        for (int joinedLength : {Capacity - 1, Capacity, Capacity + 1}) {
            // Cyrillic: a unit each in UTF-16, where UTF-8 would take two bytes.
            // folder + '\' + "n", or a folder ending in '\' + "n"
            std::wstring folder(joinedLength - (separated ? 1 : 2), L'ф');
            if (separated) folder.back() = L'\\';
            GuardedPath<Capacity> out;
            const bool fits = JoinPath(out.path, folder.c_str(), L"n");
            EXPECT_EQ(joinedLength <= Capacity - 1, fits) << "length " << joinedLength;
            if (fits) {
                EXPECT_EQ(separated ? folder + L"n" : folder + L"\\n", out.path.text);
            } else {
                EXPECT_STREQ(L"", out.path.text) << "length " << joinedLength;
            }
            EXPECT_TRUE(out.SentinelIntact()) << "capacity " << Capacity << ", length " << joinedLength;
        }
    }
}

TEST(JoinPath, NeverWritesPastItsCapacity) {
    CheckJoinAtCapacity<260>();
    CheckJoinAtCapacity<1024>();
    CheckJoinAtCapacity<16>();
}

TEST(JoinPath, NeverWritesMoreThanWsprintfCan) {
    // Output buffers larger than 1024 units are still bound by wsprintfW's limit.
    GuardedPath<4096> out;
    const std::wstring folder(1030, L'f');
    EXPECT_FALSE(JoinPath(out.path, folder.c_str(), L"n"));
    EXPECT_STREQ(L"", out.path.text);
}

TEST(CopyPath, CopiesWhatFitsAndRefusesTheRest) {
    for (int length : {258, 259, 260, 261}) {
        const std::wstring text(length, L'т');
        GuardedPath<260> out;
        EXPECT_EQ(length <= 259, CopyPath(out.path, text.c_str())) << length;
        EXPECT_EQ(length <= 259 ? text : std::wstring(), out.path.text) << length;
        EXPECT_TRUE(out.SentinelIntact()) << length;
    }
}

}  // namespace

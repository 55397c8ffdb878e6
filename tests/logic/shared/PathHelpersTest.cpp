#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/shared/PathText.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/FolderIdentity.h"
#include "logic/destination/FullPath.h"
#include "support/FileTree.h"
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

TEST(MakeDirectoryChain, CreatesEveryMissingFolderAlongThePath) {
    ScratchFolder scratch("chain");
    struct Case {
        const char* path;  // below the scratch folder
        std::vector<const char*> made;
    };
    const Case cases[] = {
        {"a\\b\\c", {"a", "a\\b", "a\\b\\c"}},
        {"d\\", {"d"}},                       // a trailing separator
        {"e\\\\f", {"e", "e\\f"}},             // a doubled separator
        {"a\\b\\g", {"a\\b\\g"}},               // existing folders pass silently
    };
    for (const Case& c : cases) {
        MakeDirectoryChain(Wide(scratch / c.path).c_str());
        for (const char* folder : c.made) EXPECT_TRUE(IsFolder(scratch / folder)) << c.path << ": " << folder;
    }
}

TEST(MakeDirectoryChain, IgnoresPathsLongerThan259Characters) {
    ScratchFolder scratch("chain");
    for (int length : {259, 260}) {
        const std::string outer = scratch / std::to_string(length);
        const std::wstring path = Wide(outer) + L"\\" + std::wstring(length - outer.size() - 1, L'x');
        ASSERT_EQ(static_cast<size_t>(length), path.size());
        MakeDirectoryChain(path.c_str());
        EXPECT_EQ(length <= 259, IsFolder(outer)) << length;
    }
}

TEST(MakeFullPath, TakesOnlyAFullPathAndWritesItAsWindowsMeansIt) {
    const std::wstring longest = L"C:\\" + std::wstring(255, L'д');  // 258 units
    struct Case {
        std::wstring typed;
        FullPath result;
        std::wstring made;
    };
    const Case cases[] = {
        {L"C:\\ZelOr", FullPath::kMade, L"C:\\ZelOr"},
        {L"C:/Games/ZelOr", FullPath::kMade, L"C:\\Games\\ZelOr"},
        {L"d:\\\\Игры//\\Орвента\\", FullPath::kMade, L"d:\\Игры\\Орвента"},
        {L"C:\\Users\\Jürgen\\.\\Programme\\..\\ZelOr", FullPath::kMade, L"C:\\Users\\Jürgen\\ZelOr"},
        // A drive root keeps its separator, as the folder picker gives it.
        {L"C:\\", FullPath::kMade, L"C:\\"},
        {L"C:/", FullPath::kMade, L"C:\\"},
        {L"C:\\\\", FullPath::kMade, L"C:\\"},
        {L"C:\\..", FullPath::kMade, L"C:\\"},
        // A network path keeps its leading pair; nothing above its share.
        {L"\\\\server\\share\\ZelOr", FullPath::kMade, L"\\\\server\\share\\ZelOr"},
        {L"//server/share/ZelOr/", FullPath::kMade, L"\\\\server\\share\\ZelOr"},
        {L"\\\\\\server\\\\share", FullPath::kMade, L"\\\\server\\share"},
        {L"\\\\server\\share\\..\\x", FullPath::kMade, L"\\\\server\\share\\x"},
        {L"\\\\server", FullPath::kNotFull, L""},
        {L"\\\\server\\", FullPath::kNotFull, L""},
        // Relative, relative to the current drive, or to a drive's current folder.
        {L"ZelOr", FullPath::kNotFull, L""},
        {L"..\\x", FullPath::kNotFull, L""},
        {L"\\ZelOr", FullPath::kNotFull, L""},
        {L"/ZelOr", FullPath::kNotFull, L""},
        {L"C:", FullPath::kNotFull, L""},
        {L"C:ZelOr", FullPath::kNotFull, L""},
        {L"1:\\ZelOr", FullPath::kNotFull, L""},
        // The device namespace is no folder.
        {L"\\\\.\\C:\\ZelOr", FullPath::kNotFull, L""},
        {L"\\\\?\\C:\\ZelOr", FullPath::kNotFull, L""},
        // Every folder loses its trailing spaces and dots, as Windows drops
        // them from the last part only; one of nothing else is no folder.
        {L"C:\\Games \\ZelOr", FullPath::kMade, L"C:\\Games\\ZelOr"},
        {L"C:\\ZelOr \\", FullPath::kMade, L"C:\\ZelOr"},
        {L"c:/Игры. . /Зеларит..\\..\\Орвента .", FullPath::kMade, L"c:\\Игры\\Орвента"},
        {L"\\\\server\\share\\Zel Or . \\x", FullPath::kMade, L"\\\\server\\share\\Zel Or\\x"},
        {L"C:\\ Games\\a...b\\.x", FullPath::kMade, L"C:\\ Games\\a...b\\.x"},
        {L"C:\\ \\ZelOr", FullPath::kNotFull, L""},
        {L"C:\\...\\ZelOr", FullPath::kNotFull, L""},
        {L"C:\\ZelOr\\. .", FullPath::kNotFull, L""},
        // A device name, as any folder, with or without an extension, in any
        // case: the folder as typed.
        {L"C:\\CON\\x", FullPath::kReservedName, L"CON"},
        {L"C:\\ZelOr\\nul", FullPath::kReservedName, L"nul"},
        {L"c:/games/Aux.txt/ZelOr", FullPath::kReservedName, L"Aux.txt"},
        {L"C:\\Games \\prn.", FullPath::kReservedName, L"prn."},
        {L"C:\\NUL \\x", FullPath::kReservedName, L"NUL "},
        {L"C:\\Com1", FullPath::kReservedName, L"Com1"},
        {L"C:\\LPT9 .log\\x", FullPath::kReservedName, L"LPT9 .log"},
        {L"C:\\com\u00B9", FullPath::kReservedName, L"com\u00B9"},
        {L"\\\\server\\share\\con", FullPath::kReservedName, L"con"},
        // A character no name may hold, in any part, the drive's colon aside:
        // the first of them alone.
        {L"C:\\Zel*Or", FullPath::kForbiddenCharacter, L"*"},
        {L"C:\\Zel?Or", FullPath::kForbiddenCharacter, L"?"},
        {L"C:\\Games|\\ZelOr", FullPath::kForbiddenCharacter, L"|"},
        {L"C:\\\"ZelOr\"", FullPath::kForbiddenCharacter, L"\""},
        {L"C:/Games/<ZelOr>", FullPath::kForbiddenCharacter, L"<"},
        {L"C:\\ZelOr>", FullPath::kForbiddenCharacter, L">"},
        {L"C:\\Games\\Zel:Or", FullPath::kForbiddenCharacter, L":"},
        {L"\\\\server\\share:x\\ZelOr", FullPath::kForbiddenCharacter, L":"},
        {L"C:\\Zel\tOr", FullPath::kForbiddenCharacter, L"\t"},
        {L"C:\\ZelOr\\\x1F", FullPath::kForbiddenCharacter, L"\x1F"},
        {L"C:\\CON\\x?", FullPath::kForbiddenCharacter, L"?"},
        // Near misses are folders; a server or a share is no folder name.
        {L"C:\\CONSOLE\\COM10\\LPT\\nul_x\\x.con", FullPath::kMade, L"C:\\CONSOLE\\COM10\\LPT\\nul_x\\x.con"},
        {L"\\\\aux\\nul\\ZelOr", FullPath::kMade, L"\\\\aux\\nul\\ZelOr"},
        {longest, FullPath::kMade, longest},
        {longest + L"\\", FullPath::kMade, longest},
        {longest + L"x", FullPath::kTooLong, L""},
        // Too long as typed, but not as Windows means it.
        {L"C:\\" + std::wstring(250, L'\\') + L"ZelOr", FullPath::kMade, L"C:\\ZelOr"},
    };
    for (const Case& c : cases) {
        GuardedPath<260> out;
        EXPECT_EQ(c.result, MakeFullPath(c.typed.c_str(), out.path)) << c.typed;
        EXPECT_EQ(c.made, out.path.text) << c.typed;
        EXPECT_TRUE(out.SentinelIntact()) << c.typed;
    }
}

TEST(FitsAsFolder, TakesAtMost247Units) {
    for (int length : {246, 247, 248}) {
        const std::wstring path = L"C:\\" + std::wstring(length - 3, L'п');
        EXPECT_EQ(length <= 247, FitsAsFolder(path.c_str())) << length;
    }
}

TEST(FileExists, FindsFilesFoldersAndWildcardMatches) {
    ScratchFolder scratch("exists");
    WriteFile(scratch / "zel_or.exe", "MZ");
    MakeFolders(scratch / "folder");
    EXPECT_TRUE(FileExists(Wide(scratch / "zel_or.exe").c_str()));
    EXPECT_TRUE(FileExists(Wide(scratch / "ZEL_OR.EXE").c_str()));
    EXPECT_TRUE(FileExists(Wide(scratch / "folder").c_str()));
    EXPECT_TRUE(FileExists(Wide(scratch / "*.exe").c_str()));
    EXPECT_FALSE(FileExists(Wide(scratch / "missing.exe").c_str()));
    EXPECT_FALSE(FileExists(Wide(scratch / "missing\\zel_or.exe").c_str()));
}

// Whether two paths name one folder, by volume and index on the scratch
// folder's volume; a volume without a serial number is the end-to-end run's
// N:, where it is refused as its own destination.
TEST(SameFolder, TellsOneFolderHoweverSpelledAndNoOther) {
    ScratchFolder scratch("identity");
    MakeFolders(scratch / "a");
    MakeFolders(scratch / "b");
    WriteFile(scratch / "file", "x");
    std::string upper = scratch / "A\\";
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    const struct {
        std::string other;
        bool same;
    } rows[] = {
        {scratch / "a", true},           {upper, true},
        {scratch / "b", false},          {scratch / "missing", false},
        {scratch / "file", false},       {scratch.Path(), false},
    };
    const FolderIdentity a = IdentifyFolder(Wide(scratch / "a").c_str());
    EXPECT_TRUE(a.known);
    for (const auto& row : rows) {
        EXPECT_EQ(row.same, SameFolder(a, IdentifyFolder(Wide(row.other).c_str()))) << row.other;
    }
}

}  // namespace

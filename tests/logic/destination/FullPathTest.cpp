// logic/destination/FullPath: the destination as typed made the full path it
// means, into a buffer with sentinel units after it.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "logic/destination/FullPath.h"
#include "support/GuardedPath.h"

namespace {

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

}  // namespace

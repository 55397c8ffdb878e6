#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/PathHelpers.h"
#include "support/FileTree.h"

namespace {

// A PathText followed by sentinel bytes, all pre-filled with junk, so that a
// write past the capacity or a byte the call should have written shows up.
template <int Capacity>
struct Guarded {
    PathText<Capacity> path;
    unsigned char sentinel[16];

    Guarded() {
        std::memset(path.text, 0xCC, sizeof path.text);
        std::memset(sentinel, 0xAB, sizeof sentinel);
    }
    bool SentinelIntact() const {
        for (unsigned char byte : sentinel) {
            if (byte != 0xAB) return false;
        }
        return true;
    }
};

TEST(FindLastChar, FindsTheLastOccurrenceOrNothing) {
    char driveRoot[] = "D:\\hd.exe";
    EXPECT_EQ(driveRoot + 2, FindLastChar(driveRoot, '\\'));
    *FindLastChar(driveRoot, '\\') = '\0';
    EXPECT_STREQ("D:", driveRoot);

    char nested[] = "C:\\a\\b\\hd.exe";
    EXPECT_EQ(nested + 6, FindLastChar(nested, '\\'));

    char bare[] = "hd.exe";
    EXPECT_EQ(nullptr, FindLastChar(bare, '\\'));

    char empty[] = "";
    EXPECT_EQ(nullptr, FindLastChar(empty, '\\'));

    // Bytes compare exactly: 0xDC is not a backslash and 'A' is not 'a'.
    char cyrillic[] = "C:\\\xDC\xD0\\x";
    EXPECT_EQ(cyrillic + 5, FindLastChar(cyrillic, '\\'));
    char letters[] = "aA";
    EXPECT_EQ(letters + 1, FindLastChar(letters, 'A'));
}

TEST(TrimSpaces, CutsTrailingSpacesInPlaceAndSkipsLeadingOnes) {
    struct Case {
        const char* input;
        const char* buffer;    // what the buffer holds afterwards
        const char* returned;  // what the returned position reads
    };
    const Case cases[] = {
        {"   ", "", ""},
        {"  C:\\ZelOr  ", "  C:\\ZelOr", "C:\\ZelOr"},
        {"C:\\ZelOr", "C:\\ZelOr", "C:\\ZelOr"},
        {"\tC:\\ZelOr", "\tC:\\ZelOr", "\tC:\\ZelOr"},
        {"C:\\Zel Or \t ", "C:\\Zel Or \t", "C:\\Zel Or \t"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::strcpy(buffer, c.input);
        const char* returned = TrimSpaces(buffer);
        EXPECT_STREQ(c.buffer, buffer) << "input \"" << c.input << "\"";
        EXPECT_STREQ(c.returned, returned) << "input \"" << c.input << "\"";
        EXPECT_TRUE(returned >= buffer && returned <= buffer + std::strlen(buffer));
    }
    EXPECT_EQ(nullptr, SkipLeadingSpaces(nullptr));
    EXPECT_EQ(nullptr, CutTrailingSpaces(nullptr));
}

TEST(JoinPath, JoinsWithExactlyOneAddedSeparator) {
    struct Case {
        const char* folder;
        const char* name;
        const char* joined;
    };
    const Case cases[] = {
        {"D:", "setup", "D:\\setup"},
        {"C:\\A\\", "x", "C:\\A\\\\x"},
        {"", "x", "\\x"},
        {"C:\\A", "*.*", "C:\\A\\*.*"},
        {"C:\\Папка", "файл.txt", "C:\\Папка\\файл.txt"},
    };
    for (const Case& c : cases) {
        Guarded<260> out;
        EXPECT_TRUE(JoinPath(out.path, c.folder, c.name));
        EXPECT_STREQ(c.joined, out.path.text);
        EXPECT_TRUE(out.SentinelIntact());
    }
}

// Joined lengths capacity - 1 (fits), capacity and capacity + 1 (do not).
template <int Capacity>
void CheckJoinAtCapacity() {
    for (int joinedLength : {Capacity - 1, Capacity, Capacity + 1}) {
        const std::string folder(joinedLength - 2, 'f');  // folder + '\' + "n"
        Guarded<Capacity> out;
        const bool fits = JoinPath(out.path, folder.c_str(), "n");
        EXPECT_EQ(joinedLength <= Capacity - 1, fits) << "length " << joinedLength;
        if (fits) {
            EXPECT_EQ(folder + "\\n", out.path.text);
        } else {
            EXPECT_STREQ("", out.path.text) << "length " << joinedLength;
        }
        EXPECT_TRUE(out.SentinelIntact()) << "capacity " << Capacity << ", length " << joinedLength;
    }
}

TEST(JoinPath, NeverWritesPastItsCapacity) {
    CheckJoinAtCapacity<260>();
    CheckJoinAtCapacity<1024>();
    CheckJoinAtCapacity<16>();
}

TEST(JoinPath, NeverWritesMoreThanWsprintfCan) {
    // Output buffers larger than 1024 bytes are still bound by wsprintfA's limit.
    Guarded<4096> out;
    const std::string folder(1030, 'f');
    EXPECT_FALSE(JoinPath(out.path, folder.c_str(), "n"));
    EXPECT_STREQ("", out.path.text);
}

TEST(CopyPath, CopiesWhatFitsAndRefusesTheRest) {
    for (int length : {258, 259, 260, 261}) {
        const std::string text(length, 't');
        Guarded<260> out;
        EXPECT_EQ(length <= 259, CopyPath(out.path, text.c_str())) << length;
        EXPECT_EQ(length <= 259 ? text : std::string(), out.path.text) << length;
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
        MakeDirectoryChain((scratch / c.path).c_str());
        for (const char* folder : c.made) EXPECT_TRUE(IsFolder(scratch / folder)) << c.path << ": " << folder;
    }
}

TEST(MakeDirectoryChain, IgnoresPathsLongerThan259Characters) {
    ScratchFolder scratch("chain");
    for (int length : {259, 260}) {
        const std::string outer = scratch / std::to_string(length);
        const std::string path = outer + "\\" + std::string(length - outer.size() - 1, 'x');
        ASSERT_EQ(static_cast<size_t>(length), path.size());
        MakeDirectoryChain(path.c_str());
        EXPECT_EQ(length <= 259, IsFolder(outer)) << length;
    }
}

TEST(FileExists, FindsFilesFoldersAndWildcardMatches) {
    ScratchFolder scratch("exists");
    WriteFile(scratch / "zel_or.exe", "MZ");
    MakeFolders(scratch / "folder");
    EXPECT_TRUE(FileExists((scratch / "zel_or.exe").c_str()));
    EXPECT_TRUE(FileExists((scratch / "ZEL_OR.EXE").c_str()));
    EXPECT_TRUE(FileExists((scratch / "folder").c_str()));
    EXPECT_TRUE(FileExists((scratch / "*.exe").c_str()));
    EXPECT_FALSE(FileExists((scratch / "missing.exe").c_str()));
    EXPECT_FALSE(FileExists((scratch / "missing\\zel_or.exe").c_str()));
}

}  // namespace

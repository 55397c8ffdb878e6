// logic/shared/FileSystem: what the installer asks of and does to the file
// system, on scratch folders.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/shared/FileSystem.h"
#include "support/FileTree.h"

namespace {

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

}  // namespace

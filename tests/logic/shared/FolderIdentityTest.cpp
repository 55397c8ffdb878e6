// logic/shared/FolderIdentity: whether two paths name one folder.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "logic/shared/FolderIdentity.h"
#include "support/FileTree.h"

namespace {

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

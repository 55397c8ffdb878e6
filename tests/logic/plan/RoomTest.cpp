// The room count of a plan on a volume's figures, with and without keeping
// the earlier files, and the judgment of an available space against it.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "logic/plan/CopyPlan.h"
#include "logic/plan/Room.h"
#include "logic/shared/Volume.h"
#include "support/FileTree.h"
#include "support/RecordingView.h"

namespace {

// The medium: a.txt (100 bytes) and sub\b.bin (5000), in this order; a
// volume of 4 KB clusters. Into a destination two new folders deep, or over
// an earlier installation's a.txt (3000 bytes), which gives its room back as
// its new copy is whole, or where the earlier files are kept, at the end.
TEST(RoomTest, CountsTheFullestMomentWithAndWithoutKeepingTheEarlierFiles) {
    ScratchFolder scratch{"room"};
    const std::string medium = scratch / "cd";
    WriteFile(medium + "\\a.txt", std::string(100, 'a'));
    WriteFile(medium + "\\sub\\b.bin", std::string(5000, 'b'));
    const struct {
        const wchar_t* fileSystem;
        ULONGLONG record;  // as the volume reports it
        bool earlier;
        ULONGLONG required, keeping;
    } rows[] = {
        // Clusters: the name "new" in the scratch folder; the folders new,
        // dest, ~hdwork and sub; the list, a.txt, b.bin (two).
        {L"FAT32", 0, false, 9 * 4096, 9 * 4096},
        // The name "~hdwork" in dest; ~hdwork and sub; the list, a.txt,
        // b.bin (two); less the earlier a.txt. Kept, it gives nothing back,
        // and its second name and list line fit the clusters counted.
        {L"FAT32", 0, true, 6 * 4096, 7 * 4096},
        // As on FAT32, but the list and a.txt inside their records: a record
        // for each of the 4 folders and 3 files.
        {L"NTFS", 1024, false, 7 * 4096 + 7 * 1024, 7 * 4096 + 7 * 1024},
        // As on FAT32, with 5 records; the earlier a.txt gives back a cluster
        // and its record. Kept, its list line (632 bytes with the header)
        // takes the list out of its record: a cluster more.
        {L"NTFS", 1024, true, 4 * 4096 + 4 * 1024, 6 * 4096 + 5 * 1024},
    };
    for (const auto& row : rows) {
        const std::string what = Narrow(row.fileSystem) + (row.earlier ? " over an earlier installation" : " new");
        const std::string destination = row.earlier ? scratch / "dest" : scratch / "new\\dest";
        RemoveTree(scratch / "dest");
        if (row.earlier) WriteFile(destination + "\\a.txt", std::string(3000, 'e'));
        RecordingView view;
        CopyPlan plan;
        ASSERT_TRUE(plan.Make(view, Wide(medium).c_str(), Wide(destination).c_str())) << what;
        Volume volume = {};
        lstrcpyW(volume.existing.text, Wide(row.earlier ? destination : scratch.Path()).c_str());
        lstrcpyW(volume.fileSystem, row.fileSystem);
        volume.cluster = 4096;
        volume.sector = 512;
        volume.record = row.record;
        Room room = {};
        ASSERT_TRUE(CountRoom(plan, volume, room)) << what;
        EXPECT_EQ(row.required, room.required) << what;
        EXPECT_EQ(row.keeping, room.keeping) << what;
        // Just enough for the install: it keeps the earlier files where that needs nothing more.
        EXPECT_TRUE(room.Fits(row.required)) << what;
        EXPECT_FALSE(room.Fits(row.required - 1)) << what;
        EXPECT_EQ(row.keeping == row.required, room.FitsKeeping(row.required)) << what;
        EXPECT_TRUE(room.FitsKeeping(row.keeping)) << what;
    }
}

}  // namespace

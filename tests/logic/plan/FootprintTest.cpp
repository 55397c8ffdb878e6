// The footprint: what each file system spends on a file beside its bytes.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "logic/plan/Footprint.h"
#include "logic/shared/Volume.h"
#include "support/Text.h"

namespace {

// What each file system spends beside the data, from its formats: FAT's
// short entry and one of 32 bytes per 13 units of a long name, exFAT's two
// and one per 15; NTFS's record (a file of up to the record less 512 bytes,
// less its name, inside it, where the volume told the record's size), and
// per name an index entry of 16 + 66 bytes and the name, 8-aligned, one
// more for the 8.3 name (12 units), twice over for half-full index blocks.
TEST(FootprintTest, CountsWhatEachFileSystemSpendsBesideTheData) {
    const std::wstring thirteen(13, L'n'), fifteen(15, L'n');
    const struct {
        const wchar_t* fileSystem;
        ULONGLONG cluster, sector, record;  // record: as the volume reported it, 0 for none
        ULONGLONG size;                     // of a file named `name`
        std::wstring name;
        ULONGLONG file, entries, folderRecord, folderStart;
    } cases[] = {
        {L"FAT32", 4096, 512, 0, 100, L"a.txt", 4096, 64, 0, 64},
        {L"FAT32", 4096, 512, 0, 0, thirteen, 0, 64, 0, 64},
        {L"FAT", 2048, 512, 0, 4097, thirteen + L"x", 6144, 96, 0, 64},
        {L"exFAT", 131072, 512, 0, 1, fifteen, 131072, 96, 0, 0},
        {L"exFAT", 131072, 512, 0, 131073, fifteen + L"x", 262144, 128, 0, 0},
        // 96 and 112 bytes of index entries for "a.txt", twice.
        {L"NTFS", 4096, 512, 1024, 502, L"a.txt", 1024, 416, 1024, 0},
        {L"NTFS", 4096, 512, 1024, 503, L"a.txt", 5120, 416, 1024, 0},
        {L"NTFS", 4096, 4096, 4096, 3000, L"a.txt", 4096, 416, 4096, 0},
        // Not told (Wine, no right to ask): no file inside its record, 1 KB or a sector.
        {L"NTFS", 4096, 512, 0, 100, L"a.txt", 5120, 416, 1024, 0},
        {L"NTFS", 4096, 4096, 0, 100, L"a.txt", 8192, 416, 4096, 0},
        {L"UDF", 2048, 2048, 0, 10, L"a", 4096, 2 * (88 + 112), 2048, 0},
    };
    for (const auto& c : cases) {
        Volume volume = {};
        lstrcpyW(volume.fileSystem, c.fileSystem);
        volume.cluster = c.cluster;
        volume.sector = static_cast<DWORD>(c.sector);
        volume.record = c.record;
        const Footprint footprint(volume);
        const std::string row = Narrow(c.fileSystem) + " " + std::to_string(c.size) + " " + Narrow(c.name);
        EXPECT_EQ(c.file, footprint.File(c.size, c.name.c_str())) << row;
        EXPECT_EQ(c.entries, footprint.Entries(c.name.c_str())) << row;
        EXPECT_EQ(c.folderRecord, footprint.FolderRecord()) << row;
        EXPECT_EQ(c.folderStart, footprint.FolderStart()) << row;
    }
}

}  // namespace

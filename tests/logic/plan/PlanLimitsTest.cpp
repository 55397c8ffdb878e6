// The limits a plan meets on a volume's figures: a name longer than its file
// system takes, a file larger than FAT holds, paths deeper than Windows makes.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "logic/plan/CopyPlan.h"
#include "logic/plan/PlanLimits.h"
#include "logic/shared/Volume.h"
#include "support/DialogTexts.h"
#include "support/FileTree.h"
#include "support/RecordingView.h"

namespace {

// A file of `size` bytes that takes no room: its length set, nothing written.
void WriteSparseFile(const std::string& path, ULONGLONG size) {
    MakeFolders(path.substr(0, path.find_last_of('\\')));
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)) << path;
    CloseHandle(file);
}

// Each row's medium holds one file; the made-up volume's root is the scratch
// folder, whose own name (13 units) lies above it and is not the
// destination's. The refusal names a disc's file by its path on the disc.
TEST(PlanLimitsTest, RefusesWhatTheVolumeOrWindowsPathsCannotHold) {
    ScratchFolder scratch{"volume-limits"};
    const std::string root = scratch.Path() + "\\", medium = scratch / "cd";
    constexpr ULONGLONG kFatLimit = 0xFFFFFFFFull;
    const struct {
        const wchar_t* fileSystem;
        DWORD longestName;
        std::string file;  // below the medium
        ULONGLONG size;
        std::string destination;  // below the root
        std::string refusal;      // "" for none
    } rows[] = {
        // Plain FAT takes 8.3 names: 12 units.
        {L"FAT", 12, "data\\readme-01.txt", 1, "dest",
         shown::NameTooLong(medium + "\\data\\readme-01.txt", "FAT", root, 12)},
        {L"FAT", 12, "a.txt", 1, "Zelarit Orventa\\dest", shown::NameTooLong("Zelarit Orventa", "FAT", root, 12)},
        // 4 GiB, a byte over FAT's limit; exFAT is no FAT.
        {L"FAT32", 255, "huge.bin", kFatLimit + 1, "dest", shown::FileTooLarge(medium + "\\huge.bin", "FAT32", root)},
        {L"FAT32", 255, "huge.bin", kFatLimit, "dest", ""},
        {L"exFAT", 255, "huge.bin", kFatLimit + 1, "dest", ""},
        // The deepest folder 100 units below the destination (146 allowed),
        // the deepest file 161: 258 - 161.
        {L"NTFS", 255, std::string(100, 'd') + "\\" + std::string(60, 'e'), 1, std::string(60, 'p'),
         shown::TooDeep(97)},
        // A file of 255 units leaves 3 for a destination, shorter than "C:\x".
        {L"NTFS", 255, std::string(255, 'e'), 1, "dest", shown::kNothingFits},
    };
    for (const auto& row : rows) {
        const std::string what = Narrow(row.fileSystem) + " " + row.file.substr(0, 20) + " " +
                                 std::to_string(row.size) + " into " + row.destination.substr(0, 20);
        RemoveTree(medium);
        WriteSparseFile(medium + "\\" + row.file, row.size);
        RecordingView view;
        CopyPlan plan;
        ASSERT_TRUE(plan.Make(view, Wide(medium).c_str(), Wide(root + row.destination).c_str())) << what;
        Volume volume = {};
        lstrcpyW(volume.root, Wide(root).c_str());
        lstrcpyW(volume.fileSystem, row.fileSystem);
        volume.longestName = row.longestName;
        wchar_t refusal[1536] = L"";
        EXPECT_EQ(!row.refusal.empty(), RefusePlanOn(plan, volume, refusal, 1536)) << what;
        EXPECT_EQ(row.refusal, Narrow(refusal)) << what;
    }
    RemoveTree(medium);
}

}  // namespace

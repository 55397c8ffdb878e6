#include "logic/Room.h"

#include "logic/Failure.h"
#include "logic/PathHelpers.h"
#include "logic/CopyPlan.h"

namespace {

ULONGLONG FileSize(DWORD high, DWORD low) { return (static_cast<ULONGLONG>(high) << 32) | low; }

// What the file at `path`, which the install replaces, takes on its volume:
// a compressed or sparse file takes less than its length. Nothing for a
// folder, or where there is no file. Only such a file is asked for what it
// occupies; for any other that is its length, and the asking opens the file,
// which costs a disc of thousands of files seconds.
ULONGLONG Occupied(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &found) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return 0;
    }
    if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE))) {
        return FileSize(found.nFileSizeHigh, found.nFileSizeLow);
    }
    DWORD high = 0;
    const DWORD low = GetCompressedFileSizeW(path, &high);
    // INVALID_FILE_SIZE is also the low half of a valid size; the error tells.
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return FileSize(high, low);
}

// Adds up what the steps of a copy take on the destination's volume at the
// fullest moment of the copy. A file is written beside the one it replaces
// and takes its place only once whole, so while it is written both are
// there: the moment of the most room is the end of some file's copy, before
// the file it replaces goes. Where the earlier files are kept aside until
// the install completes, none goes before the end: that moment is the end.
// The installer's work folder and its list take a cluster each, and the list
// a line for each file kept.
class SpaceCount {
public:
    explicit SpaceCount(ULONGLONG cluster) : cluster_(cluster) { Take(2 * cluster_); }

    void Count(const CopyPlan& plan) {
        for (int index = 0; index < plan.Count(); ++index) {
            const CopyPlan::Step step = plan.At(index);
            ShortPath destination;
            const bool fits = plan.DestinationPath(step, destination);
            if (step.folder) {
                // On FAT32 and exFAT every folder takes a cluster at least
                // (128 KB on a large exFAT stick); NTFS keeps a small one in
                // its file table, so this errs on the safe side there.
                if (fits && !FolderExists(destination.text)) Take(cluster_);
            } else {
                Take(Clusters(step.size));
                const DWORD earlier = fits ? GetFileAttributesW(destination.text) : INVALID_FILE_ATTRIBUTES;
                if (earlier != INVALID_FILE_ATTRIBUTES && !(earlier & FILE_ATTRIBUTE_DIRECTORY)) {
                    taken_ -= Clusters(Occupied(destination.text));
                    list_ += kListLine;
                }
            }
        }
    }
    // Folders the install makes above the tree, for a destination below a
    // folder that is not there yet.
    void AddFolders(int count) { Take(count * cluster_); }

    // The most the install takes beyond what the volume holds now, at least nothing.
    ULONGLONG Required() const { return static_cast<ULONGLONG>(peak_); }
    // The same where it keeps the earlier files until it completes.
    ULONGLONG RequiredKeeping() const {
        const LONGLONG list = static_cast<LONGLONG>(list_) > static_cast<LONGLONG>(cluster_) ? Clusters(list_) - cluster_ : 0;
        const ULONGLONG kept = static_cast<ULONGLONG>(added_ + list);
        return kept > Required() ? kept : Required();
    }

private:
    // The most a list's line takes: the path below the destination, in UTF-16, and its numbers.
    static constexpr ULONGLONG kListLine = (260 + 24) * sizeof(wchar_t);

    void Take(LONGLONG bytes) {
        added_ += bytes;
        taken_ += bytes;
        if (taken_ > peak_) peak_ = taken_;
    }
    LONGLONG Clusters(ULONGLONG size) const {
        return static_cast<LONGLONG>((size + cluster_ - 1) / cluster_ * cluster_);
    }

    const ULONGLONG cluster_;
    LONGLONG taken_ = 0;  // what the steps counted so far take beyond what they replaced
    LONGLONG peak_ = 0;   // the most that has been at any moment
    LONGLONG added_ = 0;  // all that the steps take, nothing given back
    ULONGLONG list_ = 0;  // the list's lines, in bytes
};

}  // namespace

bool EnsureRoom(InstallerView& view, const CopyPlan& plan, bool& keepEarlier) {
    keepEarlier = true;
    const wchar_t* const destination = plan.Destination();
    for (;;) {
        ShortPath existing;
        int missing = 0;
        wchar_t root[MAX_PATH];
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
        ULARGE_INTEGER available;
        // results examined only for success: a volume that cannot be asked is
        // not measured, and the copy reports what is wrong with it.
        if (!NearestExistingFolder(destination, existing, missing) ||
            !GetVolumePathNameW(existing.text, root, MAX_PATH) ||
            !GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) ||
            sectorsPerCluster == 0 || bytesPerSector == 0) {
            return true;
        }
        SpaceCount count(static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector);
        count.AddFolders(missing);
        count.Count(plan);
        if (!GetDiskFreeSpaceExW(existing.text, &available, nullptr, nullptr)) return true;
        if (count.RequiredKeeping() <= available.QuadPart) return true;
        keepEarlier = false;
        if (count.Required() <= available.QuadPart) return true;
        if (!AskRetryRoom(view, root, count.Required(), available.QuadPart)) return false;
    }
}

#include "logic/Room.h"

#include "logic/Failure.h"
#include "logic/PathHelpers.h"
#include "logic/TreeWalk.h"

namespace {

ULONGLONG FileSize(DWORD high, DWORD low) { return (static_cast<ULONGLONG>(high) << 32) | low; }

// Adds up what the files of a walk take on the destination's volume at the
// fullest moment of the copy. A file is written beside the one it replaces
// and takes its place only once whole, so while it is written both are
// there: the moment of the most room is the end of some file's copy, before
// the file it replaces goes.
class SpaceCount : public TreeVisitor {
public:
    explicit SpaceCount(ULONGLONG cluster) : cluster_(cluster) {}

    bool VisitFile(const TreeEntry& file) override {
        const ULONGLONG size = FileSize(file.found.nFileSizeHigh, file.found.nFileSizeLow);
        bytes_ += size;
        const LONGLONG added = Clusters(size);
        LONGLONG freed = 0;
        WIN32_FILE_ATTRIBUTE_DATA there;
        if (file.destination != nullptr && GetFileAttributesExW(file.destination, GetFileExInfoStandard, &there) &&
            !(there.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            freed = Clusters(FileSize(there.nFileSizeHigh, there.nFileSizeLow));
        }
        if (taken_ + added > peak_) peak_ = taken_ + added;
        taken_ += added - freed;
        return true;
    }
    bool EnterFolder(const TreeEntry&) override { return true; }

    // The most the install takes beyond what the volume holds now, at least nothing.
    ULONGLONG Required() const { return static_cast<ULONGLONG>(peak_); }
    // The bytes of the files the copy will write.
    ULONGLONG Bytes() const { return bytes_; }

private:
    LONGLONG Clusters(ULONGLONG size) const {
        return static_cast<LONGLONG>((size + cluster_ - 1) / cluster_ * cluster_);
    }

    const ULONGLONG cluster_;
    LONGLONG taken_ = 0;  // what the files visited so far take beyond what they replaced
    LONGLONG peak_ = 0;   // the most that has been at any moment
    ULONGLONG bytes_ = 0;
};

// The nearest folder of `path` that exists: the path itself or the closest of
// its parents, a drive root with its backslash. False when there is none.
bool NearestExistingFolder(const wchar_t* path, ShortPath& folder) {
    if (!CopyPath(folder, path)) return false;
    for (;;) {
        if (FolderExists(folder.text)) return true;
        wchar_t* separator = FindLastChar(folder.text, L'\\');
        // Nothing above a drive root, a \\server\share or a relative name.
        if (separator == nullptr || separator[1] == L'\0' || separator <= folder.text + 1) return false;
        // "C:\ZelOr" goes on at "C:\", not at "C:", which names the current folder of C:.
        separator[separator > folder.text && separator[-1] == L':' ? 1 : 0] = L'\0';
    }
}

// The bytes of the files the copy will write, where there is no volume to
// measure them against. False when the user cancels the walk.
bool CountOnly(InstallerView& view, const wchar_t* source, const wchar_t* destination, ULONGLONG& bytes) {
    SpaceCount count(1);
    if (!WalkTree(view, count, source, destination)) return false;
    bytes = count.Bytes();
    return true;
}

}  // namespace

bool EnsureRoom(InstallerView& view, const wchar_t* source, const wchar_t* destination, ULONGLONG& bytes) {
    for (;;) {
        ShortPath existing;
        wchar_t root[MAX_PATH];
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
        ULARGE_INTEGER available;
        // results examined only for success: a volume that cannot be asked is
        // not measured, and the copy reports what is wrong with it; the files
        // are still counted, for the progress.
        if (!NearestExistingFolder(destination, existing) || !GetVolumePathNameW(existing.text, root, MAX_PATH) ||
            !GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) ||
            sectorsPerCluster == 0 || bytesPerSector == 0) {
            return CountOnly(view, source, destination, bytes);
        }
        SpaceCount count(static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector);
        if (!WalkTree(view, count, source, destination)) return false;
        bytes = count.Bytes();
        if (!GetDiskFreeSpaceExW(existing.text, &available, nullptr, nullptr)) return true;
        if (count.Required() <= available.QuadPart) return true;
        if (!AskRetryRoom(view, root, count.Required(), available.QuadPart)) return false;
    }
}

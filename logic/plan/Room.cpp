// The room an install takes on its destination's volume: the count of a
// plan on a volume's figures (CountRoom), and the measuring of the volume
// against it, with its Retry box (EnsureRoom).
#include "logic/plan/Room.h"

#include "logic/plan/CopyPlan.h"
#include "logic/view/RetryBoxes.h"
#include "logic/plan/Footprint.h"
#include "logic/shared/HeapArray.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/Volume.h"
#include "logic/shared/WorkNames.h"

namespace {

// The installer's work folder in the destination (see WorkFolder): its list,
// one temporary file at a time, and for each earlier file kept aside a
// second name, "k" and its number, and a line of the list.
const wchar_t kKeptName[] = L"k00000";
constexpr ULONGLONG kListStart = 64;                          // its first line
constexpr ULONGLONG kListLine = (260 + 24) * sizeof(wchar_t);  // a path below the destination and numbers

ULONGLONG FileSize(DWORD high, DWORD low) { return (static_cast<ULONGLONG>(high) << 32) | low; }

// Whether a file is at `path`, and in `occupied` what it takes on its
// volume: a compressed or sparse file takes less than its length. Only such
// a file is asked for what it occupies; for any other that is its length,
// and the asking opens the file, which costs a disc of thousands of files
// seconds.
bool FileThere(const wchar_t* path, ULONGLONG& occupied) {
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &found) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    occupied = FileSize(found.nFileSizeHigh, found.nFileSizeLow);
    if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE))) return true;
    DWORD high = 0;
    const DWORD low = GetCompressedFileSizeW(path, &high);
    // INVALID_FILE_SIZE is also the low half of a valid size; the error tells.
    // A size that cannot be had counts as its length, the larger.
    if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) occupied = FileSize(high, low);
    return true;
}

// The depth of a step's folder below the destination: 0 for "".
int Depth(const wchar_t* within) {
    if (*within == L'\0') return 0;
    int depth = 1;
    for (; *within != L'\0'; ++within) depth += *within == L'\\';
    return depth;
}

// Adds up what the steps of a copy take on the destination's volume at the
// fullest moment of the copy: each file's clusters and what its file system
// spends on it besides (see Footprint), and the entries each new name adds
// to its folder, which grows by whole clusters. A file is written beside the
// one it replaces and takes its place only once whole, so while it is written
// both are there: the moment of the most room is the end of some file's
// copy, before the file it replaces goes. Where the earlier files are kept
// aside until the install completes, none goes before the end: that moment
// is the end.
class SpaceCount {
public:
    explicit SpaceCount(const Volume& volume) : volume_(volume), footprint_(volume) {}

    // False when the count cannot be held (it is then not made).
    bool Count(const CopyPlan& plan);

    // The most the install takes beyond what the volume holds now, at least nothing.
    ULONGLONG Required() const { return static_cast<ULONGLONG>(peak_); }
    // The same where it keeps the earlier files until it completes: nothing
    // it replaces gives its room back, and each kept file takes a second
    // name in the work folder and a line of its list.
    ULONGLONG RequiredKeeping() const {
        const ULONGLONG names = footprint_.Clusters(work_.entries + kept_ * footprint_.Entries(kKeptName));
        const ULONGLONG list = footprint_.File(kListStart + kept_ * kListLine, kWorkListName);
        const ULONGLONG keeping = added_ + (names > work_.counted ? names - work_.counted : 0) + list -
                                  footprint_.File(kListStart, kWorkListName);
        return keeping > Required() ? keeping : Required();
    }

private:
    // A folder the copy writes into: the bytes of the entries it adds there,
    // and the clusters counted for them.
    struct Folder {
        ULONGLONG entries;
        ULONGLONG counted;
    };

    // The credit for a file the install replaces, once its new copy is in
    // place: what it occupies, as its file system keeps it.
    LONGLONG Replaced(ULONGLONG occupied, const wchar_t* name) const {
        return static_cast<LONGLONG>(footprint_.File(occupied, name));
    }

    // The destination, and the folders the install makes above it when it
    // lies below a folder that is not there yet: from the folder that is
    // there down, each a new name in the one above it.
    bool MakeDestination(const wchar_t* destination);

    // A folder made anew: its record, and a cluster at least, for the entries it starts with.
    Folder Made() {
        Take(footprint_.FolderRecord());
        Folder folder = {footprint_.FolderStart(), footprint_.Clusters(footprint_.FolderStart())};
        if (folder.counted < footprint_.Cluster()) folder.counted = footprint_.Cluster();
        Take(folder.counted);
        return folder;
    }

    // A new name in `folder`: the clusters its entries need beyond those counted.
    void Name(Folder& folder, const wchar_t* name) {
        folder.entries += footprint_.Entries(name);
        const ULONGLONG needed = footprint_.Clusters(folder.entries);
        if (needed <= folder.counted) return;
        Take(needed - folder.counted);
        folder.counted = needed;
    }

    // The installer's work folder, made at the first file, with its list and
    // one temporary file's name.
    void MakeWorkFolder() {
        Name(folders_[0], kWorkFolderName);
        work_ = Made();
        Name(work_, kWorkListName);
        Name(work_, L"t0");
        Take(footprint_.File(kListStart, kWorkListName));
    }

    void Take(ULONGLONG bytes) {
        added_ += bytes;
        taken_ += static_cast<LONGLONG>(bytes);
        if (taken_ > peak_) peak_ = taken_;
    }

    const Volume& volume_;
    const Footprint footprint_;
    HeapArray<Folder> folders_;  // the destination, then each folder down to the current step's
    LONGLONG taken_ = 0;         // what the steps counted so far take beyond what they replaced
    LONGLONG peak_ = 0;          // the most that has been at any moment
    Folder work_ = {0, 0};       // the installer's work folder
    ULONGLONG added_ = 0;        // all that the steps take, nothing given back
    ULONGLONG kept_ = 0;         // files it replaces
};

bool SpaceCount::Count(const CopyPlan& plan) {
    if (!MakeDestination(plan.Destination())) return false;
    MakeWorkFolder();
    for (int index = 0; index < plan.Count(); ++index) {
        const CopyPlan::Step step = plan.At(index);
        // The plan lists each folder's steps after the folder's own, depth first.
        const int depth = Depth(step.within);
        if (depth >= folders_.Count()) return false;
        folders_.Shrink(depth + 1);
        ShortPath destination;
        const bool fits = plan.DestinationPath(step, destination);
        if (step.folder) {
            Folder folder = {0, 0};
            if (!fits || !FolderExists(destination.text)) {
                Name(folders_[depth], step.name);
                folder = Made();
            }
            if (!folders_.Append(&folder, 1)) return false;
            continue;
        }
        Folder& folder = folders_[depth];
        Take(footprint_.File(step.size, step.name));
        ULONGLONG occupied = 0;
        if (fits && FileThere(destination.text, occupied)) {
            taken_ -= Replaced(occupied, step.name);
            ++kept_;
        } else {
            Name(folder, step.name);
        }
    }
    return true;
}

bool SpaceCount::MakeDestination(const wchar_t* destination) {
    ShortPath below;
    const wchar_t* rest = destination + lstrlenW(volume_.existing.text);
    if (*rest == L'\\') ++rest;
    if (!CopyPath(below, rest)) return false;
    Folder folder = {0, 0};
    for (wchar_t* name = below.text; *name != L'\0';) {
        wchar_t* end = name;
        while (*end != L'\0' && *end != L'\\') ++end;
        const bool last = *end == L'\0';
        *end = L'\0';
        Name(folder, name);
        folder = Made();
        name = last ? end : end + 1;
    }
    return folders_.Append(&folder, 1);
}

}  // namespace

bool CountRoom(const CopyPlan& plan, const Volume& volume, Room& room) {
    SpaceCount count(volume);
    if (!count.Count(plan)) return false;
    room = {count.Required(), count.RequiredKeeping()};
    return true;
}

bool EnsureRoom(InstallerView& view, const CopyPlan& plan, bool& keepEarlier) {
    for (;;) {
        keepEarlier = true;
        Volume volume;
        Room room;
        ULARGE_INTEGER available;
        // results examined only for success: a volume that cannot be asked is
        // not measured, and the copy reports what is wrong with it.
        if (!DescribeVolume(plan.Destination(), volume) || !CountRoom(plan, volume, room) ||
            !GetDiskFreeSpaceExW(volume.existing.text, &available, nullptr, nullptr)) {
            return true;
        }
        keepEarlier = room.FitsKeeping(available.QuadPart);
        if (room.Fits(available.QuadPart)) return true;
        if (!AskRetryRoom(view, volume.root, room.required, available.QuadPart)) return false;
    }
}

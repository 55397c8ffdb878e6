// The walk of the medium's tree: each folder listed whole, sorted by code
// units, its entries handed to the visitor.
#include "logic/plan/TreeWalk.h"

#include "logic/view/RetryBoxes.h"
#include "logic/shared/HeapArray.h"
#include "logic/view/InstallerView.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FolderIdentity.h"

namespace {

// The medium's own start-up files: its autorun description, its start program
// and this installer.
const wchar_t* const kExcludedNames[] = {L"autorun.inf", L"start.exe", L"hd.exe"};

// The excluded names are ASCII, so folding ASCII letters is exact; the
// locale-aware lstrcmpiW would also ignore hyphens and apostrophes
// ("st-art.exe" would match "start.exe").
bool IsExcludedFile(const wchar_t* name) {
    for (const wchar_t* excluded : kExcludedNames) {
        if (EqualsIgnoringAsciiCase(name, excluded)) return true;
    }
    return false;
}

bool IsDotEntry(const wchar_t* name) {
    return lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0;
}

struct Walk {
    InstallerView& view;
    TreeVisitor& visitor;
    // The folder the destination tree starts at: when it lies inside the
    // source, the listing meets it, and it is passed over so that the walk
    // never walks its own output.
    FolderIdentity destinationRoot;
};

bool WalkLevel(Walk& walk, const wchar_t* source, const wchar_t* destination);

bool WalkEntry(Walk& walk, const wchar_t* sourceFolder, const wchar_t* destinationFolder,
               const WIN32_FIND_DATAW& found) {
    const wchar_t* name = found.cFileName;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder ? IsDotEntry(name) : IsExcludedFile(name)) return true;

    LongPath source;
    ShortPath destination;
    const bool sourceFits = JoinPath(source, sourceFolder, name);
    const bool destinationFits = JoinPath(destination, destinationFolder, name);
    const TreeEntry entry = {sourceFolder, destinationFolder, found, sourceFits ? source.text : nullptr,
                             destinationFits ? destination.text : nullptr};
    if (!isFolder) return walk.visitor.VisitFile(entry);
    if (sourceFits && SameFolder(IdentifyFolder(source.text), walk.destinationRoot)) return true;
    if (!walk.visitor.EnterFolder(entry)) return false;
    return !sourceFits || !destinationFits || WalkLevel(walk, source.text, destination.text);
}

// The entries of the folder `pattern` lists, whole, in `entries`, and in
// `order` their indexes by name, in UTF-16 code units. Returns the error,
// ERROR_SUCCESS once the listing has ended as a listing should.
DWORD ReadListing(const wchar_t* pattern, HeapArray<WIN32_FIND_DATAW>& entries, HeapArray<int>& order) {
    entries.Clear();
    order.Clear();
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(pattern, &found);
    if (listing == INVALID_HANDLE_VALUE) {
        // Only an empty drive root lists nothing at all, not even "." and
        // "..". Any other failure (a folder gone since its parent was
        // listed, a disc taken out or unreadable) would leave files out.
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    DWORD error = ERROR_SUCCESS;
    do {
        if (!entries.Append(&found, 1)) error = ERROR_NOT_ENOUGH_MEMORY;
    } while (error == ERROR_SUCCESS && FindNextFileW(listing, &found));
    if (error == ERROR_SUCCESS) error = GetLastError();
    FindClose(listing);
    if (error != ERROR_NO_MORE_FILES) return error;
    if (!order.Reserve(entries.Count())) return ERROR_NOT_ENOUGH_MEMORY;
    // Shell's sort of the indexes: no recursion, and a listing that comes
    // sorted (Wine's, by another order only in case) costs about n log n.
    for (int i = 0; i < entries.Count(); ++i) order.Append(&i, 1);
    for (int gap = entries.Count() / 2; gap > 0; gap /= 2) {
        for (int i = gap; i < entries.Count(); ++i) {
            const int moving = order[i];
            int j = i;
            for (; j >= gap && CompareCodeUnits(entries[order[j - gap]].cFileName, entries[moving].cFileName) > 0;
                 j -= gap) {
                order[j] = order[j - gap];
            }
            order[j] = moving;
        }
    }
    return ERROR_SUCCESS;
}

bool WalkLevel(Walk& walk, const wchar_t* source, const wchar_t* destination) {
    LongPath folder = {};
    LongPath pattern;
    const bool fits = CopyPath(folder, source) && JoinPath(pattern, folder.text, L"*.*");
    // Listed whole before any entry is walked, and walked in the order of
    // the names' code units: the order a CD's folder has on the disc (ISO
    // 9660 and Joliet keep its records so, and Windows lists them so), which
    // the disc's files' data follow too. Whatever order the file system at
    // hand lists them in (Wine sorts a listing without regard to case), the
    // drive then reads the disc in one sweep.
    HeapArray<WIN32_FIND_DATAW> entries;
    HeapArray<int> order;
    for (;;) {
        const DWORD error = fits ? ReadListing(pattern.text, entries, order) : ERROR_FILENAME_EXCED_RANGE;
        if (error == ERROR_SUCCESS) break;
        if (!AskRetryListing(walk.view, source, error)) return false;
    }
    for (int i = 0; i < order.Count(); ++i) {
        if (!WalkEntry(walk, folder.text, destination, entries[order[i]])) return false;
    }
    return true;
}

}  // namespace

bool WalkTree(InstallerView& view, TreeVisitor& visitor, const wchar_t* source, const wchar_t* destination) {
    Walk walk = {view, visitor, IdentifyFolder(destination)};
    return WalkLevel(walk, source, destination);
}

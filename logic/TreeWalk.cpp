#include "logic/TreeWalk.h"

#include "logic/Failure.h"
#include "logic/InstallerView.h"
#include "logic/PathHelpers.h"

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

bool WalkLevel(Walk& walk, const wchar_t* source, const wchar_t* destination) {
    LongPath folder = {};
    LongPath pattern;
    const bool fits = CopyPath(folder, source) && JoinPath(pattern, folder.text, L"*.*");
    int walked = 0;  // entries of this folder already walked, for a listing started again
    for (;;) {
        WIN32_FIND_DATAW found;
        HANDLE listing = fits ? FindFirstFileW(pattern.text, &found) : INVALID_HANDLE_VALUE;
        DWORD error = fits ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        if (listing != INVALID_HANDLE_VALUE) {
            bool more = true;
            for (int index = 0; more; ++index) {
                if (index >= walked) {
                    if (!WalkEntry(walk, folder.text, destination, found)) {
                        FindClose(listing);
                        return false;
                    }
                    ++walked;
                }
                more = FindNextFileW(listing, &found) != FALSE;
            }
            error = GetLastError();
            FindClose(listing);
            if (error == ERROR_NO_MORE_FILES) return true;
        } else if (error == ERROR_FILE_NOT_FOUND) {
            // Only an empty drive root lists nothing at all, not even "." and
            // "..". Any other failure (a folder gone since its parent was
            // listed, a disc taken out or unreadable) would leave files out.
            return true;
        }
        if (!AskRetryListing(walk.view, source, error)) return false;
    }
}

}  // namespace

bool WalkTree(InstallerView& view, TreeVisitor& visitor, const wchar_t* source, const wchar_t* destination) {
    Walk walk = {view, visitor, IdentifyFolder(destination)};
    return WalkLevel(walk, source, destination);
}

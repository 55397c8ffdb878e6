#include "logic/CopyTree.h"

#include <windows.h>

#include "logic/InstallerView.h"
#include "logic/PathHelpers.h"

namespace {

// The medium's own start-up files: its autorun description, its start program
// and this installer.
const wchar_t* const kExcludedNames[] = {L"autorun.inf", L"start.exe", L"hd.exe"};

// The excluded names are ASCII, so folding ASCII letters is exact; the
// locale-aware lstrcmpiW would also ignore hyphens and apostrophes
// ("st-art.exe" would match "start.exe").
bool EqualsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        wchar_t x = *a, y = *b;
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
        if (x == L'\0') return true;
    }
}

bool IsExcludedFile(const wchar_t* name) {
    for (const wchar_t* excluded : kExcludedNames) {
        if (EqualsIgnoringAsciiCase(name, excluded)) return true;
    }
    return false;
}

bool IsDotEntry(const wchar_t* name) {
    return lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0;
}

// Which folder a path names, independent of how the path spells it (case,
// doubled separators, another drive letter for the same folder).
struct FolderIdentity {
    bool known;
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

FolderIdentity IdentifyFolder(const wchar_t* path) {
    FolderIdentity identity = {};
    HANDLE folder = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(folder, &information)) {
        identity.known = true;
        identity.volume = information.dwVolumeSerialNumber;
        identity.indexHigh = information.nFileIndexHigh;
        identity.indexLow = information.nFileIndexLow;
    }
    CloseHandle(folder);
    return identity;
}

bool SameFolder(const FolderIdentity& a, const FolderIdentity& b) {
    return a.known && b.known && a.volume == b.volume && a.indexHigh == b.indexHigh &&
           a.indexLow == b.indexLow;
}

// CopyFileW, and whether the copy is whole: the file must have the size its
// listing entry gave. Under Wine, CopyFileW takes a read error on the source
// (a scratched disc) for the end of the file and reports success with a short
// file. What a failed or short copy wrote is removed, so that no file looks
// installed that is not (Windows' own copy deletes a partial destination when
// cancelled). Only this copy's output goes: CopyFileW stamps what it writes
// with the source's last-write time, under Wine also when it fails half-way.
// A file without that stamp, or of the right size, was there before and was
// not touched (an earlier installation's, or the user's): it stays.
bool CopyWholeFile(const wchar_t* source, const wchar_t* destination, const WIN32_FIND_DATAW& entry) {
    const bool reported = CopyFileW(source, destination, FALSE) != FALSE;
    WIN32_FILE_ATTRIBUTE_DATA copy;
    if (!GetFileAttributesExW(destination, GetFileExInfoStandard, &copy)) return false;
    if (copy.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    const bool whole = copy.nFileSizeLow == entry.nFileSizeLow && copy.nFileSizeHigh == entry.nFileSizeHigh;
    if (reported && whole) return true;
    if (!whole && (reported || CompareFileTime(&copy.ftLastWriteTime, &entry.ftLastWriteTime) == 0)) {
        // A copy from a CD is read-only, which would keep it from being deleted.
        SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(destination);
    }
    return false;
}

// One folder level; `destination` already exists or could not be created.
// `destinationRoot` is the folder the whole copy goes into:
// when it lies inside the source tree the listing meets it, and it is skipped so
// the copy never copies its own output.
bool CopyLevel(InstallerView& view, const wchar_t* source, const wchar_t* destination,
               const FolderIdentity& destinationRoot) {
    LongPath sourceFolder = {};
    LongPath sourceEntry;
    ShortPath destinationChild;
    // A source over 1023 characters cannot be listed without cutting it short.
    if (!CopyPath(sourceFolder, source)) return false;
    if (!JoinPath(sourceEntry, sourceFolder.text, L"*.*")) return false;

    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(sourceEntry.text, &entry);
    // Only an empty drive root lists nothing at all, not even "." and "..".
    // Any other failure (a folder gone since its parent was listed, a disc
    // taken out or unreadable) would leave files out of an install reported
    // as complete.
    if (listing == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;

    bool copied = true;
    do {
        const wchar_t* name = entry.cFileName;
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder ? !IsDotEntry(name) : !IsExcludedFile(name)) {
            // An entry whose paths do not fit their buffers counts as a failed copy.
            if (!JoinPath(sourceEntry, sourceFolder.text, name) ||
                !JoinPath(destinationChild, destination, name)) {
                copied = false;
                break;
            }
            if (isFolder) {
                if (!SameFolder(IdentifyFolder(sourceEntry.text), destinationRoot)) {
                    MakeDirectoryChain(destinationChild.text);
                    if (!CopyLevel(view, sourceEntry.text, destinationChild.text, destinationRoot)) {
                        copied = false;
                        break;
                    }
                }
            } else {
                if (!CopyWholeFile(sourceEntry.text, destinationChild.text, entry)) {
                    copied = false;
                    break;
                }
                // result ignored: files from a CD arrive read-only; if this fails the
                // copy itself still succeeded.
                SetFileAttributesW(destinationChild.text, FILE_ATTRIBUTE_NORMAL);
                view.AppendLogText(destinationChild.text);
                view.AppendLogText(L"\r\n");
            }
        }
        view.PumpOneMessage();
    } while (FindNextFileW(listing, &entry));
    // A listing that breaks off before its end leaves the rest of the folder uncopied.
    if (copied && GetLastError() != ERROR_NO_MORE_FILES) copied = false;

    FindClose(listing);
    return copied;
}

}  // namespace

bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination) {
    MakeDirectoryChain(destination);
    const FolderIdentity destinationRoot = IdentifyFolder(destination);
    // Copying a folder onto itself would read and write every file at once;
    // Windows' CopyFileW refuses that for the first file, so it is a failed copy.
    if (SameFolder(IdentifyFolder(source), destinationRoot)) return false;
    return CopyLevel(view, source, destination, destinationRoot);
}

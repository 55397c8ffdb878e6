#include "logic/CopyTree.h"

#include <windows.h>

#include "logic/Failure.h"
#include "logic/InstallerView.h"
#include "logic/PathHelpers.h"
#include "logic/TreeWalk.h"

namespace {

// CopyFileW, and whether the copy is whole: the file must have the size its
// listing entry gave. Under Wine, CopyFileW takes a read error on the source
// (a scratched disc) for the end of the file and reports success with a short
// file. What a failed or short copy wrote is removed, so that no file looks
// installed that is not (Windows' own copy deletes a partial destination when
// cancelled). Only this copy's output goes: CopyFileW stamps what it writes
// with the source's last-write time, under Wine also when it fails half-way.
// A file without that stamp, or of the right size, was there before and was
// not touched (an earlier installation's, or the user's): it stays.
// Returns the error, ERROR_SUCCESS for a whole copy; a short one, which has
// no error of its own, is ERROR_CRC, what Windows reports for a disc's sector
// it cannot read.
DWORD CopyWholeFile(const wchar_t* source, const wchar_t* destination, const WIN32_FIND_DATAW& entry) {
    // Windows' CopyFileW refuses to replace a read-only or hidden file
    // (ERROR_ACCESS_DENIED), as the product, the user or an antivirus may have
    // left one; Wine, run as root, replaces it anyway. Its content stays as it
    // is if the copy then fails.
    const DWORD existing = GetFileAttributesW(destination);
    const DWORD keeping = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY) && (existing & keeping)) {
        // result ignored: if it stays protected, the copy says so.
        const DWORD rest = existing & ~keeping;
        SetFileAttributesW(destination, rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL);
    }
    const bool reported = CopyFileW(source, destination, FALSE) != FALSE;
    const DWORD failure = reported ? ERROR_CRC : GetLastError();
    WIN32_FILE_ATTRIBUTE_DATA copy;
    if (!GetFileAttributesExW(destination, GetFileExInfoStandard, &copy)) return reported ? GetLastError() : failure;
    if (copy.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return reported ? ERROR_ACCESS_DENIED : failure;
    const bool whole = copy.nFileSizeLow == entry.nFileSizeLow && copy.nFileSizeHigh == entry.nFileSizeHigh;
    if (reported && whole) return ERROR_SUCCESS;
    if (!whole && (reported || CompareFileTime(&copy.ftLastWriteTime, &entry.ftLastWriteTime) == 0)) {
        // A copy from a CD is read-only, which would keep it from being deleted.
        SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(destination);
    }
    return failure;
}

// Whether the folder the copy is about to go into is to be taken as it is.
// The destination, and the folders above it, are the user's choice, links or
// not; a folder inside it that is a link (a junction, a symbolic link, a
// mount point) may have been planted by anyone who could write there (under
// C:\, every user), and an installer with an administrator's rights would
// write the disc's files, and clear the marks of the files it finds, in the
// folder it points to, such as one below C:\Windows.
enum class Links { kAccepted, kRefused };
// ERROR_STOPPED_ON_SYMLINK, which MinGW's headers lack: "the create operation
// stopped after reaching a symbolic link". Windows before Vista, and Wine 8,
// have no text for it; the box then gives its number.
constexpr DWORD kStoppedOnLink = 681;

// Makes the folder `path` with every missing folder above it. Returns the
// error, ERROR_SUCCESS once the folder is there. Windows makes no folder
// longer than kMaxFolderPath (Wine does): such a path does not fit. A folder
// that is there and is a link, where `links` refuses it, is
// kStoppedOnLink: the copy stops in front of it.
DWORD CreateFolder(const wchar_t* path, Links links) {
    if (FolderExists(path)) {
        const bool link = (GetFileAttributesW(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        return link && links == Links::kRefused ? kStoppedOnLink : ERROR_SUCCESS;
    }
    if (!FitsAsFolder(path)) return ERROR_FILENAME_EXCED_RANGE;
    MakeDirectoryChain(path);
    if (FolderExists(path)) return ERROR_SUCCESS;
    // Once more for the reason, which the chain does not keep: a file in the
    // way, no rights, a medium that cannot be written.
    return CreateDirectoryW(path, nullptr) ? ERROR_SUCCESS : GetLastError();
}

// Creates the folder `path` (nullptr: it does not fit), shown as
// `folder`\`name` when it cannot be, until it is there or the user cancels.
bool CreateFolderOrAsk(InstallerView& view, const wchar_t* path, const wchar_t* folder, const wchar_t* name,
                       Links links) {
    for (;;) {
        const DWORD error = path != nullptr ? CreateFolder(path, links) : ERROR_FILENAME_EXCED_RANGE;
        if (error == ERROR_SUCCESS) return true;
        if (!AskRetryFolder(view, folder, name, error)) return false;
    }
}

// The copy itself: each file copied whole, made normal and logged, each
// folder created; a step that fails is offered for Retry until it succeeds
// or the user cancels.
class Copier : public TreeVisitor {
public:
    explicit Copier(InstallerView& view) : view_(view) {}

    bool VisitFile(const TreeEntry& file) override {
        for (;;) {
            const DWORD error = file.source != nullptr && file.destination != nullptr
                                    ? CopyWholeFile(file.source, file.destination, file.found)
                                    : ERROR_FILENAME_EXCED_RANGE;
            if (error == ERROR_SUCCESS) break;
            if (!AskRetryCopy(view_, file.sourceFolder, file.destinationFolder, file.found.cFileName, error)) {
                return false;
            }
        }
        // result ignored: files from a CD arrive read-only; if this fails the
        // copy itself still succeeded.
        SetFileAttributesW(file.destination, FILE_ATTRIBUTE_NORMAL);
        view_.AppendLogText(file.destination);
        view_.AppendLogText(L"\r\n");
        return true;
    }

    bool EnterFolder(const TreeEntry& folder) override {
        return CreateFolderOrAsk(view_, folder.destination, folder.destinationFolder, folder.found.cFileName,
                                 Links::kRefused);
    }

private:
    InstallerView& view_;
};

}  // namespace

bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination) {
    if (!CreateFolderOrAsk(view, destination, destination, nullptr, Links::kAccepted)) return false;
    // Copying a folder onto itself would read and write every file at once;
    // Windows' CopyFileW refuses that for the first file, so it is a failed copy.
    if (SameFolder(IdentifyFolder(source), IdentifyFolder(destination))) return false;
    Copier copier(view);
    return WalkTree(view, copier, source, destination, Pumping::kEveryEntry);
}

#include "logic/CopyTree.h"

#include <windows.h>

#include "logic/Failure.h"
#include "logic/InstallerView.h"
#include "logic/PathHelpers.h"
#include "logic/ProgressMeter.h"
#include "logic/TreeWalk.h"

namespace {

// The name under which a file is copied in its target folder before it takes
// the target's name, one at a time in each folder. Eleven units: a folder the
// installer creates is at most kMaxFolderPath long, and this name always fits
// below it within MAX_PATH.
const wchar_t kTemporaryName[] = L"~hdcopy.tmp";

// `folder`\~hdcopy.tmp. A folder that was there already may be deeper than the
// installer creates; below it the name takes the \\?\ form, which lifts
// MAX_PATH (the destination is a full path, with nothing left to resolve).
bool TemporaryPath(LongPath& out, const wchar_t* folder) {
    if (lstrlenW(folder) + 1 + lstrlenW(kTemporaryName) < ShortPath::capacity) {
        return JoinPath(out, folder, kTemporaryName);
    }
    LongPath prefixed;
    const bool network = folder[0] == L'\\' && folder[1] == L'\\';
    FormatText(prefixed.text, LongPath::capacity, network ? L"\\\\?\\UNC\\%s" : L"\\\\?\\%s",
               {network ? folder + 2 : folder});
    return JoinPath(out, prefixed.text, kTemporaryName);
}

// Removes the temporary copy at `path`, which a copy from a CD left read-only.
void RemoveTemporary(const wchar_t* path) {
    // results ignored: no such file is the usual case.
    if (SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL)) DeleteFileW(path);
}

// An installer ended half-way (from Task Manager, or by a power cut) leaves
// its temporary copy behind in the folder it was writing to.
void RemoveLeftover(const wchar_t* folder) {
    LongPath temporary;
    if (TemporaryPath(temporary, folder)) RemoveTemporary(temporary.text);
}

// What CopyFileExW has reported written of the file it copies, handed on to the meter.
struct FileProgress {
    ProgressMeter& meter;
    ULONGLONG counted;
};

DWORD CALLBACK CountWritten(LARGE_INTEGER, LARGE_INTEGER written, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                            HANDLE, HANDLE, void* context) {
    FileProgress& file = *static_cast<FileProgress*>(context);
    const ULONGLONG now = static_cast<ULONGLONG>(written.QuadPart);
    if (now > file.counted) {
        file.meter.Copied(now - file.counted);
        file.counted = now;
    }
    return PROGRESS_CONTINUE;
}

// Copies `source` to `destination` whole or not at all: under the temporary
// name in `folder` first, and only once the copy has the size the listing
// gave, renamed over the target. At every moment the target is the earlier
// file or the complete new one, whenever the installer is ended; a symbolic
// link at the target's name is replaced, never written through. Under Wine,
// CopyFileExW takes a read error on the source (a scratched disc) for the end
// of the file and reports success with a short file, so the size is what
// tells. A failed copy takes its temporary file with it. Returns the error,
// ERROR_SUCCESS for a whole copy; a short one, which has no error of its own,
// is ERROR_CRC, what Windows reports for a disc's sector it cannot read. The
// bytes go to `progress` as they are written; Wine 8's CopyFileExW never calls
// its progress routine, so what it did not report is counted once the file is
// in place.
DWORD CopyWholeFile(const wchar_t* source, const wchar_t* destination, const wchar_t* folder,
                    const WIN32_FIND_DATAW& entry, ProgressMeter& progress) {
    // Windows replaces no read-only file by renaming (ERROR_ACCESS_DENIED),
    // and the product, the user or an antivirus may have left one; Wine, run
    // as root, replaces it anyway. A link keeps its marks: it is replaced
    // itself, and its target is none of the installer's business.
    const DWORD existing = GetFileAttributesW(destination);
    const DWORD keeping = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        (existing & keeping)) {
        // result ignored: if it stays protected, the rename says so.
        const DWORD rest = existing & ~keeping;
        SetFileAttributesW(destination, rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL);
    }
    LongPath temporary;
    if (!TemporaryPath(temporary, folder)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD error = ERROR_SUCCESS;
    WIN32_FILE_ATTRIBUTE_DATA copy;
    FileProgress written = {progress, 0};
    if (!CopyFileExW(source, temporary.text, CountWritten, &written, nullptr, 0)) {
        error = GetLastError();
    } else if (!GetFileAttributesExW(temporary.text, GetFileExInfoStandard, &copy)) {
        error = GetLastError();
    } else if (copy.nFileSizeLow != entry.nFileSizeLow || copy.nFileSizeHigh != entry.nFileSizeHigh) {
        error = ERROR_CRC;
    } else if (!SetFileAttributesW(temporary.text, FILE_ATTRIBUTE_NORMAL)) {
        // Files from a CD arrive read-only; installed, they are the user's to change.
        error = GetLastError();
    } else if (!MoveFileExW(temporary.text, destination, MOVEFILE_REPLACE_EXISTING)) {
        error = GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        RemoveTemporary(temporary.text);
        progress.StartOver(written.counted);
        return error;
    }
    const ULONGLONG size = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    if (size > written.counted) progress.Copied(size - written.counted);
    return ERROR_SUCCESS;
}

// Makes the folder `path` with every missing folder above it. Returns the
// error, ERROR_SUCCESS once the folder is there. Windows makes no folder
// longer than kMaxFolderPath (Wine does): such a path does not fit.
DWORD CreateFolder(const wchar_t* path) {
    if (FolderExists(path)) return ERROR_SUCCESS;
    if (!FitsAsFolder(path)) return ERROR_FILENAME_EXCED_RANGE;
    MakeDirectoryChain(path);
    if (FolderExists(path)) return ERROR_SUCCESS;
    // Once more for the reason, which the chain does not keep: a file in the
    // way, no rights, a medium that cannot be written.
    return CreateDirectoryW(path, nullptr) ? ERROR_SUCCESS : GetLastError();
}

// Creates the folder `path` (nullptr: it does not fit), shown as
// `folder`\`name` when it cannot be, until it is there or the user cancels.
bool CreateFolderOrAsk(InstallerView& view, const wchar_t* path, const wchar_t* folder, const wchar_t* name) {
    for (;;) {
        const DWORD error = path != nullptr ? CreateFolder(path) : ERROR_FILENAME_EXCED_RANGE;
        if (error == ERROR_SUCCESS) return true;
        if (!AskRetryFolder(view, folder, name, error)) return false;
    }
}

// The copy itself: each file copied whole, made normal and logged, each
// folder created and rid of what an ended installer left there; a step that fails is offered for Retry until it succeeds
// or the user cancels.
class Copier : public TreeVisitor {
public:
    Copier(InstallerView& view, ProgressMeter& progress) : view_(view), progress_(progress) {}

    bool VisitFile(const TreeEntry& file) override {
        for (;;) {
            const DWORD error =
                file.source != nullptr && file.destination != nullptr
                    ? CopyWholeFile(file.source, file.destination, file.destinationFolder, file.found, progress_)
                    : ERROR_FILENAME_EXCED_RANGE;
            if (error == ERROR_SUCCESS) break;
            if (!AskRetryCopy(view_, file.sourceFolder, file.destinationFolder, file.found.cFileName, error)) {
                return false;
            }
        }
        view_.AppendLogText(file.destination);
        view_.AppendLogText(L"\r\n");
        return true;
    }

    bool EnterFolder(const TreeEntry& folder) override {
        if (!CreateFolderOrAsk(view_, folder.destination, folder.destinationFolder, folder.found.cFileName)) {
            return false;
        }
        if (folder.destination != nullptr) RemoveLeftover(folder.destination);
        return true;
    }

private:
    InstallerView& view_;
    ProgressMeter& progress_;
};

}  // namespace

bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination, ProgressMeter& progress) {
    if (!CreateFolderOrAsk(view, destination, destination, nullptr)) return false;
    // Copying a folder onto itself would read and write every file at once;
    // Windows' CopyFileW refuses that for the first file, so it is a failed copy.
    if (SameFolder(IdentifyFolder(source), IdentifyFolder(destination))) return false;
    RemoveLeftover(destination);
    Copier copier(view, progress);
    return WalkTree(view, copier, source, destination);
}

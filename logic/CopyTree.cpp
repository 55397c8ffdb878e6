#include "logic/CopyTree.h"

#include <windows.h>

#include "logic/CopyPlan.h"
#include "logic/Failure.h"
#include "logic/InstallerView.h"
#include "logic/PathHelpers.h"
#include "logic/ProgressMeter.h"
#include "logic/ReadAhead.h"

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

// Clears the read-only, hidden and system marks of the file at `path`, if
// it has any: Windows replaces no read-only file by renaming
// (ERROR_ACCESS_DENIED), and the product, the user or an antivirus may have
// left one. A link keeps its marks: it is replaced itself, and its target is
// none of the installer's business. True when marks were cleared.
bool ClearProtection(const wchar_t* path) {
    const DWORD existing = GetFileAttributesW(path);
    const DWORD keeping = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (existing == INVALID_FILE_ATTRIBUTES || (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !(existing & keeping)) {
        return false;
    }
    const DWORD rest = existing & ~keeping;
    return SetFileAttributesW(path, rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

// Renames the whole copy at `temporary` over `destination`. A target that
// Windows will not replace for its marks loses them, and only then: what the
// install does not replace (a copy that failed) keeps them. Returns the
// error, ERROR_SUCCESS once it is in place.
DWORD PutInPlace(const wchar_t* temporary, const wchar_t* destination) {
    if (MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED || !ClearProtection(destination)) return error;
    return MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING) ? ERROR_SUCCESS : GetLastError();
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

// The copy itself, step by step in the plan's order: each folder created and
// rid of what an ended installer left there, each file written whole from
// what the reader brings, renamed into place and logged. The reader is kept
// up to kQueueCapacity files ahead, so that the drive reads on while a file
// is written, checked and logged. A step that fails is offered for Retry
// until it succeeds or the user cancels; a file is then read again from its
// start, and the files after it too.
class Copier {
public:
    Copier(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress)
        : view_(view), plan_(plan), progress_(progress) {}

    bool Run() {
        for (int index = 0; index < plan_.Count(); ++index) {
            ready_ = QueueAhead(index);
            if (!CarryOut(index)) return false;
        }
        return true;
    }

private:
    bool CarryOut(int index) {
        const CopyPlan::Step step = plan_.At(index);
        LongPath sourceFolder, destinationFolder;
        plan_.Folders(step, sourceFolder, destinationFolder);
        ShortPath destination;
        const wchar_t* const path = plan_.DestinationPath(step, destination) ? destination.text : nullptr;
        if (step.folder) {
            if (!CreateFolderOrAsk(view_, path, destinationFolder.text, step.name, Links::kRefused)) return false;
            if (path != nullptr) RemoveLeftover(path);
            return true;
        }
        LongPath source;
        const bool sourceFits = plan_.SourcePath(step, source);
        const bool fits = path != nullptr && sourceFits;
        for (;;) {
            const DWORD error = !fits ? ERROR_FILENAME_EXCED_RANGE
                                : !ready_ ? ERROR_NOT_ENOUGH_MEMORY
                                          : WriteWhole(step, destinationFolder.text, path);
            if (error == ERROR_SUCCESS) break;
            if (!AskRetryCopy(view_, sourceFolder.text, destinationFolder.text, step.name, error)) return false;
            if (ready_ && fits) reader_.Restart(taken_);
            ready_ = QueueAhead(index);
        }
        ++taken_;
        view_.AppendLogText(path);
        view_.AppendLogText(L"\r\n");
        return true;
    }

    // Hands the reader the files from the one at `index` on, as many as it
    // takes ahead. Those whose paths do not fit are left to their boxes.
    bool QueueAhead(int index) {
        if (!reader_.Start()) return false;
        if (queuedUpTo_ < index) queuedUpTo_ = index;
        while (queuedUpTo_ < plan_.Count() && queued_ - taken_ < ReadAhead::kQueueCapacity) {
            const CopyPlan::Step step = plan_.At(queuedUpTo_++);
            LongPath source;
            ShortPath destination;
            if (!step.folder && plan_.SourcePath(step, source) && plan_.DestinationPath(step, destination)) {
                reader_.Queue(source.text, step.size);
                ++queued_;
            }
        }
        return true;
    }

    // Writes the file of `step` to `destination` whole or not at all: under
    // the temporary name in its `folder` first, with the bytes the reader
    // brings, and only once they are as many as the listing gave, renamed
    // over the target. At every moment the target is the earlier file or the
    // complete new one, whenever the installer is ended; a symbolic link at
    // the target's name is replaced, never written through. Under Wine a read
    // error on the disc (a scratch) can look like the end of the file, so the
    // count is what tells: a short file is ERROR_CRC, what Windows reports for
    // a disc's sector it cannot read. A failed copy takes its temporary file
    // with it. Returns the error, ERROR_SUCCESS once the file is in place.
    DWORD WriteWhole(const CopyPlan::Step& step, const wchar_t* folder, const wchar_t* destination) {
        LongPath temporary;
        if (!TemporaryPath(temporary, folder)) return ERROR_FILENAME_EXCED_RANGE;
        // Made normal: files from a CD are read-only, installed they are the user's to change.
        HANDLE file = CreateFileW(temporary.text, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) return GetLastError();
        DWORD error = ERROR_SUCCESS;
        ULONGLONG written = 0;
        for (;;) {
            const ReadAhead::Piece piece = reader_.Take(taken_);
            DWORD done = 0;
            if (piece.length > 0 && !WriteFile(file, piece.data, piece.length, &done, nullptr)) {
                error = GetLastError();
            } else if (piece.error != ERROR_SUCCESS) {
                error = piece.error;
            }
            if (error != ERROR_SUCCESS) break;
            written += piece.length;
            progress_.Copied(piece.length);
            reader_.Release();
            if (piece.end) break;
        }
        // The last-write time the disc gives it, as a copy of a file has.
        if (error == ERROR_SUCCESS && !SetFileTime(file, nullptr, nullptr, &step.lastWrite)) error = GetLastError();
        if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
        if (error == ERROR_SUCCESS && written != step.size) error = ERROR_CRC;
        if (error == ERROR_SUCCESS) error = PutInPlace(temporary.text, destination);
        if (error != ERROR_SUCCESS) {
            RemoveTemporary(temporary.text);
            progress_.StartOver(written);
        }
        return error;
    }

    InstallerView& view_;
    const CopyPlan& plan_;
    ProgressMeter& progress_;  // told each piece as it is written
    ReadAhead reader_;
    int queuedUpTo_ = 0;  // the next step to look at for the reader
    int queued_ = 0;      // files handed to the reader: its tickets
    int taken_ = 0;       // files written whole: the ticket of the one at hand
    bool ready_ = false;  // the reader has its memory and its thread
};

}  // namespace

bool CopyTree(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress) {
    const wchar_t* const source = plan.Source();
    const wchar_t* const destination = plan.Destination();
    if (!CreateFolderOrAsk(view, destination, destination, nullptr, Links::kAccepted)) return false;
    // Copying a folder onto itself would write over every file it reads.
    if (SameFolder(IdentifyFolder(source), IdentifyFolder(destination))) return false;
    RemoveLeftover(destination);
    Copier copier(view, plan, progress);
    return copier.Run();
}

bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination, ProgressMeter& progress) {
    CopyPlan plan;
    return plan.Make(view, source, destination) && CopyTree(view, plan, progress);
}

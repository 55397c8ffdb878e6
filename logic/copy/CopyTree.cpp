#include "logic/copy/CopyTree.h"

#include <windows.h>

#include "logic/plan/CopyPlan.h"
#include "logic/view/RetryBoxes.h"
#include "logic/view/InstallerView.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/FolderIdentity.h"
#include "logic/view/ProgressMeter.h"
#include "logic/copy/Flusher.h"
#include "logic/shared/HeapArray.h"
#include "logic/copy/ReadAhead.h"
#include "logic/copy/WorkFolder.h"

namespace {

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

// Renames the whole new file at `temporary` over `destination`, an earlier
// file with `attributes`. A target that Windows will not replace for its
// marks loses them, and only then; a replace that fails still leaves it as it
// was, marks included. Returns the error, ERROR_SUCCESS once it is in place.
DWORD Replace(const wchar_t* temporary, const wchar_t* destination, DWORD attributes) {
    if (MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED || !ClearProtection(destination)) return error;
    if (MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
    error = GetLastError();
    SetFileAttributesW(destination, attributes);  // result ignored: the marks just cleared, set back
    return error;
}

// Flushes the file at `path` once more: the cache still holds what a flush
// that failed did not write. Returns the error, ERROR_SUCCESS.
DWORD FlushAgain(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    const DWORD error = FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return error;
}

// The copy itself, step by step in the plan's order: each folder created,
// each file written whole from what the reader brings in the installer's own
// work folder, renamed into place and logged, and made durable by the flush
// threads meanwhile. The reader is kept up to kQueueCapacity files ahead, so
// that the drive reads on while a file is written, checked and logged. A step
// that fails is offered for Retry until it succeeds or the user cancels; a
// file is then read again from its start, and the files after it too. Each
// step that succeeds is recorded, so that a cancelled install can be undone,
// newest first.
class Copier {
public:
    Copier(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress, bool keepEarlier)
        : view_(view), plan_(plan), progress_(progress), work_(plan.Destination(), plan), keepEarlier_(keepEarlier) {}
    ~Copier() {
        if (reader_ != nullptr) reader_->Abandon();  // a read under way ends on its own
    }

    bool Run() {
        if (!flusher_.Start()) return false;
        for (int index = 0; index < plan_.Count(); ++index) {
            ready_ = QueueAhead(index);
            if (!CarryOut(index)) return false;
        }
        return MadeDurable();
    }

    // Once every file is on the disk: the earlier files are given up.
    void Complete() { work_.Remove(); }

    // Undoes what Run did, newest first: the files it made go, the earlier
    // files it replaced come back, and the folders it made go if nothing
    // else came into them. Files it found and did not replace stay.
    void Undo() {
        flusher_.Abandon();
        bool allBack = true;
        for (int at = done_.Count() - 1; at >= 0; --at) {
            const Done& done = done_[at];
            ShortPath path;
            if (!plan_.DestinationPath(plan_.At(done.step), path)) continue;
            switch (done.what) {
            case Done::kFolderMade:
                RemoveDirectoryW(path.text);  // result ignored: one that holds what is not ours stays
                break;
            case Done::kFileMade:
                DeleteFileW(path.text);  // result ignored: what cannot be deleted stays
                break;
            case Done::kFileReplaced:
                if (done.kept >= 0) allBack = work_.PutBack(done.kept, path.text, done.attributes) && allBack;
                break;
            }
        }
        // A file that could not be put back stays kept and listed, for the next install.
        if (allBack) work_.Remove();
    }

private:
    struct Done {
        enum What : BYTE { kFolderMade, kFileMade, kFileReplaced } what;
        int step;
        int kept;          // the number the earlier file is kept under, or -1
        DWORD attributes;  // the earlier file's
    };

    bool CarryOut(int index) {
        const CopyPlan::Step step = plan_.At(index);
        LongPath sourceFolder, destinationFolder;
        plan_.Folders(step, sourceFolder, destinationFolder);
        ShortPath destination;
        const wchar_t* const path = plan_.DestinationPath(step, destination) ? destination.text : nullptr;
        // Room to record the step before it is taken: an install that cannot be undone is not begun.
        while (!done_.Reserve(1)) {
            if (!AskRetryCopy(view_, sourceFolder.text, destinationFolder.text, step.name, ERROR_NOT_ENOUGH_MEMORY)) {
                return false;
            }
        }
        if (step.folder) {
            const bool made = path != nullptr && !FolderExists(path);
            if (!CreateFolderOrAsk(view_, path, destinationFolder.text, step.name, Links::kRefused)) return false;
            if (made) Record({Done::kFolderMade, index, -1, 0});
            return true;
        }
        LongPath source;
        const bool sourceFits = plan_.SourcePath(step, source);
        const bool fits = path != nullptr && sourceFits;
        for (;;) {
            const DWORD error = !fits ? ERROR_FILENAME_EXCED_RANGE
                                : !ready_ ? ERROR_NOT_ENOUGH_MEMORY
                                          : WriteWhole(step, index, path);
            if (error == ERROR_SUCCESS) break;
            if (!AskRetryCopy(view_, sourceFolder.text, destinationFolder.text, step.name, error)) return false;
            if (ready_ && fits) reader_->Restart(taken_);
            ready_ = QueueAhead(index);
        }
        ++taken_;
        view_.AppendLogText(path);
        view_.AppendLogText(L"\r\n");
        return true;
    }

    void Record(const Done& done) { done_.Append(&done, 1); }  // room reserved before the step

    // Hands the reader the files from the one at `index` on, as many as it
    // takes ahead. Those whose paths do not fit are left to their boxes.
    bool QueueAhead(int index) {
        if (reader_ == nullptr) reader_ = ReadAhead::Create();
        if (reader_ == nullptr || !reader_->Start()) return false;
        if (queuedUpTo_ < index) queuedUpTo_ = index;
        while (queuedUpTo_ < plan_.Count() && queued_ - taken_ < ReadAhead::kQueueCapacity) {
            const CopyPlan::Step step = plan_.At(queuedUpTo_++);
            LongPath source;
            ShortPath destination;
            if (!step.folder && plan_.SourcePath(step, source) && plan_.DestinationPath(step, destination)) {
                reader_->Queue(source.text, step.size);
                ++queued_;
            }
        }
        return true;
    }

    // Writes the file of step `index` to `destination` whole or not at all:
    // under a temporary name in the work folder first, with the bytes the
    // reader brings, and only once they are as many as the listing gave,
    // renamed to its name. At every moment the target is the earlier file or
    // the complete new one, whenever the installer is ended; a symbolic link
    // at the target's name is replaced, never written through. Under Wine a
    // read error on the disc (a scratch) can look like the end of the file,
    // so the count is what tells: a short file is ERROR_CRC, what Windows
    // reports for a disc's sector it cannot read. A failed copy takes its
    // temporary file with it. Returns the error, ERROR_SUCCESS once the file
    // is in place.
    DWORD WriteWhole(const CopyPlan::Step& step, int index, const wchar_t* destination) {
        LongPath temporary;
        DWORD error = ERROR_SUCCESS;
        HANDLE file = work_.CreateTemporary(temporary, error);
        if (file == INVALID_HANDLE_VALUE) return error;
        ULONGLONG written = 0;
        for (;;) {
            const ReadAhead::Piece piece = reader_->Take(taken_);
            DWORD done = 0;
            if (piece.length > 0 && !WriteFile(file, piece.data, piece.length, &done, nullptr)) {
                error = GetLastError();
            } else if (piece.error != ERROR_SUCCESS) {
                error = piece.error;
            }
            if (error != ERROR_SUCCESS) break;
            written += piece.length;
            progress_.Copied(piece.length);
            reader_->Release();
            if (piece.end) break;
        }
        // The last-write time the disc gives it, as a copy of a file has.
        if (error == ERROR_SUCCESS && !SetFileTime(file, nullptr, nullptr, &step.lastWrite)) error = GetLastError();
        if (error == ERROR_SUCCESS && written != step.size) error = ERROR_CRC;
        if (error != ERROR_SUCCESS) {
            CloseHandle(file);
        } else {
            flusher_.Hand(file, index);  // flushed and closed there, while the copy goes on
            error = PutInPlace(index, temporary.text, destination);
        }
        if (error != ERROR_SUCCESS) {
            DeleteFileW(temporary.text);  // gone once the flush thread has closed it
            progress_.StartOver(written);
        }
        return error;
    }

    // Gives the new file of step `index` at `temporary` the name
    // `destination`. An earlier file there is kept aside first, unless there
    // is no room for it, and the new one's bytes are on the disk before it
    // takes that file's place. Returns the error, ERROR_SUCCESS once it is in place.
    DWORD PutInPlace(int index, const wchar_t* temporary, const wchar_t* destination) {
        const DWORD attributes = GetFileAttributesW(destination);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!MoveFileExW(temporary, destination, 0)) return GetLastError();
            Record({Done::kFileMade, index, -1, 0});
            return ERROR_SUCCESS;
        }
        // A file another program holds without letting it go (a running
        // program, an open document) cannot be replaced, nor could its
        // second name go again: asked about before anything is kept aside.
        HANDLE probe = CreateFileW(destination, DELETE | FILE_WRITE_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                   nullptr);
        if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) return ERROR_SHARING_VIOLATION;
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        flusher_.WaitFor(index);
        int kept = -1;
        if (keepEarlier_ && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            const DWORD error = work_.Keep(destination, destination + RootLength(), attributes, kept);
            if (error != ERROR_SUCCESS) return error;
        }
        const DWORD error = Replace(temporary, destination, attributes);
        if (error != ERROR_SUCCESS) {
            if (kept >= 0) work_.PutBack(kept, destination, attributes);
            return error;
        }
        Record({Done::kFileReplaced, index, kept, attributes});
        return ERROR_SUCCESS;
    }

    // Units of the destination's path before a path below it: the
    // destination and its separator.
    int RootLength() const {
        const wchar_t* const root = plan_.Destination();
        const int length = lstrlenW(root);
        return length > 0 && root[length - 1] == L'\\' ? length : length + 1;
    }

    // Waits until every file is on the disk; one whose flush failed is
    // flushed again, and offered for Retry while that fails. False when the
    // user cancels.
    bool MadeDurable() {
        if (flusher_.WaitForAll()) return true;
        for (int at = 0; at < done_.Count(); ++at) {
            if (done_[at].what == Done::kFolderMade) continue;
            const CopyPlan::Step step = plan_.At(done_[at].step);
            ShortPath path;
            LongPath sourceFolder, destinationFolder;
            plan_.Folders(step, sourceFolder, destinationFolder);
            if (!plan_.DestinationPath(step, path)) continue;
            for (DWORD error; (error = FlushAgain(path.text)) != ERROR_SUCCESS;) {
                if (!AskRetryCopy(view_, sourceFolder.text, destinationFolder.text, step.name, error)) return false;
            }
        }
        return true;
    }

    InstallerView& view_;
    const CopyPlan& plan_;
    ProgressMeter& progress_;  // told each piece as it is written
    WorkFolder work_;
    Flusher flusher_;
    const bool keepEarlier_;   // the volume has room to keep the earlier files until the end
    ReadAhead* reader_ = nullptr;  // abandoned, not waited for, at the end
    HeapArray<Done> done_;
    int queuedUpTo_ = 0;  // the next step to look at for the reader
    int queued_ = 0;      // files handed to the reader: its tickets
    int taken_ = 0;       // files written whole: the ticket of the one at hand
    bool ready_ = false;  // the reader has its memory and its thread
};

// Removes the folder `path` and the `missing` folders above it that an
// install made, innermost first, as long as each is empty.
void RemoveMadeFolders(const wchar_t* path, int missing) {
    ShortPath folder;
    if (!CopyPath(folder, path)) return;
    for (int left = missing; left > 0; --left) {
        if (!RemoveDirectoryW(folder.text)) return;
        wchar_t* separator = FindLastChar(folder.text, L'\\');
        if (separator == nullptr) return;
        *separator = L'\0';
    }
}

}  // namespace

bool CopyTree(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress, bool keepEarlier) {
    const wchar_t* const source = plan.Source();
    const wchar_t* const destination = plan.Destination();
    // What an installer that was ended kept aside goes back first, so that
    // this install, cancelled, leaves the earlier installation.
    PutBackLeftEarlierFiles(destination, plan);
    ShortPath existing;
    int missing = 0;
    if (!NearestExistingFolder(destination, existing, missing)) missing = 0;
    Copier copier(view, plan, progress, keepEarlier);
    const bool copied = CreateFolderOrAsk(view, destination, destination, nullptr, Links::kAccepted) &&
                        // Copying a folder onto itself would write over every file it reads.
                        !SameFolder(IdentifyFolder(source), IdentifyFolder(destination)) && copier.Run();
    if (copied) {
        copier.Complete();
        return true;
    }
    copier.Undo();
    RemoveMadeFolders(destination, missing);
    return false;
}

bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination, ProgressMeter& progress) {
    CopyPlan plan;
    return plan.Make(view, source, destination) && CopyTree(view, plan, progress, true);
}

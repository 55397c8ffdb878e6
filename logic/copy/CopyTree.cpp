// The copy loop: the plan's steps carried out in order with the reader kept
// ahead, a step that fails offered for Retry, and the copy kept or undone.
#include "logic/copy/CopyTree.h"

#include <windows.h>

#include "logic/copy/Flusher.h"
#include "logic/copy/Folders.h"
#include "logic/copy/KeptFiles.h"
#include "logic/copy/MadeDurable.h"
#include "logic/copy/Placer.h"
#include "logic/copy/ReadAhead.h"
#include "logic/copy/UndoJournal.h"
#include "logic/copy/WorkFolder.h"
#include "logic/copy/WriteWhole.h"
#include "logic/plan/CopyPlan.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/FolderIdentity.h"
#include "logic/shared/PathText.h"
#include "logic/view/InstallerView.h"
#include "logic/view/ProgressMeter.h"
#include "logic/view/RetryBoxes.h"

namespace {

// The copy itself, step by step in the plan's order: each folder created,
// each file written whole in the installer's own work folder from what the
// reader brings (WriteWhole), put in its place (Placer) and logged, and made
// durable by the flush threads meanwhile. The reader is kept up to
// kQueueCapacity files ahead, so that the drive reads on while a file is
// written, checked and logged. A step that fails is offered for Retry until
// it succeeds or the user cancels; a file is then read again from its start,
// and the files after it too. Each step that succeeds is recorded
// (UndoJournal), so that a cancelled install can be undone, newest first.
class Copier {
public:
    Copier(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress, bool keepEarlier)
        : view_(view),
          plan_(plan),
          progress_(progress),
          work_(plan.Destination(), plan),
          placer_(flusher_, kept_, keepEarlier, plan.Destination()) {}
    ~Copier() {
        if (reader_ != nullptr) reader_->Abandon();  // a read under way ends on its own
    }
    Copier(const Copier&) = delete;
    Copier& operator=(const Copier&) = delete;

    // True once every file is on the disk; false when the user cancels.
    bool Run() {
        if (!flusher_.Start()) return false;
        for (int index = 0; index < plan_.Count(); ++index) {
            ready_ = QueueAhead(index);
            if (!CarryOut(index)) return false;
        }
        return MadeDurable(view_, plan_, flusher_, journal_);
    }

    // Once every file is on the disk: the earlier files are given up.
    void Complete() { work_.Remove(kept_.Count()); }

    // Undoes what Run did, newest first. A file that could not be put back
    // stays kept and listed, for the next install.
    void Undo() {
        flusher_.Abandon();
        if (journal_.Undo(plan_, kept_)) work_.Remove(kept_.Count());
    }

private:
    bool CarryOut(int index) {
        const CopyPlan::Step step = plan_.At(index);
        LongPath sourceFolder, destinationFolder;
        plan_.Folders(step, sourceFolder, destinationFolder);
        ShortPath destination;
        const wchar_t* const path = plan_.DestinationPath(step, destination) ? destination.text : nullptr;
        // Room to record the step before it is taken: an install that cannot be undone is not begun.
        while (!journal_.Reserve()) {
            if (!AskRetryCopy(view_, sourceFolder.text, destinationFolder.text, step.name, ERROR_NOT_ENOUGH_MEMORY)) {
                return false;
            }
        }
        if (!step.folder) return CopyFileOrAsk(step, index, path, sourceFolder.text, destinationFolder.text);
        const bool made = path != nullptr && !FolderExists(path);
        if (!CreateFolderOrAsk(view_, path, destinationFolder.text, step.name, Links::kRefused)) return false;
        if (made) journal_.FolderMade(index);
        return true;
    }

    // Copies the file of step `index` to `path` (nullptr: it does not fit)
    // and logs it, or asks about it until it is copied or the user cancels.
    bool CopyFileOrAsk(const CopyPlan::Step& step, int index, const wchar_t* path, const wchar_t* sourceFolder,
                       const wchar_t* destinationFolder) {
        LongPath source;
        const bool sourceFits = plan_.SourcePath(step, source);
        const bool fits = path != nullptr && sourceFits;
        for (;;) {
            const DWORD error = !fits ? ERROR_FILENAME_EXCED_RANGE
                                : !ready_ ? ERROR_NOT_ENOUGH_MEMORY
                                          : WriteAndPlace(step, index, path);
            if (error == ERROR_SUCCESS) break;
            if (!AskRetryCopy(view_, sourceFolder, destinationFolder, step.name, error)) return false;
            if (ready_ && fits) reader_->Restart(taken_);
            ready_ = QueueAhead(index);
        }
        ++taken_;
        view_.AppendLogText(path);
        view_.AppendLogText(L"\r\n");
        return true;
    }

    // Writes the file of step `index` whole, hands it to the flush threads
    // and puts it in its place at `destination`, or leaves nothing of it.
    // Returns the error, ERROR_SUCCESS once it is in place.
    DWORD WriteAndPlace(const CopyPlan::Step& step, int index, const wchar_t* destination) {
        WrittenFile written;
        DWORD error = WriteWhole(work_, *reader_, taken_, step, progress_, written);
        if (error != ERROR_SUCCESS) return error;
        flusher_.Hand(written.file, index);  // flushed and closed there, while the copy goes on
        Placed placed;
        error = placer_.PutInPlace(index, written.path.text, destination, placed);
        if (error != ERROR_SUCCESS) {
            DeleteFileW(written.path.text);  // gone once a flush thread has closed it
            progress_.StartOver(written.bytes);
            return error;
        }
        journal_.FilePlaced(index, placed);
        return ERROR_SUCCESS;
    }

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

    InstallerView& view_;
    const CopyPlan& plan_;
    ProgressMeter& progress_;  // told each piece as it is written
    WorkFolder work_;
    KeptFiles kept_{work_};    // the earlier files replaced, until the end
    Flusher flusher_;
    Placer placer_;
    UndoJournal journal_;
    ReadAhead* reader_ = nullptr;  // abandoned, not waited for, at the end
    int queuedUpTo_ = 0;  // the next step to look at for the reader
    int queued_ = 0;      // files handed to the reader: its tickets
    int taken_ = 0;       // files written whole: the ticket of the one at hand
    bool ready_ = false;  // the reader has its memory and its thread
};

}  // namespace

bool CopyTree(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress, bool keepEarlier) {
    const wchar_t* const source = plan.Source();
    const wchar_t* const destination = plan.Destination();
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

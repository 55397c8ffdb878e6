// The steps the copy has done, and their undoing, newest first.
#include "logic/copy/UndoJournal.h"

#include "logic/copy/KeptFiles.h"
#include "logic/plan/CopyPlan.h"

bool UndoJournal::Reserve() { return done_.Reserve(1); }

void UndoJournal::Record(const Done& done) { done_.Append(&done, 1); }

bool UndoJournal::Undo(const CopyPlan& plan, KeptFiles& kept) const {
    bool allBack = true;
    for (int at = done_.Count() - 1; at >= 0; --at) {
        const Done& done = done_[at];
        ShortPath path;
        if (!plan.DestinationPath(plan.At(done.step), path)) continue;
        switch (done.what) {
        case Done::kFolderMade:
            RemoveDirectoryW(path.text);  // result ignored: one that holds what is not ours stays
            break;
        case Done::kFileMade:
            DeleteFileW(path.text);  // result ignored: what cannot be deleted stays
            break;
        case Done::kFileReplaced:
            if (done.kept >= 0) allBack = kept.PutBack(done.kept, path.text, done.attributes) && allBack;
            break;
        }
    }
    return allBack;
}

#pragma once

// What the copy has done, step by step, so that a cancelled install can be
// undone, newest first.

#include <windows.h>

#include "logic/copy/Placer.h"
#include "logic/shared/HeapArray.h"

class CopyPlan;
class KeptFiles;

// Held in memory: an installer that is ended leaves only its kept files'
// list on the disk (see KeptFiles), and the next install needs nothing more.
class UndoJournal {
public:
    struct Done {
        enum What : BYTE { kFolderMade, kFileMade, kFileReplaced } what;
        int step;          // the plan's
        int kept;          // the number the earlier file is kept under, or -1
        DWORD attributes;  // the earlier file's
    };

    // Room to record one more step, before it is taken: an install that
    // cannot be undone is not begun. False when there is no memory for it.
    bool Reserve();
    // The folder of step `step` was made; room reserved.
    void FolderMade(int step) { Record({Done::kFolderMade, step, -1, 0}); }
    // The file of step `step` took its name, as `placed` says; room reserved.
    void FilePlaced(int step, const Placed& placed) {
        Record({placed.replaced ? Done::kFileReplaced : Done::kFileMade, step, placed.kept, placed.attributes});
    }

    int Count() const { return done_.Count(); }
    const Done& operator[](int at) const { return done_[at]; }

    // Undoes every step recorded, newest first: the files made go, the
    // earlier files replaced come back from `kept`, and the folders made go
    // if nothing else came into them. Files found and not replaced stay.
    // True when every earlier file is back.
    bool Undo(const CopyPlan& plan, KeptFiles& kept) const;

private:
    void Record(const Done& done);

    HeapArray<Done> done_;
};

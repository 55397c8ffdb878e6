// The room an install takes on its destination's volume: counted from a
// plan and a volume's figures (CountRoom), and measured against the volume
// before anything is written (EnsureRoom).
#pragma once

#include <windows.h>

struct Volume;
class CopyPlan;
class InstallerView;

// The most a copy takes on its destination's volume at the fullest moment
// of the copy, beyond what the volume holds now.
struct Room {
    // Where each earlier file it replaces gives its room back once its new
    // copy is whole, as the install without keeping them does.
    ULONGLONG required;
    // Where it keeps the earlier files aside until it completes: none of them
    // gives its room back before the end, and each takes a second name in the
    // work folder and a line of its list. Never less than `required`.
    ULONGLONG keeping;

    // Whether `available` bytes hold the install; and the earlier files kept too.
    bool Fits(ULONGLONG available) const { return required <= available; }
    bool FitsKeeping(ULONGLONG available) const { return keeping <= available; }
};

// Counts what the copy `plan` makes takes on `volume` (its file system, its
// cluster and sector, its file record; `volume.existing` the destination's
// nearest folder that is there): each file, rounded up to the volume's
// cluster, and what its file system spends on it besides (a file record, the
// entries its name adds to its folder, which grows by whole clusters: see
// Footprint), less what a file of the same name at the destination occupies
// now (it will be replaced, once its new copy is whole), for each folder to
// be made its record and a cluster at least, and the installer's work folder
// with its list. Only the volume's figures are read, and what of the plan is
// at the destination already. False when the count cannot be held.
bool CountRoom(const CopyPlan& plan, const Volume& volume, Room& room);

// Whether the destination's volume has room for the copy `plan` makes,
// before anything is written: CountRoom, against the space this user may
// still use there. `keepEarlier` tells whether there is room to keep the
// earlier files aside until the install completes; where there is room for
// the install only, it goes ahead without keeping them. Too little is offered
// for Retry, which measures again. True when there is room, or when the
// volume cannot be asked (the copy then meets what is wrong and says so);
// false when the user cancels.
bool EnsureRoom(InstallerView& view, const CopyPlan& plan, bool& keepEarlier);

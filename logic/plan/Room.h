#pragma once

class CopyPlan;
class InstallerView;

// Whether the destination's volume has room for the copy `plan` makes,
// before anything is written: each file, rounded up to the volume's cluster,
// and what its file system spends on it besides (a file record, the entries
// its name adds to its folder, which grows by whole clusters: see Footprint),
// less what a file of the same name at the destination occupies now (it will
// be replaced, once its new copy is whole: the count is the most the copy
// takes at any moment), for each folder to be made its record and a cluster
// at least, and the installer's work folder, against the space this user may
// still use there. `keepEarlier` tells whether there is room to keep the
// earlier files aside until the install completes (none of them gives its
// room back before the end); where there is room for the install only, it
// goes ahead without keeping them. Too little is offered for Retry, which
// measures again. True when there is room, or when the volume cannot be
// asked (the copy then meets what is wrong and says so); false when the user
// cancels.
bool EnsureRoom(InstallerView& view, const CopyPlan& plan, bool& keepEarlier);

#pragma once

#include <windows.h>

class InstallerView;

// How far the copy has got, in bytes of the files it installs, handed to the
// view as it grows. The copy tells it every piece it has written; the value
// shown never goes down and never passes the total, however often a file is
// started over at Retry.
class ProgressMeter {
public:
    // Shows 0 of `total`: the bytes the room count found the install will copy.
    ProgressMeter(InstallerView& view, ULONGLONG total);
    // `bytes` more of the file being copied are written.
    void Copied(ULONGLONG bytes);
    // The file being copied failed after `bytes` of it were counted. Retry
    // copies it from its start: those bytes count again only as the new copy
    // passes them.
    void StartOver(ULONGLONG bytes);

private:
    InstallerView& view_;
    const ULONGLONG total_;
    ULONGLONG position_ = 0;  // counted, less what was given back
    ULONGLONG shown_ = 0;
};

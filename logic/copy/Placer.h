#pragma once

// A file the copy wrote whole put in its place: the second half of its
// copy (see WriteWhole). At every moment the target is the earlier file or
// the complete new one, whenever the installer is ended; a symbolic link at
// the target's name is replaced, never written through.

#include <windows.h>

class Flusher;
class KeptFiles;

// What putting a file in its place did, for the undo journal.
struct Placed {
    bool replaced;     // an earlier file had its name, else there was none
    int kept;          // the number the earlier file is kept under, or -1
    DWORD attributes;  // the earlier file's
};

class Placer {
public:
    // The copy into `destination`, whose files are flushed by `flusher`; the
    // earlier files they replace are kept aside in `kept` where
    // `keepEarlier` (the volume has room for both until the end).
    Placer(Flusher& flusher, KeptFiles& kept, bool keepEarlier, const wchar_t* destination)
        : flusher_(flusher), kept_(kept), keepEarlier_(keepEarlier), destination_(destination) {}
    Placer(const Placer&) = delete;
    Placer& operator=(const Placer&) = delete;

    // Gives the new file at `temporary`, handed to the flusher as `id`, the
    // name `target`. A file another program holds there is
    // ERROR_SHARING_VIOLATION before anything is kept. An earlier file there
    // is kept aside first, and the new one's bytes are on the disk before it
    // takes that file's place. A replace that fails leaves the earlier file
    // as it was, marks included. What was done in `placed`. Returns the
    // error, ERROR_SUCCESS once it is in place.
    DWORD PutInPlace(int id, const wchar_t* temporary, const wchar_t* target, Placed& placed);

private:
    Flusher& flusher_;
    KeptFiles& kept_;
    const bool keepEarlier_;
    const wchar_t* const destination_;
};

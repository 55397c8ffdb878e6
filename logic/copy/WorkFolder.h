#pragma once

#include <windows.h>

#include "logic/shared/PathText.h"
#include "logic/shared/WorkNames.h"

class CopyPlan;

// The installer's own folder inside the destination, for the length of one
// install: the files it writes before they take their names, and the earlier
// files they replace, kept aside until the install completes, so that one
// that is cancelled can put them back. It is made anew, at the first file,
// under a name the disc's top folder does not hold ("~hdwork", else
// "~hdwork1", ...): nothing in it has a name of the disc's, and nothing in it
// was there before. It lists each file it keeps, before keeping it, so that
// the next install can put back what one that was ended (Task Manager, a
// power cut) had kept aside (PutBackLeftEarlierFiles).
//
// It is on the destination's volume: a kept file is a second name of the
// earlier file, and a new one takes its name by a rename, never a copy.
class WorkFolder {
public:
    WorkFolder(const wchar_t* destination, const CopyPlan& plan);
    // Closes its list; the folder stays unless Remove()d.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // A new file to write, opened for writing with reading and deletion
    // shared (it takes its name, and may be read there, while the flush
    // thread still holds it), its path in
    // `path`. INVALID_HANDLE_VALUE, with the reason in `error`, when it
    // cannot be made.
    HANDLE CreateTemporary(LongPath& path, DWORD& error);

    // Keeps the earlier file at `target`, `relative` below the destination,
    // with `attributes`, aside: listed first, then given a second name here
    // (a hard link), so that its own name never goes missing, or moved here
    // where the file system has no hard links (FAT). Its number in `kept`.
    // Returns the error, ERROR_SUCCESS once it is kept.
    DWORD Keep(const wchar_t* target, const wchar_t* relative, DWORD attributes, int& kept);

    // Puts the earlier file kept as `kept` back at `target`, as it was:
    // bytes, time stamps and `attributes`. False when it cannot be; it then
    // stays kept, listed for the next install.
    bool PutBack(int kept, const wchar_t* target, DWORD attributes);

    // Deletes what it holds, and itself: the kept files are given up, the
    // install is complete. Leaves a folder that holds files it did not make.
    void Remove();

private:
    DWORD Open();
    bool PathOf(LongPath& out, const wchar_t* name) const;

    const CopyPlan& plan_;
    LongPath folder_ = {};  // empty until made
    HANDLE list_ = INVALID_HANDLE_VALUE;
    int temporaries_ = 0;   // names t0, t1, ... handed out
    int kept_ = 0;          // names k0, k1, ...
};

// Finds what an install into `destination` that was ended left in its work
// folders: every earlier file listed there is put back over what took its
// place (its folders are checked to be no links), and the work folder is
// removed with its files. Names the disc's top folder holds are not looked
// at, nor anything not listed by an installer. The files the ended install
// had added stay; this install writes them again.
void PutBackLeftEarlierFiles(const wchar_t* destination, const CopyPlan& plan);

#pragma once

// The installer's own folder inside the destination, made for one install,
// and the temporary files the copy writes in it; the names it gives what it
// puts there, and its removal by those names.

#include <windows.h>

#include "logic/shared/PathText.h"
#include "logic/shared/WorkNames.h"

class CopyPlan;

// The folder is made anew, at the first file, under a name the disc's top
// folder does not hold ("~hdwork", else "~hdwork1", ...): nothing in it has a
// name of the disc's, and nothing in it was there before. It is made with
// its list, whose first line (kListHeader) tells it from a folder that
// merely has its name; the lines after it name the earlier files kept in it
// (see KeptFiles), so that the next install can put back what one that was
// ended (Task Manager, a power cut) had kept aside (see EndedInstall.h).
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

    // Makes the folder with its list, unless it is made. Returns the error,
    // ERROR_SUCCESS once it is there.
    DWORD Open();

    // A new file to write, opened for writing with reading and deletion
    // shared (it takes its name, and may be read there, while a flush thread
    // still holds it), its path in `path`. INVALID_HANDLE_VALUE, with the
    // reason in `error`, when it cannot be made.
    HANDLE CreateTemporary(LongPath& path, DWORD& error);

    // Writes `line` at the end of its list, and has it on the disk, once it
    // is Open(). Returns the error, ERROR_SUCCESS.
    DWORD AppendToList(const wchar_t* line);

    // The path of `name` in it: false when it does not fit.
    bool PathOf(LongPath& out, const wchar_t* name) const;

    // Deletes what it holds, and itself, by the names it gave: the kept files
    // k0 to k<kept - 1>, then its list. Leaves a folder that holds files it
    // did not make. Nothing, unless it was made.
    void Remove(int kept);

private:
    const CopyPlan& plan_;
    LongPath folder_ = {};  // the destination until made
    HANDLE list_ = INVALID_HANDLE_VALUE;
    int temporaries_ = 0;   // names t0, t1, ... handed out
};

// The list's first line: what tells a work folder of this installer's from
// a folder that happens to have its name.
extern const wchar_t kListHeader[];

// The work folder's name number `n`: "~hdwork" for 0, "~hdwork<n>" after.
void WorkFolderName(wchar_t (&name)[16], int n);
// Whether the disc's top folder holds an entry named `name`, which the
// destination's top folder will then hold too: no work folder's name.
bool OnDiscTop(const CopyPlan& plan, const wchar_t* name);
// The name of the earlier file kept as number `kept`: "k0", "k1", ...
void KeptName(wchar_t (&name)[16], int kept);
// Whether `text` is a number as the names of a work folder's files, and the
// lines of its list, carry it: decimal digits, one at least.
bool IsDigits(const wchar_t* text);
// Deletes the files of the work folder `folder` that have the installer's
// own names, then the folder, unless it holds more.
void RemoveOwnFiles(const wchar_t* folder);

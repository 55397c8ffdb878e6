#pragma once

#include <windows.h>

#include "logic/shared/HeapArray.h"
#include "logic/shared/PathText.h"

class InstallerView;

// What a copy of the source tree into the destination does, in the order it
// does it, as one walk of the source found it (see WalkTree): every folder to
// create and every file to copy. Made once, before anything is written: the
// room is counted from it, and while the copy runs only the reader reads the
// disc, in one sweep, with no listing between its reads.
class CopyPlan {
public:
    CopyPlan() = default;
    CopyPlan(const CopyPlan&) = delete;
    CopyPlan& operator=(const CopyPlan&) = delete;

    // Walks `source` beside `destination`; a listing that fails is asked
    // about through `view`. False when the user cancels there, or when the
    // plan cannot be held (ERROR_NOT_ENOUGH_MEMORY, asked about too).
    bool Make(InstallerView& view, const wchar_t* source, const wchar_t* destination);

    const wchar_t* Source() const { return source_.text; }
    const wchar_t* Destination() const { return destination_.text; }

    int Count() const { return records_.Count(); }
    struct Step {
        bool folder;            // a folder to create, else a file to copy
        ULONGLONG size;         // a file's, as its folder lists it
        FILETIME lastWrite;     // likewise
        const wchar_t* within;  // its folder below both roots, "" at the top
        const wchar_t* name;
    };
    Step At(int index) const;
    // The step's folder on the disc and at the destination, always: the boxes show them.
    void Folders(const Step& step, LongPath& source, LongPath& destination) const;
    // Its paths: false when one does not fit (1023 units on the disc, 259 at the destination).
    bool SourcePath(const Step& step, LongPath& path) const;
    bool DestinationPath(const Step& step, ShortPath& path) const;

    // The bytes of every file it copies.
    ULONGLONG Bytes() const { return bytes_; }

private:
    class Planner;
    struct Record {
        bool folder;
        ULONGLONG size;
        FILETIME lastWrite;
        DWORD within;  // offsets into text_, in units
        DWORD name;
    };
    bool Add(const wchar_t* sourceFolder, const WIN32_FIND_DATAW& found, bool folder);
    // `text` appended to text_, terminated; its offset, or false.
    bool Append(const wchar_t* text, DWORD& offset);

    LongPath source_ = {};
    ShortPath destination_ = {};
    HeapArray<Record> records_;
    HeapArray<wchar_t> text_;  // every step's folder (once for a run of steps in it) and name
    DWORD lastWithin_ = 0;  // the folder of the last step added, for the next one in it
    ULONGLONG bytes_ = 0;
};

#pragma once

// One file of the plan written whole, from the pieces the reader brings,
// into a temporary file of the work folder: the first half of its copy,
// before it takes its name (see Placer).

#include <windows.h>

#include "logic/plan/CopyPlan.h"
#include "logic/shared/PathText.h"

class ProgressMeter;
class ReadAhead;
class WorkFolder;

// A file written whole, not yet in its place.
struct WrittenFile {
    LongPath path;    // the temporary file's, in the work folder
    HANDLE file;      // still open for writing: to be flushed and closed
    ULONGLONG bytes;  // written, each piece told to the progress
};

// Writes the file of `step`, the reader's ticket `ticket`, into a new
// temporary file of `work`, piece by piece as `reader` brings them, each told
// to `progress`, and gives it the last-write time the disc gives it, as a
// copy of a file has. Under Wine a read error on the disc (a scratch) can
// look like the end of the file, so the count is what tells: a file shorter
// than the listing gave is ERROR_CRC, what Windows reports for a disc's
// sector it cannot read. A failed write takes its temporary file with it,
// and its bytes count again only once written anew. Returns the error,
// ERROR_SUCCESS with the file in `written`.
DWORD WriteWhole(WorkFolder& work, ReadAhead& reader, int ticket, const CopyPlan::Step& step, ProgressMeter& progress,
                 WrittenFile& written);

#pragma once

#include <initializer_list>

#include "logic/PathText.h"

// Position of the last `c` in `text`, or nullptr. Units compare exactly.
wchar_t* FindLastChar(wchar_t* text, wchar_t c);

// First character that is not a space (U+0020 only; tabs are kept). nullptr in, nullptr out.
wchar_t* SkipLeadingSpaces(wchar_t* text);

// Overwrites trailing spaces with terminators, in place. nullptr in, nullptr out.
wchar_t* CutTrailingSpaces(wchar_t* text);

// Cuts trailing spaces in place and returns the position past the leading ones;
// the buffer itself still begins with them.
wchar_t* TrimSpaces(wchar_t* text);

// Writes "folder\name" into `out`, with no second separator after a folder
// that ends in one (a drive root: "M:\" and "x" give "M:\x"); nothing else is
// added or removed. When the joined text does not fit `capacity` units, `out`
// becomes the empty text and the result is false.
bool JoinPath(wchar_t* out, int capacity, const wchar_t* folder, const wchar_t* name);

// The format that joins `folder` and a name as JoinPath does: "%s\%s", or
// "%s%s" after a folder that ends in its separator.
const wchar_t* JoinFormat(const wchar_t* folder);

// `a` against `b` by their UTF-16 code units, as a CD keeps a folder's names
// in order: less than, equal to or greater than zero. Neither locale nor case
// plays a part.
int CompareCodeUnits(const wchar_t* a, const wchar_t* b);

// Whether `a` and `b` are the same text, ASCII letters compared without case
// and every other unit exactly: for names that are ASCII, where the
// locale-aware lstrcmpiW would also ignore hyphens and apostrophes.
bool EqualsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b);

template <int Capacity>
bool JoinPath(PathText<Capacity>& out, const wchar_t* folder, const wchar_t* name) {
    return JoinPath(out.text, Capacity, folder, name);
}

// Copies `text` into `out`; false (and `out` empty) when it does not fit.
template <int Capacity>
bool CopyPath(PathText<Capacity>& out, const wchar_t* text) {
    int length = 0;
    while (text[length] != L'\0') {
        if (length == Capacity - 1) {
            out.text[0] = L'\0';
            return false;
        }
        out.text[length] = text[length];
        ++length;
    }
    out.text[length] = L'\0';
    return true;
}

// Writes "folder\name" into `out` as JoinPath does, in the \\?\ form where
// it is MAX_PATH or longer, which lifts that limit (`folder` must be a full
// path, with nothing left to resolve: the \\?\ form resolves nothing).
bool JoinLongPath(LongPath& out, const wchar_t* folder, const wchar_t* name);

// Clears the read-only, hidden and system marks of the file at `path`, if it
// has any: Windows deletes no read-only file, nor replaces one by renaming
// (ERROR_ACCESS_DENIED). A folder, or a link, keeps its marks: a link's
// target is none of the installer's business. True when marks were cleared.
bool ClearProtection(const wchar_t* path);

// Creates every missing folder along `path`, outermost first; a drive root is
// never created by itself, and a network path starts at its \\server prefix.
// Paths over 259 characters are ignored. Failures pass silently: a missing
// destination shows up later as a failing file copy.
void MakeDirectoryChain(const wchar_t* path);

// True when FindFirstFileW finds anything for `path` (file, folder or wildcard match).
bool FileExists(const wchar_t* path);

// True when `path` names a folder that is there.
bool FolderExists(const wchar_t* path);

// The nearest folder of `path` that exists: the path itself or the closest of
// its parents, a drive root with its backslash, and in `missing` how many
// folders are missing below it. False when there is none.
bool NearestExistingFolder(const wchar_t* path, ShortPath& folder, int& missing);

// The longest folder path CreateDirectoryW makes: MAX_PATH less room for an
// 8.3 name below it and the terminator.
constexpr int kMaxFolderPath = 247;
// Whether a folder may be created at `path`: at most kMaxFolderPath units.
bool FitsAsFolder(const wchar_t* path);

// The longest destination the installer takes: the field holds no more.
constexpr int kMaxDestination = 258;

enum class FullPath { kMade, kNotFull, kTooLong, kReservedName, kForbiddenCharacter };
// Makes the destination the user typed into the full path it means, in
// `out`: forward slashes become backslashes, runs of separators one (a
// network path keeps its leading \), every folder below the root loses its
// trailing spaces and dots (Windows drops them from the last part only, so
// "C:\Games \ZelOr" would make C:\Games and then look for "Games "), "." and
// ".." are resolved, and a trailing separator goes except at a drive root
// (C:\ stays C:\). Only a full path is taken: a drive letter with ":\", or
// \\server\share; anything else (a relative path, one relative to the
// current drive, "C:x", a folder of nothing but spaces and dots) is kNotFull
// and never resolved against the current folder. A folder named as a device
// (CON, NUL, COM1, LPT1.txt, ...) is kReservedName, with that folder as typed
// in `out`. A character that no name may hold (< > : " | ? * or a control
// character, the drive's colon aside) is kForbiddenCharacter, with the first
// of them alone in `out`. A result over kMaxDestination units is kTooLong. Otherwise `out`
// is empty unless the result is kMade.
FullPath MakeFullPath(const wchar_t* typed, ShortPath& out);

// Which folder a path names, independent of how the path spells it (case,
// doubled separators, another drive letter for the same folder): its volume
// and file index. Unknown for a path that names no folder that can be
// opened. On a volume without a serial number (Wine gives none to a drive
// letter made after its server started) the index alone could be another volume's folder's, so
// the full path, in capitals, must match as well (as the installer makes its
// paths: no separator at the end but a drive root's).
struct FolderIdentity {
    bool known;
    unsigned long volume;
    unsigned long indexHigh;
    unsigned long indexLow;
    ShortPath path;  // only where the volume has no serial number
};
FolderIdentity IdentifyFolder(const wchar_t* path);
// Both known, and the same folder.
bool SameFolder(const FolderIdentity& a, const FolderIdentity& b);

// Writes `format` into `out` with each %s replaced by the next of `args`, in
// order: for texts that hold paths, which may pass wsprintfW's 1024 units.
// Writes at most `capacity` - 1 units and the terminator; a longer text is cut.
void FormatText(wchar_t* out, int capacity, const wchar_t* format, std::initializer_list<const wchar_t*> args);

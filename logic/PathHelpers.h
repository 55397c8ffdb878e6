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

// Writes "folder\name" into `out`. No separator is added or removed beyond the
// one between them. When the joined text does not fit `capacity` units, `out`
// becomes the empty text and the result is false.
bool JoinPath(wchar_t* out, int capacity, const wchar_t* folder, const wchar_t* name);

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

// Creates every missing folder along `path`, outermost first; a drive root is
// never created by itself, and a network path starts at its \\server prefix.
// Paths over 259 characters are ignored. Failures pass silently: a missing
// destination shows up later as a failing file copy.
void MakeDirectoryChain(const wchar_t* path);

// True when FindFirstFileW finds anything for `path` (file, folder or wildcard match).
bool FileExists(const wchar_t* path);

// True when `path` names a folder that is there.
bool FolderExists(const wchar_t* path);

// The longest folder path CreateDirectoryW makes: MAX_PATH less room for an
// 8.3 name below it and the terminator.
constexpr int kMaxFolderPath = 247;
// Whether a folder may be created at `path`: at most kMaxFolderPath units.
bool FitsAsFolder(const wchar_t* path);

// The longest destination the installer takes: the field holds no more.
constexpr int kMaxDestination = 258;

enum class FullPath { kMade, kNotFull, kTooLong };
// Makes the destination the user typed into the full path it means, in
// `out`: forward slashes become backslashes, runs of separators one (a
// network path keeps its leading \), "." and ".." are resolved, and a
// trailing separator goes except at a drive root (C:\ stays C:\). Only a full
// path is taken: a drive letter with ":", or \server\share; anything else
// (a relative path, one relative to the current drive, "C:x") is kNotFull and
// never resolved against the current folder. A result over kMaxDestination
// units is kTooLong. `out` is empty unless the result is kMade.
FullPath MakeFullPath(const wchar_t* typed, ShortPath& out);

// Which folder a path names, independent of how the path spells it (case,
// doubled separators, another drive letter for the same folder): its volume
// and file index. Unknown for a path that names no folder that can be opened.
struct FolderIdentity {
    bool known;
    unsigned long volume;
    unsigned long indexHigh;
    unsigned long indexLow;
};
FolderIdentity IdentifyFolder(const wchar_t* path);
// Both known, and the same folder.
bool SameFolder(const FolderIdentity& a, const FolderIdentity& b);

// Writes `format` into `out` with each %s replaced by the next of `args`, in
// order: for texts that hold paths, which may pass wsprintfW's 1024 units.
// Writes at most `capacity` - 1 units and the terminator; a longer text is cut.
void FormatText(wchar_t* out, int capacity, const wchar_t* format, std::initializer_list<const wchar_t*> args);

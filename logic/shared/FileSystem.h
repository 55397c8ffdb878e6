#pragma once

#include "logic/shared/PathText.h"

// The few things the installer asks of or does to the file system wherever it
// is on its road: whether a file or folder is there, a chain of folders made,
// a file's protecting marks cleared, and how deep a folder Windows makes.

// Clears the read-only, hidden and system marks of the file at `path`, if it
// has any: Windows deletes no read-only file, nor replaces one by renaming
// (ERROR_ACCESS_DENIED). A folder, or a link, keeps its marks: a link's
// target is none of the installer's business. True when marks were cleared.
bool ClearProtection(const wchar_t* path);

// Creates every missing folder along `path`, outermost first; a drive root is
// never created by itself, and a network path starts at its \\server prefix.
// Paths over 259 characters are ignored. It says nothing of failures: the
// caller looks whether the folder is there, and asks Windows once more for
// the reason when it is not (see logic/copy/Folders.cpp).
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

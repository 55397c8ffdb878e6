#pragma once

#include "logic/shared/PathText.h"

// The destination as the user typed it, made the full path it means.

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

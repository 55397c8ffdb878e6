#pragma once

#include "logic/PathText.h"

// Position of the last `c` in `text`, or nullptr. Bytes compare exactly.
char* FindLastChar(char* text, char c);

// First character that is not a space (0x20 only; tabs are kept). nullptr in, nullptr out.
char* SkipLeadingSpaces(char* text);

// Overwrites trailing spaces with terminators, in place. nullptr in, nullptr out.
char* CutTrailingSpaces(char* text);

// Cuts trailing spaces in place and returns the position past the leading ones;
// the buffer itself still begins with them.
char* TrimSpaces(char* text);

// Writes "folder\name" into `out`. No separator is added or removed beyond the
// one between them. When the joined text does not fit `capacity` bytes, `out`
// becomes the empty text and the result is false.
bool JoinPath(char* out, int capacity, const char* folder, const char* name);

template <int Capacity>
bool JoinPath(PathText<Capacity>& out, const char* folder, const char* name) {
    return JoinPath(out.text, Capacity, folder, name);
}

// Copies `text` into `out`; false (and `out` empty) when it does not fit.
template <int Capacity>
bool CopyPath(PathText<Capacity>& out, const char* text) {
    int length = 0;
    while (text[length] != '\0') {
        if (length == Capacity - 1) {
            out.text[0] = '\0';
            return false;
        }
        out.text[length] = text[length];
        ++length;
    }
    out.text[length] = '\0';
    return true;
}

// Creates every missing folder along `path`, outermost first; a drive root is
// never created by itself, and a network path starts at its \\server prefix.
// Paths over 259 characters are ignored. Failures pass silently: a missing
// destination shows up later as a failing file copy.
void MakeDirectoryChain(const char* path);

// True when FindFirstFileA finds anything for `path` (file, folder or wildcard match).
bool FileExists(const char* path);

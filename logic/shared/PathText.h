#pragma once

// Paths as text: the fixed buffers the installer holds them in, and what it
// does to them without asking the file system (joining, trimming, comparing).

// A path as the installer holds it: zero-terminated UTF-16, backslash-separated,
// in a fixed buffer whose capacity (in UTF-16 units, as Windows counts
// MAX_PATH) is part of the type. Nothing that writes one may pass its capacity.
template <int Capacity>
struct PathText {
    static constexpr int capacity = Capacity;
    wchar_t text[Capacity];
};

using ShortPath = PathText<260>;     // MAX_PATH: destination side, own path, picked folder
using LongPath = PathText<1024>;     // source side inside the copy (wsprintfW's output limit)
// The all-users desktop folder has a capacity of its own, given by desktop/.

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

// The recovery of an ended install: its work folders found, their lists read
// and what they name put back.
#include "logic/copy/EndedInstall.h"

#include <windows.h>

#include "logic/copy/PutBackFile.h"
#include "logic/copy/WorkFolder.h"
#include "logic/shared/HeapArray.h"
#include "logic/shared/PathText.h"

namespace {

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
    for (; *prefix != L'\0'; ++text, ++prefix) {
        if (*text != *prefix) return false;
    }
    return true;
}

DWORD ParseHex(const wchar_t* text) {
    DWORD value = 0;
    for (; *text != L'\0'; ++text) {
        const wchar_t unit = *text;
        const int digit = unit >= L'0' && unit <= L'9' ? unit - L'0' : unit >= L'a' && unit <= L'f' ? unit - L'a' + 10 : -1;
        if (digit < 0) break;
        value = value << 4 | static_cast<DWORD>(digit);
    }
    return value;
}

// Whether `relative`, a path from a list, names a file below the
// destination through real folders only: no "." or "..", no empty part, no
// drive, and no folder on the way that is a link (planted after the list
// was written, it would lead the file elsewhere).
bool ReachesThroughFolders(const wchar_t* destination, const wchar_t* relative, ShortPath& target) {
    if (!JoinPath(target, destination, relative)) return false;
    const wchar_t* part = relative;
    for (;;) {
        const wchar_t* end = part;
        while (*end != L'\0' && *end != L'\\') ++end;
        const int length = static_cast<int>(end - part);
        if (length == 0 || (part[0] == L'.' && (length == 1 || (length == 2 && part[1] == L'.')))) return false;
        for (const wchar_t* unit = part; unit < end; ++unit) {
            if (*unit == L':' || *unit == L'/') return false;
        }
        if (*end == L'\0') return true;
        ShortPath folder;
        CopyPath(folder, target.text);
        folder.text[(lstrlenW(target.text) - lstrlenW(end))] = L'\0';
        const DWORD attributes = GetFileAttributesW(folder.text);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return false;
        }
        part = end + 1;
    }
}

// Reads the list at `path` into `text`; false when it is not an installer's list.
bool ReadList(const wchar_t* path, HeapArray<wchar_t>& text) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool read = GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20) &&
                text.Reserve(static_cast<int>(size.QuadPart / sizeof(wchar_t)) + 1);
    DWORD got = 0;
    read = read && ReadFile(file, &text[0], static_cast<DWORD>(size.QuadPart), &got, nullptr);
    CloseHandle(file);
    if (!read) return false;
    const int units = static_cast<int>(got / sizeof(wchar_t));
    (&text[0])[units] = L'\0';  // reserved above
    return units >= lstrlenW(kListHeader) && StartsWith(&text[0], kListHeader);
}

// Cuts the list `text` into its lines after the first, each terminated in
// place, into `lines`. A line cut short by a power cut has no line break: it
// is left out, and so is what follows. False when they cannot be held.
bool SplitLines(wchar_t* text, HeapArray<wchar_t*>& lines) {
    for (wchar_t* line = text + lstrlenW(kListHeader); *line != L'\0';) {
        wchar_t* end = line;
        while (*end != L'\0' && *end != L'\n') ++end;
        if (*end == L'\0') break;
        *end = L'\0';
        if (end > line && end[-1] == L'\r') end[-1] = L'\0';
        if (!lines.Append(&line, 1)) return false;
        line = end + 1;
    }
    return true;
}

// Puts back the earlier file that the list's line `line` (see KeptFiles) in
// the work folder `folder` names. True too for a line that names none, or a
// path that leads out of the destination: it is passed over. False when the
// file cannot be put back.
bool PutBackLine(const wchar_t* destination, const wchar_t* folder, wchar_t* line) {
    wchar_t* const kept = line;
    wchar_t* attributes = kept;
    while (*attributes != L'\0' && *attributes != L'\t') ++attributes;
    if (*attributes == L'\0') return true;
    *attributes++ = L'\0';
    wchar_t* relative = attributes;
    while (*relative != L'\0' && *relative != L'\t') ++relative;
    if (*relative == L'\0' || !IsDigits(kept)) return true;
    *relative++ = L'\0';
    wchar_t name[16];
    if (lstrlenW(kept) > 9) return true;
    wsprintfW(name, L"k%s", kept);  // as KeptName names it
    LongPath keptPath;
    ShortPath target;
    if (!JoinLongPath(keptPath, folder, name) || !ReachesThroughFolders(destination, relative, target)) return true;
    return PutBackFile(keptPath.text, target.text, ParseHex(attributes));
}

// Puts back, newest first, what the list `text` in the work folder `folder`
// names; false when some of it cannot be.
bool PutBackListed(const wchar_t* destination, const wchar_t* folder, wchar_t* text) {
    HeapArray<wchar_t*> lines;
    if (!SplitLines(text, lines)) return false;
    bool all = true;
    for (int index = lines.Count() - 1; index >= 0; --index) {
        all = PutBackLine(destination, folder, lines[index]) && all;
    }
    return all;
}

}  // namespace

void PutBackLeftEarlierFiles(const wchar_t* destination, const CopyPlan& plan) {
    LongPath pattern;
    wchar_t prefix[16];
    WorkFolderName(prefix, 0);
    lstrcatW(prefix, L"*");
    if (!JoinLongPath(pattern, destination, prefix)) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.text, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        LongPath folder, list;
        HeapArray<wchar_t> text;
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                FILE_ATTRIBUTE_DIRECTORY ||
            OnDiscTop(plan, found.cFileName) || !JoinLongPath(folder, destination, found.cFileName) ||
            !JoinLongPath(list, folder.text, kWorkListName) || !ReadList(list.text, text)) {
            continue;
        }
        // What could not be put back stays, listed, for the next install.
        // A kept file the list does not name (a power cut took the list's
        // last line) is given up: the file that took its name is whole,
        // flushed before it did.
        if (PutBackListed(destination, folder.text, &text[0])) RemoveOwnFiles(folder.text);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

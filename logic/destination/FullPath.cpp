// The destination as typed made the full path it means (MakeFullPath).
#include "logic/destination/FullPath.h"

#include <windows.h>

#include <initializer_list>

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Whether `path`, with backslashes only, names a drive's root or below
// ("C:\...") or a share ("\\server\share..."), neither the local device
// namespace ("\\.\", "\\?\"), where a device name such as CON leads.
bool IsFullPath(const wchar_t* path) {
    const wchar_t drive = path[0] | 0x20;  // lower case for ASCII letters
    if (drive >= L'a' && drive <= L'z' && path[1] == L':' && path[2] == L'\\') return true;
    if (path[0] != L'\\' || path[1] != L'\\' || path[2] == L'\0' || path[2] == L'\\') return false;
    if ((path[2] == L'.' || path[2] == L'?') && path[3] == L'\\') return false;
    const wchar_t* share = path + 2;
    while (*share != L'\0' && *share != L'\\') ++share;
    return share[0] == L'\\' && share[1] != L'\0';
}

// The first unit of the full path `path` that Windows allows in no file or
// folder name: < > : " | ? * and the control characters, the drive's own
// colon aside; nullptr when there is none.
const wchar_t* FindForbiddenUnit(const wchar_t* path) {
    for (const wchar_t* at = path; *at != L'\0'; ++at) {
        if (*at < 32) return at;
        for (const wchar_t* forbidden = L"<>:\"|?*"; *forbidden != L'\0'; ++forbidden) {
            if (*at == *forbidden && !(at == path + 1 && *at == L':')) return at;
        }
    }
    return nullptr;
}

// Where the folders below a full path's root begin: past "C:\", or past
// "\\server\share\" (the end, when nothing follows the share).
int RootLength(const wchar_t* path) {
    if (path[1] == L':') return 3;
    int at = 2;
    for (int separators = 0; path[at] != L'\0'; ++at) {
        if (path[at] == L'\\' && ++separators == 2) return at + 1;
    }
    return at;
}

// Whether the folder name `part` (`length` units) names a device instead:
// Windows looks up the name before its first dot, less trailing spaces, in
// any case, so "nul", "Con.txt" and "LPT1 .log" are devices too; it reads
// the superscripts ¹ ² ³ as digits.
bool IsDeviceName(const wchar_t* part, int length) {
    int base = 0;
    while (base < length && part[base] != L'.') ++base;
    while (base > 0 && part[base - 1] == L' ') --base;
    if (base != 3 && base != 4) return false;
    const wchar_t head[4] = {part[0], part[1], part[2], L'\0'};
    if (base == 3) {
        for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul"}) {
            if (EqualsIgnoringAsciiCase(head, device)) return true;
        }
        return false;
    }
    const wchar_t digit = part[3];
    const bool numbered = (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
                          digit == L'\u00B3';
    return numbered && (EqualsIgnoringAsciiCase(head, L"com") || EqualsIgnoringAsciiCase(head, L"lpt"));
}

// Goes through the folders below the root of the full path `path`, in place:
// a device name is kReservedName, with that folder in `reserved`; each other
// folder but "." and ".." loses its trailing spaces and dots, and one made
// empty so is kNotFull.
FullPath TrimFolderNames(wchar_t* path, ShortPath& reserved) {
    int write = RootLength(path);
    for (int read = write;;) {
        int end = read;
        while (path[end] != L'\0' && path[end] != L'\\') ++end;
        const int length = end - read;
        if (IsDeviceName(path + read, length)) {
            lstrcpynW(reserved.text, path + read, length + 1);
            return FullPath::kReservedName;
        }
        const bool relative = path[read] == L'.' && (length == 1 || (length == 2 && path[read + 1] == L'.'));
        int kept = length;
        while (!relative && kept > 0 && (path[read + kept - 1] == L' ' || path[read + kept - 1] == L'.')) --kept;
        if (kept == 0 && length > 0) return FullPath::kNotFull;
        for (int i = 0; i < kept; ++i) path[write++] = path[read + i];
        if (path[end] == L'\0') break;
        path[write++] = L'\\';
        read = end + 1;
    }
    path[write] = L'\0';
    return FullPath::kMade;
}

}  // namespace

FullPath MakeFullPath(const wchar_t* typed, ShortPath& out) {
    out.text[0] = L'\0';
    // Slashes made backslashes and runs of them one, past a leading pair.
    wchar_t joined[ShortPath::capacity + 1];
    int length = 0;
    for (int i = 0; typed[i] != L'\0'; ++i) {
        const bool separator = IsSeparator(typed[i]);
        if (separator && length > 1 && joined[length - 1] == L'\\') continue;
        if (length == ShortPath::capacity) return FullPath::kTooLong;
        joined[length++] = separator ? L'\\' : typed[i];
    }
    joined[length] = L'\0';
    if (!IsFullPath(joined)) return FullPath::kNotFull;
    if (const wchar_t* forbidden = FindForbiddenUnit(joined)) {
        out.text[0] = *forbidden;
        out.text[1] = L'\0';
        return FullPath::kForbiddenCharacter;
    }
    const FullPath folders = TrimFolderNames(joined, out);
    if (folders != FullPath::kMade) return folders;

    // "." and ".." resolved as Windows reads the path; a full path is never
    // joined to the current folder.
    const DWORD full = GetFullPathNameW(joined, ShortPath::capacity, out.text, nullptr);
    if (full >= static_cast<DWORD>(ShortPath::capacity)) {
        out.text[0] = L'\0';
        return FullPath::kTooLong;
    }
    if (full == 0 || !IsFullPath(out.text)) {
        out.text[0] = L'\0';
        return FullPath::kNotFull;
    }
    int end = static_cast<int>(full);
    const bool driveRoot = end == 3 && out.text[1] == L':';
    if (!driveRoot && end > 0 && out.text[end - 1] == L'\\') out.text[--end] = L'\0';
    if (end > kMaxDestination) {
        out.text[0] = L'\0';
        return FullPath::kTooLong;
    }
    return FullPath::kMade;
}

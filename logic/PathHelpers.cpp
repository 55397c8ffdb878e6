#include "logic/PathHelpers.h"

#include <windows.h>

wchar_t* FindLastChar(wchar_t* text, wchar_t c) {
    for (int i = lstrlenW(text) - 1; i >= 0; --i) {
        if (text[i] == c) return text + i;
    }
    return nullptr;
}

wchar_t* SkipLeadingSpaces(wchar_t* text) {
    if (text == nullptr) return nullptr;
    while (*text == L' ') ++text;
    return text;
}

wchar_t* CutTrailingSpaces(wchar_t* text) {
    if (text == nullptr) return nullptr;
    int length = lstrlenW(text);
    while (length > 0 && text[length - 1] == L' ') text[--length] = L'\0';
    return text;
}

wchar_t* TrimSpaces(wchar_t* text) {
    return SkipLeadingSpaces(CutTrailingSpaces(text));
}

namespace {
bool EndsInSeparator(const wchar_t* text) {
    const int length = lstrlenW(text);
    return length > 0 && text[length - 1] == L'\\';
}
}  // namespace

const wchar_t* JoinFormat(const wchar_t* folder) { return EndsInSeparator(folder) ? L"%s%s" : L"%s\\%s"; }

bool JoinPath(wchar_t* out, int capacity, const wchar_t* folder, const wchar_t* name) {
    // wsprintfW writes at most 1024 units whatever the buffer, so the length is
    // checked against the real capacity before anything is written.
    const int length = lstrlenW(folder) + (EndsInSeparator(folder) ? 0 : 1) + lstrlenW(name);
    if (length >= capacity || length >= 1024) {
        if (capacity > 0) out[0] = L'\0';
        return false;
    }
    wsprintfW(out, JoinFormat(folder), folder, name);
    return true;
}

int CompareCodeUnits(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (*a == L'\0') return 0;
    }
}

bool EqualsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        wchar_t x = *a, y = *b;
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
        if (x == L'\0') return true;
    }
}

void MakeDirectoryChain(const wchar_t* path) {
    ShortPath chain;
    if (!CopyPath(chain, path)) return;
    wchar_t* const text = chain.text;

    // A drive root is never created by itself; a network path starts with its
    // server name, which the first attempt names as \\server.
    int start = 0;
    if (text[0] != L'\0' && text[1] == L':' && text[2] == L'\\') {
        start = 3;
    } else if (text[0] == L'\\' && text[1] == L'\\') {
        start = 2;
        while (text[start] != L'\0' && text[start] != L'\\') ++start;
    }

    // results ignored: existing folders, server and share prefixes and real
    // failures all look the same here.
    for (int i = start; text[i] != L'\0'; ++i) {
        if (text[i] != L'\\') continue;
        text[i] = L'\0';
        CreateDirectoryW(text, nullptr);
        text[i] = L'\\';
    }
    CreateDirectoryW(text, nullptr);
}

bool FileExists(const wchar_t* path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool FolderExists(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool JoinLongPath(LongPath& out, const wchar_t* folder, const wchar_t* name) {
    if (!JoinPath(out, folder, name)) return false;
    const bool extended = folder[0] == L'\\' && folder[1] == L'\\' && folder[2] == L'?' && folder[3] == L'\\';
    if (lstrlenW(out.text) < MAX_PATH || extended) return true;
    LongPath prefixed;
    const bool network = folder[0] == L'\\' && folder[1] == L'\\';
    FormatText(prefixed.text, LongPath::capacity, network ? L"\\\\?\\UNC\\%s" : L"\\\\?\\%s",
               {network ? folder + 2 : folder});
    return JoinPath(out, prefixed.text, name);
}

bool ClearProtection(const wchar_t* path) {
    const DWORD existing = GetFileAttributesW(path);
    const DWORD keeping = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (existing == INVALID_FILE_ATTRIBUTES || (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !(existing & keeping)) {
        return false;
    }
    const DWORD rest = existing & ~keeping;
    return SetFileAttributesW(path, rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool NearestExistingFolder(const wchar_t* path, ShortPath& folder, int& missing) {
    if (!CopyPath(folder, path)) return false;
    for (missing = 0;; ++missing) {
        if (FolderExists(folder.text)) return true;
        wchar_t* separator = FindLastChar(folder.text, L'\\');
        // Nothing above a drive root, a \\server\share or a relative name.
        if (separator == nullptr || separator[1] == L'\0' || separator <= folder.text + 1) return false;
        // "C:\ZelOr" goes on at "C:\", not at "C:", which names the current folder of C:.
        separator[separator > folder.text && separator[-1] == L':' ? 1 : 0] = L'\0';
    }
}

bool FitsAsFolder(const wchar_t* path) { return lstrlenW(path) <= kMaxFolderPath; }

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

FolderIdentity IdentifyFolder(const wchar_t* path) {
    FolderIdentity identity = {};
    HANDLE folder = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(folder, &information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        identity.known = true;
        identity.volume = information.dwVolumeSerialNumber;
        identity.indexHigh = information.nFileIndexHigh;
        identity.indexLow = information.nFileIndexLow;
    }
    CloseHandle(folder);
    if (identity.known && identity.volume == 0) {
        // A path too long to keep cannot be told from another volume's folder.
        if (!CopyPath(identity.path, path)) return FolderIdentity{};
        CharUpperBuffW(identity.path.text, lstrlenW(identity.path.text));
    }
    return identity;
}

bool SameFolder(const FolderIdentity& a, const FolderIdentity& b) {
    return a.known && b.known && a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow &&
           lstrcmpW(a.path.text, b.path.text) == 0;
}

void FormatText(wchar_t* out, int capacity, const wchar_t* format, std::initializer_list<const wchar_t*> args) {
    if (capacity <= 0) return;
    const wchar_t* const* next = args.begin();
    int length = 0;
    auto put = [&](wchar_t unit) {
        if (length < capacity - 1) out[length++] = unit;
    };
    for (const wchar_t* at = format; *at != L'\0'; ++at) {
        if (at[0] == L'%' && at[1] == L's' && next != args.end()) {
            for (const wchar_t* arg = *next++; *arg != L'\0'; ++arg) put(*arg);
            ++at;
        } else {
            put(*at);
        }
    }
    out[length] = L'\0';
}

#include "logic/copy/WorkFolder.h"

#include "logic/plan/CopyPlan.h"
#include "logic/shared/HeapArray.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FileSystem.h"

namespace {

const wchar_t kEmptyName[] = L"empty";
// The list's first line: what tells a work folder of this installer's from
// a folder that happens to have its name.
const wchar_t kListHeader[] = L"\xFEFF" L"HD.EXE kept files\r\n";
// Names tried for the folder, and for a temporary file in it, before giving up.
constexpr int kNamesTried = 100;

// Whether the disc's top folder holds an entry named `name`, which the
// destination's top folder will then hold too.
bool OnDiscTop(const CopyPlan& plan, const wchar_t* name) {
    for (int index = 0; index < plan.Count(); ++index) {
        const CopyPlan::Step step = plan.At(index);
        if (step.within[0] == L'\0' && EqualsIgnoringAsciiCase(step.name, name)) return true;
    }
    return false;
}

// "~hdwork" for 0, "~hdwork<n>" after.
void FolderName(wchar_t (&name)[16], int n) {
    if (n == 0) {
        lstrcpyW(name, kWorkFolderName);
    } else {
        wsprintfW(name, L"%s%d", kWorkFolderName, n);
    }
}

bool SameFile(const wchar_t* a, const wchar_t* b) {
    BY_HANDLE_FILE_INFORMATION information[2];
    const wchar_t* const paths[] = {a, b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileW(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const BOOL read = GetFileInformationByHandle(file, &information[i]);
        CloseHandle(file);
        if (!read) return false;
    }
    return information[0].dwVolumeSerialNumber == information[1].dwVolumeSerialNumber &&
           information[0].nFileIndexHigh == information[1].nFileIndexHigh &&
           information[0].nFileIndexLow == information[1].nFileIndexLow;
}

// Puts the earlier file at `kept` back at `target` with its `attributes`;
// true too when nothing is kept there (it was put back before).
bool PutBackFile(const wchar_t* kept, const wchar_t* target, DWORD attributes) {
    if (GetFileAttributesW(kept) == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    const bool same = SameFile(kept, target);
    // Windows deletes no read-only name, nor renames over one.
    const wchar_t* const protectedName = same ? kept : target;
    const auto putBack = [&] {
        // Where only its second name was made (the new file never took its
        // place), that name goes.
        return same ? DeleteFileW(kept) != FALSE : MoveFileExW(kept, target, MOVEFILE_REPLACE_EXISTING) != FALSE;
    };
    const bool back = putBack() || (GetLastError() == ERROR_ACCESS_DENIED && ClearProtection(protectedName) && putBack());
    // The marks cleared to replace it, or just now. A link's are its own,
    // and setting them would set its target's.
    const DWORD now = GetFileAttributesW(target);
    if ((back || same) && now != INVALID_FILE_ATTRIBUTES && now != attributes && !(now & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // result ignored: the file is back, its marks are the lesser matter.
        SetFileAttributesW(target, attributes);
    }
    return back;
}

// Deletes the name `name` in the work folder `folder`, read-only or not,
// and nothing but the name: the file it names may live on under another
// (Wine gives a second name to the file a link leads to, not to the link).
// Windows deletes no read-only name, so an empty file of the installer's
// own takes the name first; where Windows will not rename over a read-only
// file either, it is a file of the installer's own, and loses its marks.
void DeleteOwnFile(const wchar_t* folder, const wchar_t* name) {
    LongPath path, empty;
    if (!JoinLongPath(path, folder, name) || !JoinLongPath(empty, folder, kEmptyName)) return;
    // results ignored: what cannot go stays, harmless.
    if (DeleteFileW(path.text) || GetLastError() != ERROR_ACCESS_DENIED) return;
    HANDLE file = CreateFileW(empty.text, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!MoveFileExW(empty.text, path.text, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(empty.text);
        ClearProtection(path.text);
    }
    DeleteFileW(path.text);
}

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

bool IsDigits(const wchar_t* text) {
    if (*text == L'\0') return false;
    for (; *text != L'\0'; ++text) {
        if (*text < L'0' || *text > L'9') return false;
    }
    return true;
}

// Whether `name` is one this installer gives the files of its work folder.
bool IsOwnName(const wchar_t* name) {
    return lstrcmpW(name, kWorkListName) == 0 || lstrcmpW(name, kEmptyName) == 0 ||
           ((name[0] == L't' || name[0] == L'k') && IsDigits(name + 1));
}

// Deletes the files of the work folder `folder` that have its own names, then the folder.
void RemoveOwnFiles(const wchar_t* folder) {
    LongPath pattern;
    if (!JoinLongPath(pattern, folder, L"*")) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.text, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsOwnName(found.cFileName)) {
                DeleteOwnFile(folder, found.cFileName);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder);  // result ignored: a folder that holds more stays
}

}  // namespace

WorkFolder::WorkFolder(const wchar_t* destination, const CopyPlan& plan) : plan_(plan) {
    // The destination, kept until the folder is made below it.
    CopyPath(folder_, destination);
}

WorkFolder::~WorkFolder() {
    if (list_ != INVALID_HANDLE_VALUE) CloseHandle(list_);
}

DWORD WorkFolder::Open() {
    if (list_ != INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
    LongPath destination = folder_;
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int n = 0; n < kNamesTried; ++n) {
        wchar_t name[16];
        FolderName(name, n);
        if (OnDiscTop(plan_, name) || !JoinLongPath(folder_, destination.text, name)) continue;
        // Made anew: a folder, a file or a link already there is not ours.
        if (CreateDirectoryW(folder_.text, nullptr)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
    }
    if (error != ERROR_SUCCESS) {
        folder_ = destination;
        return error;
    }
    LongPath list;
    PathOf(list, kWorkListName);
    list_ = CreateFileW(list.text, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const DWORD bytes = lstrlenW(kListHeader) * sizeof(wchar_t);
    if (list_ == INVALID_HANDLE_VALUE || !WriteFile(list_, kListHeader, bytes, &written, nullptr)) {
        error = GetLastError();
        if (list_ != INVALID_HANDLE_VALUE) CloseHandle(list_);
        list_ = INVALID_HANDLE_VALUE;
        RemoveOwnFiles(folder_.text);
        folder_ = destination;
        return error;
    }
    return ERROR_SUCCESS;
}

bool WorkFolder::PathOf(LongPath& out, const wchar_t* name) const { return JoinLongPath(out, folder_.text, name); }

HANDLE WorkFolder::CreateTemporary(LongPath& path, DWORD& error) {
    error = Open();
    if (error != ERROR_SUCCESS) return INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < kNamesTried; ++tries) {
        wchar_t name[16];
        wsprintfW(name, L"t%d", temporaries_++);
        PathOf(path, name);
        // Made normal: files from a CD are read-only, installed they are the user's to change.
        HANDLE file = CreateFileW(path.text, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        // Something at that name (a file one that was deleted still holds
        // while the flush thread has it open): another name.
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) break;
    }
    return INVALID_HANDLE_VALUE;
}

DWORD WorkFolder::Keep(const wchar_t* target, const wchar_t* relative, DWORD attributes, int& kept) {
    DWORD error = Open();
    if (error != ERROR_SUCCESS) return error;
    kept = kept_++;
    wchar_t name[16];
    wsprintfW(name, L"k%d", kept);
    LongPath path;
    PathOf(path, name);
    // Listed, and on the disk, before the file is: after a power cut a kept
    // file the list does not name could not be put back.
    wchar_t line[ShortPath::capacity + 40];
    wsprintfW(line, L"%d\t%lx\t%s\r\n", kept, attributes, relative);
    DWORD written = 0;
    if (!WriteFile(list_, line, lstrlenW(line) * sizeof(wchar_t), &written, nullptr) || !FlushFileBuffers(list_)) {
        return GetLastError();
    }
    // A link found at the target's name would give its target a second name:
    // the link itself goes aside, as a file does where the file system has no
    // second names (FAT), until the new one takes its name.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && CreateHardLinkW(path.text, target, nullptr)) {
        return ERROR_SUCCESS;
    }
    return MoveFileExW(target, path.text, 0) ? ERROR_SUCCESS : GetLastError();
}

bool WorkFolder::PutBack(int kept, const wchar_t* target, DWORD attributes) {
    wchar_t name[16];
    wsprintfW(name, L"k%d", kept);
    LongPath path;
    return PathOf(path, name) && PutBackFile(path.text, target, attributes);
}

void WorkFolder::Remove() {
    if (list_ == INVALID_HANDLE_VALUE) return;
    CloseHandle(list_);
    list_ = INVALID_HANDLE_VALUE;
    // By the names it gave, without listing the folder: Wine lists a folder
    // by opening the current one first, the disc's, and a Cancel would wait
    // out a read that a damaged sector holds. (A temporary file is gone once
    // it took its name or failed.)
    for (int kept = 0; kept < kept_; ++kept) {
        wchar_t name[16];
        wsprintfW(name, L"k%d", kept);
        DeleteOwnFile(folder_.text, name);
    }
    DeleteOwnFile(folder_.text, kWorkListName);
    if (!RemoveDirectoryW(folder_.text)) RemoveOwnFiles(folder_.text);
}

namespace {

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

// Puts back, newest first, what the list `text` in the work folder `folder`
// names; false when some of it cannot be.
bool PutBackListed(const wchar_t* destination, const wchar_t* folder, wchar_t* text) {
    HeapArray<wchar_t*> lines;
    for (wchar_t* line = text + lstrlenW(kListHeader); *line != L'\0';) {
        wchar_t* end = line;
        while (*end != L'\0' && *end != L'\n') ++end;
        // A line cut short by a power cut has no line break: not put back.
        if (*end == L'\0') break;
        *end = L'\0';
        if (end > line && end[-1] == L'\r') end[-1] = L'\0';
        if (!lines.Append(&line, 1)) return false;
        line = end + 1;
    }
    bool all = true;
    for (int index = lines.Count() - 1; index >= 0; --index) {
        wchar_t* const kept = lines[index];
        wchar_t* attributes = kept;
        while (*attributes != L'\0' && *attributes != L'\t') ++attributes;
        if (*attributes == L'\0') continue;
        *attributes++ = L'\0';
        wchar_t* relative = attributes;
        while (*relative != L'\0' && *relative != L'\t') ++relative;
        if (*relative == L'\0' || !IsDigits(kept)) continue;
        *relative++ = L'\0';
        wchar_t name[16];
        if (lstrlenW(kept) > 9) continue;
        wsprintfW(name, L"k%s", kept);
        LongPath keptPath;
        ShortPath target;
        if (!JoinLongPath(keptPath, folder, name) || !ReachesThroughFolders(destination, relative, target)) continue;
        all = PutBackFile(keptPath.text, target.text, ParseHex(attributes)) && all;
    }
    return all;
}

}  // namespace

void PutBackLeftEarlierFiles(const wchar_t* destination, const CopyPlan& plan) {
    LongPath pattern;
    wchar_t prefix[16];
    FolderName(prefix, 0);
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

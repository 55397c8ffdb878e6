// The work folder: made anew with its list, its temporary files, the
// installer's own names in it, and its removal by them.
#include "logic/copy/WorkFolder.h"

#include "logic/plan/CopyPlan.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/PathText.h"

const wchar_t kListHeader[] = L"\xFEFF" L"HD.EXE kept files\r\n";

namespace {

const wchar_t kEmptyName[] = L"empty";
// Names tried for the folder, and for a temporary file in it, before giving up.
constexpr int kNamesTried = 100;

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

// Whether `name` is one this installer gives the files of its work folder.
bool IsOwnName(const wchar_t* name) {
    return lstrcmpW(name, kWorkListName) == 0 || lstrcmpW(name, kEmptyName) == 0 ||
           ((name[0] == L't' || name[0] == L'k') && IsDigits(name + 1));
}

}  // namespace

void WorkFolderName(wchar_t (&name)[16], int n) {
    if (n == 0) {
        lstrcpyW(name, kWorkFolderName);
    } else {
        wsprintfW(name, L"%s%d", kWorkFolderName, n);
    }
}

bool OnDiscTop(const CopyPlan& plan, const wchar_t* name) {
    for (int index = 0; index < plan.Count(); ++index) {
        const CopyPlan::Step step = plan.At(index);
        if (step.within[0] == L'\0' && EqualsIgnoringAsciiCase(step.name, name)) return true;
    }
    return false;
}

void KeptName(wchar_t (&name)[16], int kept) { wsprintfW(name, L"k%d", kept); }

bool IsDigits(const wchar_t* text) {
    if (*text == L'\0') return false;
    for (; *text != L'\0'; ++text) {
        if (*text < L'0' || *text > L'9') return false;
    }
    return true;
}

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
        WorkFolderName(name, n);
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
        // while a flush thread has it open): another name.
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) break;
    }
    return INVALID_HANDLE_VALUE;
}

DWORD WorkFolder::AppendToList(const wchar_t* line) {
    DWORD written = 0;
    if (!WriteFile(list_, line, lstrlenW(line) * sizeof(wchar_t), &written, nullptr) || !FlushFileBuffers(list_)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

void WorkFolder::Remove(int kept) {
    if (list_ == INVALID_HANDLE_VALUE) return;
    CloseHandle(list_);
    list_ = INVALID_HANDLE_VALUE;
    // By the names it gave, without listing the folder: Wine lists a folder
    // by opening the current one first, the disc's, and a Cancel would wait
    // out a read that a damaged sector holds. (A temporary file is gone once
    // it took its name or failed.)
    for (int number = 0; number < kept; ++number) {
        wchar_t name[16];
        KeptName(name, number);
        DeleteOwnFile(folder_.text, name);
    }
    DeleteOwnFile(folder_.text, kWorkListName);
    if (!RemoveDirectoryW(folder_.text)) RemoveOwnFiles(folder_.text);
}

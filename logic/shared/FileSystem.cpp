// Whether files and folders are there, chains of folders made, marks cleared.
#include "logic/shared/FileSystem.h"

#include <windows.h>

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

#include "logic/PathHelpers.h"

#include <windows.h>

char* FindLastChar(char* text, char c) {
    for (int i = lstrlenA(text) - 1; i >= 0; --i) {
        if (text[i] == c) return text + i;
    }
    return nullptr;
}

char* SkipLeadingSpaces(char* text) {
    if (text == nullptr) return nullptr;
    while (*text == ' ') ++text;
    return text;
}

char* CutTrailingSpaces(char* text) {
    if (text == nullptr) return nullptr;
    int length = lstrlenA(text);
    while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
    return text;
}

char* TrimSpaces(char* text) {
    return SkipLeadingSpaces(CutTrailingSpaces(text));
}

bool JoinPath(char* out, int capacity, const char* folder, const char* name) {
    // wsprintfA writes at most 1024 bytes whatever the buffer, so the length is
    // checked against the real capacity before anything is written.
    const int length = lstrlenA(folder) + 1 + lstrlenA(name);
    if (length >= capacity || length >= 1024) {
        if (capacity > 0) out[0] = '\0';
        return false;
    }
    wsprintfA(out, "%s\\%s", folder, name);
    return true;
}

void MakeDirectoryChain(const char* path) {
    ShortPath chain;
    if (!CopyPath(chain, path)) return;
    char* const text = chain.text;

    // A drive root is never created by itself; a network path starts with its
    // server name, which the first attempt names as \\server.
    int start = 0;
    if (text[0] != '\0' && text[1] == ':' && text[2] == '\\') {
        start = 3;
    } else if (text[0] == '\\' && text[1] == '\\') {
        start = 2;
        while (text[start] != '\0' && text[start] != '\\') ++start;
    }

    // results ignored: existing folders, server and share prefixes and real
    // failures all look the same here.
    for (int i = start; text[i] != '\0'; ++i) {
        if (text[i] != '\\') continue;
        text[i] = '\0';
        CreateDirectoryA(text, nullptr);
        text[i] = '\\';
    }
    CreateDirectoryA(text, nullptr);
}

bool FileExists(const char* path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

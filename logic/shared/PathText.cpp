// Paths as text: joining, trimming and comparing, without the file system.
#include "logic/shared/PathText.h"

#include <windows.h>

#include "logic/shared/FormatText.h"

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

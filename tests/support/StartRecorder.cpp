// Stands in for the installed main program in tests: records how it was
// started (its own path, its command line, its current folder) in the file
// named by HD_START_RECORD, one item per line in UTF-8, then exits. With
// --stay it stands in for an earlier installation's program that still runs:
// it records nothing and runs until it is ended.
#include <windows.h>

#include <initializer_list>

namespace {
void WriteLine(HANDLE file, const wchar_t* text) {
    static char line[3 * 32768];  // a command line's 32,767 units, at most 3 bytes each
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line - 1, nullptr, nullptr);
    if (length <= 0) return;
    line[length - 1] = '\n';
    DWORD written;
    WriteFile(file, line, length, &written, nullptr);
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const wchar_t* line = GetCommandLineW();
    for (int i = 0; line[i] != L'\0'; ++i) {
        if (lstrcmpW(line + i, L" --stay") == 0) Sleep(INFINITE);
    }
    wchar_t record[MAX_PATH];
    if (GetEnvironmentVariableW(L"HD_START_RECORD", record, MAX_PATH) == 0) return 1;
    wchar_t self[MAX_PATH];
    wchar_t folder[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, folder);
    HANDLE file = CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    for (const wchar_t* line : {self, GetCommandLineW(), folder}) WriteLine(file, line);
    CloseHandle(file);
    return 0;
}

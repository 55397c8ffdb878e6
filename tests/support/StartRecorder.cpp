// Stands in for the installed main program in tests: records how it was
// started (its own path, its command line, its current folder) in the file
// named by HD_START_RECORD, one item per line, then exits.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char record[MAX_PATH];
    if (GetEnvironmentVariableA("HD_START_RECORD", record, MAX_PATH) == 0) return 1;
    char self[MAX_PATH];
    char folder[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    GetCurrentDirectoryA(MAX_PATH, folder);
    HANDLE file = CreateFileA(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written;
    const char* const lines[] = {self, GetCommandLineA(), folder};
    for (const char* line : lines) {
        WriteFile(file, line, lstrlenA(line), &written, nullptr);
        WriteFile(file, "\n", 1, &written, nullptr);
    }
    CloseHandle(file);
    return 0;
}

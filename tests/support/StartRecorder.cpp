// Stands in for the installed main program in tests: records how it was
// started, one item per line in UTF-8, then exits:
//   its own path, its command line, its current folder (the lines other tests
//   read first), then its parent process's image path ("<gone>" when the parent
//   has ended) and its show state (the number from its start-up information, or
//   "none" when its starter gave none).
// The file it records to is named in the registry (see InstallScene), not in
// its environment: a program the desktop shell starts gets the shell's
// environment, not the installer's. Each start appends its record, so two
// starts show as two records.
// With --stay it stands in for an earlier installation's program that still
// runs: it records nothing and runs until it is ended.
#include <windows.h>
#include <tlhelp32.h>

#include <initializer_list>

namespace {

// Appends `text` and a line break to `line`, in UTF-8.
void Append(char* line, int capacity, int& used, const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, line + used, capacity - used - 1, nullptr, nullptr);
    if (length <= 0) return;
    used += length - 1;
    line[used++] = '\n';
}

// The full image path of this process's parent, "<gone>" when it has ended.
// Taken first thing, while the installer that started this program still waits.
void ParentImage(wchar_t (&path)[MAX_PATH]) {
    lstrcpyW(path, L"<gone>");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
    if (process == nullptr) return;
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) lstrcpyW(path, L"<gone>");
    CloseHandle(process);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const wchar_t* line = GetCommandLineW();
    for (int i = 0; line[i] != L'\0'; ++i) {
        if (lstrcmpW(line + i, L" --stay") == 0) Sleep(INFINITE);
    }
    wchar_t parent[MAX_PATH];
    ParentImage(parent);

    wchar_t record[MAX_PATH] = L"";
    DWORD size = sizeof record - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\HD tests", L"Start record", RRF_RT_REG_SZ, nullptr, record,
                     &size) != ERROR_SUCCESS) {
        return 1;
    }
    wchar_t self[MAX_PATH];
    wchar_t folder[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, folder);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t show[16] = L"none";
    if (startup.dwFlags & STARTF_USESHOWWINDOW) wsprintfW(show, L"%u", startup.wShowWindow);

    // The whole record in one write, so that a test polling for it never reads half of it.
    static char text[3 * 32768 + 4 * 3 * MAX_PATH];  // a command line's 32,767 units, at most 3 bytes each
    int used = 0;
    for (const wchar_t* line : {self, GetCommandLineW(), folder, parent, show}) {
        Append(text, sizeof text, used, line);
    }
    // A test that polls for the record may have it open for a moment.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 250 && file == INVALID_HANDLE_VALUE; ++tries) {
        file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) return 1;
        if (file == INVALID_HANDLE_VALUE) Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written;
    WriteFile(file, text, used, &written, nullptr);
    CloseHandle(file);
    return 0;
}

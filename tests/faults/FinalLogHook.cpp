// A window hook that the fault tests put on HD.EXE's thread; Windows loads
// this library into HD.EXE to call it. After a failed copy the installer ends
// its dialog at once, so no other process can be sure to read the log before
// the window is gone. Inside the installer, at the log's WM_DESTROY, the whole
// log is still there: everything gathered was handed to the control before the
// dialog ended. Written to the file HD_HOOK_RECORD names, "<record>.log"; the
// caption of every dialog created while hooked (a message box) is appended to
// "<record>.dialogs", one per line. Texts are read in UTF-16 and written in UTF-8.
#include <windows.h>

namespace {

constexpr int kLogControl = 1003;

void Write(const wchar_t* suffix, const wchar_t* text, int length, DWORD disposition) {
    wchar_t path[MAX_PATH];
    const DWORD base = GetEnvironmentVariableW(L"HD_HOOK_RECORD", path, MAX_PATH - 16);
    if (base == 0 || base >= MAX_PATH - 16) return;
    lstrcatW(path, suffix);
    HANDLE file = CreateFileW(path, disposition == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE, 0,
                              nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    HANDLE heap = GetProcessHeap();
    const int size = length == 0 ? 0 : WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    char* bytes = static_cast<char*>(HeapAlloc(heap, 0, size + 1));
    if (bytes != nullptr) {
        WideCharToMultiByte(CP_UTF8, 0, text, length, bytes, size, nullptr, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
        HeapFree(heap, 0, bytes);
    }
    CloseHandle(file);
}

// A message box's caption is set while it is initialised, before it is shown.
bool IsDialog(HWND window) {
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    return lstrcmpW(className, L"#32770") == 0;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK RecordDialogAndLog(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_DESTROY && GetDlgCtrlID(call->hwnd) == kLogControl) {
        const int length = GetWindowTextLengthW(call->hwnd);
        HANDLE heap = GetProcessHeap();
        wchar_t* text = static_cast<wchar_t*>(HeapAlloc(heap, 0, (length + 1) * sizeof(wchar_t)));
        if (text != nullptr) {
            const int got = GetWindowTextW(call->hwnd, text, length + 1);
            Write(L".log", text, got, CREATE_ALWAYS);
            HeapFree(heap, 0, text);
        }
    } else if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam && IsDialog(call->hwnd)) {
        wchar_t caption[256];
        const int got = GetWindowTextW(call->hwnd, caption, 255);
        caption[got] = L'\n';
        Write(L".dialogs", caption, got + 1, OPEN_ALWAYS);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

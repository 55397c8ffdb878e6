// A window hook that the fault tests put on HD.EXE's thread; Windows loads
// this library into HD.EXE to call it. After a failed copy the installer ends
// its dialog at once, so no other process can be sure to read the log before
// the window is gone. Inside the installer, at the log's WM_DESTROY, the whole
// log is still there: everything gathered was handed to the control before the
// dialog ended. Written to the file HD_HOOK_RECORD names, "<record>.log"; the
// caption of every dialog created while hooked (a message box) is appended to
// "<record>.dialogs", one per line.
#include <windows.h>

namespace {

constexpr int kLogControl = 1003;

void Write(const char* suffix, const char* text, int length, DWORD disposition) {
    char path[MAX_PATH];
    const DWORD base = GetEnvironmentVariableA("HD_HOOK_RECORD", path, MAX_PATH - 16);
    if (base == 0 || base >= MAX_PATH - 16) return;
    lstrcatA(path, suffix);
    HANDLE file = CreateFileA(path, disposition == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE, 0,
                              nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

// A message box's caption is set while it is initialised, before it is shown.
bool IsDialog(HWND window) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    return lstrcmpA(className, "#32770") == 0;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK RecordDialogAndLog(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_DESTROY && GetDlgCtrlID(call->hwnd) == kLogControl) {
        const int length = GetWindowTextLengthA(call->hwnd);
        HANDLE heap = GetProcessHeap();
        char* text = static_cast<char*>(HeapAlloc(heap, 0, length + 1));
        if (text != nullptr) {
            const int got = GetWindowTextA(call->hwnd, text, length + 1);
            Write(".log", text, got, CREATE_ALWAYS);
            HeapFree(heap, 0, text);
        }
    } else if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam && IsDialog(call->hwnd)) {
        char caption[256];
        const int got = GetWindowTextA(call->hwnd, caption, sizeof caption - 2);
        caption[got] = '\n';
        Write(".dialogs", caption, got + 1, OPEN_ALWAYS);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

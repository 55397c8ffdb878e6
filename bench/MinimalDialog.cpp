// The smallest windowed program that shows a dialog: the yardstick for how
// long HD.EXE takes from process start to its dialog on screen.
#include <windows.h>

namespace {
INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(window, 2);
    return message == WM_INITDIALOG;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A template with no controls; the caption follows the menu and class words.
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass;
        WCHAR caption[16];
    } dialog = {{WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER, 0, 0, 0, 0, 277, 206},
                0, 0, L"Minimal dialog"};
    return static_cast<int>(DialogBoxIndirectParamW(instance, &dialog.header, nullptr, Proc, 0));
}

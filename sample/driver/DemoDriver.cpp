// Drives the installer's windows from outside the installer process, for the
// headless demo. One action per run, so the demo script can take screenshots
// between them:
//   demo_driver wait  <caption> [timeout ms]       waits until the window is visible
//   demo_driver press <caption> <control id>       presses a button of that window
//   demo_driver text  <caption> <control id>       prints a control's text
//   demo_driver close <caption>                    asks the window to close
// Exit code 0 on success, 1 when the window or control was not found in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/ForeignWindows.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const char* action = argv[1];
    const DWORD timeout = (std::strcmp(action, "wait") == 0 && argc > 3) ? std::atoi(argv[3]) : 20000;
    HWND window = WaitForWindow(argv[2], 0, timeout);
    if (window == nullptr) {
        std::fprintf(stderr, "demo_driver: no window \"%s\"\n", argv[2]);
        return 1;
    }
    if (std::strcmp(action, "wait") == 0) return 0;
    if (std::strcmp(action, "close") == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (argc < 4) return 2;
    HWND control = GetDlgItem(window, std::atoi(argv[3]));
    if (control == nullptr) return 1;
    if (std::strcmp(action, "press") == 0) {
        // Posted, not sent: the press starts the copy, and the driver must not
        // wait for the installer's handler to return.
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
        return 0;
    }
    if (std::strcmp(action, "text") == 0) {
        static char text[65536];
        SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        std::fwrite(text, 1, std::strlen(text), stdout);
        return 0;
    }
    return 2;
}

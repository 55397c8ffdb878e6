// Drives the installer's windows from outside the installer process, for the
// headless demo. One action per run, so the demo script can take screenshots
// between them:
//   demo_driver wait  <caption> [timeout ms]       waits until the window is visible
//   demo_driver press <caption> <control id>       presses a button of that window
//   demo_driver text  <caption> <control id>       prints a control's text (UTF-8)
//   demo_driver close <caption>                    asks the window to close
// The arguments are read in UTF-16, so a Cyrillic caption arrives whole
// whatever the code page. Exit code 0 on success, 1 when the window or
// control was not found in time.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/DialogHarness.h"
#include "support/ForeignWindows.h"
#include "support/Text.h"

int main() {
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (wide == nullptr || argc < 3) return 2;
    const std::string action = Narrow(wide[1]), caption = Narrow(wide[2]);
    const std::string number = argc > 3 ? Narrow(wide[3]) : "";
    LocalFree(wide);

    const DWORD timeout = (action == "wait" && !number.empty()) ? std::atoi(number.c_str()) : 20000;
    HWND window = WaitForWindow(caption.c_str(), 0, timeout);
    if (window == nullptr) {
        std::fprintf(stderr, "demo_driver: no window \"%s\"\n", caption.c_str());
        return 1;
    }
    if (action == "wait") return 0;
    if (action == "close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (number.empty()) return 2;
    HWND control = GetDlgItem(window, std::atoi(number.c_str()));
    if (control == nullptr) return 1;
    if (action == "press") {
        // Posted, not sent: the press starts the copy, and the driver must not
        // wait for the installer's handler to return.
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
        return 0;
    }
    if (action == "text") {
        const std::string text = TextOf(control);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    return 2;
}

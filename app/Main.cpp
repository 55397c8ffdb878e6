// HD.EXE's entry: one installer at a time, COM for the one thread around the
// modal installer dialog, and the dialog's result as the exit code. Arguments
// are ignored. Windows starts the program here, without the C runtime's
// start-up (app/CMakeLists.txt): nothing here needs its command line, heap,
// standard streams or exit handlers, and the process ends with ExitProcess.
#include <windows.h>
#include <objbase.h>

#include "dialog/InstallerDialog.h"
#include "logic/install/InstallTexts.h"
#include "logic/view/Caption.h"

namespace {

// Per machine: the destination and the all-users desktop are shared by every
// session, and two users (fast user switching, remote desktop) installing at
// once would overwrite each other's files.
const wchar_t kSingleInstance[] = L"Global\\Zelarit.Orventa.Installer";

// Brings the running installer's dialog, or the box it shows, to the front.
// Windows XP runs autorun's program again when the drive is double-clicked,
// and an impatient user clicks twice: two copies into one folder would race
// on the same files. False when no such window shows in this session within
// a moment: the installer runs in another session, or is still starting.
bool ShowTheRunningInstaller() {
    HWND dialog = nullptr;
    for (int look = 0; look < 20 && (dialog = FindWindowW(L"#32770", kInstallerCaption)) == nullptr; ++look) {
        Sleep(100);
    }
    if (dialog == nullptr) return false;
    if (IsIconic(dialog)) ShowWindow(dialog, SW_RESTORE);
    // result ignored: Windows may refuse a process the foreground; it flashes instead.
    SetForegroundWindow(GetLastActivePopup(dialog));
    return true;
}

}  // namespace

// The name the linker starts a windowed program at.
extern "C" void WinMainCRTStartup() {
    // Held until the process ends. One that exists but may not be opened was
    // made by an installer of other rights (an elevated one, or another
    // user's): it runs. A mutex that cannot be made for any other reason
    // must not stop the install.
    HANDLE instance = CreateMutexW(nullptr, FALSE, kSingleInstance);
    const DWORD made = GetLastError();
    if ((instance != nullptr && made == ERROR_ALREADY_EXISTS) || (instance == nullptr && made == ERROR_ACCESS_DENIED)) {
        if (!ShowTheRunningInstaller()) {
            MessageBoxW(nullptr, kAlreadyRunningMessage, kInstallerCaption,
                        MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        }
        ExitProcess(IDCANCEL);
    }

    HINSTANCE module = GetModuleHandleW(nullptr);
    // result ignored: without COM only the shortcut, the folder picker and the
    // shell's start fail.
    CoInitialize(nullptr);
    g_moduleInstance = module;

    InstallerDialog dialog;
    const INT_PTR result = dialog.RunModal(GetActiveWindow());

    CoUninitialize();
    ExitProcess(static_cast<UINT>(result));
}

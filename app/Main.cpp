// HD.EXE's entry: one installer at a time, COM for the one thread around the
// modal installer dialog, and the dialog's result as the exit code. Arguments
// are ignored.
#include <windows.h>
#include <objbase.h>

#include "dialog/InstallerDialog.h"
#include "logic/Install.h"

namespace {

// Per session: another user's installer on the same machine is no concern.
const wchar_t kSingleInstance[] = L"Local\\Zelarit.Orventa.Installer";

// Brings the running installer's dialog, or the box it shows, to the front.
// Windows XP runs autorun's program again when the drive is double-clicked,
// and an impatient user clicks twice: two copies into one folder would race
// on the same files.
void ShowTheRunningInstaller() {
    HWND dialog = FindWindowW(L"#32770", kInstallerCaption);
    if (dialog == nullptr) return;  // still starting, or already gone
    if (IsIconic(dialog)) ShowWindow(dialog, SW_RESTORE);
    // result ignored: Windows may refuse a process the foreground; it flashes instead.
    SetForegroundWindow(GetLastActivePopup(dialog));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // Held until the process ends. A mutex that cannot be made (no rights to
    // the namespace) must not stop the install.
    HANDLE instance = CreateMutexW(nullptr, FALSE, kSingleInstance);
    if (instance != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        ShowTheRunningInstaller();
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

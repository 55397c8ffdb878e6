// HD.EXE's entry: COM for the one thread around the modal installer dialog,
// and the dialog's result as the exit code. Arguments are ignored.
#include <windows.h>
#include <objbase.h>

#include "dialog/InstallerDialog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // result ignored: without COM only the shortcut and the folder picker fail.
    CoInitialize(nullptr);
    g_moduleInstance = instance;

    InstallerDialog dialog;
    const INT_PTR result = dialog.RunModal(GetActiveWindow());

    CoUninitialize();
    ExitProcess(static_cast<UINT>(result));
}

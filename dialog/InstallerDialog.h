#pragma once

// The installer's dialog: the window, its commands, and the InstallerView
// operations carried out on its controls.

#include <windows.h>

#include <atomic>

#include "dialog/DialogThread.h"
#include "dialog/LogBatches.h"
#include "dialog/TaskbarProgress.h"
#include "logic/view/InstallerView.h"

// The running executable's module handle. Set once at start-up, before the
// dialog runs; read afterwards to load the dialog template, icon and string.
extern HINSTANCE g_moduleInstance;

// The installer's one window: a modal dialog that explains the installation,
// takes the destination folder and carries out the InstallerView operations
// on its controls while the install sequence runs. "Извлечь" runs the
// install on a worker thread: the dialog's thread only runs the dialog, so
// the window moves, repaints and answers however long a read of the disc
// takes. The worker reaches the controls only through the InstallerView
// operations, which the dialog's thread carries out while the worker waits.
class InstallerDialog : public InstallerView {
public:
    // Runs the dialog modally under `parent`, and waits for an install that
    // goes on after the dialog has ended (the shortcut and the start, each
    // of whose waits has a limit). Returns 1 after "Извлечь", 2 after a
    // cancel, -1 when the dialog cannot be created.
    INT_PTR RunModal(HWND parent);

    // Each may be called from any thread; called from another thread than
    // the dialog's, it is carried out on the dialog's thread and returns
    // when done. Once the dialog is gone, nothing is done and AskRetry
    // answers Cancel.
    void AppendLogText(const wchar_t* text) override;
    void SetDestinationReadOnly() override;
    void DisableButton(int identifier) override;
    void ClearLog() override;
    void Thaw() override;
    void ReadDestination(ShortPath& buffer) override;
    void ShowMessage(const wchar_t* text, const wchar_t* caption) override;
    void EndWithResult(int result) override;
    bool AskRetry(const wchar_t* text, const wchar_t* caption) override;
    void StartProgress() override;
    // Hands the values over and returns: the dialog's thread shows them.
    void ShowProgress(ULONGLONG done, ULONGLONG total) override;
    void EndProgress() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI InstallThread(void* dialog);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    INT_PTR OnInitDialog();
    void ShowInformation();
    INT_PTR OnExtract();
    INT_PTR OnCancel();
    INT_PTR OnBrowse();
    INT_PTR OnDestroy();
    INT_PTR OnSetCursor();
    INT_PTR OnInstallEnded();
    INT_PTR OnDpiChanged(WPARAM wParam, LPARAM lParam);
    void Centre();
    void SetIcons(UINT dpi);
    void DestroyIcons();

    HWND window_ = nullptr;
    HANDLE worker_ = nullptr;     // owned: the install's thread, once "Извлечь" was pressed
    bool installing_ = false;     // from "Извлечь" until that thread has ended
    std::atomic<bool> installDone_{false};  // set by that thread as it ends
    WPARAM deferred_ = 0;         // a command given while the destination was checked
    HWND destination_ = nullptr;  // control 1000
    HWND log_ = nullptr;          // control 1003
    HICON bigIcon_ = nullptr;     // owned: loaded for the window's DPI, destroyed with the window
    HICON smallIcon_ = nullptr;
    DialogThread onDialogThread_;  // how the install's thread reaches the controls
    LogBatches logBatches_{onDialogThread_};
    TaskbarProgress progress_;
};

#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <atomic>

#include "logic/InstallerView.h"

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
    INT_PTR HandleMessage(UINT message, WPARAM wParam);

    INT_PTR OnInitDialog();
    INT_PTR OnExtract();
    INT_PTR OnCancel();
    INT_PTR OnBrowse();
    INT_PTR OnDestroy();
    INT_PTR OnSetCursor();
    INT_PTR OnInstallEnded();
    void Centre();
    void HandOverLog();
    void WriteLogEnd(const wchar_t* text);
    template <typename Operation>
    void OnDialogThread(const Operation& operation);
    void CarryOut();
    void ConnectTaskbar();
    void ReleaseTaskbar();
    void ShowState(TBPFLAG state);
    void ShowValue();

    // One operation that a worker has the dialog's thread carry out, and
    // waits for: set by the worker, taken by the dialog's thread.
    struct Call {
        void (*run)(const void* operation);
        const void* operation;
    };
    std::atomic<Call*> call_{nullptr};

    HWND window_ = nullptr;
    DWORD thread_ = 0;            // the dialog's thread
    HANDLE worker_ = nullptr;     // owned: the install's thread, once "Извлечь" was pressed
    bool installing_ = false;     // from "Извлечь" until that thread has ended
    WPARAM deferred_ = 0;         // a command given while the destination was checked
    HWND destination_ = nullptr;  // control 1000
    HWND log_ = nullptr;          // control 1003
    HICON bigIcon_ = nullptr;     // owned: loaded in OnInitDialog, destroyed with the window
    HICON smallIcon_ = nullptr;

    // Log text gathered by AppendLogText and not yet handed to the log control,
    // in UTF-16 units. Touched by the install's thread while it appends, and
    // by the dialog's thread only while that one waits for it.
    // Under Wine every EM_REPLACESEL into a visible edit control costs several
    // milliseconds, whatever its size, so the copy hands lines over in batches:
    // the next one waits at least 50 ms, and at least nine times as long as the
    // last one took, so the log costs at most about a tenth of the copy
    // however slow the control is.
    static constexpr int kPendingCapacity = 16384;
    static constexpr DWORD kMinHandOverIntervalMs = 50;
    static constexpr DWORD kHandOverCostFactor = 9;
    wchar_t pending_[kPendingCapacity] = L"";
    int pendingLength_ = 0;
    DWORD lastHandOver_ = 0;                             // GetTickCount of the last hand-over
    DWORD handOverInterval_ = kMinHandOverIntervalMs;  // ms from it to the next one

    // How far the install has got, on the dialog's taskbar button (Windows 7
    // and later), through the shell's taskbar list: a COM object of the
    // dialog's thread, nullptr where Windows has none (XP, Vista) or it cannot
    // be had, and then nothing is shown. The install's thread only stores the
    // latest bytes in done_ and total_; a timer of the dialog's thread shows
    // them. Values go at least kProgressIntervalMs apart, so at most nine a
    // second, and the last one, shown at once when the copy ends, makes ten:
    // a button redrawn more often only costs the copy.
    static constexpr UINT_PTR kProgressTimer = 1;
    static constexpr UINT kProgressTickMs = 40;
    static constexpr DWORD kProgressIntervalMs = 115;
    ITaskbarList3* taskbar_ = nullptr;  // owned
    UINT taskbarButtonCreated_ = 0;     // the registered message, 0 if it could not be registered
    bool progressing_ = false;          // between StartProgress and EndProgress
    TBPFLAG state_ = TBPF_NOPROGRESS;
    std::atomic<ULONGLONG> done_{0};
    std::atomic<ULONGLONG> total_{0};   // 0 until the room count has given it
    ULONGLONG shownDone_ = 0;
    bool valueShown_ = false;           // the button shows shownDone_
    DWORD lastValue_ = 0;               // GetTickCount when the last value was shown
};

#include "dialog/InstallerDialog.h"

#include <commctrl.h>
#include <objbase.h>

#include "logic/Install.h"
#include "logic/PathHelpers.h"
#include "resources/ResourceIds.h"

HINSTANCE g_moduleInstance = nullptr;

namespace {
// Room for the information text, in UTF-16 units; LoadStringW is offered one less.
constexpr int kTextCapacity = 16384;

// Sent by the install's thread: carry out the operation it has put in call_.
constexpr UINT kCarryOut = WM_APP + 1;
// Posted by the install's thread as it ends.
constexpr UINT kInstallEnded = WM_APP + 2;

// Lets `message` reach `window` from a process of lower integrity, Explorer's
// when the installer runs elevated, which Windows 7 and later otherwise drop.
// Windows XP has no such filter, nor the function, which is looked up.
void AllowFromExplorer(HWND window, UINT message) {
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    const DWORD kAllow = 1;  // MSGFLT_ALLOW
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx");
    // result ignored: let through or not, the progress starts on the button as it is.
    if (found != nullptr && message != 0) {
        reinterpret_cast<Filter>(reinterpret_cast<void*>(found))(window, message, kAllow, nullptr);
    }
}

// Icon 128 at the size the system gives for the two metrics. The caller owns it.
HICON LoadInstallerIcon(int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(g_moduleInstance, MAKEINTRESOURCEW(IDI_INSTALLER), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                         LR_DEFAULTCOLOR));
}
}  // namespace

INT_PTR InstallerDialog::RunModal(HWND parent) {
    // The manifest binds Common Controls 6 (visual styles). Windows XP
    // registers its themed BUTTON, EDIT and STATIC only once that DLL is
    // loaded, and loads it only for a program that imports it: without this
    // call the dialog's controls could not be created there. It does nothing
    // else; later Windows load the DLL by themselves.
    InitCommonControls();
    thread_ = GetCurrentThreadId();
    const INT_PTR result = DialogBoxParamW(g_moduleInstance, MAKEINTRESOURCEW(IDD_INSTALLER), parent, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    // The install makes the shortcut and starts the program after the dialog
    // has ended; it asks nothing of the dialog then, and each of its waits on
    // another process has a limit of its own. Whatever it still sends is let
    // through, to find the window gone: this thread never waits for it
    // without that.
    if (worker_ != nullptr) {
        while (MsgWaitForMultipleObjects(1, &worker_, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(worker_);
        worker_ = nullptr;
    }
    return result;
}

DWORD WINAPI InstallerDialog::InstallThread(void* dialog) {
    // The shortcut is a COM object. result examined only for the undoing:
    // without COM only the shortcut fails.
    const HRESULT com = CoInitialize(nullptr);
    auto* const self = static_cast<InstallerDialog*>(dialog);
    RunInstall(*self);
    if (SUCCEEDED(com)) CoUninitialize();
    // A dialog that the install has ended takes no message.
    PostMessageW(self->window_, kInstallEnded, 0, 0);
    return 0;
}

INT_PTR CALLBACK InstallerDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<InstallerDialog*>(lParam);
        dialog->window_ = window;
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    auto* dialog = reinterpret_cast<InstallerDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG
    return dialog->HandleMessage(message, wParam);
}

INT_PTR InstallerDialog::HandleMessage(UINT message, WPARAM wParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    if (message == WM_DESTROY) return OnDestroy();
    if (message == WM_SETCURSOR) return OnSetCursor();
    if (message == kCarryOut) {
        CarryOut();
        return TRUE;
    }
    if (message == kInstallEnded) return OnInstallEnded();
    if (message == WM_TIMER && wParam == kProgressTimer) {
        if (GetTickCount() - lastValue_ >= kProgressIntervalMs) ShowValue();
        return TRUE;
    }
    // A taskbar made anew (Explorer restarted) knows nothing of the button's
    // progress. Wine never sends this: the list is made when the install starts.
    if (message == taskbarButtonCreated_ && taskbarButtonCreated_ != 0) {
        if (progressing_) ConnectTaskbar();
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    // While an install runs no command starts another, ends the dialog or
    // changes the destination. Wine's close box, Escape and Alt+F4 send
    // "Отмена"'s command even while that button is disabled; Windows does
    // not. One given while the destination is checked, before the controls
    // are frozen, waits: after a refusal it is carried out, as it was when
    // the check held this thread.
    if (installing_) {
        const WORD control = LOWORD(wParam);
        const bool handled = control == IDOK || control == IDCANCEL || control == IDC_BROWSE;
        if (handled && IsWindowEnabled(GetDlgItem(window_, IDCANCEL))) deferred_ = wParam;
        return TRUE;
    }
    // The notification code in the high word is not examined.
    switch (LOWORD(wParam)) {
    case IDOK:
        return OnExtract();
    case IDCANCEL:
        return OnCancel();
    case IDC_BROWSE:
        return OnBrowse();
    }
    return FALSE;
}

INT_PTR InstallerDialog::OnInitDialog() {
    Centre();
    destination_ = GetDlgItem(window_, IDC_DESTINATION);
    log_ = GetDlgItem(window_, IDC_LOG);

    // results ignored: a missing icon leaves the platform's default.
    bigIcon_ = LoadInstallerIcon(SM_CXICON, SM_CYICON);
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    smallIcon_ = LoadInstallerIcon(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    // The edit control's default limit (about 30,000 characters) would stop the
    // log after roughly a thousand copied files.
    SendMessageW(log_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);

    wchar_t format[kTextCapacity];
    wchar_t information[kTextCapacity] = L"";
    // Without the string the log starts empty; an unloaded buffer is never formatted.
    if (LoadStringW(g_moduleInstance, IDS_INFORMATION, format, kTextCapacity - 1) > 0) {
        wsprintfW(information, format, kMainProgramFile);
    }
    SetWindowTextW(log_, information);
    SetWindowTextW(destination_, kDefaultDestination);
    // Typing and pasting stop at the longest destination the install takes.
    SendMessageW(destination_, EM_LIMITTEXT, kMaxDestination, 0);
    taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    AllowFromExplorer(window_, taskbarButtonCreated_);
    return TRUE;  // the platform puts the focus on the first tab stop, the destination field
}

// The window no longer uses its icons once it is being destroyed. Icons from
// LoadImageW without LR_SHARED belong to whoever loaded them.
INT_PTR InstallerDialog::OnDestroy() {
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
    bigIcon_ = smallIcon_ = nullptr;
    progressing_ = false;
    ReleaseTaskbar();
    return FALSE;
}

// While the install runs (its controls frozen) the cursor over the dialog is
// the wait cursor: the default handling would put the arrow back at the first
// mouse move. Otherwise, and over the boxes it shows, the normal handling.
INT_PTR InstallerDialog::OnSetCursor() {
    if (IsWindowEnabled(GetDlgItem(window_, IDCANCEL))) return FALSE;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

INT_PTR InstallerDialog::OnExtract() {
    // The last run, if any, has ended: its destination was refused.
    if (worker_ != nullptr) CloseHandle(worker_);
    worker_ = CreateThread(nullptr, 0, InstallThread, this, 0, nullptr);
    // Without a thread of its own the install still runs, on this one; the
    // window then waits with it.
    if (worker_ == nullptr) {
        RunInstall(*this);
    } else {
        installing_ = true;
    }
    return 0;
}

INT_PTR InstallerDialog::OnInstallEnded() {
    installing_ = false;
    const WPARAM deferred = deferred_;
    deferred_ = 0;
    if (deferred != 0) HandleMessage(WM_COMMAND, deferred);
    return TRUE;
}

INT_PTR InstallerDialog::OnCancel() {
    EndDialog(window_, IDCANCEL);
    return 0;
}

// Runs `operation` on the dialog's thread. From another thread, the call is
// sent there and this one waits until it is done; the dialog's thread never
// waits for the install's, so neither can hold the other up for good. A
// window that is gone takes no message, and the operation is not done.
template <typename Operation>
void InstallerDialog::OnDialogThread(const Operation& operation) {
    if (GetCurrentThreadId() == thread_) {
        operation();
        return;
    }
    Call call = {[](const void* carried) { (*static_cast<const Operation*>(carried))(); }, &operation};
    call_.store(&call);
    SendMessageW(window_, kCarryOut, 0, 0);
    call_.store(nullptr);
}

// The operation is taken from call_, not from the message: any process may
// send this message, and only the install's thread puts one there.
void InstallerDialog::CarryOut() {
    if (Call* call = call_.exchange(nullptr)) call->run(call->operation);
}

// Centres the dialog on its visible owner, or on the work area, and keeps it
// inside the work area.
void InstallerDialog::Centre() {
    RECT dialog;
    GetWindowRect(window_, &dialog);
    const int width = dialog.right - dialog.left;
    const int height = dialog.bottom - dialog.top;

    HWND owner = GetWindow(window_, GW_OWNER);
    if (owner != nullptr) {
        const LONG style = GetWindowLongW(owner, GWL_STYLE);
        if (!(style & WS_VISIBLE) || (style & WS_MINIMIZE)) owner = nullptr;
    }
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT reference = area;
    if (owner != nullptr) GetWindowRect(owner, &reference);

    int x = (reference.left + reference.right) / 2 - width / 2;
    if (x < area.left) {
        x = area.left;
    } else if (x + width > area.right) {
        x = area.right - width;
    }
    int y = (reference.top + reference.bottom) / 2 - height / 2;
    if (y < area.top) {
        y = area.top;
    } else if (y + height > area.bottom) {
        y = area.bottom - height;
    }
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Gathers `text` and hands what was gathered to the log control when the
// interval since the last hand-over has passed. Only an append hands over, so
// a gathered line can wait until the next file has been copied; a fast copy
// shows a batch per interval. A text that does not fit beside what was
// gathered goes after it, never cut.
void InstallerDialog::AppendLogText(const wchar_t* text) {
    const int length = lstrlenW(text);
    if (pendingLength_ + length >= kPendingCapacity) HandOverLog();
    if (length >= kPendingCapacity) {
        WriteLogEnd(text);
        return;
    }
    CopyMemory(pending_ + pendingLength_, text, (length + 1) * sizeof(wchar_t));
    pendingLength_ += length;
    if (GetTickCount() - lastHandOver_ >= handOverInterval_) HandOverLog();
}

void InstallerDialog::HandOverLog() {
    if (pendingLength_ == 0) return;
    WriteLogEnd(pending_);
    pendingLength_ = 0;
}

void InstallerDialog::WriteLogEnd(const wchar_t* text) {
    OnDialogThread([&] {
        const DWORD start = GetTickCount();
        const int end = GetWindowTextLengthW(log_);
        SendMessageW(log_, EM_SETSEL, end, end);
        SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
        lastHandOver_ = GetTickCount();
        handOverInterval_ = kHandOverCostFactor * (lastHandOver_ - start);
        if (handOverInterval_ < kMinHandOverIntervalMs) handOverInterval_ = kMinHandOverIntervalMs;
    });
}

void InstallerDialog::SetDestinationReadOnly() {
    OnDialogThread([&] { SendMessageW(destination_, EM_SETREADONLY, TRUE, 0); });
}

void InstallerDialog::DisableButton(int identifier) {
    OnDialogThread([&] {
        EnableWindow(GetDlgItem(window_, identifier), FALSE);
        // Frozen: the wait cursor at once, not only at the next mouse move.
        if (!IsWindowEnabled(GetDlgItem(window_, IDCANCEL))) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    });
}

void InstallerDialog::ClearLog() {
    OnDialogThread([&] {
        HandOverLog();
        SendMessageW(log_, EM_SETSEL, 0, -1);
        SendMessageW(log_, EM_SCROLLCARET, 0, 0);
        SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    });
}

void InstallerDialog::ReadDestination(ShortPath& buffer) {
    buffer.text[0] = L'\0';
    OnDialogThread([&] { GetDlgItemTextW(window_, IDC_DESTINATION, buffer.text, ShortPath::capacity); });
}

void InstallerDialog::ShowMessage(const wchar_t* text, const wchar_t* caption) {
    OnDialogThread([&] {
        HandOverLog();
        MessageBoxW(window_, text, caption, MB_OK | MB_ICONINFORMATION);
    });
}

bool InstallerDialog::AskRetry(const wchar_t* text, const wchar_t* caption) {
    bool retry = false;
    OnDialogThread([&] {
        HandOverLog();
        // Red on the button while the install waits for the answer; Retry
        // goes on where it was, still counting or copying.
        if (progressing_) ShowState(TBPF_ERROR);
        retry = MessageBoxW(window_, text, caption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
        if (progressing_ && retry) ShowState(total_.load() != 0 ? TBPF_NORMAL : TBPF_INDETERMINATE);
    });
    return retry;
}

void InstallerDialog::EndWithResult(int result) {
    OnDialogThread([&] {
        HandOverLog();
        EndDialog(window_, result);
    });
}

// Until the room count has given the total, how far the install has got is
// not known: the button shows only that it works, as the taskbar list's
// documentation does while the work is counted.
void InstallerDialog::StartProgress() {
    OnDialogThread([&] {
        done_.store(0);
        total_.store(0);
        progressing_ = true;
        state_ = TBPF_INDETERMINATE;
        ConnectTaskbar();
        SetTimer(window_, kProgressTimer, kProgressTickMs, nullptr);
    });
}

void InstallerDialog::ShowProgress(ULONGLONG done, ULONGLONG total) {
    total_.store(total);
    done_.store(done);
}

void InstallerDialog::EndProgress() {
    OnDialogThread([&] {
        if (!progressing_) return;
        progressing_ = false;
        KillTimer(window_, kProgressTimer);
        ShowValue();
        ShowState(TBPF_NOPROGRESS);
        ReleaseTaskbar();
    });
}

// Makes the taskbar list (again) and shows the state on it; the value
// follows at the next tick. Where Windows has no ITaskbarList3, nothing.
void InstallerDialog::ConnectTaskbar() {
    ReleaseTaskbar();
    ITaskbarList3* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list)))) {
        return;
    }
    if (FAILED(list->HrInit())) {
        list->Release();
        return;
    }
    taskbar_ = list;
    valueShown_ = false;
    // result ignored: a button that shows nothing changes nothing else.
    taskbar_->SetProgressState(window_, state_);
}

void InstallerDialog::ReleaseTaskbar() {
    if (taskbar_ != nullptr) taskbar_->Release();
    taskbar_ = nullptr;
}

void InstallerDialog::ShowState(TBPFLAG state) {
    state_ = state;
    // result ignored, as for every call on the list.
    if (taskbar_ != nullptr) taskbar_->SetProgressState(window_, state_);
}

// Shows the latest value, unless the button has it already.
void InstallerDialog::ShowValue() {
    // total_ is stored before done_, and the same from the copy's start to its end.
    const ULONGLONG done = done_.load();
    const ULONGLONG total = total_.load();
    if (taskbar_ == nullptr || total == 0 || (valueShown_ && done == shownDone_)) return;
    if (state_ == TBPF_INDETERMINATE) ShowState(TBPF_NORMAL);
    lastValue_ = GetTickCount();
    taskbar_->SetProgressValue(window_, done, total);
    shownDone_ = done;
    valueShown_ = true;
}

// The install was refused once the walk had shown why: the dialog as it was
// before "Извлечь", the destination in hand for the user to change.
void InstallerDialog::Thaw() {
    OnDialogThread([&] {
        HandOverLog();
        SendMessageW(destination_, EM_SETREADONLY, FALSE, 0);
        for (int button : {IDOK, IDCANCEL, IDC_BROWSE}) EnableWindow(GetDlgItem(window_, button), TRUE);
        wchar_t format[kTextCapacity];
        wchar_t information[kTextCapacity] = L"";
        if (LoadStringW(g_moduleInstance, IDS_INFORMATION, format, kTextCapacity - 1) > 0) {
            wsprintfW(information, format, kMainProgramFile);
        }
        SetWindowTextW(log_, information);
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(destination_), TRUE);
    });
}

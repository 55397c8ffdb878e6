// The installer's one window: its dialog procedure, the commands of its
// controls, "Извлечь" run on a worker thread, and the InstallerView
// operations carried out on its controls.
#include "dialog/InstallerDialog.h"

#include <commctrl.h>
#include <objbase.h>

#include <initializer_list>

#include "logic/install/InstallTexts.h"
#include "logic/install/RunInstall.h"
#include "logic/destination/FullPath.h"
#include "resources/ResourceIds.h"

HINSTANCE g_moduleInstance = nullptr;

namespace {
// Room for the information text, in UTF-16 units; LoadStringW is offered one less.
constexpr int kTextCapacity = 16384;

// Posted by the install's thread as it ends.
constexpr UINT kInstallEnded = WM_APP + 2;

// Sent when the window is moved to a monitor of another DPI, or that DPI
// changes (Windows 8.1 and later). The headers declare it only for programs
// that target Windows 7 or later.
constexpr UINT kDpiChanged = 0x02E0;

// A function of user32.dll that older Windows lack: nullptr there.
template <typename Function>
Function FromUser32(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The DPI of the screen, at which GetSystemMetrics gives its sizes.
UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The DPI `window` is shown at: its monitor's where each has its own
// (Windows 10, version 1607 and later), else the system's.
UINT DpiOf(HWND window) {
    const auto forWindow = FromUser32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    return forWindow != nullptr ? forWindow(window) : SystemDpi();
}

// A system metric at `dpi`: Windows' own where it has them per DPI (Windows
// 10, version 1607 and later), else the system DPI's scaled.
int MetricAt(int metric, UINT dpi) {
    const auto forDpi = FromUser32<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi != nullptr ? forDpi(metric, dpi) : MulDiv(GetSystemMetrics(metric), dpi, SystemDpi());
}

// Icon 128 at the size of the two metrics at `dpi`. The caller owns it.
HICON LoadInstallerIcon(int widthMetric, int heightMetric, UINT dpi) {
    return static_cast<HICON>(LoadImageW(g_moduleInstance, MAKEINTRESOURCEW(IDI_INSTALLER), IMAGE_ICON,
                                         MetricAt(widthMetric, dpi), MetricAt(heightMetric, dpi),
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
    // Nothing after these two: the dialog's thread waits for this one's end
    // once it has both. A dialog that the install has ended takes no message.
    self->installDone_.store(true);
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
    return dialog->HandleMessage(message, wParam, lParam);
}

INT_PTR InstallerDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    if (message == WM_DESTROY) return OnDestroy();
    if (message == WM_SETCURSOR) return OnSetCursor();
    if (message == kDpiChanged) return OnDpiChanged(wParam, lParam);
    if (message == DialogThread::kCarryOut) {
        onDialogThread_.CarryOut();
        return TRUE;
    }
    if (message == kInstallEnded) return OnInstallEnded();
    if (progress_.OnMessage(message, wParam)) return TRUE;
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
    onDialogThread_.Attach(window_);
    logBatches_.Attach(log_);

    SetIcons(DpiOf(window_));

    // The edit control's default limit (about 30,000 characters) would stop the
    // log after roughly a thousand copied files.
    SendMessageW(log_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);

    ShowInformation();
    SetWindowTextW(destination_, kDefaultDestination);
    // Typing and pasting stop at the longest destination the install takes.
    SendMessageW(destination_, EM_LIMITTEXT, kMaxDestination, 0);
    progress_.Attach(window_);
    return TRUE;  // the platform puts the focus on the first tab stop, the destination field
}

// The window no longer uses its icons once it is being destroyed.
INT_PTR InstallerDialog::OnDestroy() {
    DestroyIcons();
    progress_.Detach();
    return FALSE;
}

// Moved to a monitor of another DPI, or that monitor's DPI changed: the
// window takes the rectangle Windows suggests, and icons of the new sizes.
// The default handling goes on: Windows' own scaling of a per-monitor (v2)
// dialog lays out the controls and their fonts anew. Any process may post
// this message; one without its rectangle changes nothing.
INT_PTR InstallerDialog::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    if (suggested == nullptr) return FALSE;
    SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    SetIcons(HIWORD(wParam));
    return FALSE;
}

// Icon 128 as the window's big and small icon, at the sizes Windows gives
// them at `dpi`; those it replaces are destroyed once the window has let go.
// results ignored: a missing icon leaves the platform's default.
void InstallerDialog::SetIcons(UINT dpi) {
    const HICON big = LoadInstallerIcon(SM_CXICON, SM_CYICON, dpi);
    const HICON smallOne = LoadInstallerIcon(SM_CXSMICON, SM_CYSMICON, dpi);
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallOne));
    DestroyIcons();
    bigIcon_ = big;
    smallIcon_ = smallOne;
}

// Icons from LoadImageW without LR_SHARED belong to whoever loaded them.
void InstallerDialog::DestroyIcons() {
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
    bigIcon_ = smallIcon_ = nullptr;
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
    installDone_.store(false);
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

// Any process may post this message: it counts only once the install's
// thread has ended. A stray one, while that thread runs, must neither let a
// command through nor end the dialog while the copy goes on. The thread
// posts it as its last act, after installDone_: it may still be on its way
// out, and is waited for.
INT_PTR InstallerDialog::OnInstallEnded() {
    if (!installing_) return TRUE;
    if (installDone_.load()) WaitForSingleObject(worker_, INFINITE);
    if (WaitForSingleObject(worker_, 0) != WAIT_OBJECT_0) return TRUE;
    installing_ = false;
    const WPARAM deferred = deferred_;
    deferred_ = 0;
    if (deferred != 0) HandleMessage(WM_COMMAND, deferred, 0);
    return TRUE;
}

INT_PTR InstallerDialog::OnCancel() {
    EndDialog(window_, IDCANCEL);
    return 0;
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

void InstallerDialog::AppendLogText(const wchar_t* text) { logBatches_.Append(text); }

void InstallerDialog::SetDestinationReadOnly() {
    onDialogThread_.Run([&] { SendMessageW(destination_, EM_SETREADONLY, TRUE, 0); });
}

void InstallerDialog::DisableButton(int identifier) {
    onDialogThread_.Run([&] {
        EnableWindow(GetDlgItem(window_, identifier), FALSE);
        // Frozen: the wait cursor at once, not only at the next mouse move.
        if (!IsWindowEnabled(GetDlgItem(window_, IDCANCEL))) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    });
}

void InstallerDialog::ClearLog() {
    onDialogThread_.Run([&] {
        logBatches_.HandOver();
        SendMessageW(log_, EM_SETSEL, 0, -1);
        SendMessageW(log_, EM_SCROLLCARET, 0, 0);
        SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    });
}

void InstallerDialog::ReadDestination(ShortPath& buffer) {
    buffer.text[0] = L'\0';
    onDialogThread_.Run([&] { GetDlgItemTextW(window_, IDC_DESTINATION, buffer.text, ShortPath::capacity); });
}

void InstallerDialog::ShowMessage(const wchar_t* text, const wchar_t* caption) {
    onDialogThread_.Run([&] {
        logBatches_.HandOver();
        MessageBoxW(window_, text, caption, MB_OK | MB_ICONINFORMATION);
    });
}

bool InstallerDialog::AskRetry(const wchar_t* text, const wchar_t* caption) {
    bool retry = false;
    onDialogThread_.Run([&] {
        logBatches_.HandOver();
        progress_.ShowWaitingForUser();
        retry = MessageBoxW(window_, text, caption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
        if (retry) progress_.ShowRetrying();
    });
    return retry;
}

void InstallerDialog::EndWithResult(int result) {
    onDialogThread_.Run([&] {
        logBatches_.HandOver();
        EndDialog(window_, result);
    });
}

void InstallerDialog::StartProgress() {
    onDialogThread_.Run([&] { progress_.Start(); });
}

void InstallerDialog::ShowProgress(ULONGLONG done, ULONGLONG total) { progress_.Show(done, total); }

void InstallerDialog::EndProgress() {
    onDialogThread_.Run([&] { progress_.End(); });
}

// The install was refused once the walk had shown why: the dialog as it was
// before "Извлечь", the destination in hand for the user to change.
void InstallerDialog::Thaw() {
    onDialogThread_.Run([&] {
        logBatches_.HandOver();
        SendMessageW(destination_, EM_SETREADONLY, FALSE, 0);
        for (int button : {IDOK, IDCANCEL, IDC_BROWSE}) EnableWindow(GetDlgItem(window_, button), TRUE);
        ShowInformation();
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(destination_), TRUE);
    });
}

// The log shows the information text: string 129 formatted with the main
// program's name. Without the string the log is empty; an unloaded buffer is
// never formatted.
void InstallerDialog::ShowInformation() {
    wchar_t format[kTextCapacity];
    wchar_t information[kTextCapacity] = L"";
    if (LoadStringW(g_moduleInstance, IDS_INFORMATION, format, kTextCapacity - 1) > 0) {
        wsprintfW(information, format, kMainProgramFile);
    }
    SetWindowTextW(log_, information);
}

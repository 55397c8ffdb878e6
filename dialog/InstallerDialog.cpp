#include "dialog/InstallerDialog.h"

#include <commctrl.h>

#include "logic/Install.h"
#include "logic/PathHelpers.h"
#include "resources/ResourceIds.h"

HINSTANCE g_moduleInstance = nullptr;

namespace {
// Room for the information text, in UTF-16 units; LoadStringW is offered one less.
constexpr int kTextCapacity = 16384;

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
    return DialogBoxParamW(g_moduleInstance, MAKEINTRESOURCEW(IDD_INSTALLER), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
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
    if (message != WM_COMMAND) return FALSE;
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
    return TRUE;  // the platform puts the focus on the first tab stop, the destination field
}

// The window no longer uses its icons once it is being destroyed. Icons from
// LoadImageW without LR_SHARED belong to whoever loaded them.
INT_PTR InstallerDialog::OnDestroy() {
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
    bigIcon_ = smallIcon_ = nullptr;
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
    RunInstall(*this);
    return 0;
}

INT_PTR InstallerDialog::OnCancel() {
    // Wine's close box still sends this command while "Отмена" is disabled
    // during the copy; Windows does not. Ignoring it keeps the two alike.
    if (!IsWindowEnabled(GetDlgItem(window_, IDCANCEL))) return 0;
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
    const DWORD start = GetTickCount();
    const int end = GetWindowTextLengthW(log_);
    SendMessageW(log_, EM_SETSEL, end, end);
    SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    lastHandOver_ = GetTickCount();
    handOverInterval_ = kHandOverCostFactor * (lastHandOver_ - start);
    if (handOverInterval_ < kMinHandOverIntervalMs) handOverInterval_ = kMinHandOverIntervalMs;
}

void InstallerDialog::PumpOneMessage() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
    // Escape would otherwise reach the dialog; during the copy it does nothing.
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void InstallerDialog::SetDestinationReadOnly() { SendMessageW(destination_, EM_SETREADONLY, TRUE, 0); }

void InstallerDialog::DisableButton(int identifier) { EnableWindow(GetDlgItem(window_, identifier), FALSE); }

void InstallerDialog::ClearLog() {
    HandOverLog();
    SendMessageW(log_, EM_SETSEL, 0, -1);
    SendMessageW(log_, EM_SCROLLCARET, 0, 0);
    SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void InstallerDialog::ReadDestination(ShortPath& buffer) {
    GetDlgItemTextW(window_, IDC_DESTINATION, buffer.text, ShortPath::capacity);
}

void InstallerDialog::ShowMessage(const wchar_t* text, const wchar_t* caption) {
    HandOverLog();
    MessageBoxW(window_, text, caption, MB_OK | MB_ICONINFORMATION);
}

bool InstallerDialog::AskRetry(const wchar_t* text, const wchar_t* caption) {
    HandOverLog();
    return MessageBoxW(window_, text, caption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
}

void InstallerDialog::EndWithResult(int result) {
    HandOverLog();
    EndDialog(window_, result);
}

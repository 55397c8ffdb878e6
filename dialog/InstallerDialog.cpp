#include "dialog/InstallerDialog.h"

#include <commctrl.h>

#include "logic/Install.h"
#include "resources/ResourceIds.h"

HINSTANCE g_moduleInstance = nullptr;

namespace {
// Room for the information text; LoadStringA is offered one byte less.
constexpr int kTextCapacity = 16384;

// Icon 128 at the size the system gives for the two metrics. The caller owns it.
HICON LoadInstallerIcon(int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageA(g_moduleInstance, MAKEINTRESOURCEA(IDI_INSTALLER), IMAGE_ICON,
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
    return DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_INSTALLER), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK InstallerDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<InstallerDialog*>(lParam);
        dialog->window_ = window;
        SetWindowLongPtrA(window, DWLP_USER, lParam);
    }
    auto* dialog = reinterpret_cast<InstallerDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG
    return dialog->HandleMessage(message, wParam);
}

INT_PTR InstallerDialog::HandleMessage(UINT message, WPARAM wParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    if (message == WM_DESTROY) return OnDestroy();
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
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    smallIcon_ = LoadInstallerIcon(SM_CXSMICON, SM_CYSMICON);
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    // The edit control's default limit (about 30,000 characters) would stop the
    // log after roughly a thousand copied files.
    SendMessageA(log_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);

    char format[kTextCapacity];
    char information[kTextCapacity] = "";
    // Without the string the log starts empty; an unloaded buffer is never formatted.
    if (LoadStringA(g_moduleInstance, IDS_INFORMATION, format, kTextCapacity - 1) > 0) {
        wsprintfA(information, format, kMainProgramFile);
    }
    SetWindowTextA(log_, information);
    SetWindowTextA(destination_, kDefaultDestination);
    return TRUE;  // the platform puts the focus on the first tab stop, the destination field
}

// The window no longer uses its icons once it is being destroyed. Icons from
// LoadImageA without LR_SHARED belong to whoever loaded them.
INT_PTR InstallerDialog::OnDestroy() {
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
    bigIcon_ = smallIcon_ = nullptr;
    return FALSE;
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
        const LONG style = GetWindowLongA(owner, GWL_STYLE);
        if (!(style & WS_VISIBLE) || (style & WS_MINIMIZE)) owner = nullptr;
    }
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
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
void InstallerDialog::AppendLogText(const char* text) {
    const int length = lstrlenA(text);
    if (pendingLength_ + length >= kPendingCapacity) HandOverLog();
    if (length >= kPendingCapacity) {
        WriteLogEnd(text);
        return;
    }
    CopyMemory(pending_ + pendingLength_, text, length + 1);
    pendingLength_ += length;
    if (GetTickCount() - lastHandOver_ >= handOverInterval_) HandOverLog();
}

void InstallerDialog::HandOverLog() {
    if (pendingLength_ == 0) return;
    WriteLogEnd(pending_);
    pendingLength_ = 0;
}

void InstallerDialog::WriteLogEnd(const char* text) {
    const DWORD start = GetTickCount();
    const int end = GetWindowTextLengthA(log_);
    SendMessageA(log_, EM_SETSEL, end, end);
    SendMessageA(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    lastHandOver_ = GetTickCount();
    handOverInterval_ = kHandOverCostFactor * (lastHandOver_ - start);
    if (handOverInterval_ < kMinHandOverIntervalMs) handOverInterval_ = kMinHandOverIntervalMs;
}

void InstallerDialog::PumpOneMessage() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
    // Escape would otherwise reach the dialog; during the copy it does nothing.
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void InstallerDialog::SetDestinationReadOnly() { SendMessageA(destination_, EM_SETREADONLY, TRUE, 0); }

void InstallerDialog::DisableButton(int identifier) { EnableWindow(GetDlgItem(window_, identifier), FALSE); }

void InstallerDialog::ClearLog() {
    HandOverLog();
    SendMessageA(log_, EM_SETSEL, 0, -1);
    SendMessageA(log_, EM_SCROLLCARET, 0, 0);
    SendMessageA(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

void InstallerDialog::ReadDestination(ShortPath& buffer) {
    GetDlgItemTextA(window_, IDC_DESTINATION, buffer.text, ShortPath::capacity - 1);
}

void InstallerDialog::ShowMessage(const char* text, const char* caption) {
    HandOverLog();
    MessageBoxA(window_, text, caption, MB_OK | MB_ICONINFORMATION);
}

void InstallerDialog::EndWithResult(int result) {
    HandOverLog();
    EndDialog(window_, result);
}

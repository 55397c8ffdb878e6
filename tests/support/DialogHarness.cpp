#include "support/DialogHarness.h"

#include <vector>

#include "support/DialogTexts.h"
#include "support/Text.h"

std::string TextOf(HWND window) {
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> text(length + 1, L'\0');
    const LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return Narrow(std::wstring(text.data(), copied));
}

namespace {

// A TIMERPROC has no context of its own; one scripted dialog runs at a time.
struct Ticking {
    const std::function<bool(HWND)>* tick = nullptr;
    UINT intervalMs = 0;
    int maxTicks = 0;
    int ticks = 0;
    UINT_PTR timer = 0;
};
Ticking g_ticking;

BOOL CALLBACK FindInstallerDialog(HWND window, LPARAM result) {
    if (TextOf(window) != shown::kCaption) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

BOOL CALLBACK EndDialogOfThisThread(HWND window, LPARAM) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0) EndDialog(window, kGaveUp);
    return TRUE;
}

HWND InstallerDialogOfThisThread() {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindInstallerDialog, reinterpret_cast<LPARAM>(&dialog));
    return dialog;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    Ticking& run = g_ticking;
    // Off while `tick` runs: a modal loop that `tick` enters (a message box)
    // would otherwise dispatch this timer into it again.
    KillTimer(nullptr, timer);
    run.timer = 0;
    if (run.tick == nullptr) return;
    if (++run.ticks > run.maxTicks) {
        // Every dialog of this thread, the picker or a message box too: each
        // runs a modal loop of its own that would keep this one waiting.
        EnumThreadWindows(GetCurrentThreadId(), EndDialogOfThisThread, 0);
        return;
    }
    HWND dialog = InstallerDialogOfThisThread();
    if (dialog == nullptr || !(*run.tick)(dialog)) run.timer = SetTimer(nullptr, 0, run.intervalMs, Tick);
}

}  // namespace

INT_PTR RunModalWithTicks(const std::function<INT_PTR()>& runModal, UINT intervalMs, int maxTicks,
                          const std::function<bool(HWND dialog)>& tick) {
    g_ticking = Ticking();
    g_ticking.tick = &tick;
    g_ticking.intervalMs = intervalMs;
    g_ticking.maxTicks = maxTicks;
    g_ticking.timer = SetTimer(nullptr, 0, intervalMs, Tick);
    const INT_PTR result = runModal();
    if (g_ticking.timer != 0) KillTimer(nullptr, g_ticking.timer);
    g_ticking = Ticking();
    return result;
}

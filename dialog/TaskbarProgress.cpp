// The install's progress on the dialog's taskbar button.
#include "dialog/TaskbarProgress.h"

#include <objbase.h>

namespace {
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
}  // namespace

void TaskbarProgress::Attach(HWND window) {
    window_ = window;
    buttonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    AllowFromExplorer(window_, buttonCreated_);
}

bool TaskbarProgress::OnMessage(UINT message, WPARAM wParam) {
    if (message == WM_TIMER && wParam == kTimer) {
        if (GetTickCount() - lastValue_ >= kIntervalMs) ShowValue();
        return true;
    }
    // A taskbar made anew (Explorer restarted) knows nothing of the button's
    // progress. Wine never sends this: the list is made when the install starts.
    if (message == buttonCreated_ && buttonCreated_ != 0) {
        if (progressing_) Connect();
        return true;
    }
    return false;
}

// Until the room count has given the total, how far the install has got is
// not known: the button shows only that it works, as the taskbar list's
// documentation does while the work is counted.
void TaskbarProgress::Start() {
    done_.store(0);
    total_.store(0);
    progressing_ = true;
    state_ = TBPF_INDETERMINATE;
    Connect();
    SetTimer(window_, kTimer, kTickMs, nullptr);
}

void TaskbarProgress::Show(ULONGLONG done, ULONGLONG total) {
    total_.store(total);
    done_.store(done);
}

void TaskbarProgress::ShowWaitingForUser() {
    if (progressing_) ShowState(TBPF_ERROR);
}

// Goes on where it was, still counting or copying.
void TaskbarProgress::ShowRetrying() {
    if (progressing_) ShowState(total_.load() != 0 ? TBPF_NORMAL : TBPF_INDETERMINATE);
}

void TaskbarProgress::End() {
    if (!progressing_) return;
    progressing_ = false;
    KillTimer(window_, kTimer);
    ShowValue();
    ShowState(TBPF_NOPROGRESS);
    Release();
}

void TaskbarProgress::Detach() {
    progressing_ = false;
    Release();
}

// Makes the taskbar list (again) and shows the state on it; the value
// follows at the next tick. Where Windows has no ITaskbarList3, nothing.
void TaskbarProgress::Connect() {
    Release();
    ITaskbarList3* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list)))) {
        return;
    }
    if (FAILED(list->HrInit())) {
        list->Release();
        return;
    }
    list_ = list;
    valueShown_ = false;
    // result ignored: a button that shows nothing changes nothing else.
    list_->SetProgressState(window_, state_);
}

void TaskbarProgress::Release() {
    if (list_ != nullptr) list_->Release();
    list_ = nullptr;
}

void TaskbarProgress::ShowState(TBPFLAG state) {
    state_ = state;
    // result ignored, as for every call on the list.
    if (list_ != nullptr) list_->SetProgressState(window_, state_);
}

// Shows the latest value, unless the button has it already.
void TaskbarProgress::ShowValue() {
    // total_ is stored before done_, and the same from the copy's start to its end.
    const ULONGLONG done = done_.load();
    const ULONGLONG total = total_.load();
    if (list_ == nullptr || total == 0 || (valueShown_ && done == shownDone_)) return;
    if (state_ == TBPF_INDETERMINATE) ShowState(TBPF_NORMAL);
    lastValue_ = GetTickCount();
    list_->SetProgressValue(window_, done, total);
    shownDone_ = done;
    valueShown_ = true;
}

#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <atomic>

// How far the install has got, on the dialog's taskbar button (Windows 7 and
// later), through the shell's taskbar list: a COM object of the dialog's
// thread, absent where Windows has none (XP, Vista) or it cannot be had, and
// then nothing is shown. The install's thread only stores the latest bytes;
// a timer of the dialog's thread shows them. Values go at least
// kIntervalMs apart, so at most nine a second, and the last one, shown at
// once when the copy ends, makes ten: a button redrawn more often only costs
// the copy. Every member but Show is called on the dialog's thread.
class TaskbarProgress {
public:
    // Takes the window whose button shows the progress; lets Explorer's
    // message that the button was made again reach it.
    void Attach(HWND window);
    // The progress's own messages: its timer, and a taskbar made anew.
    // True when `message` was one of them.
    bool OnMessage(UINT message, WPARAM wParam);

    // The work begins; how far it has got is not known yet.
    void Start();
    // `done` of `total` bytes, from any thread; shown at the progress's pace.
    void Show(ULONGLONG done, ULONGLONG total);
    // Red while the install waits for the user's answer to a failure, and
    // back to the state before once the user retries.
    void ShowWaitingForUser();
    void ShowRetrying();
    // The last value, then no progress at all.
    void End();
    // The window is being destroyed.
    void Detach();

private:
    void Connect();
    void Release();
    void ShowState(TBPFLAG state);
    void ShowValue();

    static constexpr UINT_PTR kTimer = 1;
    static constexpr UINT kTickMs = 40;
    static constexpr DWORD kIntervalMs = 115;

    HWND window_ = nullptr;
    ITaskbarList3* list_ = nullptr;  // owned
    UINT buttonCreated_ = 0;         // "TaskbarButtonCreated", 0 if it could not be registered
    bool progressing_ = false;       // between Start and End
    TBPFLAG state_ = TBPF_NOPROGRESS;
    std::atomic<ULONGLONG> done_{0};
    std::atomic<ULONGLONG> total_{0};  // 0 until the room count has given it
    ULONGLONG shownDone_ = 0;
    bool valueShown_ = false;  // the button shows shownDone_
    DWORD lastValue_ = 0;      // GetTickCount when the last value was shown
};

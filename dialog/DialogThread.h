#pragma once

#include <windows.h>

#include <atomic>

// Hands an operation over to the thread that runs the dialog, the only one
// that may touch its controls, and waits until it is done. The dialog's
// thread never waits for the caller, so neither can hold the other up for
// good. Once the window is gone, an operation from another thread is not done.
class DialogThread {
public:
    // The message that carries an operation over: the dialog's procedure
    // gives it to CarryOut.
    static constexpr UINT kCarryOut = WM_APP + 1;

    // Called on the dialog's thread, with its window.
    void Attach(HWND window);

    // Runs `operation` at once on the dialog's thread; from another thread,
    // sends it there and returns when it is done.
    template <typename Operation>
    void Run(const Operation& operation) {
        if (GetCurrentThreadId() == thread_) {
            operation();
            return;
        }
        Call call = {[](const void* carried) { (*static_cast<const Operation*>(carried))(); }, &operation};
        call_.store(&call);
        SendMessageW(window_, kCarryOut, 0, 0);
        call_.store(nullptr);
    }

    // Carries out the operation waiting, if any, on the dialog's thread.
    void CarryOut();

private:
    // One operation that another thread has the dialog's thread carry out,
    // and waits for: set by that thread, taken by the dialog's.
    struct Call {
        void (*run)(const void* operation);
        const void* operation;
    };
    std::atomic<Call*> call_{nullptr};
    HWND window_ = nullptr;
    DWORD thread_ = 0;
};

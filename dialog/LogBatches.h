#pragma once

#include <windows.h>

#include "dialog/DialogThread.h"

// The log's text on its way to the log control, gathered into batches.
// Under Wine every EM_REPLACESEL into a visible edit control costs several
// milliseconds, whatever its size, so the copy hands lines over in batches:
// the next one waits at least 50 ms, and at least nine times as long as the
// last one took, so the log costs at most about a tenth of the copy however
// slow the control is.
class LogBatches {
public:
    // `thread` carries each hand-over to the dialog's thread.
    explicit LogBatches(DialogThread& thread) : thread_(thread) {}

    // Called on the dialog's thread, with the log control.
    void Attach(HWND log) { log_ = log; }
    // Gathers `text`, and hands over what was gathered when the interval
    // since the last hand-over has passed. From any thread.
    void Append(const wchar_t* text);
    // Hands over what was gathered, now. From any thread.
    void HandOver();

private:
    void WriteEnd(const wchar_t* text);

    static constexpr int kPendingCapacity = 16384;
    static constexpr DWORD kMinIntervalMs = 50;
    static constexpr DWORD kCostFactor = 9;

    DialogThread& thread_;
    HWND log_ = nullptr;
    // Gathered and not yet handed over, in UTF-16 units. Touched by the
    // install's thread while it appends, and by the dialog's thread only
    // while that one waits for it.
    wchar_t pending_[kPendingCapacity] = L"";
    int pendingLength_ = 0;
    DWORD lastHandOver_ = 0;           // GetTickCount of the last hand-over
    DWORD interval_ = kMinIntervalMs;  // ms from it to the next one
};

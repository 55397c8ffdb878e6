// The log's lines gathered into batches on their way to the control.
#include "dialog/LogBatches.h"

// Only an append hands over, so a gathered line can wait until the next file
// has been copied; a fast copy shows a batch per interval. A text that does
// not fit beside what was gathered goes after it, never cut.
void LogBatches::Append(const wchar_t* text) {
    const int length = lstrlenW(text);
    if (pendingLength_ + length >= kPendingCapacity) HandOver();
    if (length >= kPendingCapacity) {
        WriteEnd(text);
        return;
    }
    CopyMemory(pending_ + pendingLength_, text, (length + 1) * sizeof(wchar_t));
    pendingLength_ += length;
    if (GetTickCount() - lastHandOver_ >= interval_) HandOver();
}

void LogBatches::HandOver() {
    if (pendingLength_ == 0) return;
    WriteEnd(pending_);
    pendingLength_ = 0;
}

void LogBatches::WriteEnd(const wchar_t* text) {
    thread_.Run([&] {
        const DWORD start = GetTickCount();
        const int end = GetWindowTextLengthW(log_);
        SendMessageW(log_, EM_SETSEL, end, end);
        SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
        lastHandOver_ = GetTickCount();
        interval_ = kCostFactor * (lastHandOver_ - start);
        if (interval_ < kMinIntervalMs) interval_ = kMinIntervalMs;
    });
}

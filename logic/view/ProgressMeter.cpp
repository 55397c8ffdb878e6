// The bytes copied, handed to the view, never going back.
#include "logic/view/ProgressMeter.h"

#include "logic/view/InstallerView.h"

ProgressMeter::ProgressMeter(InstallerView& view, ULONGLONG total) : view_(view), total_(total) {
    view_.ShowProgress(0, total_);
}

void ProgressMeter::Copied(ULONGLONG bytes) {
    position_ += bytes;
    // A disc changed at a Retry may hold more than was counted: never more than all.
    const ULONGLONG at = position_ < total_ ? position_ : total_;
    if (at <= shown_) return;
    shown_ = at;
    view_.ShowProgress(shown_, total_);
}

void ProgressMeter::StartOver(ULONGLONG bytes) { position_ = bytes < position_ ? position_ - bytes : 0; }

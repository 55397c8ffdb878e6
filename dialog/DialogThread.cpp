// The hand-over of an operation to the dialog's own thread.
#include "dialog/DialogThread.h"

void DialogThread::Attach(HWND window) {
    window_ = window;
    thread_ = GetCurrentThreadId();
}

// The operation is taken from call_, not from the message: any process may
// send this message, and only a caller of Run puts one there.
void DialogThread::CarryOut() {
    if (Call* call = call_.exchange(nullptr)) call->run(call->operation);
}

// The flush threads that make the copied files durable while the copy goes on.
#include "logic/copy/Flusher.h"

Flusher::Flusher() { InitializeCriticalSection(&lock_); }

bool Flusher::Start() {
    if (handed_ == nullptr) handed_ = CreateSemaphoreW(nullptr, 0, kCapacity + kThreads, nullptr);
    if (done_ == nullptr) done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    while (running_ < kThreads && handed_ != nullptr && done_ != nullptr) {
        HANDLE thread = CreateThread(nullptr, 0, FlushThread, this, 0, nullptr);
        if (thread == nullptr) break;
        threads_[running_++] = thread;
    }
    return running_ > 0;
}

Flusher::~Flusher() {
    if (running_ > 0) {
        EnterCriticalSection(&lock_);
        stopping_ = true;
        LeaveCriticalSection(&lock_);
        ReleaseSemaphore(handed_, running_, nullptr);
        // A flush under way is the local disk's business and ends soon.
        WaitForMultipleObjects(running_, threads_, TRUE, INFINITE);
        for (int i = 0; i < running_; ++i) CloseHandle(threads_[i]);
    }
    for (long sequence = taken_; sequence < handedCount_; ++sequence) CloseHandle(At(sequence).file);
    if (done_ != nullptr) CloseHandle(done_);
    if (handed_ != nullptr) CloseHandle(handed_);
    DeleteCriticalSection(&lock_);
}

void Flusher::Hand(HANDLE file, int id) {
    EnterCriticalSection(&lock_);
    while (handedCount_ - retired_ == kCapacity) {
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(done_, INFINITE);
        EnterCriticalSection(&lock_);
    }
    At(handedCount_++) = {file, id, false};
    lastHanded_ = id;
    LeaveCriticalSection(&lock_);
    ReleaseSemaphore(handed_, 1, nullptr);
}

void Flusher::WaitFor(int id) {
    EnterCriticalSection(&lock_);
    while (lastDone_ < id && retired_ < handedCount_) {
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(done_, INFINITE);
        EnterCriticalSection(&lock_);
    }
    LeaveCriticalSection(&lock_);
}

bool Flusher::WaitForAll() {
    WaitFor(lastHanded_);
    EnterCriticalSection(&lock_);
    const bool failed = failed_;
    failed_ = false;
    LeaveCriticalSection(&lock_);
    return !failed;
}

void Flusher::Abandon() {
    EnterCriticalSection(&lock_);
    abandoned_ = true;
    LeaveCriticalSection(&lock_);
    WaitFor(lastHanded_);
}

DWORD WINAPI Flusher::FlushThread(void* self) {
    static_cast<Flusher*>(self)->Flush();
    return 0;
}

void Flusher::Flush() {
    for (;;) {
        WaitForSingleObject(handed_, INFINITE);
        EnterCriticalSection(&lock_);
        if (stopping_) break;
        const long sequence = taken_++;
        const HANDLE file = At(sequence).file;
        const bool flush = !abandoned_;
        LeaveCriticalSection(&lock_);
        DWORD error = ERROR_SUCCESS;
        if (flush && !FlushFileBuffers(file)) error = GetLastError();
        if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
        EnterCriticalSection(&lock_);
        if (error != ERROR_SUCCESS && flush) failed_ = true;
        At(sequence).done = true;
        // Retired in the order handed over: a wait for a file is a wait for
        // every file before it too.
        while (retired_ < handedCount_ && At(retired_).done) lastDone_ = At(retired_++).id;
        LeaveCriticalSection(&lock_);
        SetEvent(done_);
    }
    LeaveCriticalSection(&lock_);
}

#include "logic/Flusher.h"

Flusher::Flusher() { InitializeCriticalSection(&lock_); }

bool Flusher::Start() {
    if (wakes_ == nullptr) wakes_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (done_ == nullptr) done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (thread_ == nullptr && wakes_ != nullptr && done_ != nullptr) {
        thread_ = CreateThread(nullptr, 0, FlushThread, this, 0, nullptr);
    }
    return thread_ != nullptr;
}

Flusher::~Flusher() {
    if (thread_ != nullptr) {
        EnterCriticalSection(&lock_);
        stopping_ = true;
        LeaveCriticalSection(&lock_);
        SetEvent(wakes_);
        // A flush under way is the local disk's business and ends soon.
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    for (int i = 0; i < count_; ++i) CloseHandle(items_[(first_ + i) % kCapacity].file);
    if (done_ != nullptr) CloseHandle(done_);
    if (wakes_ != nullptr) CloseHandle(wakes_);
    DeleteCriticalSection(&lock_);
}

void Flusher::Hand(HANDLE file, int id) {
    EnterCriticalSection(&lock_);
    while (count_ == kCapacity) {
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(done_, INFINITE);
        EnterCriticalSection(&lock_);
    }
    items_[(first_ + count_++) % kCapacity] = {file, id};
    lastHanded_ = id;
    LeaveCriticalSection(&lock_);
    SetEvent(wakes_);
}

void Flusher::WaitFor(int id) {
    EnterCriticalSection(&lock_);
    while (lastDone_ < id && count_ > 0) {
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(done_, INFINITE);
        EnterCriticalSection(&lock_);
    }
    LeaveCriticalSection(&lock_);
}

bool Flusher::WaitForAll() {
    WaitFor(lastHanded_);  // set only by this thread
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
    EnterCriticalSection(&lock_);
    for (;;) {
        if (stopping_) break;
        if (count_ == 0) {
            LeaveCriticalSection(&lock_);
            WaitForSingleObject(wakes_, INFINITE);
            EnterCriticalSection(&lock_);
            continue;
        }
        const Item item = items_[first_];
        const bool flush = !abandoned_;
        LeaveCriticalSection(&lock_);
        DWORD error = ERROR_SUCCESS;
        if (flush && !FlushFileBuffers(item.file)) error = GetLastError();
        if (!CloseHandle(item.file) && error == ERROR_SUCCESS) error = GetLastError();
        EnterCriticalSection(&lock_);
        if (error != ERROR_SUCCESS && flush) failed_ = true;
        first_ = (first_ + 1) % kCapacity;
        --count_;
        lastDone_ = item.id;
        SetEvent(done_);
    }
    LeaveCriticalSection(&lock_);
}

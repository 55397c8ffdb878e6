// The reader thread that reads the medium ahead of the copy, and its hand-over of pieces.
#include "logic/copy/ReadAhead.h"

namespace {
constexpr int kPathUnits = 1024;
constexpr SIZE_T kMemory = static_cast<SIZE_T>(ReadAhead::kBlocks) * ReadAhead::kBlockSize +
                           static_cast<SIZE_T>(ReadAhead::kQueueCapacity) * kPathUnits * sizeof(wchar_t);
}  // namespace

#include <new>

ReadAhead::ReadAhead() { InitializeCriticalSection(&lock_); }

ReadAhead* ReadAhead::Create() {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(ReadAhead));
    return memory != nullptr ? new (memory) ReadAhead : nullptr;
}

void ReadAhead::Drop() {
    if (InterlockedDecrement(&users_) != 0) return;
    this->~ReadAhead();
    HeapFree(GetProcessHeap(), 0, this);
}

bool ReadAhead::Start() {
    // Megabytes, not the stack's business; freed with the object.
    if (memory_ == nullptr) {
        memory_ = static_cast<BYTE*>(VirtualAlloc(nullptr, kMemory, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    if (readerWakes_ == nullptr) readerWakes_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (takerWakes_ == nullptr) takerWakes_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (thread_ == nullptr && memory_ != nullptr && readerWakes_ != nullptr && takerWakes_ != nullptr) {
        InterlockedIncrement(&users_);
        thread_ = CreateThread(nullptr, 0, ReaderThread, this, 0, nullptr);
        if (thread_ == nullptr) InterlockedDecrement(&users_);
    }
    return thread_ != nullptr;
}

void ReadAhead::Abandon() {
    if (thread_ != nullptr) {
        EnterCriticalSection(&lock_);
        stopping_ = true;
        LeaveCriticalSection(&lock_);
        SetEvent(readerWakes_);
        CloseHandle(thread_);  // the thread runs on; it drops its own use when it returns
    }
    Drop();
}

ReadAhead::~ReadAhead() {
    if (takerWakes_ != nullptr) CloseHandle(takerWakes_);
    if (readerWakes_ != nullptr) CloseHandle(readerWakes_);
    if (memory_ != nullptr) VirtualFree(memory_, 0, MEM_RELEASE);
    DeleteCriticalSection(&lock_);
}

wchar_t* ReadAhead::Path(int ticket) const {
    auto* paths = reinterpret_cast<wchar_t*>(memory_ + static_cast<SIZE_T>(kBlocks) * kBlockSize);
    return paths + static_cast<SIZE_T>(ticket % kQueueCapacity) * kPathUnits;
}

int ReadAhead::Queue(const wchar_t* path, ULONGLONG size) {
    EnterCriticalSection(&lock_);
    const int ticket = queued_++;
    lstrcpynW(Path(ticket), path, kPathUnits);
    sizes_[ticket % kQueueCapacity] = size;
    const bool wake = readerWaits_;
    LeaveCriticalSection(&lock_);
    if (wake) SetEvent(readerWakes_);
    return ticket;
}

ReadAhead::Piece ReadAhead::Take(int ticket) {
    EnterCriticalSection(&lock_);
    while (count_ == 0) {
        takerWaits_ = true;
        LeaveCriticalSection(&lock_);
        WaitForSingleObject(takerWakes_, INFINITE);
        EnterCriticalSection(&lock_);
        takerWaits_ = false;
    }
    const Slot& slot = slots_[first_];
    // Pieces come in queue order; one of another file would mean a taker
    // out of step, and must not be written as this one's.
    const Piece piece = slot.ticket == ticket ? Piece{Block(first_), slot.length, slot.end, slot.error}
                                              : Piece{nullptr, 0, false, ERROR_INVALID_DATA};
    LeaveCriticalSection(&lock_);
    return piece;
}

void ReadAhead::Release() {
    EnterCriticalSection(&lock_);
    if (count_ > 0) {
        first_ = (first_ + 1) % kBlocks;
        --count_;
    }
    // The reader, once the ring was full, goes on when half of it is free:
    // one wake for many pieces.
    const bool wake = readerWaits_ && count_ <= kBlocks / 2;
    LeaveCriticalSection(&lock_);
    if (wake) SetEvent(readerWakes_);
}

void ReadAhead::Restart(int ticket) {
    EnterCriticalSection(&lock_);
    ++generation_;
    first_ = count_ = 0;
    nextToRead_ = ticket;
    halted_ = false;
    LeaveCriticalSection(&lock_);
    SetEvent(readerWakes_);
}

DWORD WINAPI ReadAhead::ReaderThread(void* self) {
    auto* reader = static_cast<ReadAhead*>(self);
    reader->Read();
    reader->Drop();
    return 0;
}

void ReadAhead::Read() {
    wchar_t path[kPathUnits];
    HANDLE file = INVALID_HANDLE_VALUE;
    int ticket = -1;
    unsigned generation = 0;
    ULONGLONG left = 0;  // of the file's listed size, still to read
    EnterCriticalSection(&lock_);
    for (;;) {
        const bool idle = file == INVALID_HANDLE_VALUE && (halted_ || nextToRead_ == queued_);
        if (!stopping_ && (idle || count_ == kBlocks)) {
            readerWaits_ = true;
            LeaveCriticalSection(&lock_);
            WaitForSingleObject(readerWakes_, INFINITE);
            EnterCriticalSection(&lock_);
            readerWaits_ = false;
            continue;
        }
        if (stopping_) break;
        if (file != INVALID_HANDLE_VALUE && generation != generation_) {
            CloseHandle(file);  // restarted: that file is read again, from its start
            file = INVALID_HANDLE_VALUE;
            continue;
        }
        const bool opening = file == INVALID_HANDLE_VALUE;
        if (opening) {
            ticket = nextToRead_;
            generation = generation_;
            lstrcpynW(path, Path(ticket), kPathUnits);
            left = sizes_[ticket % kQueueCapacity];
        }
        // Filled outside the lock: the taker does not look at it before it is published.
        const int index = (first_ + count_) % kBlocks;
        LeaveCriticalSection(&lock_);

        Slot slot = {ticket, 0, false, ERROR_SUCCESS};
        if (opening) {
            file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                               nullptr);
            if (file == INVALID_HANDLE_VALUE) slot.error = GetLastError();
        }
        // A whole block, or to the listed size: no read past it, which the
        // drive would have to answer too. A short read is not yet the end (a
        // read error may follow the good part); a read of nothing is.
        slot.end = slot.error == ERROR_SUCCESS && left == 0;
        while (slot.error == ERROR_SUCCESS && !slot.end && slot.length < kBlockSize) {
            const DWORD want = left < kBlockSize - slot.length ? static_cast<DWORD>(left) : kBlockSize - slot.length;
            DWORD got = 0;
            if (!ReadFile(file, Block(index) + slot.length, want, &got, nullptr)) {
                slot.error = GetLastError();
            }
            slot.length += got;
            left -= got;
            slot.end = slot.error == ERROR_SUCCESS && (got == 0 || left == 0);
        }

        EnterCriticalSection(&lock_);
        if (generation != generation_ || stopping_) continue;  // void: not published
        slots_[index] = slot;
        ++count_;
        if (slot.end || slot.error != ERROR_SUCCESS) {
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
            // After a failure nothing further is read before the taker has
            // chosen: a Retry reads this file again, a Cancel nothing.
            if (slot.error != ERROR_SUCCESS) {
                halted_ = true;
            } else {
                nextToRead_ = ticket + 1;
            }
        }
        if (takerWaits_) SetEvent(takerWakes_);
    }
    LeaveCriticalSection(&lock_);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

#pragma once

#include <windows.h>

// Makes the files the copy writes durable, on threads of their own: each is
// flushed (FlushFileBuffers) and closed there, so that the copy goes on
// writing while the disk catches up. Windows keeps a written file's bytes in
// its cache for seconds, and NTFS journals a rename but not the data:
// without the flush a power cut after "complete" can leave a file with its
// length but zeros for bytes. A flush waits for the disk to confirm a write,
// a millisecond or more even for a small file; several at once let the disk
// and its file system's log take them together.
//
// One thread hands over and waits (the copy's); the flushing threads are
// this object's own.
class Flusher {
public:
    // Files handed over and not yet flushed, at most: past that the copy
    // waits for the disk, which has fallen that far behind.
    static constexpr int kCapacity = 64;
    static constexpr int kThreads = 4;

    Flusher();
    // Stops the threads once their flushes under way have ended, and closes
    // what is still handed over.
    ~Flusher();
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;

    // Starts its threads, unless they run; false when none can be started
    // (it may be asked again).
    bool Start();

    // Takes `file` (opened for writing) over, to be flushed and closed, as
    // number `id`; ids rise with each file handed over.
    void Hand(HANDLE file, int id);

    // Waits until every file handed over up to `id` is flushed and closed.
    void WaitFor(int id);
    // Waits until every file handed over is flushed and closed; false when
    // the flush of any of them failed since the last call (a disk that
    // reports a write error only then).
    bool WaitForAll();

    // The install is given up: what is not yet flushed is closed unflushed.
    void Abandon();

private:
    struct Item {
        HANDLE file;
        int id;
        bool done;
    };
    static DWORD WINAPI FlushThread(void* self);
    void Flush();
    Item& At(long sequence) { return items_[sequence % kCapacity]; }

    CRITICAL_SECTION lock_;
    HANDLE handed_ = nullptr;  // semaphore: files handed over and not yet taken, and the end
    HANDLE done_ = nullptr;    // auto-reset: a file flushed
    HANDLE threads_[kThreads] = {};
    int running_ = 0;

    // Under lock_. Files are numbered in the order handed over; those from
    // `retired_` to `handedCount_` are in items_, those from `taken_` on not
    // yet taken by a thread.
    Item items_[kCapacity] = {};
    long handedCount_ = 0;
    long taken_ = 0;
    long retired_ = 0;   // every file before it flushed and closed
    int lastDone_ = -1;  // the id of the last file retired
    bool abandoned_ = false;
    bool stopping_ = false;
    bool failed_ = false;

    int lastHanded_ = -1;  // the copy's thread's own
};

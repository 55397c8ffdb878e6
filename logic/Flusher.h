#pragma once

#include <windows.h>

// Makes the files the copy writes durable, on a thread of its own: each is
// flushed (FlushFileBuffers) and closed there, in the order it was handed
// over, so that the copy goes on writing while the disk catches up. Windows
// keeps a written file's bytes in its cache for seconds, and NTFS journals a
// rename but not the data: without the flush a power cut after "complete"
// can leave a file with its length but zeros for bytes.
//
// One thread hands over and waits (the copy's); the flushing thread is this
// object's own.
class Flusher {
public:
    // Files handed over and not yet flushed, at most: past that the copy
    // waits for the disk, which has fallen that far behind.
    static constexpr int kCapacity = 64;

    Flusher();
    // Closes what is still handed over, flushed or not, once the thread has stopped.
    ~Flusher();
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;

    // Starts its thread, unless it runs; false when it cannot (it may be asked again).
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
    };
    static DWORD WINAPI FlushThread(void* self);
    void Flush();

    CRITICAL_SECTION lock_;
    HANDLE wakes_ = nullptr;  // auto-reset: a file handed over, the end
    HANDLE done_ = nullptr;   // auto-reset: a file flushed
    HANDLE thread_ = nullptr;

    // Under lock_.
    Item items_[kCapacity] = {};
    int first_ = 0;
    int count_ = 0;
    int lastDone_ = -1;  // the id of the last file flushed and closed
    bool abandoned_ = false;
    bool stopping_ = false;
    bool failed_ = false;

    int lastHanded_ = -1;  // the copy's thread's own
};

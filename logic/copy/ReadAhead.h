#pragma once

#include <windows.h>

// The medium's files read on a thread of their own, each once, one after
// another in the order they were queued, at most kBlocks pieces of kBlockSize
// bytes ahead of whoever takes them. A CD drive reads one thing at a time and
// pays a seek for every read that does not go on where the last one ended:
// so the drive goes on reading while the installer writes, checks and logs
// what it has, and no second reader ever makes it seek between two places.
//
// One thread queues and takes (the copy's); the reader thread is this
// object's own. The copy never waits for the reader to stop: a cancelled
// install must not wait out a read that a damaged sector holds for tens of
// seconds. So the object lives on the heap, made by Create and given up by
// Abandon; whichever of the copy and the reader thread is done last frees it.
class ReadAhead {
public:
    static constexpr DWORD kBlockSize = 128u << 10;
    static constexpr int kBlocks = 32;  // 4 MB ahead at most
    // Files queued and not yet taken, at most.
    static constexpr int kQueueCapacity = 256;

    // nullptr when there is no memory for it.
    static ReadAhead* Create();
    // Tells the reader to stop once a read under way has returned, and
    // returns at once; the object is not to be used again.
    void Abandon();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Takes its memory and starts its thread, unless it has them already;
    // false when they cannot be had (it may be asked again).
    bool Start();

    // Queues the file at `path` (at most 1023 units), `size` bytes as its
    // folder lists it, to be read after those queued before it; returns its
    // ticket. At most kQueueCapacity files may be queued and not yet taken
    // to their end.
    int Queue(const wchar_t* path, ULONGLONG size);

    // The next piece of the file `ticket`, the first one not yet taken to
    // its end, once the reader has it: `length` bytes at `data`, valid until
    // Release(); `end` with the piece that reaches its size, or once a read
    // gives nothing (a file shorter than listed: the taker counts); the
    // reason in `error` when it could not be opened or read further. The
    // reader then waits for a Restart.
    struct Piece {
        const BYTE* data;
        DWORD length;
        bool end;
        DWORD error;
    };
    Piece Take(int ticket);
    // Gives the last piece taken back to the reader.
    void Release();
    // Forgets what was read of `ticket` and of every file after it, and has
    // them read again from the start of `ticket`: a Retry.
    void Restart(int ticket);

private:
    struct Slot {
        int ticket;
        DWORD length;
        bool end;
        DWORD error;
    };

    ReadAhead();
    ~ReadAhead();
    // One of the two users is done with the object; the last frees it.
    void Drop();
    static DWORD WINAPI ReaderThread(void* self);
    void Read();
    BYTE* Block(int slot) const { return memory_ + static_cast<SIZE_T>(slot) * kBlockSize; }
    wchar_t* Path(int ticket) const;

    LONG users_ = 1;  // the copy, and the reader thread once it runs
    CRITICAL_SECTION lock_;
    HANDLE readerWakes_ = nullptr;  // auto-reset: room, a file queued, a restart, the end
    HANDLE takerWakes_ = nullptr;   // auto-reset: a piece published
    HANDLE thread_ = nullptr;
    BYTE* memory_ = nullptr;  // owned: kBlocks blocks, then kQueueCapacity paths
    ULONGLONG sizes_[kQueueCapacity] = {};  // by ticket, as the paths

    // Under lock_.
    Slot slots_[kBlocks] = {};
    int first_ = 0;  // the oldest published piece
    int count_ = 0;  // published pieces
    int queued_ = 0;      // tickets handed out
    int nextToRead_ = 0;  // the reader's next file
    unsigned generation_ = 0;  // bumped by Restart: what the reader had under way is void
    bool halted_ = false;      // after a failed file, until a Restart
    bool stopping_ = false;
    bool readerWaits_ = false;
    bool takerWaits_ = false;
};

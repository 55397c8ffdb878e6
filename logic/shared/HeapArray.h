#pragma once

#include <windows.h>

// A growing array of plain values, on the process heap (C++'s allocator would
// bring its exception machinery and threads library into the program). What
// the walk and the plan hold has no bound known in advance: a folder of the
// disc lists as many entries as it has.
template <typename T>
class HeapArray {
public:
    HeapArray() = default;
    ~HeapArray() {
        if (items_ != nullptr) HeapFree(GetProcessHeap(), 0, items_);
    }
    HeapArray(const HeapArray&) = delete;
    HeapArray& operator=(const HeapArray&) = delete;

    int Count() const { return count_; }
    T& operator[](int index) { return items_[index]; }
    const T& operator[](int index) const { return items_[index]; }
    // Room for `more` values past the last; false when it cannot be had (the
    // values there stay, but may have moved).
    bool Reserve(int more) {
        if (count_ + more <= capacity_) return true;
        int wanted = capacity_ < 64 ? 64 : capacity_ * 2;
        if (wanted < count_ + more) wanted = count_ + more;
        const SIZE_T bytes = static_cast<SIZE_T>(wanted) * sizeof(T);
        void* grown = items_ == nullptr ? HeapAlloc(GetProcessHeap(), 0, bytes)
                                        : HeapReAlloc(GetProcessHeap(), 0, items_, bytes);
        if (grown == nullptr) return false;
        items_ = static_cast<T*>(grown);
        capacity_ = wanted;
        return true;
    }
    // Appends `count` values; false, and nothing appended, when there is no room.
    bool Append(const T* values, int count) {
        if (!Reserve(count)) return false;
        CopyMemory(items_ + count_, values, static_cast<SIZE_T>(count) * sizeof(T));
        count_ += count;
        return true;
    }
    void Clear() { count_ = 0; }
    // Keeps the first `count` values, when there are more.
    void Shrink(int count) {
        if (count < count_) count_ = count;
    }

private:
    T* items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

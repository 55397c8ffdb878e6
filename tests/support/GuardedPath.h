#pragma once

#include <cwchar>

#include "logic/shared/PathText.h"

// A PathText followed by sentinel units, all pre-filled with junk, so that a
// write past the capacity or a unit the call should have written shows up.
template <int Capacity>
struct GuardedPath {
    PathText<Capacity> path;
    wchar_t sentinel[16];

    GuardedPath() {
        std::wmemset(path.text, 0xCCCC, Capacity);
        std::wmemset(sentinel, 0xABAB, 16);
    }
    bool SentinelIntact() const {
        for (wchar_t unit : sentinel) {
            if (unit != 0xABAB) return false;
        }
        return true;
    }
};

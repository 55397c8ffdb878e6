#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

// The middle value; for an even count the upper of the two middle ones.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Seconds from `start`, as Now() gave it, to now.
inline double SecondsSince(LARGE_INTEGER start) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(Now().QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

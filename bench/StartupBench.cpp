// Time from CreateProcess to a program's dialog being visible, for HD.EXE and
// for a minimal dialog program started the same way; medians of alternating runs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/DialogTexts.h"

namespace {

double StartToVisible(std::string command, const char* caption) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    HWND window = nullptr;
    for (;;) {
        window = FindWindowA(nullptr, caption);
        if (window != nullptr && IsWindowVisible(window)) break;
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart > 20 * frequency.QuadPart) break;
        Sleep(1);
    }
    QueryPerformanceCounter(&now);
    if (window != nullptr) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return window ? double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart) : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::vector<double> installer, minimal;
    for (int round = 0; round < 9; ++round) {
        installer.push_back(StartToVisible(std::string("\"") + argv[1] + "\"", shown::kCaption));
        minimal.push_back(StartToVisible(std::string("\"") + argv[2] + "\"", "Minimal dialog"));
    }
    std::printf("start to dialog on screen, medians of 9: HD.EXE %.0f ms, minimal dialog %.0f ms, ratio %.2f\n",
                Median(installer) * 1000, Median(minimal) * 1000, Median(installer) / Median(minimal));
    return 0;
}

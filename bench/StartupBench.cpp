// Time from CreateProcess to a program's dialog being visible, for HD.EXE and
// for a minimal dialog program started the same way; medians of alternating runs.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "support/ForeignWindows.h"
#include "support/DialogTexts.h"
#include "support/Processes.h"

namespace {

// Seconds from CreateProcess to the window on screen (looked for every
// millisecond, for at most 20 s), or -1.
double StartToVisible(const std::string& program, const char* caption) {
    const LARGE_INTEGER start = Now();
    const StartedProcess process(program, "", nullptr);
    if (!process.Started()) return -1;
    HWND window = WaitForWindow(caption, process.Id(), 20000, 1);
    const double seconds = SecondsSince(start);
    if (window != nullptr) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    process.ExitCode(10000);  // its end, before the next start
    return window ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::vector<double> installer, minimal;
    for (int round = 0; round < 9; ++round) {
        installer.push_back(StartToVisible(argv[1], shown::kCaption));
        minimal.push_back(StartToVisible(argv[2], "Minimal dialog"));
    }
    std::printf("start to dialog on screen, medians of 9: HD.EXE %.0f ms, minimal dialog %.0f ms, ratio %.2f\n",
                Median(installer) * 1000, Median(minimal) * 1000, Median(installer) / Median(minimal));
    return 0;
}

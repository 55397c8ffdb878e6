// What a hand-over of gathered lines costs the installer's own log: the
// dialog from HD.EXE's resources on screen, lines given to it through
// AppendLogText once the interval since the last hand-over has passed (so
// each call hands over at once), and the painting that leaves, dispatched
// after. Batches of 1 and of 250 lines alternate into a log that grows as in
// a large install. The difference gives the cost per line, which no batching
// avoids: it is the floor of what the log adds to an install.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "dialog/InstallerDialog.h"
#include "support/DialogHarness.h"

namespace {

// As long as the bench's installed paths.
const wchar_t kLine[] = L"C:\\users\\root\\Temp\\hd-bench\\out-0-0\\folder12\\file34.dat\r\n";

struct Cost {
    double handOver;  // seconds in AppendLogText
    double paint;     // seconds dispatching what it left
};

Cost HandOver(InstallerDialog& view, const std::wstring& lines) {
    const LARGE_INTEGER start = Now();
    view.AppendLogText(lines.c_str());
    const double handOver = SecondsSince(start);
    const LARGE_INTEGER painting = Now();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return {handOver, SecondsSince(painting)};
}

}  // namespace

int main() {
    g_moduleInstance = GetModuleHandleW(nullptr);
    const int rounds = 10, batch = 250;
    std::wstring many;
    for (int i = 0; i < batch; ++i) many += kLine;
    std::vector<double> one[2], lots[2];
    InstallerDialog view;
    RunModalWithTicks([&] { return view.RunModal(nullptr); }, 50, 400, [&](HWND dialog) {
        if (!IsWindowVisible(dialog)) return false;
        view.ClearLog();
        DWORD last = 0;
        for (int round = 0; round < rounds; ++round) {
            for (int size : {1, batch}) {
                // Past the interval that the last hand-over set: nine times its cost, at least 50 ms.
                Sleep(9 * last + 60);
                const Cost cost = HandOver(view, size == 1 ? kLine : many);
                last = static_cast<DWORD>(cost.handOver * 1000) + 1;
                (size == 1 ? one : lots)[0].push_back(cost.handOver);
                (size == 1 ? one : lots)[1].push_back(cost.paint);
            }
        }
        EndDialog(dialog, 1);
        return true;
    });
    if (one[0].empty()) {
        std::printf("log hand-over: the dialog did not come up\n");
        return 1;
    }
    std::printf("log hand-over into the dialog's own control, medians of %d (hand-over + the painting it leaves):\n",
                rounds);
    double perLine = 0;
    for (int part = 0; part < 2; ++part) {
        const double single = Median(one[part]) * 1000, batched = Median(lots[part]) * 1000;
        const double slope = (batched - single) / (batch - 1);
        perLine += slope;
        std::printf("  %-10s 1 line %6.2f ms, %d lines %6.2f ms: %5.2f ms fixed, %.4f ms a line\n",
                    part == 0 ? "hand-over" : "painting", single, batch, batched, single - slope, slope);
    }
    std::printf("  5,000 lines cost at least %.2f s in any batching\n", perLine * 5000 / 1000);
    return 0;
}

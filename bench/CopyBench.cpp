// Times CopyTree, and with an HD.EXE given the whole install, against a bare
// CopyFileW walker and walkers that add the installer's required steps, on
// generated media: many small files, a few large ones, and 100 MB in 500.
// With --paced, the whole install from a disc at a CD drive's pace instead,
// against the bare walker and the drive's one sweep.
// Runs rotate between the copiers; each copies into a folder of its own, and
// the folders are removed after the timing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "logic/plan/CopyPlan.h"
#include "logic/copy/CopyTree.h"
#include "logic/view/InstallerView.h"
#include "logic/plan/PlanLimits.h"
#include "logic/view/ProgressMeter.h"
#include "logic/plan/Room.h"
#include "support/DialogTexts.h"
#include "support/FileTree.h"
#include "support/ForeignWindows.h"
#include "support/Processes.h"

namespace {

class SilentView : public InstallerView {
public:
    void AppendLogText(const wchar_t*) override {}
    void SetDestinationReadOnly() override {}
    void DisableButton(int) override {}
    void ClearLog() override {}
    void Thaw() override {}
    void ReadDestination(ShortPath& buffer) override { buffer.text[0] = L'\0'; }
    void ShowMessage(const wchar_t*, const wchar_t*) override {}
    void EndWithResult(int) override {}
    bool AskRetry(const wchar_t*, const wchar_t*) override { return false; }
    void StartProgress() override {}
    void ShowProgress(ULONGLONG, ULONGLONG) override {}
    void EndProgress() override {}
};

// CopyTree with its progress counted, as the installer counts it; the total
// changes nothing of the cost.
bool Copy(InstallerView& view, const std::string& source, const std::string& destination) {
    ProgressMeter progress(view, ~0ull);
    return CopyTree(view, Wide(source).c_str(), Wide(destination).c_str(), progress);
}

// What a copier does besides listing folders, creating them and copying files.
struct Steps {
    bool perFile;  // what the installer must do for each file it copies: look at
                   // what it replaces (Windows replaces no read-only or hidden file),
                   // check that the copy has the size the listing gave (a scratched
                   // disc can give a short copy reported as whole) and clear the
                   // attributes the file brought along (files from a CD arrive read-only)
    bool rename;   // copy under a temporary name and rename it over the target once
                   // whole, so that no file is ever half-written under its own name
    bool startUp;  // copy the medium's own start-up files too, which the installer
                   // leaves out (on a disc they lie after the files it copies)
};

bool IsStartUpFile(const wchar_t* name) {
    for (const wchar_t* startUp : {L"autorun.inf", L"start.exe", L"hd.exe"}) {
        if (_wcsicmp(name, startUp) == 0) return true;
    }
    return false;
}

void PumpOne() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

// The least a copy of a tree can do (no steps), or that and the steps the
// installer is required to add, without its log. Wide calls, as the
// installer's.
bool BareCopy(const std::wstring& source, const std::wstring& destination, Steps steps) {
    CreateDirectoryW(destination.c_str(), nullptr);
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((source + L"\\*.*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            const std::wstring from = source + L"\\" + name, to = destination + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ok = BareCopy(from, to, steps);
            } else if (steps.startUp || !IsStartUpFile(entry.cFileName)) {
                if (steps.perFile) {
                    const DWORD there = GetFileAttributesW(to.c_str());
                    if (there != INVALID_FILE_ATTRIBUTES && (there & FILE_ATTRIBUTE_READONLY)) {
                        SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
                    }
                }
                const std::wstring written = steps.rename ? destination + L"\\~hdcopy.tmp" : to;
                ok = CopyFileW(from.c_str(), written.c_str(), FALSE) != 0;
                if (ok && steps.perFile) {
                    WIN32_FILE_ATTRIBUTE_DATA copy;
                    ok = GetFileAttributesExW(written.c_str(), GetFileExInfoStandard, &copy) &&
                         copy.nFileSizeLow == entry.nFileSizeLow && copy.nFileSizeHigh == entry.nFileSizeHigh;
                    SetFileAttributesW(written.c_str(), FILE_ATTRIBUTE_NORMAL);
                }
                if (ok && steps.rename) ok = MoveFileExW(written.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
            }
        }
    } while (ok && FindNextFileW(listing, &entry));
    FindClose(listing);
    return ok;
}

void WriteFileOfSize(const std::string& path, DWORD size) {
    static std::vector<char> chunk(1 << 20, 'x');
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    for (DWORD left = size; left > 0; left -= std::min<DWORD>(left, chunk.size())) {
        WriteFile(file, chunk.data(), std::min<DWORD>(left, chunk.size()), &written, nullptr);
    }
    CloseHandle(file);
}

void MakeMedium(const std::string& root, int folders, int filesPerFolder, DWORD fileSize) {
    RemoveTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
    for (int f = 0; f < folders; ++f) {
        const std::string folder = root + "\\folder" + std::to_string(f);
        CreateDirectoryA(folder.c_str(), nullptr);
        for (int i = 0; i < filesPerFolder; ++i) {
            WriteFileOfSize(folder + "\\file" + std::to_string(i) + ".dat", fileSize);
        }
    }
}

// Runs `copiers` copiers (three unless given) `rounds` times, in an order
// that rotates so none always meets a cold cache, each run into a folder of
// its own that nothing has been deleted from (on ext4, creating files right
// after thousands were deleted is slower, and the cost would fall on whoever
// came next). `time(copier, into)` copies and returns seconds. Returns the
// medians, one a copier.
template <typename Time>
std::vector<double> Race(int rounds, const std::string& destination, Time time, int copiers = 3) {
    std::vector<std::vector<double>> times(copiers);
    auto into = [&](int round, int copier) {
        return destination + "-" + std::to_string(round) + "-" + std::to_string(copier);
    };
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < copiers; ++turn) {
            const int copier = (turn + round) % copiers;
            const double seconds = time(copier, into(round, copier));
            if (seconds < 0) std::printf("  copy failed (copier %d)\n", copier);
            times[copier].push_back(seconds);
        }
    }
    for (int round = 0; round < rounds; ++round) {
        for (int copier = 0; copier < copiers; ++copier) RemoveTree(into(round, copier));
    }
    std::vector<double> medians;
    for (const std::vector<double>& copier : times) medians.push_back(Median(copier));
    return medians;
}

// Seconds `copy` took, or -1 when it reports failure.
template <typename Copy>
double Timed(Copy copy) {
    const LARGE_INTEGER start = Now();
    const bool ok = copy();
    const double seconds = SecondsSince(start);
    return ok ? seconds : -1;
}

double TimeWalker(const std::string& source, const std::string& destination, Steps steps) {
    return Timed([&] { return BareCopy(Wide(source), Wide(destination), steps); });
}

// CopyTree with a view that does nothing, against the bare walker, the
// walker with the installer's steps for each file, and that walker without
// the rename, whose cost is the difference.
void Measure(const char* name, const std::string& source, const std::string& destination, int rounds) {
    const std::vector<double> m = Race(rounds, destination, [&](int copier, const std::string& into) {
        if (copier != 0) return TimeWalker(source, into, {copier >= 2, copier == 2, true});
        SilentView view;
        return Timed([&] { return Copy(view, source, into); });
    }, 4);
    std::printf("%-28s %9.3f s %9.3f s %9.3f s %7.3f %7.3f %9.3f s\n", name, m[0], m[1], m[2], m[0] / m[1],
                m[0] / m[2], m[2] - m[3]);
}

// The whole install as a user meets it: `program` (HD.EXE at the top of a
// medium) started in `folder`, its destination typed, "Извлечь" pressed; timed
// from the press to the completion box on screen. `pressed` is called just
// before the press, `done` once the box is there. Returns seconds, or -1.
template <typename Pressed, typename Done>
double TimeInstall(const std::string& program, const char* folder, const std::string& destination, Pressed pressed,
                   Done done) {
    double seconds = -1;
    const StartedProcess process(program, "", folder);
    // Looked for every millisecond: the box's appearance ends the timing.
    const DWORD timeout = 120000, pollMs = 1;
    HWND dialog = process.Started() ? WaitForWindow(shown::kCaption, process.Id(), timeout, pollMs) : nullptr;
    if (dialog != nullptr) {
        SetDlgItemTextW(dialog, 1000, Wide(destination).c_str());
        pressed();
        const LARGE_INTEGER start = Now();
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        if (HWND box = WaitForWindow(shown::kCompletionCaption, process.Id(), timeout, pollMs)) {
            seconds = SecondsSince(start);
            done();
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    process.ExitCode(30000);
    return seconds;
}

// The same with `installer` placed at the top of `medium` for the run.
double TimeInstaller(const std::string& installer, const std::string& medium, const std::string& destination) {
    const std::string copy = medium + "\\HD.EXE";
    CopyOneFile(installer, copy);
    const double seconds = TimeInstall(copy, nullptr, destination, [] {}, [] {});
    DeleteFileW(Wide(copy).c_str());  // after its end
    return seconds;
}

// The walker with the installer's required steps (with the rename or
// without it), in a process that shows a window of the dialog's size, as the
// installer's does while it copies.
double TimeRequiredSteps(const std::string& source, const std::string& destination, bool rename) {
    HWND window = CreateWindowW(L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 420, 250,
                                nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < 1000 && GetQueueStatus(QS_ALLINPUT) != 0; ++i) PumpOne();  // shown and painted
    const double seconds = TimeWalker(source, destination, {true, rename, true});
    DestroyWindow(window);
    return seconds;
}

// Returns the HD.EXE median.
double MeasureInstaller(const char* name, const std::string& installer, const std::string& source,
                        const std::string& destination, int rounds) {
    const std::vector<double> m = Race(rounds, destination, [&](int copier, const std::string& into) {
        return copier == 0   ? TimeInstaller(installer, source, into)
               : copier == 1 ? TimeWalker(source, into, {false, false, true})
                             : TimeRequiredSteps(source, into, copier == 2);
    }, 4);
    std::printf("whole install of %s, dialog visible, press to completion box, median of %d:\n"
                "  HD.EXE %.3f s; bare walker %.3f s (ratio %.3f); walker with the required steps\n"
                "  (a look at what it replaces, the size check, attributes and the rename for each file)\n"
                "  %.3f s (ratio %.3f), of which the rename %.3f s\n",
                name, rounds, m[0], m[1], m[0] / m[1], m[2], m[0] / m[2], m[2] - m[3]);
    return m[0];
}

// The installer's walk of the source, its check of the plan against the
// destination's limits and its room check before its copy, into
// a destination that does not exist yet and into one that holds the whole
// tree (a reinstall: one more look for each file), against the whole install;
// in a process that shows a window.
bool PlanAndCount(InstallerView& view, const std::string& source, const std::string& destination) {
    CopyPlan plan;
    bool keepEarlier = true;
    wchar_t refusal[1536];
    return plan.Make(view, Wide(source).c_str(), Wide(destination).c_str()) &&
           !RefusePlan(plan, refusal, 1536) && EnsureRoom(view, plan, keepEarlier);
}

void MeasureRoomCheck(const std::string& source, const std::string& destination, double install, int rounds) {
    std::vector<double> fresh, again;
    HWND window = CreateWindowW(L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 420, 250, nullptr,
                                nullptr, nullptr, nullptr);
    for (int i = 0; i < 1000 && GetQueueStatus(QS_ALLINPUT) != 0; ++i) PumpOne();  // shown and painted
    SilentView view;
    RemoveTree(destination);
    for (int round = 0; round < rounds; ++round) {
        fresh.push_back(Timed([&] { return PlanAndCount(view, source, destination); }));
    }
    Copy(view, source, destination);
    for (int round = 0; round < rounds; ++round) {
        again.push_back(Timed([&] { return PlanAndCount(view, source, destination); }));
    }
    RemoveTree(destination);
    DestroyWindow(window);
    std::printf("walk, limits and room check before the copy, median of %d: into a new folder %.3f s (%.1f %% of the whole install),\n"
                "  over an earlier installation %.3f s (%.1f %%)\n",
                rounds, Median(fresh), 100 * Median(fresh) / install, Median(again), 100 * Median(again) / install);
}

// What the paced medium's drive has done so far (tests/faults/fault_fs.py
// rewrites the file as each file is closed): its rate in bytes a second, the
// cost of a seek, and how many seeks it made.
struct Drive {
    double rate = 0, seek = 0;
    long seeks = -1;
};

Drive ReadDrive(const std::string& stats) {
    Drive drive;
    std::sscanf(ReadFile(stats).c_str(), "reads %*d bytes %*d seeks %ld busy %*f rate %lf seek %lf", &drive.seeks,
                &drive.rate, &drive.seek);
    return drive;
}

unsigned long long TreeBytes(const std::string& root) {
    unsigned long long bytes = 0;
    for (const std::string& file : ListFiles(root)) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(Wide(root + "\\" + file).c_str(), GetFileExInfoStandard, &data)) {
            bytes += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    }
    return bytes;
}

// The whole install from a disc served at a CD drive's pace at `disc` (a
// drive's root: tools/bench-paced lays it out and maps it), HD.EXE from the
// disc's root, against the bare walker from the same disc and the drive's
// one sweep: the bytes the installer copied, read at the drive's rate with
// the one seek to the first of them. Median of 3, in turns; the seeks are the
// drive's from the press to the box.
void MeasurePaced(const std::string& disc, const std::string& stats, const std::string& destination) {
    const int rounds = 3;
    std::vector<double> sweeps, seeks;
    const std::vector<double> m = Race(rounds, destination, [&](int copier, const std::string& into) {
        if (copier == 1) return TimeWalker(disc, into, {false, false, false});
        long before = -1, after = -1;
        const double seconds = TimeInstall(
            disc + "HD.EXE", disc.c_str(), into, [&] { before = ReadDrive(stats).seeks; },
            [&] { after = ReadDrive(stats).seeks; });
        const Drive drive = ReadDrive(stats);
        if (seconds >= 0 && drive.rate > 0) {
            sweeps.push_back(double(TreeBytes(into)) / drive.rate + drive.seek);
            seeks.push_back(double(after - before));
        }
        return seconds;
    }, 2);
    if (sweeps.empty()) {
        std::printf("whole install from a disc at a CD drive's pace: HD.EXE did not complete from %s\n", disc.c_str());
        return;
    }
    const double sweep = Median(sweeps);
    const double seekCount = Median(seeks);
    std::printf("whole install from a disc at a CD drive's pace, press to completion box, median of %d: HD.EXE %.3f s "
                "(%.0f %s); bare walker %.3f s (ratio %.3f); one sweep %.3f s (ratio %.3f)\n",
                rounds, m[0], seekCount, seekCount == 1 ? "seek" : "seeks", m[1], m[0] / m[1], sweep, m[0] / sweep);
}

}  // namespace

// Arguments: rounds, and optionally HD.EXE to time the whole install with
// (median of 3 whatever the rounds: each run shows the dialog). Or --paced,
// the paced disc's root (such as P:\) and its drive's record.
int main(int argc, char** argv) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    if (argc == 4 && std::string(argv[1]) == "--paced") {
        MeasurePaced(argv[2], argv[3], Narrow(temp) + "hd-bench-paced");
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string root = Narrow(temp) + "hd-bench";
    MakeFolders(root);

    std::printf("medians of %d alternating runs\n", rounds);
    std::printf("%-28s %11s %11s %11s %7s %7s %11s\n", "medium", "CopyTree", "bare", "file steps",
                "/bare", "/steps", "rename");
    MakeMedium(root + "\\small", 50, 100, 4096);
    Measure("5,000 x 4 KB in 50 folders", root + "\\small", root + "\\out", rounds);
    if (argc > 2) {
        const double install = MeasureInstaller("5,000 x 4 KB", argv[2], root + "\\small", root + "\\out", 3);
        MeasureRoomCheck(root + "\\small", root + "\\room", install, rounds);
    }
    RemoveTree(root + "\\small");
    MakeMedium(root + "\\large", 1, 10, 20u << 20);
    Measure("10 x 20 MB", root + "\\large", root + "\\out", rounds);
    RemoveTree(root + "\\large");
    if (argc > 2) {
        MakeMedium(root + "\\mixed", 10, 50, 200u << 10);
        MeasureInstaller("500 x 200 KB (100 MB)", argv[2], root + "\\mixed", root + "\\out", 3);
    }
    RemoveTree(root);
    return 0;
}

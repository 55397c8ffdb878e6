// Times CopyTree against a bare CopyFileA walker on two generated media:
// many small files, and a few large ones. Runs alternate between the two
// copiers; the destination is removed between runs, outside the timing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "logic/CopyTree.h"
#include "logic/InstallerView.h"
#include "support/DialogTexts.h"
#include "support/FileTree.h"

namespace {

class SilentView : public InstallerView {
public:
    void AppendLogText(const char*) override {}
    void PumpOneMessage() override {}
    void SetDestinationReadOnly() override {}
    void DisableButton(int) override {}
    void ClearLog() override {}
    void ReadDestination(ShortPath& buffer) override { buffer.text[0] = '\0'; }
    void ShowMessage(const char*, const char*) override {}
    void EndWithResult(int) override {}
};

// The least a copy of a tree can do: list, create folders, copy files; with
// `markNormal`, also clear the attributes each file brought along, as the
// installer must (files from a CD arrive read-only).
bool BareCopy(const std::string& source, const std::string& destination, bool markNormal) {
    CreateDirectoryA(destination.c_str(), nullptr);
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((source + "\\*.*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string from = source + "\\" + name, to = destination + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = BareCopy(from, to, markNormal);
        } else {
            ok = CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
            if (ok && markNormal) SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    } while (ok && FindNextFileA(listing, &entry));
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

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Measure(const char* name, const std::string& source, const std::string& destination, int rounds) {
    SilentView view;
    std::vector<double> times[3];  // CopyTree, bare walker, bare walker marking files normal
    for (int round = 0; round < rounds; ++round) {
        // Who goes first rotates too, so none always meets a cold cache.
        for (int turn = 0; turn < 3; ++turn) {
            const int copier = (turn + round) % 3;
            RemoveTree(destination);
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            const bool ok = copier == 0 ? CopyTree(view, source.c_str(), destination.c_str())
                                        : BareCopy(source, destination, copier == 2);
            QueryPerformanceCounter(&end);
            if (!ok) std::printf("  copy failed (copier %d)\n", copier);
            times[copier].push_back(Seconds(start, end));
        }
    }
    RemoveTree(destination);
    const double a = Median(times[0]), b = Median(times[1]), c = Median(times[2]);
    std::printf("%-28s %9.3f s %9.3f s %9.3f s %7.3f %7.3f\n", name, a, b, c, a / b, a / c);
}

HWND WaitForVisibleWindow(const char* caption) {
    for (int i = 0; i < 120000; ++i) {
        HWND window = FindWindowA(nullptr, caption);
        if (window != nullptr && IsWindowVisible(window)) return window;
        Sleep(1);
    }
    return nullptr;
}

// The whole install as a user meets it: HD.EXE placed at the top of the
// medium, its destination typed, "Извлечь" pressed; timed from the press to
// the completion box on screen. Returns seconds, or -1.
double TimeInstaller(const std::string& installer, const std::string& medium, const std::string& destination) {
    const std::string copy = medium + "\\HD.EXE";
    CopyFileA(installer.c_str(), copy.c_str(), FALSE);
    std::string command = "\"" + copy + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    double seconds = -1;
    if (HWND dialog = WaitForVisibleWindow(shown::kCaption)) {
        SetDlgItemTextA(dialog, 1000, destination.c_str());
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        if (HWND box = WaitForVisibleWindow(shown::kCompletionCaption)) {
            QueryPerformanceCounter(&end);
            seconds = Seconds(start, end);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileA(copy.c_str());
    return seconds;
}

void MeasureInstaller(const char* name, const std::string& installer, const std::string& source,
                      const std::string& destination, int rounds) {
    std::vector<double> whole, bare;
    for (int round = 0; round < rounds; ++round) {
        RemoveTree(destination);
        whole.push_back(TimeInstaller(installer, source, destination));
        RemoveTree(destination);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        BareCopy(source, destination, false);
        QueryPerformanceCounter(&end);
        bare.push_back(Seconds(start, end));
    }
    RemoveTree(destination);
    const double a = Median(whole), b = Median(bare);
    std::printf("whole install of %s, dialog visible, press to completion box, median of %d:\n"
                "  HD.EXE %.3f s, bare walker %.3f s, ratio %.3f\n",
                name, rounds, a, b, a / b);
}

}  // namespace

// Arguments: rounds, and optionally HD.EXE to time the whole install with
// (median of 3 whatever the rounds: each run shows the dialog).
int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "hd-bench";
    CreateDirectoryA(root.c_str(), nullptr);

    std::printf("medians of %d alternating runs\n", rounds);
    std::printf("%-28s %11s %11s %11s %7s %7s\n", "medium", "CopyTree", "bare", "bare+attr",
                "/bare", "/b+attr");
    MakeMedium(root + "\\small", 50, 100, 4096);
    Measure("5,000 x 4 KB in 50 folders", root + "\\small", root + "\\out", rounds);
    if (argc > 2) MeasureInstaller("5,000 x 4 KB", argv[2], root + "\\small", root + "\\out", 3);
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

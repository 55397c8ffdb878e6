// The real HD.EXE against real faults of its medium and its destination, one
// row per fault, every row judged by the same checks. run-faults.sh mounts and
// maps the drives:
//   X:  the medium, a CD-ROM drive served by fault_fs.py from HD_FAULT_MEDIUM,
//       whose faults are switched on through the file HD_FAULT_SWITCHES;
//   T:  a small tmpfs that fills up during the copy;
//   R:  a read-only mount of HD_FAULT_EARLIER.
// The hook library records, inside the installer, the log's final text and
// every dialog shown (HD_FAULT_RECORDS\hook.*); the stand-in main program
// records its start there too. None of them writes below C:\ or T:\.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/DialogTexts.h"
#include "support/FileTree.h"
#include "support/ForeignWindows.h"
#include "support/InstallScene.h"
#include "support/Processes.h"

namespace {

using Files = std::vector<std::string>;

// The medium's files in copy order (Wine lists folders sorted by name), less
// its start-up files HD.EXE, autorun.inf and start.exe.
const Files kCopyOrder = {"data\\a.txt",        "data\\b.txt",        "data\\big.bin",
                          "data\\c.txt",        "data\\maps\\m1.bin", "data\\maps\\m2.bin",
                          "data\\z.txt",        "zel_or.exe",         "zz\\after.txt"};
constexpr DWORD kBigSize = 300000;

struct Fault {
    const char* name;
    const char* switches;     // for fault_fs.py, "" for a sound medium
    const char* destination;  // typed into the field; "" for a fresh folder on C:
    size_t wholeFiles;        // how many of the files the copy sees arrive, in copy order
    const char* unseen;       // files the copy never sees (a path prefix), or ""
    bool completes;           // the completion box is shown
    const char* earlier;      // a file the destination holds from before, or ""
};

const Fault kFaults[] = {
    {"a scratch makes a whole file unreadable", "scratch data/b.txt 0", "", 1, "", false, ""},
    {"a scratch from 128 KB on in a 300,000-byte file", "scratch data/big.bin 131072", "", 2, "", false, ""},
    {"a scratch after the main program was copied", "scratch zz/after.txt 0", "", 8, "", false, ""},
    // Under Wine a listing that fails half-way ends as if the folder held only
    // the names read before the fault: the platform gives the copy no sign of
    // it, so the copy completes without the rest.
    {"the disc stops reading half-way through a folder", "break-listing data/maps 1", "", 8, "data\\maps\\m2",
     true, ""},
    // Gone just before the copy opens data\maps\m2.bin: the file there from
    // an earlier installation, which the failed CopyFileA did not touch, stays.
    {"the disc is taken out after 5 files (EIO)", "eject 5 EIO", "", 5, "", false, "data\\maps\\m2.bin"},
    // Gone after the main program, just before the copy lists zz.
    {"the disc is taken out after 8 files (ENODEV)", "eject 8 ENODEV", "", 8, "", false, ""},
    {"the destination disk fills up", "", "T:\\ZelOr", 2, "", false, ""},
    // An earlier installation's main program is linked and started.
    {"the destination is read-only", "", "R:\\ZelOr", 0, "", false, "zel_or.exe"},
};

// From pressing "Извлечь" to the installer's end: the copy of 300 KB through
// the FUSE medium takes well under a second; the bound leaves room for a busy machine.
constexpr DWORD kRunBoundMs = 60000;
// The installer's WinExec waits up to 30 s for the started program.
constexpr DWORD kStartedProgramBoundMs = 40000;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Size and last-write time of every file below `root`, by path; folders whose
// path starts with one of `skipped` are left out, and so are links (Wine links
// the user's document folders to the host's home, which is not the prefix's).
void Snapshot(const std::string& root, const Files& skipped, std::map<std::string, std::string>& files) {
    for (const WIN32_FIND_DATAW& entry : FolderEntries(root)) {
        const std::string path = root + "\\" + Narrow(entry.cFileName);
        bool skip = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        for (const std::string& prefix : skipped) skip = skip || StartsWith(path, prefix);
        if (skip) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Snapshot(path, skipped, files);
        } else {
            files[path] = std::to_string(entry.nFileSizeLow) + " bytes, written " +
                          std::to_string(entry.ftLastWriteTime.dwLowDateTime) + ":" +
                          std::to_string(entry.ftLastWriteTime.dwHighDateTime);
        }
    }
}

// HD.EXE started from the medium's root, in a job that the program it starts
// joins too, with the recording hook on its dialog's thread once Hook() put it there.
class HookedInstaller : public Installer {
public:
    explicit HookedInstaller(Job& job) : Installer("X:\\", &job) {}
    ~HookedInstaller() {
        if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    }

    bool Hook(HMODULE library) {
        auto procedure = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(library, "RecordDialogAndLog")));
        hook_ = SetWindowsHookExA(WH_CALLWNDPROC, procedure, library, ThreadId());
        return hook_ != nullptr;
    }

    // Waits for the end, pressing OK on the completion box if it comes; false
    // when the installer did not end within `bound` ms.
    bool WaitForEnd(DWORD bound, std::string& boxText) {
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(Handle(), 20) == WAIT_TIMEOUT) {
            if (GetTickCount() - start >= bound) return false;
            HWND box = WaitForWindow(shown::kCompletionCaption, Id(), 0);
            if (box != nullptr && boxText.empty()) {
                boxText = MessageBoxText(box);
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
        }
        return true;
    }

private:
    HHOOK hook_ = nullptr;
};

class FaultTest : public ::testing::Test {
protected:
    std::string medium = Environment("HD_FAULT_MEDIUM");
    std::string switches = Environment("HD_FAULT_SWITCHES");
    std::string readOnlySource = Environment("HD_FAULT_EARLIER");
    std::string records = Environment("HD_FAULT_RECORDS");
    // The start record lies with the hook's records, off C: and T:, whose
    // files each row compares before and after.
    InstallScene scene{"faults", records + "\\started.txt"};
    HMODULE hookLibrary = nullptr;

    void SetUp() override {
        if (medium.empty() || !Exists("X:\\")) GTEST_SKIP() << "no fault medium at X: (run through run-faults.sh)";
        // Wine starts its desktop process for whichever process needs the
        // desktop first; were that the installer, it would stay in its job.
        ASSERT_NE(nullptr, GetDesktopWindow());
        hookLibrary = LoadLibraryW(Wide(OwnFolder() + "\\final_log_hook.dll").c_str());
        ASSERT_NE(nullptr, hookLibrary) << GetLastError();
        SetEnvironment("HD_HOOK_RECORD", records + "\\hook");
        LayOutMedium();
    }
    void TearDown() override {
        Switch("row none", "");
        if (hookLibrary != nullptr) FreeLibrary(hookLibrary);
    }

    // Files on a disc are read-only, and CopyFileA passes that on.
    void LayOutMedium() {
        RemoveTree(medium);
        MakeFolders(medium);
        CopyOneFile(OwnFolder() + "\\HD.EXE", medium + "\\HD.EXE");
        CopyOneFile(StartRecorderProgram(), medium + "\\zel_or.exe");
        WriteFile(medium + "\\autorun.inf", "[autorun]\r\nopen=HD.EXE\r\n");
        WriteFile(medium + "\\start.exe", "start");
        std::string big(kBigSize, '\0');
        unsigned state = 12345;
        for (char& c : big) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
        for (const std::string& file : kCopyOrder) {
            if (file == "zel_or.exe") continue;
            WriteFile(medium + "\\" + file, file == "data\\big.bin" ? big : "contents of " + file);
        }
        for (const std::string& file : kCopyOrder) {
            SetAttributes(medium + "\\" + file, FILE_ATTRIBUTE_READONLY);
        }
    }

    // Writes the switches file that fault_fs.py reads before every operation.
    void Switch(const std::string& row, const std::string& faults) {
        WriteFile(switches, row + "\n" + faults + "\n");
    }

    // A file an earlier installation left in `folder`; its contents.
    std::string PutEarlier(const std::string& folder, const std::string& file) {
        const std::string path = folder + "\\" + file;
        if (file == "zel_or.exe") {
            MakeFolders(folder);
            CopyOneFile(StartRecorderProgram(), path);
        } else {
            WriteFile(path, "a file of the same name from an earlier installation, of another size");
        }
        return ReadFile(path);
    }

    void Check(const Fault& fault);
};

void FaultTest::Check(const Fault& fault) {
    std::string destination = *fault.destination ? fault.destination : scene.scratch / "ZelOr";
    // Where the test writes what the destination holds from before: R: only
    // through the folder it shows.
    const std::string writable = StartsWith(destination, "R:") ? readOnlySource + "\\ZelOr" : destination;
    RemoveTree(writable);
    for (const std::string& left : {scene.shortcut, scene.startRecord, records + "\\hook.log",
                                    records + "\\hook.dialogs"}) {
        DeleteFileW(Wide(left).c_str());
    }
    Files copied;
    for (const std::string& file : kCopyOrder) {
        if (!*fault.unseen || !StartsWith(file, fault.unseen)) copied.push_back(file);
    }
    copied.resize(std::min(copied.size(), fault.wholeFiles));
    Files expectedFiles = copied;
    std::string earlierContents;
    if (*fault.earlier) {
        earlierContents = PutEarlier(writable, fault.earlier);
        if (std::find(copied.begin(), copied.end(), fault.earlier) == copied.end()) {
            expectedFiles.push_back(fault.earlier);
        }
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    const bool mainProgram = std::find(expectedFiles.begin(), expectedFiles.end(), "zel_or.exe") != expectedFiles.end();

    // Everything but the destination, before and after.
    const Files skipped = {"C:\\windows", destination, scene.shortcut};
    std::map<std::string, std::string> before, after;
    for (const char* root : {"C:", "T:"}) Snapshot(root, skipped, before);

    Switch(std::string("row ") + fault.name, "");
    Job job;
    HookedInstaller installer(job);
    ASSERT_NE(nullptr, installer.dialog) << "the dialog did not appear within " << WindowTimeout() << " ms";
    ASSERT_TRUE(installer.Hook(hookLibrary)) << "SetWindowsHookExA failed: " << GetLastError();
    // Armed only now: the installer's own start from the medium is not counted.
    Switch(std::string("row ") + fault.name, fault.switches);
    SendMessageW(GetDlgItem(installer.dialog, 1000), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(Wide(destination).c_str()));
    PostMessageA(installer.dialog, WM_COMMAND, IDOK, 0);

    std::string box;
    ASSERT_TRUE(installer.WaitForEnd(kRunBoundMs, box))
        << "HD.EXE had not ended " << kRunBoundMs << " ms after \"Извлечь\"";
    EXPECT_EQ(1u, installer.ExitCode());
    const std::string running = job.WaitUntilEmpty(kStartedProgramBoundMs);
    ASSERT_EQ("", running) << "still running " << kStartedProgramBoundMs << " ms after HD.EXE ended";
    Switch("row none", "");

    if (fault.completes) {
        EXPECT_EQ(shown::kCompletion, box);
        EXPECT_EQ(std::string(shown::kCompletionCaption) + "\n", ReadFile(records + "\\hook.dialogs"));
    } else {
        EXPECT_EQ("", box) << "a completion box after a failed copy";
        EXPECT_EQ("<missing>", ReadFile(records + "\\hook.dialogs")) << "a dialog was shown";
    }

    // Whole files only, byte for byte, and nothing short left behind.
    EXPECT_EQ(expectedFiles, ListFiles(destination));
    for (const std::string& file : copied) {
        EXPECT_TRUE(ReadFile(destination + "\\" + file) == ReadFile(medium + "\\" + file)) << file << " differs";
    }
    if (*fault.earlier && std::find(copied.begin(), copied.end(), fault.earlier) == copied.end()) {
        EXPECT_TRUE(earlierContents == ReadFile(destination + "\\" + fault.earlier))
            << "the earlier " << fault.earlier << " was changed";
    }

    std::string log;
    for (const std::string& file : copied) log += destination + "\\" + file + "\r\n";
    EXPECT_EQ(log, ReadFile(records + "\\hook.log"));

    for (const char* root : {"C:", "T:"}) Snapshot(root, skipped, after);
    EXPECT_EQ(before, after) << "something was written outside " << destination;

    const ShellLinkFields link = scene.ReadShortcut();
    // The stand-in main program's first line is the path it was started from.
    // HD.EXE runs elevated under Wine and has the desktop shell start it, outside the job.
    if (mainProgram) {
        EXPECT_EQ(destination + "\\zel_or.exe", link.target);
        const std::vector<std::string> started = scene.WaitForStartRecord(kStartedProgramBoundMs);
        EXPECT_EQ(kStartRecordLines, started.size()) << scene.ReadStartRecord();
        EXPECT_EQ(destination + "\\zel_or.exe", started.empty() ? "<missing>" : started[0]);
    } else {
        const std::string started = scene.ReadStartRecord();
        EXPECT_FALSE(link.loaded) << "a shortcut to " << link.target;
        EXPECT_EQ("<missing>", started) << "a program was started";
    }
    RemoveTree(writable);
}

TEST_F(FaultTest, EveryFaultEndsAsDesigned) {
    for (const Fault& fault : kFaults) {
        SCOPED_TRACE(fault.name);
        Check(fault);
    }
}

}  // namespace

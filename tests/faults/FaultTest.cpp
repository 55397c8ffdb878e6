// The real HD.EXE against real faults of its medium and its destination, one
// row per fault (kFaults), each answered twice at the box that offers Retry:
// Cancel, and Retry once the fault is lifted. Each row and answer is a case of
// its own (EveryFault/FaultRow.EndsAsTheUserAnswers/<row>_<answer>), which
// --gtest_filter runs alone. run-faults.sh mounts and maps the drives:
//   X:  the medium, a CD-ROM drive served by fault_fs.py from HD_FAULT_MEDIUM,
//       whose faults are switched on and healed through the file HD_FAULT_SWITCHES;
//   T:  a small tmpfs, resized on request;
//   R:  a read-only mount of HD_FAULT_EARLIER, made writable on request.
//   F:  a FAT32 image;
//   G:  a local disk that records the operations that reach it in
//       HD_FAULT_RECORDS\written.log (fault_fs.py --record).
// Requests go through HD_FAULT_RECORDS\request, which run-faults.sh carries
// out (mounting, and stopping the desktop shell, need the host). The hook library records, inside the
// installer, the log's final text and every dialog shown
// (HD_FAULT_RECORDS\hook.*); the stand-in main program records its start
// there too. None of them writes below C:\ or T:\.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/DialogHarness.h"
#include "support/DialogTexts.h"
#include "support/FileTree.h"
#include "support/ForeignWindows.h"
#include "support/InstallScene.h"
#include "support/Processes.h"
#include "support/TaskbarStandIn.h"

namespace {

using Files = std::vector<std::string>;

// The medium's files in copy order (Wine lists folders sorted by name), less
// its start-up files HD.EXE, autorun.inf and start.exe.
const Files kCopyOrder = {"data\\a.txt",        "data\\b.txt",        "data\\big.bin",
                          "data\\c.txt",        "data\\maps\\m1.bin", "data\\maps\\m2.bin",
                          "data\\z.txt",        "zel_or.exe",         "zz\\after.txt"};
constexpr int kMediumFolders = 3;  // data, data\maps, zz
constexpr DWORD kBigSize = 300000;

// The box the fault brings, and the path it names (below the medium or the
// destination, as the kind says).
enum class Box { kNone, kCopy, kFolder, kListing, kRoom };
// How the fault is lifted before Retry.
enum class Lift { kNone, kHealMedium, kGrowDestination, kMakeWritable, kEndProgram, kRemoveLink };
// How the destination is prepared.
enum class Room {
    kAsIs,
    kSmall,
    kOneClusterShort,
    kJustEnoughBesideAnEarlierInstall,
    kOneClusterShortBesideAnEarlierInstall,
    kDataLinkedElsewhere,
    kFileLinkedElsewhere
};

struct Fault {
    // The row's name in its cases': EveryFault/FaultRow.EndsAsTheUserAnswers/ID
    // with _Cancel and _RetryOnceLifted after it where the fault brings a box.
    const char* id;
    const char* name;
    const char* switches;     // for fault_fs.py, "" for a sound medium
    const char* destination;  // typed into the field; "" for a fresh folder on C:
    size_t wholeFiles;        // before Cancel: how many of the files the copy sees arrive, in copy order
    const char* unseen;       // files the copy never sees (a path prefix), or ""
    Box box;
    const char* boxPath;      // the file or folder the box names, relative
    const char* earlier;      // a file the destination holds from before, or ""
    Lift lift;
    Room room;
    // Watched while the install runs: the window must answer at every moment.
    bool watched = false;
    // The taskbar button looked at, through the stand-in for the taskbar list.
    bool taskbar = false;
    // The box is answered while a read of the disc waits: Cancel must not wait for it.
    bool answeredWhileTheDiscWaits = false;
};

const Fault kFaults[] = {
    {"ScratchedFile", "a scratch makes a whole file unreadable",
     "scratch data/b.txt 0", "", 1, "", Box::kCopy, "data\\b.txt", "", Lift::kHealMedium, Room::kAsIs},
    {"ScratchFrom128KB", "a scratch from 128 KB on in a 300,000-byte file",
     "scratch data/big.bin 131072", "", 2, "", Box::kCopy, "data\\big.bin", "", Lift::kHealMedium, Room::kAsIs},
    {"ScratchAfterTheMainProgram", "a scratch after the main program was copied",
     "scratch zz/after.txt 0", "", 8, "", Box::kCopy, "zz\\after.txt", "", Lift::kHealMedium, Room::kAsIs},
    // 128 KB of the new file were written when the read failed: the earlier
    // file stays as it was, and nothing of the new one is left.
    {"ScratchOverAnEarlierFile", "a scratch half-way through a file an earlier installation has",
     "scratch data/big.bin 131072", "", 2, "", Box::kCopy, "data\\big.bin", "data\\big.bin", Lift::kHealMedium,
     Room::kAsIs},
    // A drive retrying a damaged sector, 128 KB into the file.
    {"ReadTakes10Seconds", "one read of the disc takes 10 s",
     "slow data/big.bin 131072 10", "", 0, "", Box::kNone, "", "", Lift::kNone, Room::kAsIs, true},
    // Under Wine a listing that fails half-way ends as if the folder held only
    // the names read before the fault: the platform gives the copy no sign of
    // it, so the copy completes without the rest.
    {"ListingBreaksHalfWay", "the disc stops reading half-way through a folder",
     "break-listing data/maps 1", "", 8, "data\\maps\\m2", Box::kNone, "", "", Lift::kNone, Room::kAsIs},
    // Gone as the copy opens data\maps\m2.bin: the file there from an
    // earlier installation, which the failed copy did not touch, stays. The
    // walk may have met the disc gone too, at a folder it had still to list:
    // it tries that again once the copy has caught up, and asks only then.
    {"DiscTakenOutAtTheSixthFile", "the disc is taken out as the sixth file is read (EIO)",
     "eject data/maps/m2.bin EIO", "", 5, "", Box::kCopy, "data\\maps\\m2.bin", "data\\maps\\m2.bin", Lift::kHealMedium,
     Room::kAsIs},
    // Gone after the main program; zz was listed before its file was read.
    {"DiscTakenOutAtTheLastFile", "the disc is taken out as the last file is read (ENODEV)",
     "eject zz/after.txt ENODEV", "", 8, "", Box::kCopy, "zz\\after.txt", "", Lift::kHealMedium, Room::kAsIs},
    // The tree is walked before anything is written.
    {"FolderCannotBeListed", "a folder of the disc cannot be listed (EIO)",
     "unlistable zz 0", "", 0, "", Box::kListing, "zz", "", Lift::kHealMedium, Room::kAsIs},
    {"DiskFarTooSmall", "the destination disk is far too small",
     "", "T:\\ZelOr", 0, "", Box::kRoom, "", "", Lift::kGrowDestination, Room::kSmall},
    // Each folder the install makes takes a cluster, as on FAT32 and exFAT:
    // the medium's three and the destination, and here the one above it too.
    {"DiskOneClusterTooSmall", "the destination disk is one cluster too small",
     "", "T:\\ZelOr", 0, "", Box::kRoom, "", "", Lift::kGrowDestination, Room::kOneClusterShort, false, true},
    {"DiskOneClusterTooSmallTwoDeep", "the destination disk is one cluster too small for a new folder two deep",
     "", "T:\\Игры\\ZelOr", 0, "", Box::kRoom, "", "", Lift::kGrowDestination, Room::kOneClusterShort},
    // A file is written beside the one it replaces: the room the install
    // needs is what it takes at its fullest moment, not what it adds in the end.
    {"EarlierInstallJustEnoughRoom", "an earlier installation and just enough room at the fullest moment",
     "", "T:\\ZelOr", 0, "", Box::kNone, "", "", Lift::kNone, Room::kJustEnoughBesideAnEarlierInstall},
    {"EarlierInstallOneClusterTooLittle", "an earlier installation and one cluster too little at the fullest moment",
     "", "T:\\ZelOr", 0, "", Box::kRoom, "", "", Lift::kGrowDestination, Room::kOneClusterShortBesideAnEarlierInstall},
    // Its earlier main program is neither linked nor started.
    {"ReadOnlyDestination", "the destination is read-only",
     "", "R:\\ZelOr", 0, "", Box::kFolder, "data", "zel_or.exe", Lift::kMakeWritable, Room::kAsIs},
    // Windows lets no one write a running program's file: a sharing violation.
    {"EarlierProgramRuns", "the earlier installation's program still runs",
     "", "", 7, "", Box::kCopy, "zel_or.exe", "zel_or.exe", Lift::kEndProgram, Room::kAsIs},
    // The reader has gone on to the next file, which a damaged sector holds for 10 s.
    {"EarlierProgramRunsWhileTheDiscRetries", "the earlier program still runs while the disc retries a sector",
     "slow zz/after.txt 0 10", "", 7, "", Box::kCopy, "zel_or.exe", "zel_or.exe", Lift::kEndProgram, Room::kAsIs, false,
     false, true},
    // Planted by anyone who could write there: the installer, with an
    // administrator's rights, writes nothing through it and leaves the
    // marks of what it finds there alone. The destination itself is a link
    // too, which the user chose: it is installed into.
    {"FolderLinkedElsewhere", "a folder inside the destination is a link to a folder elsewhere",
     "", "", 0, "", Box::kFolder, "data", "", Lift::kRemoveLink, Room::kDataLinkedElsewhere},
    // A file of the disc's name that is a link: replaced by the disc's file
    // (which it then holds), never written through nor unmarked (the file it
    // points to, off the destination, stays as it was). A link at the name of
    // the installer's work folder makes it take another name.
    {"FileLinkedElsewhere", "a file at the destination is a link to a file elsewhere",
     "", "", 0, "", Box::kNone, "", "", Lift::kNone, Room::kFileLinkedElsewhere},
};

// From pressing "Извлечь" to the installer's end: the copy of 300 KB through
// the FUSE medium takes well under a second; the bound leaves room for a busy machine.
constexpr DWORD kRunBoundMs = 60000;
// The installer waits up to 30 s for the program it started, as WinExec did.
constexpr DWORD kStartedProgramBoundMs = 40000;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const Files& files, const std::string& file) {
    return std::find(files.begin(), files.end(), file) != files.end();
}

// The host's path of a Windows path, for run-faults.sh: Wine's own
// kernel32 tells it.
std::string UnixPath(const std::string& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = toUnix != nullptr ? toUnix(Wide(path).c_str()) : nullptr;
    if (unix == nullptr) return "<no host path for " + path + ">";
    const std::string host = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return host;
}

// Sizes as the installer shows them, Explorer's way.
std::string ByteSize(ULONGLONG bytes) {
    wchar_t text[64] = L"";
    StrFormatByteSizeW(static_cast<LONGLONG>(bytes), text, 64);
    return Narrow(text);
}

ULONGLONG Available(const std::string& folder) {
    ULARGE_INTEGER available = {};
    GetDiskFreeSpaceExW(Wide(folder).c_str(), &available, nullptr, nullptr);
    return available.QuadPart;
}

// A watch of the installer's window while it installs, as Windows keeps
// one: a window that has not looked at its queue for 5 s counts as hung, is
// ghosted and offered to be ended. It is sent WM_NULL every 250 ms while it
// is on screen, and must answer each within a second and never count as hung.
// Meanwhile a user tries to close it (Escape, the close box, Alt+F4), which
// does nothing, and minimises, restores and moves it, which it does.
struct WindowWatch {
    int looks = 0;
    int unanswered = 0;
    int hung = 0;
    int whileTheDiscWaited = 0;  // looks while the medium's slow read waited
    std::string handled;         // what the window did of what the user asked
    DWORD last = 0;
    RECT placed = {};

    void Look(HWND dialog, const std::string& waiting) {
        if (GetTickCount() - last < 250 || !IsWindowVisible(dialog)) return;
        last = GetTickCount();
        ++looks;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) ++unanswered;
        if (IsHungAppWindow(dialog)) ++hung;
        if (!Exists(waiting)) return;
        // One step a look, while the disc waits; each seen at the next look.
        switch (++whileTheDiscWaited) {
        case 1:
            PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 1);
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            PostMessageW(dialog, WM_SYSKEYDOWN, VK_F4, 1 | 1 << 29);  // with Alt held
            break;
        case 2:
            PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            break;
        case 3:
            handled += IsIconic(dialog) ? "minimised " : "not minimised ";
            PostMessageW(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
            break;
        case 4:
            handled += IsIconic(dialog) ? "not restored " : "restored ";
            GetWindowRect(dialog, &placed);
            SetWindowPos(dialog, nullptr, placed.left + 40, placed.top + 30, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
            break;
        case 5: {
            RECT now = {};
            GetWindowRect(dialog, &now);
            handled += now.left == placed.left + 40 && now.top == placed.top + 30 ? "moved" : "not moved";
            break;
        }
        }
    }
};

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
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, procedure, library, ThreadId());
        return hook_ != nullptr;
    }

    // Waits for the end, answering the boxes on the way: the completion box
    // with OK (its text in `completion`), every error box (the installer's
    // caption) with what `answer` returns for its text, IDRETRY or IDCANCEL;
    // their texts go to `errors`; `meanwhile` runs every 20 ms. False when
    // the installer did not end within `bound` ms.
    bool WaitForEnd(DWORD bound, const std::function<UINT(const std::string&)>& answer, Files& errors,
                    std::string& completion, const std::function<void()>& meanwhile = [] {}) {
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(Handle(), 20) == WAIT_TIMEOUT) {
            if (GetTickCount() - start >= bound) return false;
            meanwhile();
            HWND box = WaitForWindow(shown::kCompletionCaption, Id(), 0);
            UINT command = IDOK;
            if (box != nullptr) {
                completion = MessageBoxText(box);
            } else {
                if ((box = WaitForInstallerBox(Id(), dialog, 0)) == nullptr) continue;
                errors.push_back(MessageBoxText(box));
                command = answer(errors.back());
            }
            PostMessageW(box, WM_COMMAND, command, 0);
            // Answered once: the next look finds the next box, not this one closing.
            for (int i = 0; i < 500 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(10);
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

    // Files on a disc are read-only, and CopyFileW passes that on.
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
        for (const std::string& file : kCopyOrder) SetAttributes(medium + "\\" + file, FILE_ATTRIBUTE_READONLY);
    }

    // Writes the switches file that fault_fs.py reads before every operation;
    // a new row name starts its counts anew, and a row without faults heals it.
    void Switch(const std::string& row, const std::string& faults) {
        WriteFile(switches, row + "\n" + faults + "\n");
    }

    // Has run-faults.sh carry out `request` ("size BYTES" for T:, "writable"
    // or "read-only" for R:) and waits until it has.
    void Request(const std::string& request) {
        const std::string path = records + "\\request", done = path + ".done";
        DeleteFileW(Wide(done).c_str());
        WriteFile(path + ".new", request + "\n");
        MoveFileW(Wide(path + ".new").c_str(), Wide(path).c_str());
        for (int i = 0; i < 500 && !Exists(done); ++i) Sleep(20);
        EXPECT_EQ("0\n", ReadFile(done)) << "run-faults.sh did not carry out: " << request;
    }

    static ULONGLONG ClusterOfT() {
        DWORD sectors = 0, bytes = 0, free = 0, total = 0;
        GetDiskFreeSpaceW(L"T:\\", &sectors, &bytes, &free, &total);
        return static_cast<ULONGLONG>(sectors) * bytes;
    }
    // What `file` takes on T:, rounded up to T:'s cluster; nothing when it is not there.
    static ULONGLONG ClustersOnT(const std::string& file) {
        const ULONGLONG cluster = ClusterOfT();
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(Wide(file).c_str(), GetFileExInfoStandard, &data)) return 0;
        return (data.nFileSizeLow + cluster - 1) / cluster * cluster;
    }
    // `bytes` rounded up to T:'s clusters.
    static ULONGLONG ClustersOnT(ULONGLONG bytes) { return (bytes + ClusterOfT() - 1) / ClusterOfT() * ClusterOfT(); }
    // What the files `files` below `root` take on T:.
    static ULONGLONG ClustersOnT(const Files& files, const std::string& root) {
        ULONGLONG sum = 0;
        for (const std::string& file : files) sum += ClustersOnT(root + "\\" + file);
        return sum;
    }

    // Wine calls T:, a tmpfs, NTFS and tells no size of its file records:
    // the install counts 1 KB for each file and folder it makes, and no file
    // inside its record.
    static constexpr ULONGLONG kRecordOnT = 1024;
    // What an install of `files` into `destination` on an empty T: takes
    // beside their clusters: a record for each file; for each folder it
    // makes (each of the destination's path and the medium's) a record and
    // a cluster, which holds the entries of the few names in it; a cluster
    // for the first one's name in T:\, a folder that is there; and the
    // installer's work folder and its list, a record and a cluster each.
    static ULONGLONG BesideTheDataOnT(const std::string& destination, size_t files = kCopyOrder.size(),
                                      int mediumFolders = kMediumFolders) {
        const ULONGLONG folders = std::count(destination.begin(), destination.end(), '\\') + mediumFolders;
        return files * kRecordOnT + (folders + 2) * (ClusterOfT() + kRecordOnT) + ClusterOfT();
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

    // Types `destination` into the installer's dialog and presses "Извлечь".
    static void Extract(Installer& installer, const std::string& destination) {
        ASSERT_NE(nullptr, installer.dialog) << "the dialog did not appear within " << WindowTimeout() << " ms";
        SendMessageW(installer.Control(1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(destination).c_str()));
        PostMessageW(installer.dialog, WM_COMMAND, IDOK, 0);
    }
};

// How a row's box is answered. A row that brings no box runs once, unanswered.
enum class Answer { kNoBox, kCancel, kRetryOnceLifted };

// One case of the table: a row, and how its box is answered.
struct Case {
    const Fault* fault;
    Answer answer;
};

// Every row of kFaults, in the table's order; a row with a box twice, answered
// Cancel and then Retry once the fault is lifted.
std::vector<Case> EveryCase() {
    std::vector<Case> cases;
    for (const Fault& fault : kFaults) {
        if (fault.box == Box::kNone) {
            cases.push_back({&fault, Answer::kNoBox});
        } else {
            cases.push_back({&fault, Answer::kCancel});
            cases.push_back({&fault, Answer::kRetryOnceLifted});
        }
    }
    return cases;
}

const char* AnswerName(Answer answer) {
    switch (answer) {
    case Answer::kNoBox:
        break;
    case Answer::kCancel:
        return "Cancel";
    case Answer::kRetryOnceLifted:
        return "RetryOnceLifted";
    }
    return "";
}

// The case's name in the test's, as --gtest_filter takes it: the row's id,
// and the answer where the row has a box (ScratchedFile_Cancel).
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    const std::string answer = AnswerName(info.param.answer);
    return info.param.fault->id + (answer.empty() ? "" : "_" + answer);
}

// How GoogleTest shows a case beside its name: the row as the table
// describes it, and the answer.
void PrintTo(const Case& c, std::ostream* out) {
    *out << "\"" << c.fault->name << "\"";
    if (c.answer == Answer::kCancel) *out << ", answered Cancel";
    if (c.answer == Answer::kRetryOnceLifted) *out << ", answered Retry once the fault is lifted";
}

// One case of kFaults, each step of it a member: the row's destination made
// ready, what it must end with worked out, HD.EXE run and answered, then
// each thing the user and the machine are left with checked. Whatever a
// failed step leaves (a small T:, a writable R:, links, a running program)
// goes in TearDown, so that the next case starts clean.
class FaultRow : public FaultTest, public ::testing::WithParamInterface<Case> {
protected:
    const Fault& fault = *GetParam().fault;
    const bool retry = GetParam().answer == Answer::kRetryOnceLifted;
    // Cancelled, the install is undone; answered Retry or never asked, it completes.
    const bool completes = retry || fault.box == Box::kNone;
    const std::string destination = *fault.destination ? fault.destination : scene.scratch / "ZelOr";
    // Where the test writes what the destination holds from before: R: only
    // through the folder it shows.
    const std::string writable = StartsWith(destination, "R:") ? readOnlySource + "\\ZelOr" : destination;

    // What the row must end with, worked out before it runs.
    std::string roomBox;  // the room box PrepareRoom made T: for, or ""
    Files seen;           // the files the copy sees, in copy order
    Files copied;         // the disc's files in the destination at the end
    Files logged;         // the files the log names at the end, in order
    Files expectedFiles;  // every file in the destination at the end, sorted
    std::string box;      // the box's text, its reason marked (shown::MarkReason)
    std::string earlierContents;  // the earlier file fault.earlier
    std::unique_ptr<StartedProcess> running;  // the earlier program, for Lift::kEndProgram
    // Entry for entry, byte for byte, marks and times: what a Cancel must leave.
    std::map<std::string, std::string> destinationBefore;
    bool existed = false;
    // Everything but the destination on C: and T:, before the run.
    Files skipped;
    std::map<std::string, std::string> before;
    std::optional<TaskbarStandIn> taskbar;

    // What the run gave.
    HWND dialog = nullptr;
    Files errors;  // the text of every error box, in order
    std::string completion;
    Files statesAtBoxes;  // the taskbar button's states while each box was up
    // From Cancel on, on a thread of its own (a look at the windows of a
    // process that is ending waits until it has ended): when the dialog went,
    // and whether the disc still waited then.
    DWORD cancelled = 0, dialogGone = 0;
    bool discWaitedThen = false;
    std::thread watchEnd;
    WindowWatch watch;

    bool begun = false;   // the destination was touched: TearDown cleans up
    bool lifted = false;  // LiftWhatTheRowSetUp has run

    void TearDown() override {
        if (watchEnd.joinable()) watchEnd.join();
        if (begun) {
            if (!lifted) LiftWhatTheRowSetUp();
            running.reset();
            if (fault.room == Room::kDataLinkedElsewhere) Request("unlink\t" + UnixPath(destination));
            // A destination below a folder of its own on T: takes that one along.
            RemoveTree(StartsWith(writable, "T:") ? writable.substr(0, writable.find('\\', 3)) : writable);
            if (StartsWith(destination, "T:")) Request("size 4m");
        }
        FaultTest::TearDown();
    }

    void ClearWhatAnEarlierRowLeft();
    // Sizes T: for the row, or lays links; returns the room box it must bring, or "".
    std::string PrepareRoom();
    void PutTheEarlierInstallation();
    void WorkOutWhatItMustEndWith();
    void TakeStockBefore();
    void WatchTheTaskbarButton();
    void RunAndAnswer();
    UINT AnswerTheBox();
    void LiftTheFault();
    void LiftWhatTheRowSetUp();
    void CheckCancelWaitedForNoRead();
    void CheckTheWindowAnsweredThroughout();
    void CheckTheBoxesAndDialogs();
    void CheckTheTaskbarButton();
    void CheckTheDestination();
    void CheckTheLog();
    void CheckNothingElseChanged();
    void CheckTheShortcutAndTheStart();
};

void FaultRow::ClearWhatAnEarlierRowLeft() {
    begun = true;
    // A link that a row which failed half-way left there would fail every later one.
    Request("unlink\t" + UnixPath(destination));
    RemoveTree(writable);
    for (const std::string& left : {scene.shortcut, scene.startRecord, records + "\\hook.log",
                                    records + "\\hook.dialogs"}) {
        DeleteFileW(Wide(left).c_str());
    }
}

std::string FaultRow::PrepareRoom() {
    const ULONGLONG required = ClustersOnT(kCopyOrder, medium);
    // What the links below point to: off the destination, on C:, a read-only
    // file of a name the disc has, to be neither written nor unmarked.
    const std::string elsewhere = scene.scratch / "elsewhere";
    const auto makeElsewhere = [&] {
        RemoveTree(elsewhere);
        WriteFile(elsewhere + "\\a.txt", "not the disc's");
        SetAttributes(elsewhere + "\\a.txt", FILE_ATTRIBUTE_READONLY);
    };
    switch (fault.room) {
    case Room::kAsIs:
        return "";
    case Room::kFileLinkedElsewhere: {
        makeElsewhere();
        MakeFolders(destination + "\\data");
        Request("link\t" + UnixPath(elsewhere + "\\a.txt") + "\t" + UnixPath(destination) + "/data/a.txt");
        // Wine does not mark a link to a file as a reparse point; read through, it is there.
        EXPECT_EQ("not the disc's", ReadFile(destination + "\\data\\a.txt")) << "no link";
        // And one at the name of the installer's work folder, to a folder
        // elsewhere that holds a file of its list's name.
        WriteFile(elsewhere + "\\work\\list", "not the installer's");
        Request("link\t" + UnixPath(elsewhere + "\\work") + "\t" + UnixPath(destination) + "/~hdwork");
        return "";
    }
    case Room::kDataLinkedElsewhere: {
        // The destination a link to a folder off C:, its "data" one to elsewhere.
        const std::string chosen = records + "\\chosen";
        RemoveTree(chosen);
        MakeFolders(chosen);
        makeElsewhere();
        Request("link\t" + UnixPath(chosen) + "\t" + UnixPath(destination));
        Request("link\t" + UnixPath(elsewhere) + "\t" + UnixPath(destination) + "/data");
        EXPECT_NE(0u, Attributes(destination + "\\data") & FILE_ATTRIBUTE_REPARSE_POINT) << "no link at data";
        return "";
    }
    case Room::kSmall:
        Request("size 64k");
        break;
    case Room::kOneClusterShort:
        // A tmpfs has whole pages, its clusters.
        Request("size " + std::to_string(ClustersOnT(required + BesideTheDataOnT(destination)) - ClusterOfT()));
        break;
    case Room::kJustEnoughBesideAnEarlierInstall:
    case Room::kOneClusterShortBesideAnEarlierInstall: {
        // The earlier installation had every file, its big one a third of today's.
        Request("size 1m");
        for (const std::string& file : kCopyOrder) {
            WriteFile(destination + "\\" + file, file == "data\\big.bin" ? std::string(kBigSize / 3, 'e') : "e");
        }
        const ULONGLONG used = ClustersOnT(kCopyOrder, destination);
        // A new file is written beside the one it replaces, which goes only
        // once the new one is whole: the install takes most at the end of
        // some file's copy. What it holds now and that: nothing to spare.
        // Each file with its record.
        ULONGLONG taken = 0, most = 0;
        for (const std::string& file : kCopyOrder) {
            const ULONGLONG added = ClustersOnT(medium + "\\" + file) + kRecordOnT;
            most = std::max(most, taken + added);
            taken = taken + added - ClustersOnT(destination + "\\" + file) - kRecordOnT;
        }
        EXPECT_GT(most, required - used) << "no file's copy takes more than the whole install adds";
        // The installer's work folder, from the first file on: its name's
        // entry in the destination, a cluster; the folder and its list, a
        // cluster and a record each. Room to keep the earlier files aside
        // too it has not: it goes ahead without.
        most += 3 * ClusterOfT() + 2 * kRecordOnT;
        // The least a tmpfs of whole pages has beyond it, or a cluster less.
        const bool enough = fault.room == Room::kJustEnoughBesideAnEarlierInstall;
        const ULONGLONG room = ClustersOnT(most) - (enough ? 0 : ClusterOfT());
        EXPECT_LT(room, required) << "room to keep the earlier files";
        Request("size " + std::to_string(used + room));
        EXPECT_EQ(room, Available("T:\\")) << "T: is not sized as the row needs";
        return enough ? "" : shown::NoRoom("T:\\", ByteSize(most), ByteSize(room));
    }
    }
    return shown::NoRoom("T:\\", ByteSize(required + BesideTheDataOnT(destination)), ByteSize(Available("T:\\")));
}

void FaultRow::PutTheEarlierInstallation() {
    if (!*fault.earlier) return;
    earlierContents = PutEarlier(writable, fault.earlier);
    if (fault.lift == Lift::kEndProgram) {
        running.reset(new StartedProcess(writable + "\\" + fault.earlier, " --stay", nullptr));
        ASSERT_TRUE(running->Started()) << running->Failure();
    }
}

void FaultRow::WorkOutWhatItMustEndWith() {
    for (const std::string& file : kCopyOrder) {
        if (!*fault.unseen || !StartsWith(file, fault.unseen)) seen.push_back(file);
    }
    // Cancelled, the install is undone; the log still shows what it had copied.
    if (completes) copied = seen;
    logged = seen;
    if (!completes) logged.resize(std::min(logged.size(), fault.wholeFiles));
    expectedFiles = copied;
    if (*fault.earlier && !Contains(copied, fault.earlier)) expectedFiles.push_back(fault.earlier);
    // Every file is there, the earlier one or the new one.
    const bool beside = fault.room == Room::kJustEnoughBesideAnEarlierInstall ||
                        fault.room == Room::kOneClusterShortBesideAnEarlierInstall;
    if (beside) expectedFiles = kCopyOrder;
    std::sort(expectedFiles.begin(), expectedFiles.end());

    switch (fault.box) {
    case Box::kNone:
        break;
    case Box::kCopy:
        box = shown::CopyFailed("X:\\" + std::string(fault.boxPath), destination + "\\" + fault.boxPath,
                                "<reason>\r\n");
        break;
    case Box::kFolder:
        box = shown::FolderFailed(destination + "\\" + fault.boxPath, "<reason>\r\n");
        break;
    case Box::kListing:
        box = shown::ListingFailed("X:\\" + std::string(fault.boxPath), "<reason>\r\n");
        break;
    case Box::kRoom:
        box = roomBox;
        break;
    }
}

void FaultRow::TakeStockBefore() {
    Snapshot(destination, {}, destinationBefore, true);
    existed = Exists(destination);
    skipped = {"C:\\windows", destination, scene.shortcut};
    for (const char* root : {"C:", "T:"}) Snapshot(root, skipped, before);
}

void FaultRow::WatchTheTaskbarButton() {
    if (!fault.taskbar) return;
    taskbar.emplace(records + "\\taskbar.txt");
    ASSERT_EQ("", taskbar->Failure());
}

// Starts HD.EXE with the hook on its dialog's thread, arms the fault, types
// the destination, presses "Извлечь" and answers every box until it ends;
// then it must have ended with 1, and everything it started too.
void FaultRow::RunAndAnswer() {
    Switch(std::string("row ") + fault.name, "");
    Job job;
    HookedInstaller installer(job);
    ASSERT_NE(nullptr, installer.dialog) << "the dialog did not appear within " << WindowTimeout() << " ms";
    dialog = installer.dialog;
    ASSERT_TRUE(installer.Hook(hookLibrary)) << "SetWindowsHookExW failed: " << GetLastError();
    // Armed only now: the installer's own start from the medium is not counted.
    Switch(std::string("row ") + fault.name, fault.switches);
    SendMessageW(GetDlgItem(installer.dialog, 1000), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(Wide(destination).c_str()));
    PostMessageW(installer.dialog, WM_COMMAND, IDOK, 0);

    const auto answer = [&](const std::string&) { return AnswerTheBox(); };
    const auto meanwhile = [&] {
        if (fault.watched) watch.Look(installer.dialog, switches + ".waiting");
    };
    const bool ended = installer.WaitForEnd(kRunBoundMs, answer, errors, completion, meanwhile);
    if (watchEnd.joinable()) watchEnd.join();
    ASSERT_TRUE(ended) << "HD.EXE had not ended " << kRunBoundMs << " ms after \"Извлечь\"";
    EXPECT_EQ(1u, installer.ExitCode());
    const std::string stillRunning = job.WaitUntilEmpty(kStartedProgramBoundMs);
    ASSERT_EQ("", stillRunning) << "still running " << kStartedProgramBoundMs << " ms after HD.EXE ended";
}

// The box is up: notes the taskbar button, waits for the disc's read where
// the row answers while it waits, and answers Cancel, or lifts the fault and
// answers Retry.
UINT FaultRow::AnswerTheBox() {
    if (taskbar) statesAtBoxes.push_back(taskbar->States());
    if (fault.answeredWhileTheDiscWaits) {
        for (int i = 0; i < 250 && !Exists(switches + ".waiting"); ++i) Sleep(20);
        EXPECT_TRUE(Exists(switches + ".waiting")) << "the disc did not wait while the box was up";
    }
    cancelled = GetTickCount();
    if (!retry && fault.answeredWhileTheDiscWaits) {
        watchEnd = std::thread([this] {
            for (int i = 0; i < 2000 && IsWindowVisible(dialog); ++i) Sleep(5);
            dialogGone = GetTickCount();
            discWaitedThen = Exists(switches + ".waiting");
        });
    }
    if (!retry) return IDCANCEL;
    LiftTheFault();
    return IDRETRY;
}

void FaultRow::LiftTheFault() {
    switch (fault.lift) {
    case Lift::kNone:
        break;
    case Lift::kHealMedium:
        Switch(std::string("row ") + fault.name + " healed", "");
        break;
    case Lift::kGrowDestination:
        Request("size 4m");
        break;
    case Lift::kMakeWritable:
        Request("writable");
        break;
    case Lift::kEndProgram:
        running.reset();
        break;
    case Lift::kRemoveLink:
        Request("unlink\t" + UnixPath(destination) + "/data");
        break;
    }
}

// The medium healed, R: read-only again, and the links that point off the
// destination gone, before anything of it is looked at.
void FaultRow::LiftWhatTheRowSetUp() {
    lifted = true;
    Switch("row none", "");
    if (fault.lift == Lift::kMakeWritable) Request("read-only");
    if (fault.room == Room::kDataLinkedElsewhere) Request("unlink\t" + UnixPath(destination) + "/data");
    if (fault.room == Room::kFileLinkedElsewhere) Request("unlink\t" + UnixPath(destination) + "/~hdwork");
}

// Undone, and the dialog gone, while the read goes on: nothing waits for
// it. (The process itself ends once the read returns: Wine, as Windows,
// ends no thread inside a read of a drive.)
void FaultRow::CheckCancelWaitedForNoRead() {
    if (!fault.answeredWhileTheDiscWaits || retry) return;
    EXPECT_LE(dialogGone - cancelled, 3000u) << "ms from Cancel to the dialog's end";
    EXPECT_TRUE(discWaitedThen) << "the read had ended before the dialog";
}

void FaultRow::CheckTheWindowAnsweredThroughout() {
    if (!fault.watched) return;
    EXPECT_EQ(0, watch.unanswered) << "messages not answered within 1 s, of " << watch.looks;
    EXPECT_EQ(0, watch.hung) << "looks at which Windows counted the window as hung, of " << watch.looks;
    // 10 s at four looks a second.
    EXPECT_GE(watch.whileTheDiscWaited, 30) << "the window was not watched while the disc waited";
    EXPECT_EQ("minimised restored moved", watch.handled);
}

// One box for the fault, named and with the system's reason; lifted, the
// fault brings none again.
void FaultRow::CheckTheBoxesAndDialogs() {
    if (fault.box == Box::kNone) {
        EXPECT_EQ(Files{}, errors) << "an error box where none belongs";
    } else {
        ASSERT_EQ(1u, errors.size()) << "error boxes shown";
        EXPECT_EQ(box, shown::MarkReason(errors[0]));
    }
    const std::string dialogs = (fault.box == Box::kNone ? "" : std::string(shown::kCaption) + "\n") +
                                (completes ? std::string(shown::kCompletionCaption) + "\n" : "");
    EXPECT_EQ(dialogs.empty() ? "<missing>" : dialogs, ReadFile(records + "\\hook.dialogs")) << "dialogs shown";
    EXPECT_EQ(completes ? shown::kCompletion : "", completion);
}

// Red while the box waits, after the count that brought it; Retry counts
// again, then the copy fills the button.
void FaultRow::CheckTheTaskbarButton() {
    if (!taskbar) return;
    EXPECT_EQ(Files{"indeterminate error"}, statesAtBoxes) << "the taskbar button while the box was up";
    EXPECT_EQ(retry ? "indeterminate error indeterminate normal none" : "indeterminate error none",
              taskbar->States());
    ULONGLONG total = 0;
    for (const std::string& file : kCopyOrder) total += ReadFile(medium + "\\" + file).size();
    EXPECT_EQ(retry ? "" : "no value", taskbar->Faults(dialog, total));
}

// Whole files only, byte for byte, and nothing short left behind; a
// destination the install was refused for, not even created.
void FaultRow::CheckTheDestination() {
    EXPECT_EQ(expectedFiles, ListFiles(destination));
    if (!completes) {
        std::map<std::string, std::string> destinationAfter;
        Snapshot(destination, {}, destinationAfter, true);
        EXPECT_EQ(destinationBefore, destinationAfter) << "the cancelled install was not undone";
        EXPECT_EQ(existed, Exists(destination));
    }
    for (const std::string& file : copied) {
        EXPECT_TRUE(ReadFile(destination + "\\" + file) == ReadFile(medium + "\\" + file)) << file << " differs";
    }
    if (*fault.earlier && !Contains(copied, fault.earlier)) {
        EXPECT_TRUE(earlierContents == ReadFile(destination + "\\" + fault.earlier))
            << "the earlier " << fault.earlier << " was changed";
    }
}

// Every file copied, logged once, however often it was retried.
void FaultRow::CheckTheLog() {
    std::string log;
    for (const std::string& file : logged) log += destination + "\\" + file + "\r\n";
    EXPECT_EQ(log, ReadFile(records + "\\hook.log"));
}

void FaultRow::CheckNothingElseChanged() {
    std::map<std::string, std::string> after;
    for (const char* root : {"C:", "T:"}) Snapshot(root, skipped, after);
    EXPECT_EQ(before, after) << "something was written outside " << destination;
}

// Linked and started only after a complete install; never an earlier
// installation's program beside a half-copied product.
void FaultRow::CheckTheShortcutAndTheStart() {
    const ShellLinkFields link = scene.ReadShortcut();
    // HD.EXE runs elevated under Wine and has the desktop shell start the
    // program, outside the job: its record is waited for.
    if (completes) {
        EXPECT_EQ(destination + "\\zel_or.exe", link.target);
        const std::vector<std::string> started = scene.WaitForStartRecord(kStartedProgramBoundMs);
        EXPECT_EQ(kStartRecordLines, started.size()) << scene.ReadStartRecord();
        EXPECT_EQ(destination + "\\zel_or.exe", started.empty() ? "<missing>" : started[0]);
    } else {
        const std::string started = scene.ReadStartRecord();
        EXPECT_FALSE(link.loaded) << "a shortcut to " << link.target;
        EXPECT_EQ("<missing>", started) << "a program was started";
    }
}

// Each row of kFaults, once with each answer its box takes: the fault is
// asked about once, with the file and the system's reason, and the install
// ends as the user answered (undone after Cancel, complete after Retry once
// the fault is lifted), whole files only, within 60 s of "Извлечь".
TEST_P(FaultRow, EndsAsTheUserAnswers) {
    ClearWhatAnEarlierRowLeft();
    roomBox = PrepareRoom();
    ASSERT_NO_FATAL_FAILURE(PutTheEarlierInstallation());
    WorkOutWhatItMustEndWith();
    TakeStockBefore();
    ASSERT_NO_FATAL_FAILURE(WatchTheTaskbarButton());

    ASSERT_NO_FATAL_FAILURE(RunAndAnswer());
    LiftWhatTheRowSetUp();

    CheckCancelWaitedForNoRead();
    CheckTheWindowAnsweredThroughout();
    ASSERT_NO_FATAL_FAILURE(CheckTheBoxesAndDialogs());
    CheckTheTaskbarButton();
    CheckTheDestination();
    CheckTheLog();
    CheckNothingElseChanged();
    CheckTheShortcutAndTheStart();
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultRow, ::testing::ValuesIn(EveryCase()), CaseName);

// Ended from Task Manager, or by a power cut, while a read of the disc
// waits half-way through a file: whatever is under a file's own name is the
// earlier file or the whole new one, and the earlier file the new one
// replaced is kept, listed, in the installer's work folder. The next install
// into the same folder completes and leaves nothing of the one that was ended.
TEST_F(FaultTest, AnInstallerEndedInTheMiddleOfAFileLeavesNoPartialFile) {
    const std::string destination = scene.scratch / "ZelOr";
    RemoveTree(destination);
    const std::string earlier = PutEarlier(destination, "data\\big.bin");
    const std::string earlierA = PutEarlier(destination, "data\\a.txt");
    const std::string waiting = switches + ".waiting";
    DeleteFileW(Wide(scene.startRecord).c_str());
    Switch("row ended", "");
    {
        Job job;
        Installer installer("X:\\", &job);
        ASSERT_NE(nullptr, installer.dialog) << "the dialog did not appear within " << WindowTimeout() << " ms";
        Switch("row ended", "slow data/big.bin 131072 10");
        SendMessageW(installer.Control(1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(destination).c_str()));
        PostMessageW(installer.dialog, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 1500 && !Exists(waiting); ++i) Sleep(20);
        ASSERT_TRUE(Exists(waiting)) << "the read of data\\big.bin never waited";
        Sleep(500);  // well inside the wait, 128 KB of the new file written
        ASSERT_TRUE(TerminateProcess(installer.Handle(), 9)) << GetLastError();
        EXPECT_EQ(9u, installer.ExitCode());
    }
    Switch("row ended: the installer is gone", "");  // ends the wait

    // What the user finds: the files copied before, the earlier one, and in
    // the work folder the earlier data\a.txt, its list, and the temporary
    // copy of the file that was being written.
    EXPECT_EQ((Files{"data\\a.txt", "data\\b.txt", "data\\big.bin", "~hdwork\\k0", "~hdwork\\list", "~hdwork\\t2"}),
              ListFiles(destination));
    EXPECT_TRUE(earlier == ReadFile(destination + "\\data\\big.bin")) << "the earlier data\\big.bin was changed";
    EXPECT_TRUE(earlierA == ReadFile(destination + "\\~hdwork\\k0")) << "the earlier data\\a.txt was not kept";
    for (const char* file : {"data\\a.txt", "data\\b.txt"}) {
        EXPECT_TRUE(ReadFile(destination + "\\" + file) == ReadFile(medium + "\\" + file)) << file << " differs";
    }

    Job job;
    HookedInstaller installer(job);
    ASSERT_NE(nullptr, installer.dialog) << "the next HD.EXE showed no dialog";
    SendMessageW(installer.Control(1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(destination).c_str()));
    PostMessageW(installer.dialog, WM_COMMAND, IDOK, 0);
    Files errors;
    std::string completion;
    ASSERT_TRUE(installer.WaitForEnd(kRunBoundMs, [](const std::string&) { return IDCANCEL; }, errors, completion));
    EXPECT_EQ(1u, installer.ExitCode());
    EXPECT_EQ(Files{}, errors);
    EXPECT_EQ(shown::kCompletion, completion);
    Files expected = kCopyOrder;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ListFiles(destination));
    for (const std::string& file : kCopyOrder) {
        EXPECT_TRUE(ReadFile(destination + "\\" + file) == ReadFile(medium + "\\" + file)) << file << " differs";
    }
    EXPECT_EQ(kStartRecordLines, scene.WaitForStartRecord(kStartedProgramBoundMs).size()) << scene.ReadStartRecord();
}

// Explorer, which starts the program for an elevated installer, hangs (as
// it often does beside a busy optical drive) before the completion box is
// answered. The installer gives it 15 s and ends with 1, without starting the
// program itself: Explorer may still do it. The next installer is not held
// up, and the program starts at most once.
TEST_F(FaultTest, AHungExplorerHoldsTheInstallerUpFor15SecondsAtMost) {
    const std::string destination = scene.scratch / "ZelOr";
    RemoveTree(destination);
    DeleteFileW(Wide(scene.startRecord).c_str());
    Switch("row hung Explorer", "");
    Job job;
    Installer installer("X:\\", &job);
    ASSERT_NO_FATAL_FAILURE(Extract(installer, destination));
    HWND box = WaitForWindow(shown::kCompletionCaption, installer.Id(), kRunBoundMs);
    ASSERT_NE(nullptr, box) << "no completion box";

    Request("stop-explorer");
    const DWORD start = GetTickCount();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    const DWORD exitCode = installer.ExitCode(30000);
    const DWORD took = GetTickCount() - start;
    Request("resume-explorer");
    EXPECT_EQ(1u, exitCode);
    EXPECT_LE(took, 20000u) << "ms from the completion box to the installer's end";
    EXPECT_GE(took, 15000u) << "ms: the installer did not wait for Explorer";

    {
        Installer next("X:\\", &job);
        EXPECT_NE(nullptr, next.dialog) << "the next HD.EXE showed no dialog";
        SendMessageW(next.Control(IDCANCEL), BM_CLICK, 0, 0);
        EXPECT_EQ(2u, next.ExitCode());
    }
    // Resumed, Explorer may still carry out the start it was asked for.
    scene.WaitForStartRecord(10000);
    const std::vector<std::string> started = Lines(scene.ReadStartRecord());
    EXPECT_LE(started.size(), kStartRecordLines) << "started more than once";
    if (started.size() > 3) {
        EXPECT_EQ("explorer.exe", BaseName(started[3])) << "the installer started it itself";
    }
    EXPECT_EQ(destination + "\\zel_or.exe", scene.ReadShortcut().target);
}

// What the record of G: (written.log) shows of each file installed into
// G:\ZelOr, by its path below it: "flushed" once the temporary file it was
// written as was fsynced, under either name (a new file may take its own
// first); for one of `earlier`, what came before the rename over it too, in
// order: "flushed kept replaced" when its flush and the earlier file's second
// name both did.
std::map<std::string, std::string> Durability(const std::string& log, const Files& earlier) {
    const std::string root = "ZelOr/";
    std::map<std::string, std::string> holds;  // a name -> the temporary file under it
    std::map<std::string, std::string> story;  // a temporary file -> what happened to it
    std::map<std::string, std::string> installed;  // a file -> its temporary file
    std::set<std::string> kept;  // names the earlier file under which got a second name
    for (const std::string& line : Lines(log)) {
        Files op;
        for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
            end = line.find('\t', start);
            op.push_back(line.substr(start, end - start));
        }
        op.resize(3);
        if (op[0] == "create" && StartsWith(op[1], root + "~hdwork/t")) holds[op[1]] = op[1];
        if (op[0] == "link") kept.insert(op[1]);
        if (holds.count(op[1]) == 0) continue;
        const std::string temporary = holds[op[1]];
        if (op[0] == "fsync" && story[temporary].find("flushed") == std::string::npos) story[temporary] += "flushed ";
        if (op[0] != "rename") continue;
        holds.erase(op[1]);
        holds[op[2]] = temporary;
        std::string file = op[2].substr(root.size());
        std::replace(file.begin(), file.end(), '/', '\\');
        if (Contains(earlier, file)) story[temporary] += kept.count(op[2]) ? "kept replaced " : "replaced ";
        installed[file] = temporary;
    }
    std::map<std::string, std::string> shown;
    for (const auto& [file, temporary] : installed) {
        const std::string& happened = story[temporary];
        shown[file] = happened.substr(0, happened.find_last_not_of(' ') + 1);
    }
    return shown;
}

size_t Flushes(const std::string& log) {
    const Files lines = Lines(log);
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& line) { return StartsWith(line, "fsync\t"); });
}

// "Complete" means on the disk: on G:, whose file system records what
// reaches it, every file is fsynced before the completion box, one that
// takes an earlier file's place before the rename over it and after that
// file got the second name it would be put back from; no flush comes after
// the box, and the install leaves its files and nothing of its own.
TEST_F(FaultTest, EveryFileIsOnTheDiskBeforeItReplacesOneAndBeforeTheBox) {
    if (!Exists("G:\\")) GTEST_SKIP() << "no recording disk at G: (run through run-faults.sh)";
    const std::string destination = "G:\\ZelOr", log = records + "\\written.log";
    const Files earlier = {"data\\a.txt", "zel_or.exe"};
    RemoveTree(destination);
    for (const std::string& file : earlier) PutEarlier(destination, file);
    DeleteFileW(Wide(log).c_str());
    DeleteFileW(Wide(scene.startRecord).c_str());
    Switch("row recorded", "");
    Job job;
    Installer installer("X:\\", &job);
    ASSERT_NO_FATAL_FAILURE(Extract(installer, destination));
    HWND box = WaitForWindow(shown::kCompletionCaption, installer.Id(), kRunBoundMs);
    ASSERT_NE(nullptr, box) << "no completion box";
    const std::string atBox = ReadFile(log);
    EXPECT_EQ(shown::kCompletion, MessageBoxText(box));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, installer.ExitCode(kStartedProgramBoundMs));
    EXPECT_EQ(kStartRecordLines, scene.WaitForStartRecord(kStartedProgramBoundMs).size()) << scene.ReadStartRecord();

    std::map<std::string, std::string> expected;
    for (const std::string& file : kCopyOrder) {
        expected[file] = Contains(earlier, file) ? "flushed kept replaced" : "flushed";
    }
    EXPECT_EQ(expected, Durability(atBox, earlier)) << "what reached G: before the box:\n" << atBox;
    const std::string atEnd = ReadFile(log);
    EXPECT_EQ(Flushes(atBox), Flushes(atEnd)) << "flushed after the box:\n" << atEnd.substr(atBox.size());

    Files all = kCopyOrder;
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, ListFiles(destination));
    EXPECT_FALSE(Exists(destination + "\\~hdwork")) << "the work folder was left";
    for (const std::string& file : kCopyOrder) {
        EXPECT_TRUE(ReadFile(destination + "\\" + file) == ReadFile(medium + "\\" + file)) << file << " differs";
    }
}

// A file larger than FAT32 holds (4 GiB less a byte), on a USB stick say,
// is refused before anything is written, naming the file and the limit,
// with the dialog given back for another destination: the field editable,
// the buttons enabled, the information text in the log again.
TEST_F(FaultTest, AFileLargerThanTheFatDestinationHoldsIsRefusedAndTheDialogGivenBack) {
    wchar_t fileSystem[32] = L"";
    GetVolumeInformationW(L"F:\\", nullptr, 0, nullptr, nullptr, nullptr, fileSystem, 32);
    ASSERT_EQ("FAT32", Narrow(fileSystem)) << "no FAT32 drive at F: (run-faults.sh maps it)";
    // Sparse: only its length is 4 GiB.
    const std::string huge = medium + "\\data\\huge.bin";
    HANDLE file = CreateFileW(Wide(huge).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    LARGE_INTEGER length;
    length.QuadPart = 1ll << 32;
    EXPECT_TRUE(SetFilePointerEx(file, length, nullptr, FILE_BEGIN) && SetEndOfFile(file)) << GetLastError();
    CloseHandle(file);

    // fusefat shows the volume's label as a file.
    const Files onF = ListFiles("F:\\");
    Switch("row a file over FAT32's limit", "");
    Job job;
    Installer installer("X:\\", &job);
    ASSERT_NE(nullptr, installer.dialog) << "the dialog did not appear within " << WindowTimeout() << " ms";
    SendMessageW(installer.Control(1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"F:\\ZelOr"));
    PostMessageW(installer.dialog, WM_COMMAND, IDOK, 0);
    HWND box = WaitForInstallerBox(installer.Id(), installer.dialog, kRunBoundMs);
    ASSERT_NE(nullptr, box) << "no box";
    EXPECT_EQ(shown::FileTooLarge("X:\\data\\huge.bin", "FAT32", "F:\\"), MessageBoxText(box));
    for (int id : {IDOK, IDCANCEL, 1001}) EXPECT_TRUE(IsWindowEnabled(installer.Control(id))) << id;
    EXPECT_FALSE(GetWindowLongW(installer.Control(1000), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(shown::kInformation, TextOf(installer.Control(1003)));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    // The destination in hand again, once the box has gone.
    GUITHREADINFO thread = {sizeof thread, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};
    for (int i = 0; i < 500 && (IsWindow(box) || thread.hwndFocus != installer.Control(1000)); ++i) {
        Sleep(10);
        GetGUIThreadInfo(installer.ThreadId(), &thread);
    }
    EXPECT_EQ(installer.Control(1000), thread.hwndFocus);
    EXPECT_EQ(onF, ListFiles("F:\\")) << "written to F:";
    SendMessageW(installer.Control(IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(2u, installer.ExitCode());
    DeleteFileW(Wide(huge).c_str());
}

// A medium of many small files. Beside each one's clusters the install
// counts what the file system spends on it (on T:, as Wine tells it: a
// record of 1 KB, and the entries of its name in its folder's index):
// with a cluster less than that, the room box comes before anything is
// written; with that much, the install completes.
TEST_F(FaultTest, ManySmallFilesAreCountedWithWhatEachTakesBesideItsData) {
    const int files = 300;
    RemoveTree(medium);
    MakeFolders(medium);
    CopyOneFile(OwnFolder() + "\\HD.EXE", medium + "\\HD.EXE");
    CopyOneFile(StartRecorderProgram(), medium + "\\zel_or.exe");
    ULONGLONG clusters = ClustersOnT(medium + "\\zel_or.exe");
    for (int i = 0; i < files; ++i) {
        const std::string name = medium + "\\many\\" + std::to_string(1000 + i) + ".txt";
        WriteFile(name, std::string(1 + 10 * i, 'm'));
        clusters += ClustersOnT(name);
    }
    const std::string destination = "T:\\ZelOr";
    // In "many", each name (8 units) and the temporary one (11) take an
    // index entry of 16 + 66 bytes and the name, 8-aligned, 104 bytes, and
    // one of 112 for the 8.3 name, twice over; the folder's first cluster
    // is counted with the folder.
    const ULONGLONG index = ClustersOnT((files + 1) * 2 * (104 + 112)) - ClusterOfT();
    const ULONGLONG required = clusters + BesideTheDataOnT(destination, files + 1, 1) + index;
    for (const ULONGLONG less : {ClusterOfT(), ULONGLONG{0}}) {
        RemoveTree(destination);
        Request("size " + std::to_string(ClustersOnT(required) - less));
        Switch("row many small files", "");
        Job job;
        HookedInstaller installer(job);
        ASSERT_NE(nullptr, installer.dialog) << "the dialog did not appear within " << WindowTimeout() << " ms";
        SendMessageW(installer.Control(1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(destination).c_str()));
        PostMessageW(installer.dialog, WM_COMMAND, IDOK, 0);
        Files errors;
        std::string completion;
        ASSERT_TRUE(installer.WaitForEnd(kRunBoundMs, [](const std::string&) { return IDCANCEL; }, errors, completion));
        EXPECT_EQ(1u, installer.ExitCode());
        EXPECT_EQ(job.WaitUntilEmpty(kStartedProgramBoundMs), "");
        if (less != 0) {
            EXPECT_EQ(Files{shown::NoRoom("T:\\", ByteSize(required), ByteSize(Available("T:\\")))}, errors);
            EXPECT_FALSE(Exists(destination)) << "written before the box";
        } else {
            EXPECT_EQ(Files{}, errors);
            EXPECT_EQ(shown::kCompletion, completion);
            EXPECT_EQ(static_cast<size_t>(files + 1), ListFiles(destination).size());
        }
    }
    RemoveTree(destination);
    Request("size 4m");
}

}  // namespace

// Drives the real HD.EXE from outside, as a user would: started from the root
// of drive N: (a medium laid out by run-end-to-end.sh), found by its caption,
// read and pressed through window messages, judged by its exit code and by
// what it left on disk. run-end-to-end.sh runs it under several ANSI code
// pages (HD_EXPECT_ACP names the one it must be); what HD.EXE shows, installs
// and starts must be the same under each.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <string>
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

// The full path of every module the process has loaded, in lower case.
std::vector<std::string> Modules(HANDLE process) {
    HMODULE modules[512];
    DWORD bytes = 0;
    std::vector<std::string> paths;
    if (!EnumProcessModules(process, modules, sizeof modules, &bytes)) return paths;
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameExW(process, modules[i], path, MAX_PATH);
        CharLowerW(path);
        paths.push_back(Narrow(path));
    }
    return paths;
}

// The program built like HD.EXE but without its manifest, beside this driver.
std::string ProgramWithoutManifest() { return OwnFolder() + "\\hd_without_manifest.exe"; }

// Every file of the medium at N: but its start-up files at the top, as paths
// relative to the medium, sorted.
std::vector<std::string> MediumFilesToInstall() {
    std::vector<std::string> files = ListFiles("N:");
    for (const char* startUp : {"HD.EXE", "autorun.inf", "start.exe"}) {
        files.erase(std::remove(files.begin(), files.end(), startUp), files.end());
    }
    return files;
}

// How many files the copy has logged so far: lines of the log once "Извлечь"
// has frozen the field and cleared the log, -1 before.
int LoggedFiles(const Installer& installer) {
    if (!(GetWindowLongW(installer.Control(1000), GWL_STYLE) & ES_READONLY)) return -1;
    const std::string log = TextOf(installer.Control(1003));
    // The field is frozen a moment before the log is cleared: the information
    // text's line breaks are no files.
    if (log == shown::kInformation) return -1;
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

// Waits until the copy has logged `lines` files (the log is handed over in
// batches, so the last may come with the completion box); false when the
// copy ended with fewer or the time ran out.
bool WaitUntilLogged(const Installer& installer, int lines) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 3 * WindowTimeout()) {
        if (LoggedFiles(installer) >= lines) return true;
        // The log is whole once the box is up: counted again, since the box
        // may have come just after the count.
        if (WaitForWindow(shown::kCompletionCaption, installer.Id(), 0) != nullptr) {
            return LoggedFiles(installer) >= lines;
        }
        Sleep(10);
    }
    return false;
}

// The dialog's thread handles its messages while the copy runs on another;
// a message posted once this many files are logged has surely been handled
// this many files later.
constexpr int kLinesBeforeInterrupting = 5;
constexpr int kFilesToHandleIt = 50;

// The message the install's thread posts to the dialog as it ends.
constexpr UINT kInstallEndedMessage = WM_APP + 2;

// `text` as it comes back from the ANSI code page: what a program that keeps
// it in that code page (with the system's best-fit conversion) ends up with.
std::string ThroughAnsiCodePage(const std::string& text) {
    const std::wstring wide = Wide(text);
    char ansi[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    wchar_t back[1024] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, 1024);
    return Narrow(back);
}

class EndToEndTest : public ::testing::Test {
protected:
    InstallScene scene{"end-to-end"};
    std::string defaultDestination = "C:\\ZelOr";

    void SetUp() override {
        if (!Exists("N:\\HD.EXE")) GTEST_SKIP() << "no medium at N: (run through run-end-to-end.sh)";
        const std::string expected = Environment("HD_EXPECT_ACP");
        if (!expected.empty()) {
            ASSERT_EQ(expected, std::to_string(GetACP())) << "the run's code page did not take";
        }
        RemoveTree(defaultDestination);
    }
    void TearDown() override { RemoveTree(defaultDestination); }

    // Types `destination` and presses Enter in the field; true once the copy
    // is under way.
    static bool StartCopy(const Installer& installer, const std::string& destination) {
        SendMessageW(installer.Control(1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(destination).c_str()));
        PostMessageA(installer.Control(1000), WM_KEYDOWN, VK_RETURN, 0);
        return WaitUntilLogged(installer, kLinesBeforeInterrupting);
    }
};

TEST_F(EndToEndTest, ShowsTheDialogCentredWithItsTextsAndFocus) {
    Installer installer("N:\\");
    ASSERT_NE(nullptr, installer.dialog);
    EXPECT_EQ(shown::kCaption, TextOf(installer.dialog));
    EXPECT_EQ(shown::kLabel, TextOf(FindWindowExW(installer.dialog, nullptr, L"Static", nullptr)));
    EXPECT_EQ(shown::kBrowse, TextOf(installer.Control(1001)));
    EXPECT_EQ(shown::kExtract, TextOf(installer.Control(IDOK)));
    EXPECT_EQ(shown::kCancel, TextOf(installer.Control(IDCANCEL)));
    EXPECT_EQ(shown::kInformation, TextOf(installer.Control(1003)));
    EXPECT_EQ(defaultDestination, TextOf(installer.Control(1000)));

    GUITHREADINFO focus = {};
    focus.cbSize = sizeof focus;
    GetGUIThreadInfo(GetWindowThreadProcessId(installer.dialog, nullptr), &focus);
    EXPECT_EQ(installer.Control(1000), focus.hwndFocus);

    RECT window, area;
    GetWindowRect(installer.dialog, &window);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_TRUE(window.left >= area.left && window.top >= area.top && window.right <= area.right &&
                window.bottom <= area.bottom);
    const int width = window.right - window.left, height = window.bottom - window.top;
    EXPECT_EQ((area.left + area.right) / 2 - width / 2, window.left);
    EXPECT_EQ((area.top + area.bottom) / 2 - height / 2, window.top);

    SendMessageA(installer.Control(IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(2u, installer.ExitCode());
}

// Visual styles are Common Controls 6, which Windows (and Wine) load from the
// side-by-side store for a process whose manifest asks for them, of the
// program's own architecture. The same program without the manifest still
// loads a comctl32.dll (it imports one), the classic one from system32.
TEST_F(EndToEndTest, TheManifestBindsTheStyledCommonControls) {
#ifdef _WIN64
    const std::string styled = "\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0.";
#else
    const std::string styled = "\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.";
#endif
    const struct {
        std::string program;
        bool manifest;
    } programs[] = {{"N:\\HD.EXE", true}, {ProgramWithoutManifest(), false}};
    for (const auto& program : programs) {
        Installer installer("N:\\", nullptr, program.program);
        ASSERT_NE(nullptr, installer.dialog) << program.program;
        int styledModules = 0, classicModules = 0;
        for (const std::string& path : Modules(installer.Handle())) {
            if (path.size() < 13 || path.compare(path.size() - 13, 13, "\\comctl32.dll") != 0) continue;
            if (path.find(styled) != std::string::npos) ++styledModules;
            if (path.find("\\system32\\comctl32.dll") != std::string::npos) ++classicModules;
        }
        EXPECT_EQ(program.manifest ? 1 : 0, styledModules) << program.program;
        EXPECT_EQ(program.manifest ? 0 : 1, classicModules) << program.program;
        SendMessageA(installer.Control(IDCANCEL), BM_CLICK, 0, 0);
        EXPECT_EQ(2u, installer.ExitCode()) << program.program;
    }
}

TEST_F(EndToEndTest, EveryWayOfCancellingExitsWithTwoAndWritesNothing) {
    struct Way {
        const char* name;
        void (*cancel)(const Installer&);
    };
    const Way ways[] = {
        {"Отмена", [](const Installer& i) { SendMessageA(i.Control(IDCANCEL), BM_CLICK, 0, 0); }},
        {"Escape", [](const Installer& i) { PostMessageA(i.Control(1000), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close box", [](const Installer& i) { PostMessageA(i.dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Way& way : ways) {
        Installer installer("N:\\");
        ASSERT_NE(nullptr, installer.dialog) << way.name;
        way.cancel(installer);
        EXPECT_EQ(2u, installer.ExitCode()) << way.name;
    }
    EXPECT_FALSE(Exists(defaultDestination));
    EXPECT_FALSE(Exists(scene.shortcut));
    EXPECT_FALSE(Exists(scene.startRecord));
}

TEST_F(EndToEndTest, EnterInstallsIntoTheTypedFolderAndStartsTheProgram) {
    Installer installer("N:\\");
    ASSERT_NE(nullptr, installer.dialog);
    // Letters that no one ANSI code page holds together, and a space; typed
    // with forward slashes and a separator too many, as Windows takes a path.
    // The log, the shortcut and the start have it with backslashes.
    const std::string destination = scene.scratch / "Jürgen\\Программы\\Zel Or";
    std::string typed = destination + "//";
    for (char& c : typed) c = c == '\\' ? '/' : c;
    ASSERT_TRUE(StartCopy(installer, typed)) << "the copy was not under way";
    // A cancel command during the copy (Wine's close box sends one even with
    // "Отмена" disabled) must neither end nor hide the dialog, even after
    // another process has posted the dialog's own "the install has ended".
    PostMessageA(installer.dialog, kInstallEndedMessage, 0, 0);
    PostMessageA(installer.dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntilLogged(installer, kLinesBeforeInterrupting + kFilesToHandleIt))
        << "the copy ended before the command was surely handled";
    EXPECT_TRUE(IsWindowVisible(installer.dialog));

    HWND box = WaitForWindow(shown::kCompletionCaption, installer.Id(), 3 * WindowTimeout());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(shown::kCompletion, MessageBoxText(box));

    // Frozen while the box is up: field read-only, every button disabled.
    EXPECT_TRUE(GetWindowLongW(installer.Control(1000), GWL_STYLE) & ES_READONLY);
    for (int id : {IDOK, IDCANCEL, 1001}) EXPECT_FALSE(IsWindowEnabled(installer.Control(id))) << id;
    // One log line per copied file, each the file's destination path.
    const std::vector<std::string> expected = MediumFilesToInstall();
    const std::string log = TextOf(installer.Control(1003));
    EXPECT_EQ(expected.size(), static_cast<size_t>(std::count(log.begin(), log.end(), '\n')));
    EXPECT_NE(std::string::npos, log.find(destination + "\\data\\deep\\readonly.txt\r\n"));

    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, installer.ExitCode());

    EXPECT_EQ(expected, ListFiles(destination));
    for (const std::string& file : expected) {
        EXPECT_TRUE(ReadFile("N:\\" + file) == ReadFile(destination + "\\" + file)) << file << " differs";
    }
    EXPECT_EQ(0u, Attributes(destination + "\\data\\deep\\readonly.txt") & FILE_ATTRIBUTE_READONLY);

    // Wine's link object keeps the target only in the ANSI code page, so
    // letters outside it arrive as what that code page makes of them; Windows'
    // keeps the target in UTF-16. The link's name is the file system's: whole.
    const std::string target = ThroughAnsiCodePage(destination + "\\zel_or.exe");
    const ShellLinkFields link = scene.ReadShortcut();
    EXPECT_TRUE(link.loaded);
    EXPECT_EQ(target, link.target);
    // For run-end-to-end.sh, which reads the link with lnkinfo: the link, and
    // the code page and the target it must show.
    const std::string keep = Environment("HD_KEEP_SHORTCUT");
    if (!keep.empty()) {
        EXPECT_TRUE(CopyOneFile(scene.shortcut, keep + ".lnk"));
        WriteFile(keep + ".expected", std::to_string(GetACP()) + "\n" + target + "\n");
    }

    // Wine runs every program elevated, so HD.EXE asks the desktop shell to
    // start the program: Explorer is its parent, it runs from the destination
    // in HD.EXE's current folder (the medium's root), shown normally. The
    // shell's start is not waited for.
    const std::vector<std::string> started = scene.WaitForStartRecord(10000);
    ASSERT_EQ(kStartRecordLines, started.size())
        << "waited 10 s for one start of the program; the record holds: " << scene.ReadStartRecord();
    EXPECT_EQ(destination + "\\zel_or.exe", started[0]);
    EXPECT_EQ("N:\\", started[2]);
    EXPECT_EQ("explorer.exe", BaseName(started[3]));
    EXPECT_EQ(std::to_string(SW_SHOWNORMAL), started[4]);
}

// A standard user may not write to the all-users desktop: the shortcut the
// completion box speaks of is then on the user's own.
TEST_F(EndToEndTest, TheShortcutGoesOnTheUsersDesktopWhereTheAllUsersOneTakesNone) {
    const std::string readOnly = Environment("HD_READ_ONLY_DESKTOP");
    if (readOnly.empty()) GTEST_SKIP() << "no read-only all-users desktop (run-end-to-end.sh mounts one as root)";
    WriteFile(readOnly + "\\probe.txt", "probe");
    ASSERT_FALSE(Exists(readOnly + "\\probe.txt")) << readOnly << " takes files";
    scene.SetCommonDesktop(readOnly);

    Installer installer("N:\\");
    ASSERT_NE(nullptr, installer.dialog);
    ASSERT_TRUE(StartCopy(installer, defaultDestination)) << "the copy was not under way";
    HWND box = WaitForWindow(shown::kCompletionCaption, installer.Id(), 3 * WindowTimeout());
    ASSERT_NE(nullptr, box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, installer.ExitCode());

    const ShellLinkFields link = scene.ReadShortcut(scene.userShortcut);
    EXPECT_TRUE(link.loaded) << scene.userShortcut;
    EXPECT_EQ(defaultDestination + "\\zel_or.exe", link.target);
    EXPECT_EQ("Орвента", link.description);
    // Started all the same; waited for, as it holds the destination.
    EXPECT_EQ(kStartRecordLines, scene.WaitForStartRecord(10000).size()) << scene.ReadStartRecord();
}

// Autorun starts HD.EXE at the root of the drive, but a user may start it
// from a command prompt elsewhere on that drive: the medium is still the
// drive's root, not the folder "N:" names then.
TEST_F(EndToEndTest, AMediumAtADriveRootIsThatRootWhateverTheCurrentFolder) {
    Installer installer("N:\\data\\", nullptr, "N:\\HD.EXE");
    ASSERT_NE(nullptr, installer.dialog);
    SendMessageW(installer.Control(1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"n:\\"));
    PostMessageW(installer.dialog, WM_COMMAND, IDOK, 0);
    HWND box = WaitForInstallerBox(installer.Id(), installer.dialog, WindowTimeout());
    ASSERT_NE(nullptr, box) << "no box refused the medium as its own destination";
    EXPECT_EQ(shown::kSameFolder, MessageBoxText(box));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    SendMessageA(installer.Control(IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(2u, installer.ExitCode());
}

// How far the copy has got, on the dialog's taskbar button, as the stand-in
// for the taskbar list registered for this run records it: a file where the
// copy must make the folder "docs" stops it with a box, and once the file is
// removed, Retry goes on. Meanwhile the taskbar is made anew, as when
// Explorer restarts, and the installer makes its list again.
TEST_F(EndToEndTest, TheTaskbarButtonShowsTheBytesCopiedAndTurnsRedWhileABoxWaits) {
    const TaskbarStandIn taskbar(scene.scratch / "taskbar.txt");
    ASSERT_EQ("", taskbar.Failure());
    const std::string destination = scene.scratch / "ZelOr";
    WriteFile(destination + "\\docs", "in the way");
    Installer installer("N:\\");
    ASSERT_NE(nullptr, installer.dialog);
    ASSERT_TRUE(StartCopy(installer, destination)) << "the copy was not under way";
    PostMessageW(installer.dialog, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);

    HWND box = nullptr;
    for (DWORD start = GetTickCount(); box == nullptr && GetTickCount() - start < 3 * WindowTimeout(); Sleep(10)) {
        HWND popup = GetLastActivePopup(installer.dialog);
        if (popup != installer.dialog && IsWindowVisible(popup)) box = popup;
    }
    ASSERT_NE(nullptr, box) << "no box for the file in the way";
    EXPECT_EQ(shown::FolderFailed(destination + "\\docs", "<reason>\r\n"), shown::MarkReason(MessageBoxText(box)));
    EXPECT_EQ("indeterminate normal error", taskbar.States()) << "while the box is up; " << taskbar.Diagnosis();
    DeleteFileW(Wide(destination + "\\docs").c_str());
    PostMessageW(box, WM_COMMAND, IDRETRY, 0);

    box = WaitForWindow(shown::kCompletionCaption, installer.Id(), 3 * WindowTimeout());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("indeterminate normal error normal none", taskbar.States()) << "by the completion box";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, installer.ExitCode());
    ULONGLONG total = 0;
    for (const std::string& file : MediumFilesToInstall()) total += ReadFile("N:\\" + file).size();
    EXPECT_EQ("", taskbar.Faults(installer.dialog, total));
    EXPECT_EQ(2, taskbar.Objects()) << "lists made";
    EXPECT_EQ(MediumFilesToInstall(), ListFiles(destination));
}

// An impatient user starts the installer again, or Windows XP does when the
// drive is double-clicked: the second one shows the first, which another
// window had covered, and ends with 2, writing nothing; the first goes on.
TEST_F(EndToEndTest, ASecondInstallerShowsTheFirstAndEndsWithTwo) {
    Installer installer("N:\\");
    ASSERT_NE(nullptr, installer.dialog);
    HWND other = CreateWindowExW(0, L"STATIC", L"другое окно", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(other, GetForegroundWindow()) << "the test's own window did not come to the front";
    {
        const StartedProcess second("N:\\HD.EXE", "", "N:\\");
        ASSERT_TRUE(second.Started()) << second.Failure();
        EXPECT_EQ(2u, second.ExitCode());
    }
    // Windows (and Wine) hand the foreground over asynchronously.
    for (int i = 0; i < 100 && GetForegroundWindow() != installer.dialog; ++i) Sleep(20);
    EXPECT_EQ(installer.dialog, GetForegroundWindow()) << "the first installer is not in front";
    DestroyWindow(other);
    EXPECT_FALSE(Exists(defaultDestination));

    ASSERT_TRUE(StartCopy(installer, defaultDestination)) << "the first installer did not go on";
    HWND box = WaitForWindow(shown::kCompletionCaption, installer.Id(), 3 * WindowTimeout());
    ASSERT_NE(nullptr, box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(1u, installer.ExitCode());
    EXPECT_EQ(MediumFilesToInstall(), ListFiles(defaultDestination));
}

// The first installer runs where the second cannot see its window: in
// another session, or with rights whose mutex this one may not open (here,
// one that no one may open). The second says so and ends with 2.
TEST_F(EndToEndTest, ASecondInstallerThatCannotReachTheFirstSaysItRunsAndEndsWithTwo) {
    SECURITY_DESCRIPTOR descriptor;
    ACL noAccess;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&noAccess, sizeof noAccess, ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &noAccess, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    // Per machine, as every session's installer names it.
    HANDLE first = CreateMutexW(&attributes, FALSE, L"Global\\Zelarit.Orventa.Installer");
    ASSERT_NE(nullptr, first) << GetLastError();
    {
        const StartedProcess second("N:\\HD.EXE", "", "N:\\");
        ASSERT_TRUE(second.Started()) << second.Failure();
        HWND box = WaitForWindow(shown::kCaption, second.Id());
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(nullptr, GetDlgItem(box, 1000)) << "the installer's dialog came up";
        EXPECT_EQ(shown::kAlreadyRunning, MessageBoxText(box));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(2u, second.ExitCode());
    }
    CloseHandle(first);
}

}  // namespace

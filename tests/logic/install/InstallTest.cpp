// RunInstall takes its source from the running program's own path, so each
// case copies this test program as HD.EXE into a prepared medium and runs it
// there with --medium-run; the child performs the install against a recording
// view and writes the calls it saw to a file, one per line.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shldisp.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/install/RunInstall.h"
#include "support/DialogTexts.h"
#include "support/FileTree.h"
#include "support/InstallScene.h"
#include "support/Processes.h"
#include "support/RecordingView.h"

namespace {

// One call per line in the record: line breaks inside a call are written as \r and \n.
std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// The child: `HD.EXE --medium-run <typed destination> <record file>
// [<answers> [<obstacle>]]`, its arguments read in UTF-16, as typed. The
// answers to the boxes that offer Retry, in order, one letter each: r for
// Retry, m to mend the fault first (remove the obstacle) and then Retry, c
// for Cancel, which is also the answer past the last letter.
int RunChild() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 4) return 3;
    const std::string answers = argc > 4 ? Narrow(argv[4]) : "";
    const std::string obstacle = argc > 5 ? Narrow(argv[5]) : "";
    CoInitialize(nullptr);
    RecordingView view;
    view.destination = Narrow(argv[2]);
    view.onAsk = [&](int asked) {
        const char answer = asked <= static_cast<int>(answers.size()) ? answers[asked - 1] : 'c';
        if (answer == 'm') RemoveTree(obstacle);
        return answer != 'c';
    };
    RunInstall(view);
    CoUninitialize();
    std::string record;
    for (const std::string& call : view.Steps()) record += Escaped(shown::MarkReason(call)) + "\n";
    record += "log " + std::to_string(std::count(view.log.begin(), view.log.end(), '\n')) + "\n";
    record += "progress " + view.Progress() + "\n";
    WriteFile(Narrow(argv[3]), record);
    LocalFree(argv);
    return 0;
}

// How the child meets the start of the installed program. Wine gives every
// program an elevated token, with a limited one linked to it, as Windows gives
// an administrator who confirmed the elevation prompt.
struct Way {
    const char* name;
    bool limitedToken;    // the child runs with the linked, limited token instead
    bool shellCannot;     // the shell's automation interface is unregistered for the run
    bool throughShell;    // so the desktop shell starts the program, not HD.EXE itself
};
const Way kElevated = {"elevated: the desktop shell starts it", false, false, true};
const Way kNotElevated = {"not elevated: HD.EXE starts it", true, false, false};
// Without its registration COM cannot carry IShellDispatch2 out of Explorer's
// process: the chain breaks at its fourth step, as on a Windows stripped of the
// shell's automation. (Taking CLSID_ShellWindows' registration away breaks
// nothing under Wine: COM finds the window list that Explorer has registered
// while it runs.)
const Way kShellCannot = {"elevated, the shell cannot start it: HD.EXE starts it", false, true, false};

std::string GuidText(REFGUID guid) {
    wchar_t text[40] = L"";
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

class InstallTest : public ::testing::Test {
protected:
    InstallScene scene{"install"};
    std::string medium = scene.scratch / "cd";

    void SetUp() override {
        PlaceMedium(medium);
        WriteFile(medium + "\\data\\readme.txt", "readme");
    }

    // Makes `folder` the medium the install runs from: this program as its
    // HD.EXE, beside an autorun description.
    void PlaceMedium(const std::string& folder) {
        medium = folder;
        MakeFolders(medium);
        ASSERT_TRUE(CopyOneFile(OwnPath(), medium + "\\HD.EXE"))
            << medium.size() << " characters: " << GetLastError();
        WriteFile(medium + "\\autorun.inf", "[autorun]");
    }

    // The stand-in main program, on the medium under `name`.
    void PutMainProgram(const std::string& name = "zel_or.exe") {
        const std::string recorder = StartRecorderProgram();
        ASSERT_TRUE(CopyOneFile(recorder, medium + "\\" + name))
            << recorder << ": " << GetLastError();
    }

    // Runs the install from the medium; returns the recorded view calls. Returns
    // once the child and every program it started itself have ended: they all
    // run in one job, which a program it starts joins with it. A program the
    // desktop shell starts is Explorer's child and outside the job: its record
    // has to be waited for. Unless told otherwise the child is not elevated and
    // starts the program itself, so that its record is complete here, and a
    // run that starts nothing is seen not to.
    std::vector<std::string> Install(const std::string& typedDestination, const Way& way = kNotElevated,
                                     const std::string& answers = "", const std::string& obstacle = "") {
        const std::string record = scene.scratch / "calls.txt";
        const std::string arguments = " --medium-run \"" + typedDestination + "\" \"" + record + "\" \"" + answers +
                                      "\" \"" + obstacle + "\"";
        const LimitedToken limited;
        if (way.limitedToken) {
            EXPECT_EQ("not elevated", limited.Elevation()) << way.name;
        }
        std::optional<UnregisteredInterface> unregistered;
        if (way.shellCannot) {
            unregistered.emplace(GuidText(IID_IShellDispatch2));
            EXPECT_EQ("", unregistered->Failure()) << way.name;
        }
        Job job;
        const StartedProcess child(medium + "\\HD.EXE", arguments, nullptr, &job,
                                   way.limitedToken ? limited.Handle() : nullptr);
        EXPECT_TRUE(child.Started()) << child.Failure();
        EXPECT_EQ(0u, child.ExitCode(60000));
        EXPECT_EQ("", job.WaitUntilEmpty(10000)) << "a started program did not end within 10 s";
        return Lines(ReadFile(record));
    }

    static std::string CompletionStep() {
        return Escaped(std::string("ShowMessage ") + shown::kCompletionCaption + "|" + shown::kCompletion);
    }

    // The progress once `copied` of the medium's files are: their bytes of
    // all the bytes the install copies (every file but HD.EXE and autorun.inf).
    std::string Progress(const std::vector<std::string>& copied) const {
        ULONGLONG bytes = 0, total = 0;
        for (const std::string& file : ListFiles(medium)) {
            const ULONGLONG size = ReadFile(medium + "\\" + file).size();
            if (file != "HD.EXE" && file != "autorun.inf") total += size;
            if (std::find(copied.begin(), copied.end(), file) != copied.end()) bytes += size;
        }
        return std::to_string(bytes) + " of " + std::to_string(total);
    }

    // The steps of an install that asks `boxes` (texts) on the way, and the
    // progress it ends at ("none" when the copy never started).
    std::vector<std::string> ExpectedSteps(bool withMessage, int logLines, const std::string& progress,
                                           const std::vector<std::string>& boxes = {}) const {
        std::vector<std::string> steps = {"ReadDestination", "SetDestinationReadOnly",
                                          "DisableButton 1", "DisableButton 2", "DisableButton 1001",
                                          "ClearLog", "StartProgress"};
        for (const std::string& box : boxes) steps.push_back(Escaped("AskRetry " + std::string(shown::kCaption) + "|" + box));
        steps.push_back("EndProgress");
        if (withMessage) steps.push_back(CompletionStep());
        steps.push_back("EndWithResult 1");
        steps.push_back("log " + std::to_string(logLines));
        steps.push_back("progress " + progress);
        return steps;
    }
};

TEST_F(InstallTest, CopiesIntoTheTrimmedDestinationLinksAndStartsTheProgram) {
    PutMainProgram();
    const std::string destination = scene.scratch / "Program Files\\Zel Or";
    const std::string program = destination + "\\zel_or.exe";
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);

    // Where Shell Folders names no all-users desktop, the system does.
    wchar_t common[MAX_PATH] = L"";
    ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, common));
    const std::string systemShortcut = Narrow(common) + "\\Орвента.lnk";

    // Typed with forward slashes and a separator too many, as Windows takes a path.
    std::string slashed = destination + "//";
    for (char& c : slashed) c = c == '\\' ? '/' : c;
    const struct {
        const Way& way;
        std::string typed;
        std::string commonDesktop;  // the "Common Desktop" value; "" for none
        std::string shortcut;       // where the shortcut must be, and nowhere else
    } runs[] = {
        // The shell's start first: one it made late would show in the next record.
        {kElevated, "  " + destination + "  ", scene.desktop, scene.shortcut},
        // A standard user, who cannot save on the all-users desktop (here:
        // it is missing): on the user's own.
        {kNotElevated, slashed, scene.scratch / "no such desktop", scene.userShortcut},
        // Trailing spaces and dots of every folder go, as Windows drops them
        // from the last one: "Program Files . " would be made "Program
        // Files", and then not be found.
        {kShellCannot, "  " + scene.scratch / "Program Files . \\Zel Or..  ", "", systemShortcut},
    };
    for (const auto& run : runs) {
        const Way& way = run.way;
        SCOPED_TRACE(way.name);
        for (const std::string& left : {scene.shortcut, scene.userShortcut, systemShortcut, scene.startRecord}) {
            DeleteFileW(Wide(left).c_str());
        }
        RemoveTree(destination);
        scene.SetCommonDesktop(run.commonDesktop);

        const std::vector<std::string> installed = {"data\\readme.txt", "zel_or.exe"};
        EXPECT_EQ(ExpectedSteps(true, 2, Progress(installed)), Install(run.typed, way)) << run.typed;

        EXPECT_EQ(installed, ListFiles(destination));
        const std::vector<std::string> beside = {"Zel Or\\data\\readme.txt", "Zel Or\\zel_or.exe"};
        EXPECT_EQ(beside, ListFiles(scene.scratch / "Program Files")) << "written beside the destination";

        for (const std::string& place : {scene.shortcut, scene.userShortcut, systemShortcut}) {
            EXPECT_EQ(place == run.shortcut, Exists(place)) << place;
        }
        const ShellLinkFields link = scene.ReadShortcut(run.shortcut);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(program, link.target);
        EXPECT_EQ("Орвента", link.description);

        // Started once, from the destination, by its quoted path alone, in the
        // installer's current folder, shown normally: by the desktop shell when
        // the installer is elevated, else by the installer itself.
        const std::vector<std::string> started = scene.WaitForStartRecord(10000);
        if (started.size() != kStartRecordLines) {
            ADD_FAILURE() << "not started once within 10 s; the record holds: " << scene.ReadStartRecord();
            continue;
        }
        EXPECT_EQ(program, started[0]);
        EXPECT_EQ("\"" + program + "\"", started[1]);
        EXPECT_EQ(Narrow(current), started[2]);
        if (way.throughShell) {
            EXPECT_EQ("explorer.exe", BaseName(started[3]));
        } else {
            EXPECT_EQ(medium + "\\HD.EXE", started[3]);
        }
        EXPECT_EQ(std::to_string(SW_SHOWNORMAL), started[4]);
    }
    DeleteFileW(Wide(systemShortcut).c_str());
}

TEST_F(InstallTest, WithoutTheMainProgramThereIsNeitherShortcutNorStart) {
    const std::string destination = scene.scratch / "dest";
    EXPECT_EQ(ExpectedSteps(true, 1, Progress({"data\\readme.txt"})), Install(destination));
    EXPECT_EQ(std::vector<std::string>{"data\\readme.txt"}, ListFiles(destination));
    EXPECT_FALSE(Exists(scene.shortcut));
    EXPECT_FALSE(Exists(scene.startRecord));
}

// What an installer that was ended kept aside is put back before the copy
// writes anything, and its work folder goes: an earlier file the disc does
// not have comes back, one it has is then copied over as any earlier file.
TEST_F(InstallTest, WhatAnEndedInstallerKeptIsPutBackBeforeTheCopy) {
    const std::string destination = scene.scratch / "dest";
    const std::string work = destination + "\\~hdwork";
    WriteFile(destination + "\\data\\readme.txt", "the ended install's readme");
    WriteFile(destination + "\\old.txt", "the ended install's old.txt");
    WriteFile(work + "\\k0", "the earlier readme");
    WriteFile(work + "\\k1", "the earlier old.txt");
    const std::wstring list = L"\xFEFFHD.EXE kept files\r\n0\t20\tdata\\readme.txt\r\n1\t20\told.txt\r\n";
    WriteFile(work + "\\list", std::string(reinterpret_cast<const char*>(list.data()), list.size() * 2));

    EXPECT_EQ(ExpectedSteps(true, 1, Progress({"data\\readme.txt"})), Install(destination));
    EXPECT_EQ((std::vector<std::string>{"data\\readme.txt", "old.txt"}), ListFiles(destination));
    EXPECT_EQ("readme", ReadFile(destination + "\\data\\readme.txt"));
    EXPECT_EQ("the earlier old.txt", ReadFile(destination + "\\old.txt"));
}

// A file that cannot be copied is asked about: Retry repeats it as often as
// the user likes, and once the fault is mended the install completes with
// the file logged once; Cancel ends the install with nothing started, not
// even an earlier installation's program.
TEST_F(InstallTest, AFailedCopyIsRetriedUntilItCopiesOrTheUserCancels) {
    PutMainProgram();
    const std::string destination = scene.scratch / "dest";
    // "data" is listed before "zel_or.exe": its file cannot be copied onto a folder.
    const std::string obstacle = destination + "\\data\\readme.txt";
    const std::string box = shown::CopyFailed(medium + "\\data\\readme.txt", obstacle, "<reason>\r\n");
    const struct {
        const char* answers;
        std::vector<std::string> steps;
        std::vector<std::string> installed;  // besides the earlier zel_or.exe, when cancelled
    } cases[] = {
        // Its bytes were written, then it could not be put in place: the
        // progress never goes back.
        {"c", ExpectedSteps(false, 0, Progress({"data\\readme.txt"}), {box}), {}},
        {"rrc", ExpectedSteps(false, 0, Progress({"data\\readme.txt"}), {box, box, box}), {}},
        {"rm", ExpectedSteps(true, 2, Progress({"data\\readme.txt", "zel_or.exe"}), {box, box}),
         {"data\\readme.txt", "zel_or.exe"}},
    };
    for (const auto& c : cases) {
        RemoveTree(destination);
        MakeFolders(obstacle);
        const bool completes = !c.installed.empty();
        if (!completes) WriteFile(destination + "\\zel_or.exe", "an earlier installation's");
        DeleteFileW(Wide(scene.shortcut).c_str());
        DeleteFileW(Wide(scene.startRecord).c_str());

        EXPECT_EQ(c.steps, Install(destination, kNotElevated, c.answers, obstacle)) << c.answers;
        if (completes) {
            EXPECT_EQ(c.installed, ListFiles(destination)) << c.answers;
            EXPECT_EQ(destination + "\\zel_or.exe", scene.ReadShortcut().target) << c.answers;
            EXPECT_EQ(0u, scene.ReadStartRecord().find(destination + "\\zel_or.exe\n")) << c.answers;
        } else {
            EXPECT_EQ("an earlier installation's", ReadFile(destination + "\\zel_or.exe")) << c.answers;
            EXPECT_FALSE(Exists(scene.shortcut)) << c.answers;
            EXPECT_FALSE(Exists(scene.startRecord)) << c.answers;
        }
    }
}

// A drive letter that names no drive here, in lower case.
std::string UnseenDrive() {
    for (char letter = 'z'; letter >= 'd'; --letter) {
        if (GetDriveTypeW(Wide(std::string(1, letter) + ":\\").c_str()) == DRIVE_NO_ROOT_DIR) {
            return std::string(1, letter) + ":";
        }
    }
    return "<none>";
}

TEST_F(InstallTest, ADestinationThatCannotBeInstalledIsRefusedBeforeAnythingChanges) {
    PutMainProgram();
    const std::string longest = scene.scratch / std::string(258 - scene.scratch.Path().size() - 1, 'f');
    const std::string unseen = UnseenDrive();
    ASSERT_NE("<none>", unseen);
    std::string upper = unseen;
    upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
    const struct {
        std::string typed;
        std::string message;
    } cases[] = {
        {"", shown::kEmptyDestination},
        {"   ", shown::kEmptyDestination},
        // Relative to the installer's current folder (the disc, when autorun
        // started it), to the current drive, to a drive's current folder.
        {"ZelOr", shown::kNotFullPath},
        {"..\\ZelOr", shown::kNotFullPath},
        {"\\ZelOr", shown::kNotFullPath},
        {"C:ZelOr", shown::kNotFullPath},
        // A folder of nothing but spaces and dots.
        {scene.scratch / " . \\ZelOr", shown::kNotFullPath},
        // A device's name, as typed, at any depth.
        {scene.scratch / "ZelOr\\NUL", shown::ReservedName("NUL")},
        {scene.scratch / "Com1.txt \\ZelOr", shown::ReservedName("Com1.txt ")},
        // A character no folder name may hold; a control character by its code.
        {scene.scratch / "Zel*Or", shown::ForbiddenCharacter("*")},
        {scene.scratch / "Games\\Zel:Or", shown::ForbiddenCharacter(":")},
        {scene.scratch / "Zel\tOr", shown::ControlCharacter("9")},
        // Deeper than Windows makes a folder, and not there.
        {scene.scratch / std::string(247 - scene.scratch.Path().size(), 'n'), shown::kTooLong},
        // A drive this installer does not see, such as a network drive
        // mapped in the user's session only.
        {unseen + "\\ZelOr", shown::DriveUnavailable(upper)},
        // 259 units: longer than the field takes, so put there, not typed.
        {"C:\\" + std::string(256, 'z'), shown::kTooLong},
        // 258 units are taken: a file there is in the way.
        {longest, shown::kFileInTheWay},
        {scene.scratch / "a file", shown::kFileInTheWay},
        // The medium's own folder, however it is spelled.
        {medium, shown::kSameFolder},
        {" " + medium + "\\.\\", shown::kSameFolder},
    };
    WriteFile(scene.scratch / "a file", "not a folder");
    WriteFile(longest, "not a folder");
    for (const auto& c : cases) {
        const std::vector<std::string> refused = {
            "ReadDestination", Escaped(std::string("ShowMessage ") + shown::kCaption + "|" + c.message), "log 0",
            "progress none"};
        EXPECT_EQ(refused, Install(c.typed)) << "typed \"" << c.typed << "\"";
    }
    EXPECT_EQ((std::vector<std::string>{"HD.EXE", "autorun.inf", "data\\readme.txt", "zel_or.exe"}), ListFiles(medium));
    EXPECT_FALSE(Exists(scene.scratch / "ZelOr"));
    // The child ran in this program's current folder.
    for (const char* relative : {"ZelOr", "..\\ZelOr", "\\ZelOr"}) EXPECT_FALSE(Exists(relative)) << relative;
    EXPECT_FALSE(Exists(scene.shortcut));
    EXPECT_FALSE(Exists(scene.startRecord));
}

// The walk of the medium shows its deepest folder and file: a destination
// too long for them (247 units for a folder the copy makes, 259 for a file)
// is refused before anything is written, saying how long a one the medium
// allows, and the dialog is given back. A folder that is there already is
// taken however deep it is (Windows makes none so deep; Wine does).
TEST_F(InstallTest, ADestinationTooLongForTheMediumsDeepestPathIsRefusedBeforeTheCopy) {
    const std::string folder(100, 'd'), file(150, 'e');
    const struct {
        std::string deepest;  // below the medium
        size_t destination;   // the typed destination's length
        int allowed;          // 0: installed
        bool there;           // the deep folder is at the destination already
    } cases[] = {
        {folder + "\\f.txt", 147, 146, false}, {folder + "\\f.txt", 146, 0, false},
        {folder + "\\f.txt", 147, 0, true},    {file, 109, 108, false},
        {file, 108, 0, false},
    };
    for (const auto& c : cases) {
        RemoveTree(medium + "\\" + folder);
        DeleteFileW(Wide(medium + "\\" + file).c_str());
        WriteFile(medium + "\\" + c.deepest, "deep");
        const std::string destination = scene.scratch / std::string(c.destination - scene.scratch.Path().size() - 1, 'p');
        RemoveTree(destination);
        if (c.there) MakeFolders(destination + "\\" + folder);
        const std::vector<std::string> installed = {"data\\readme.txt", c.deepest};
        std::vector<std::string> expected = ExpectedSteps(true, 2, Progress(installed));
        if (c.allowed != 0) {
            expected = {"ReadDestination", "SetDestinationReadOnly", "DisableButton 1", "DisableButton 2",
                        "DisableButton 1001", "ClearLog", "StartProgress", "EndProgress", "Thaw",
                        Escaped(std::string("ShowMessage ") + shown::kCaption + "|" + shown::TooDeep(c.allowed)),
                        "log 0", "progress none"};
        }
        EXPECT_EQ(expected, Install(destination)) << c.deepest.size() << " below, " << c.destination;
        EXPECT_EQ(c.allowed == 0 ? installed : std::vector<std::string>{}, ListFiles(destination))
            << c.deepest.size() << " below, " << c.destination;
    }
}

TEST_F(InstallTest, AMainProgramPathOver259CharactersIsNeitherLinkedNorStarted) {
    // The medium holds only a program named "zel_or.ex". Copied into a
    // 249-character destination its path has 259 characters and fits, so the
    // copy succeeds; "<destination>\zel_or.exe" has 260 and does not fit. Cut
    // short to 259 characters it would name the copied "zel_or.ex", which starts.
    // Windows makes no folder of 249 characters; Wine does, and the installer
    // copies into one that is there.
    RemoveTree(medium + "\\data");
    PutMainProgram("zel_or.ex");
    const std::string destination = scene.scratch / std::string(248 - scene.scratch.Path().size(), 'd');
    ASSERT_EQ(249u, destination.size());
    MakeFolders(destination);

    EXPECT_EQ(ExpectedSteps(true, 1, Progress({"zel_or.ex"})), Install(destination));
    EXPECT_EQ(std::vector<std::string>{"zel_or.ex"}, ListFiles(destination));
    EXPECT_FALSE(Exists(scene.shortcut));
    EXPECT_FALSE(Exists(scene.startRecord));
}

TEST_F(InstallTest, AnOwnPathOver258CharactersIsAFailedCopy) {
    // HD.EXE's path is 258 or 259 characters long, its folder one long name.
    // The installer reads its own path into 259 bytes: 259 characters come
    // back cut short, and the copy must not go ahead from a guessed folder.
    const struct {
        size_t ownPath;
        bool copied;
    } cases[] = {{258, true}, {259, false}};
    for (const auto& c : cases) {
        const size_t nameLength = c.ownPath - scene.scratch.Path().size() - 1 - std::string("\\HD.EXE").size();
        PlaceMedium(scene.scratch / std::string(nameLength, 'm'));
        ASSERT_EQ(c.ownPath, (medium + "\\HD.EXE").size());
        WriteFile(medium + "\\r.txt", "r");
        const std::string destination = scene.scratch / ("dest" + std::to_string(c.ownPath));

        EXPECT_EQ(ExpectedSteps(c.copied, c.copied ? 1 : 0, c.copied ? Progress({"r.txt"}) : "none"),
                  Install(destination))
            << c.ownPath;
        EXPECT_EQ(c.copied ? std::vector<std::string>{"r.txt"} : std::vector<std::string>{},
                  ListFiles(destination))
            << c.ownPath;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--medium-run") return RunChild();
    // Wine starts its desktop process for the first program that asks for the
    // desktop. Asked for here, before any job exists, it does not become part
    // of the first install's job and keep that job busy for good.
    GetDesktopWindow();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// RunInstall takes its source from the running program's own path, so each
// case copies this test program as HD.EXE into a prepared medium and runs it
// there with --medium-run; the child performs the install against a recording
// view and writes the calls it saw to a file, one per line.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/Install.h"
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

// The child: `HD.EXE --medium-run <typed destination> <record file>`, its
// arguments read in UTF-16, as typed.
int RunChild() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 4) return 3;
    CoInitialize(nullptr);
    RecordingView view;
    view.destination = Narrow(argv[2]);
    RunInstall(view);
    CoUninitialize();
    std::string record;
    for (const std::string& call : view.Steps()) record += Escaped(call) + "\n";
    record += "log " + std::to_string(std::count(view.log.begin(), view.log.end(), '\n')) + "\n";
    WriteFile(Narrow(argv[3]), record);
    LocalFree(argv);
    return 0;
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
    // once the child and every program it started have ended: they all run in
    // one job, which a started program joins with its parent. So a started
    // program's record is complete here, and a run that starts nothing does not
    // wait for one.
    std::vector<std::string> Install(const std::string& typedDestination) {
        const std::string record = scene.scratch / "calls.txt";
        const std::string arguments = " --medium-run \"" + typedDestination + "\" \"" + record + "\"";
        Job job;
        const StartedProcess child(medium + "\\HD.EXE", arguments, nullptr, &job);
        EXPECT_TRUE(child.Started()) << child.Failure();
        EXPECT_EQ(0u, child.ExitCode(60000));
        EXPECT_EQ("", job.WaitUntilEmpty(10000)) << "a started program did not end within 10 s";
        return Lines(ReadFile(record));
    }

    static std::string CompletionStep() {
        return Escaped(std::string("ShowMessage ") + shown::kCompletionCaption + "|" + shown::kCompletion);
    }

    std::vector<std::string> ExpectedSteps(bool withMessage, int logLines) const {
        std::vector<std::string> steps = {"ReadDestination", "SetDestinationReadOnly",
                                          "DisableButton 1", "DisableButton 2", "DisableButton 1001",
                                          "ClearLog"};
        if (withMessage) steps.push_back(CompletionStep());
        steps.push_back("EndWithResult 1");
        steps.push_back("log " + std::to_string(logLines));
        return steps;
    }
};

TEST_F(InstallTest, CopiesIntoTheTrimmedDestinationLinksAndStartsTheProgram) {
    PutMainProgram();
    const std::string destination = scene.scratch / "Program Files\\Zel Or";

    EXPECT_EQ(ExpectedSteps(true, 2), Install("  " + destination + "  "));

    const std::vector<std::string> installed = {"data\\readme.txt", "zel_or.exe"};
    EXPECT_EQ(installed, ListFiles(destination));

    const ShellLinkFields link = scene.ReadShortcut();
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(destination + "\\zel_or.exe", link.target);
    EXPECT_EQ("Орвента", link.description);

    // Started once, from the destination, by its quoted path, with the
    // installer's current folder, shown normally, by the installer itself.
    const std::vector<std::string> started = Lines(scene.ReadStartRecord());
    ASSERT_EQ(kStartRecordLines, started.size()) << scene.ReadStartRecord();
    EXPECT_EQ(destination + "\\zel_or.exe", started[0]);
    EXPECT_EQ("\"" + destination + "\\zel_or.exe\"", started[1]);
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(Narrow(current), started[2]);
    EXPECT_EQ(medium + "\\HD.EXE", started[3]);
    EXPECT_EQ(std::to_string(SW_SHOWNORMAL), started[4]);
}

TEST_F(InstallTest, WithoutTheMainProgramThereIsNeitherShortcutNorStart) {
    const std::string destination = scene.scratch / "dest";
    EXPECT_EQ(ExpectedSteps(true, 1), Install(destination));
    EXPECT_EQ(std::vector<std::string>{"data\\readme.txt"}, ListFiles(destination));
    EXPECT_FALSE(Exists(scene.shortcut));
    EXPECT_FALSE(Exists(scene.startRecord));
}

TEST_F(InstallTest, AFailedCopyShowsNoMessageAndEndsWithOne) {
    PutMainProgram();
    const std::string destination = scene.scratch / "dest";
    // "data" is listed before "zel_or.exe": its file cannot be copied onto a folder.
    MakeFolders(destination + "\\data\\readme.txt");

    EXPECT_EQ(ExpectedSteps(false, 0), Install(destination));
    EXPECT_FALSE(Exists(destination + "\\zel_or.exe"));
    EXPECT_FALSE(Exists(scene.shortcut));
    EXPECT_FALSE(Exists(scene.startRecord));
}

TEST_F(InstallTest, AnEmptyDestinationIsRefusedBeforeAnythingChanges) {
    PutMainProgram();
    for (const char* typed : {"", "   "}) {
        const std::vector<std::string> refused = {
            "ReadDestination",
            std::string("ShowMessage ") + shown::kCaption + "|Укажите папку назначения.", "log 0"};
        EXPECT_EQ(refused, Install(typed)) << "typed \"" << typed << "\"";
    }
    EXPECT_FALSE(Exists(scene.shortcut));
    EXPECT_FALSE(Exists(scene.startRecord));
}

TEST_F(InstallTest, AMainProgramPathOver259CharactersIsNeitherLinkedNorStarted) {
    // The medium holds only a program named "zel_or.ex". Copied into a
    // 249-character destination its path has 259 characters and fits, so the
    // copy succeeds; "<destination>\zel_or.exe" has 260 and does not fit. Cut
    // short to 259 characters it would name the copied "zel_or.ex", which starts.
    RemoveTree(medium + "\\data");
    PutMainProgram("zel_or.ex");
    const std::string destination = scene.scratch / std::string(248 - scene.scratch.Path().size(), 'd');
    ASSERT_EQ(249u, destination.size());

    EXPECT_EQ(ExpectedSteps(true, 1), Install(destination));
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

        EXPECT_EQ(ExpectedSteps(c.copied, c.copied ? 1 : 0), Install(destination)) << c.ownPath;
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

// RunInstall takes its source from the running program's own path, so each
// case copies this test program as HD.EXE into a prepared medium and runs it
// there with --medium-run; the child performs the install against a recording
// view and writes the calls it saw to a file, one per line.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/Install.h"
#include "support/FileTree.h"
#include "support/RecordingView.h"
#include "support/Registry.h"
#include "support/ShellLinkReader.h"

namespace {

std::string OwnPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

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

int RunChild(int argc, char** argv) {
    if (argc < 4) return 3;
    CoInitialize(nullptr);
    RecordingView view;
    view.destination = argv[2];
    RunInstall(view);
    CoUninitialize();
    std::string record;
    for (const std::string& call : view.Steps()) record += Escaped(call) + "\n";
    record += "log " + std::to_string(std::count(view.log.begin(), view.log.end(), '\n')) + "\n";
    WriteFile(argv[3], record);
    return 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

class InstallTest : public ::testing::Test {
protected:
    ScratchFolder scratch{"install"};
    std::string medium = scratch / "cd";
    std::string desktop = scratch / "Общий стол";
    std::string startRecord = scratch / "started.txt";
    CommonDesktopValue desktopValue;

    void SetUp() override {
        desktopValue.SetText(desktop);
        MakeFolders(desktop);
        MakeFolders(medium);
        ASSERT_TRUE(CopyFileA(OwnPath().c_str(), (medium + "\\HD.EXE").c_str(), FALSE))
            << GetLastError();
        WriteFile(medium + "\\autorun.inf", "[autorun]");
        WriteFile(medium + "\\data\\readme.txt", "readme");
        SetEnvironmentVariableA("HD_START_RECORD", startRecord.c_str());
    }

    void PutMainProgram() {
        const std::string recorder = FolderOf(OwnPath()) + "\\start_recorder.exe";
        ASSERT_TRUE(CopyFileA(recorder.c_str(), (medium + "\\zel_or.exe").c_str(), FALSE))
            << recorder << ": " << GetLastError();
    }

    // Runs the install from the medium; returns the recorded view calls.
    std::vector<std::string> Install(const std::string& typedDestination) {
        const std::string record = scratch / "calls.txt";
        std::string command = "\"" + medium + "\\HD.EXE\" --medium-run \"" + typedDestination + "\" \"" +
                              record + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process))
            << GetLastError();
        WaitForSingleObject(process.hProcess, 60000);
        DWORD exitCode = 99;
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(0u, exitCode);
        // The started program runs on its own; give it a moment to leave its record.
        for (int i = 0; i < 100 && Exists(startRecord) && ReadFile(startRecord).empty(); ++i) Sleep(50);
        return Lines(ReadFile(record));
    }

    std::string CompletionStep() const {
        return Escaped("ShowMessage Работа завершена|Установка программы Зеларит:Орвента "
                       "завершена\r\n\r\nДля запуска используйте ярлык на рабочем столе или "
                       "файл zel_or.exe, находящийся в папке назначения.");
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
    const std::string destination = scratch / "Program Files\\Zel Or";

    EXPECT_EQ(ExpectedSteps(true, 2), Install("  " + destination + "  "));

    const std::vector<std::string> installed = {"data\\readme.txt", "zel_or.exe"};
    EXPECT_EQ(installed, ListFiles(destination));

    CoInitialize(nullptr);
    const ShellLinkFields link = ReadShellLink(desktop + "\\Орвента.lnk");
    CoUninitialize();
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(destination + "\\zel_or.exe", link.target);
    EXPECT_EQ("Орвента", link.description);

    // Started from the destination, by its quoted path, with the installer's
    // current folder.
    const std::vector<std::string> started = Lines(ReadFile(startRecord));
    ASSERT_EQ(3u, started.size()) << ReadFile(startRecord);
    EXPECT_EQ(destination + "\\zel_or.exe", started[0]);
    EXPECT_EQ("\"" + destination + "\\zel_or.exe\"", started[1].substr(0, destination.size() + 13));
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(std::string(current), started[2]);
}

TEST_F(InstallTest, WithoutTheMainProgramThereIsNeitherShortcutNorStart) {
    const std::string destination = scratch / "dest";
    EXPECT_EQ(ExpectedSteps(true, 1), Install(destination));
    EXPECT_EQ(std::vector<std::string>{"data\\readme.txt"}, ListFiles(destination));
    EXPECT_FALSE(Exists(desktop + "\\Орвента.lnk"));
    EXPECT_FALSE(Exists(startRecord));
}

TEST_F(InstallTest, AFailedCopyShowsNoMessageAndEndsWithOne) {
    PutMainProgram();
    const std::string destination = scratch / "dest";
    // "data" is listed before "zel_or.exe": its file cannot be copied onto a folder.
    MakeFolders(destination + "\\data\\readme.txt");

    EXPECT_EQ(ExpectedSteps(false, 0), Install(destination));
    EXPECT_FALSE(Exists(destination + "\\zel_or.exe"));
    EXPECT_FALSE(Exists(desktop + "\\Орвента.lnk"));
    EXPECT_FALSE(Exists(startRecord));
}

TEST_F(InstallTest, AnEmptyDestinationIsRefusedBeforeAnythingChanges) {
    PutMainProgram();
    for (const char* typed : {"", "   "}) {
        const std::vector<std::string> refused = {
            "ReadDestination",
            "ShowMessage Установка программы Зеларит:Орвента|Укажите папку назначения.", "log 0"};
        EXPECT_EQ(refused, Install(typed)) << "typed \"" << typed << "\"";
    }
    EXPECT_FALSE(Exists(desktop + "\\Орвента.lnk"));
    EXPECT_FALSE(Exists(startRecord));
}

TEST_F(InstallTest, AMainProgramPathOver259CharactersIsNeitherLinkedNorStarted) {
    PutMainProgram();
    // 250 characters: the folder still fits, "\zel_or.exe" no longer does.
    const std::string destination = scratch / std::string(249 - scratch.Path().size(), 'd');
    ASSERT_EQ(250u, destination.size());
    WriteFile(medium + "\\zel_or.exe", "");  // would be found if the path were cut short
    const std::vector<std::string> steps = Install(destination);
    EXPECT_EQ("EndWithResult 1", steps.at(steps.size() - 2));
    EXPECT_FALSE(Exists(desktop + "\\Орвента.lnk"));
    EXPECT_FALSE(Exists(startRecord));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--medium-run") return RunChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#pragma once

#include <string>
#include <vector>

#include "support/FileTree.h"
#include "support/Registry.h"
#include "support/ShellLinkReader.h"

// The machine as an install meets it in a test: a scratch folder, an all-users
// desktop and the user's own desktop inside it, which the "Common Desktop" and
// the user's "Desktop" values name (the machine's and the user's values come
// back when the scene ends; the user's is set where the shell looks for it
// too, since the shell writes what it finds over the Shell Folders value), and
// the file that the stand-in main program
// appends its record to when it is started, named in the current user's
// registry (HKCU\Software\HD tests, "Start record") for as long as the scene
// lasts: a program the desktop shell starts does not inherit the test's
// environment.
class InstallScene {
public:
    // The start record lies in the scratch folder unless `startRecord` names
    // another place (a test that watches the scratch folder's drive for writes).
    explicit InstallScene(const std::string& name, const std::string& startRecord = "");
    ~InstallScene();
    InstallScene(const InstallScene&) = delete;
    InstallScene& operator=(const InstallScene&) = delete;

    // The shortcut read back through the link object, with COM around it.
    ShellLinkFields ReadShortcut() const { return ReadShortcut(shortcut); }
    ShellLinkFields ReadShortcut(const std::string& path) const;
    // Points the "Common Desktop" value at `folder`, or removes it for "".
    void SetCommonDesktop(const std::string& folder);
    // What the started program recorded: its path, its command line, its
    // current folder, its parent's image path and its show state, one a line,
    // and as much again for every further start; "<missing>" when nothing was
    // started.
    std::string ReadStartRecord() const { return ReadFile(startRecord); }
    // The record's lines once it holds at least one whole record and the
    // program that wrote it has ended, waiting at most `bound` ms in all: a
    // program the desktop shell started runs on its own, so an installer's end
    // says nothing about it. Empty when nothing came.
    std::vector<std::string> WaitForStartRecord(DWORD bound) const;

    ScratchFolder scratch;
    // Named in Cyrillic, which no Western code page holds.
    const std::string desktop = scratch / "Общий стол";
    const std::string shortcut = desktop + "\\Орвента.lnk";
    const std::string userDesktop = scratch / "Мой стол";
    const std::string userShortcut = userDesktop + "\\Орвента.lnk";
    const std::string startRecord;

private:
    ShellFolderValue desktopValue_{kCommonDesktop};
    ShellFolderValue userDesktopValue_{kUserDesktop};
    ShellFolderValue userShellDesktopValue_{kUserShellDesktop};
};

// The stand-in main program (StartRecorder.cpp), built beside the test
// programs that start it.
std::string StartRecorderProgram();
// The lines of a start record that one start writes.
constexpr size_t kStartRecordLines = 5;
// The file name at the end of a path, in lower case: "explorer.exe" for the
// parent that the desktop shell's start gives.
std::string BaseName(const std::string& path);
// The lines of `text`, each ended by '\n' (an unended last line is left out).
std::vector<std::string> Lines(const std::string& text);

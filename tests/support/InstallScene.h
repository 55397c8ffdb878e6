#pragma once

#include <string>

#include "support/FileTree.h"
#include "support/Registry.h"
#include "support/ShellLinkReader.h"

// The machine as an install meets it in a test: a scratch folder, an all-users
// desktop inside it that the "Common Desktop" value names (the machine's value
// comes back when the scene ends), and HD_START_RECORD naming the file that the
// stand-in main program writes when the installer starts it.
class InstallScene {
public:
    // The start record lies in the scratch folder unless `startRecord` names
    // another place (a test that watches the scratch folder's drive for writes).
    explicit InstallScene(const std::string& name, const std::string& startRecord = "");
    ~InstallScene();
    InstallScene(const InstallScene&) = delete;
    InstallScene& operator=(const InstallScene&) = delete;

    // The shortcut read back through the link object, with COM around it.
    ShellLinkFields ReadShortcut() const;
    // What the started program recorded: its path, its command line and its
    // current folder, one a line; "<missing>" when nothing was started.
    std::string ReadStartRecord() const { return ReadFile(startRecord); }

    ScratchFolder scratch;
    // Named in Cyrillic, which no Western code page holds.
    const std::string desktop = scratch / "Общий стол";
    const std::string shortcut = desktop + "\\Орвента.lnk";
    const std::string startRecord;

private:
    CommonDesktopValue desktopValue_;
};

// The stand-in main program (StartRecorder.cpp), built beside the test
// programs that start it.
std::string StartRecorderProgram();

#include "support/InstallScene.h"

#include <objbase.h>

InstallScene::InstallScene(const std::string& name, const std::string& startRecord)
    : scratch(name), startRecord(startRecord.empty() ? scratch / "started.txt" : startRecord) {
    MakeFolders(desktop);
    desktopValue_.SetText(desktop);
    SetEnvironment("HD_START_RECORD", this->startRecord);
}

InstallScene::~InstallScene() { SetEnvironment("HD_START_RECORD", ""); }

ShellLinkFields InstallScene::ReadShortcut() const {
    CoInitialize(nullptr);
    const ShellLinkFields link = ReadShellLink(shortcut);
    CoUninitialize();
    return link;
}

std::string StartRecorderProgram() { return OwnFolder() + "\\start_recorder.exe"; }

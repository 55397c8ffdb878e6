#include "support/InstallScene.h"

#include <objbase.h>
#include <tlhelp32.h>

namespace {
const wchar_t kRecordKey[] = L"Software\\HD tests";
const wchar_t kRecordValue[] = L"Start record";
// Whether any process runs from the program at `path`.
bool Runs(const std::string& path) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    const std::wstring wanted = Wide(path);
    bool runs = false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !runs; more = Process32NextW(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (process == nullptr) continue;
        wchar_t image[MAX_PATH] = L"";
        DWORD size = MAX_PATH;
        runs = QueryFullProcessImageNameW(process, 0, image, &size) && lstrcmpiW(image, wanted.c_str()) == 0;
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return runs;
}
}  // namespace

InstallScene::InstallScene(const std::string& name, const std::string& startRecord)
    : scratch(name), startRecord(startRecord.empty() ? scratch / "started.txt" : startRecord) {
    MakeFolders(desktop);
    desktopValue_.SetText(desktop);
    MakeFolders(userDesktop);
    userDesktopValue_.SetText(userDesktop);
    userShellDesktopValue_.SetText(userDesktop);
    const std::wstring record = Wide(this->startRecord);
    RegSetKeyValueW(HKEY_CURRENT_USER, kRecordKey, kRecordValue, REG_SZ, record.c_str(),
                    static_cast<DWORD>((record.size() + 1) * sizeof(wchar_t)));
}

InstallScene::~InstallScene() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kRecordKey, kRecordValue); }

ShellLinkFields InstallScene::ReadShortcut(const std::string& path) const {
    CoInitialize(nullptr);
    const ShellLinkFields link = ReadShellLink(path);
    CoUninitialize();
    return link;
}

void InstallScene::SetCommonDesktop(const std::string& folder) {
    if (folder.empty()) {
        desktopValue_.Remove();
    } else {
        desktopValue_.SetText(folder);
    }
}

std::vector<std::string> InstallScene::WaitForStartRecord(DWORD bound) const {
    const DWORD start = GetTickCount();
    std::vector<std::string> lines;
    while ((lines = Lines(ReadStartRecord())).size() < kStartRecordLines && GetTickCount() - start < bound) Sleep(20);
    // Its program may still be ending, and holding its file, once the record is there.
    while (!lines.empty() && Runs(lines[0]) && GetTickCount() - start < bound) Sleep(20);
    return lines;
}

std::string StartRecorderProgram() { return OwnFolder() + "\\start_recorder.exe"; }

std::string BaseName(const std::string& path) {
    std::wstring name = Wide(path.substr(path.find_last_of('\\') + 1));
    CharLowerW(&name[0]);
    return Narrow(name);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

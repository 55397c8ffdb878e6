#include "support/ForeignWindows.h"

#include <cstdlib>

#include "support/DialogHarness.h"
#include "support/DialogTexts.h"
#include "support/FileTree.h"

DWORD WindowTimeout() {
    const DWORD seconds = static_cast<DWORD>(atoi(Environment("HD_WINDOW_TIMEOUT_S").c_str()));
    return seconds > 0 ? seconds * 1000 : 20000;
}

HWND WaitForWindow(const char* caption, DWORD processId, DWORD timeout, DWORD pollMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowW(nullptr, Wide(caption).c_str());
        DWORD owner = 0;
        if (window != nullptr) GetWindowThreadProcessId(window, &owner);
        if (window != nullptr && (processId == 0 || owner == processId) && IsWindowVisible(window)) return window;
        if (GetTickCount() - start >= timeout) return nullptr;
        Sleep(pollMs);
    }
}

namespace {
struct BoxSearch {
    DWORD process;
    HWND dialog;
    HWND found;
};

BOOL CALLBACK FindInstallerBox(HWND window, LPARAM context) {
    BoxSearch& search = *reinterpret_cast<BoxSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (process != search.process || window == search.dialog || lstrcmpW(className, L"#32770") != 0 ||
        !IsWindowVisible(window) || TextOf(window) != shown::kCaption) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}
}  // namespace

HWND WaitForInstallerBox(DWORD processId, HWND dialog, DWORD timeout) {
    const DWORD start = GetTickCount();
    for (;;) {
        BoxSearch search = {processId, dialog, nullptr};
        EnumWindows(FindInstallerBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount() - start >= timeout) return search.found;
        Sleep(20);
    }
}

namespace {
BOOL CALLBACK KeepLongestText(HWND child, LPARAM context) {
    std::string& best = *reinterpret_cast<std::string*>(context);
    const std::string text = TextOf(child);
    if (text.size() > best.size()) best = text;
    return TRUE;
}
}  // namespace

std::string MessageBoxText(HWND box) {
    std::string longest;
    EnumChildWindows(box, KeepLongestText, reinterpret_cast<LPARAM>(&longest));
    return longest;
}

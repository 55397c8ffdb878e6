#include "desktop/Shortcut.h"

#include <objidl.h>
#include <shlobj.h>

namespace {
const char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCommonDesktopValue[] = "Common Desktop";
}  // namespace

bool FindCommonDesktop(char (&folder)[kDesktopPathCapacity]) {
    folder[0] = '\0';
    // Reading one value needs no more than query rights; asking for more makes
    // the lookup fail for every user who is not an administrator.
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kShellFoldersKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD size = kDesktopPathCapacity - 1;  // one byte stays free for the terminator
    const LONG status = RegQueryValueExA(key, kCommonDesktopValue, nullptr, &type,
                                         reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        folder[0] = '\0';
        return false;
    }
    // The registry does not promise a stored terminator.
    folder[size] = '\0';
    return folder[0] != '\0';
}

HRESULT CreateShellLink(const char* target, const char* shortcutPath, const char* description) {
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      reinterpret_cast<void**>(&link));
    if (FAILED(result)) return result;

    // results ignored: the link is still saved, as the platform's defaults allow.
    link->SetPath(target);
    link->SetDescription(description);

    IPersistFile* file = nullptr;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(result)) {
        link->Release();
        return result;
    }

    // A name that does not fit MAX_PATH UTF-16 units is refused, not cut short.
    WCHAR name[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, name, MAX_PATH) == 0) {
        result = HRESULT_FROM_WIN32(GetLastError());
    } else {
        result = file->Save(name, TRUE);
    }

    file->Release();
    link->Release();
    return result;
}

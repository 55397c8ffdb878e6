#include "desktop/Shortcut.h"

#include <objidl.h>
#include <shlobj.h>

namespace {
const wchar_t kShellFoldersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kCommonDesktopValue[] = L"Common Desktop";
}  // namespace

bool FindCommonDesktop(wchar_t (&folder)[kDesktopPathCapacity]) {
    folder[0] = L'\0';
    // Reading one value needs no more than query rights; asking for more makes
    // the lookup fail for every user who is not an administrator.
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFoldersKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD size = (kDesktopPathCapacity - 1) * sizeof(wchar_t);  // one unit stays free for the terminator
    const LONG status = RegQueryValueExW(key, kCommonDesktopValue, nullptr, &type,
                                         reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        folder[0] = L'\0';
        return false;
    }
    // The registry does not promise a stored terminator, nor an even size.
    folder[size / sizeof(wchar_t)] = L'\0';
    return folder[0] != L'\0';
}

HRESULT CreateShellLink(const wchar_t* target, const wchar_t* shortcutPath, const wchar_t* description) {
    // A name that does not fit MAX_PATH UTF-16 units is refused, not cut short.
    if (lstrlenW(shortcutPath) >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    IShellLinkW* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
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
    result = file->Save(shortcutPath, TRUE);

    file->Release();
    link->Release();
    return result;
}

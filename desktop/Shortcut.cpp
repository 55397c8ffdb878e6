// The desktop folders found, and the shell link made there.
#include "desktop/Shortcut.h"

#include <objidl.h>
#include <shlobj.h>

namespace {
const wchar_t kShellFoldersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The folder that `value` of the Shell Folders key below `root` holds. Windows
// keeps that key only for programs that read it; it may lack a value, so
// where it gives no folder, SHGetFolderPathW is asked for `csidl`.
bool FindShellFolder(HKEY root, const wchar_t* value, int csidl, wchar_t (&folder)[kDesktopPathCapacity]) {
    folder[0] = L'\0';
    // Reading one value needs no more than query rights; asking for more makes
    // the lookup fail for every user who is not an administrator.
    HKEY key;
    if (RegOpenKeyExW(root, kShellFoldersKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD type = REG_NONE;
        DWORD size = (kDesktopPathCapacity - 1) * sizeof(wchar_t);  // one unit stays free for the terminator
        const LONG status = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
        RegCloseKey(key);
        // The registry does not promise a stored terminator, nor an even size.
        folder[status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) ? size / sizeof(wchar_t) : 0] =
            L'\0';
        if (folder[0] != L'\0') return true;
    }
    // It writes at most MAX_PATH units.
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) folder[0] = L'\0';
    return folder[0] != L'\0';
}
}  // namespace

bool FindCommonDesktop(wchar_t (&folder)[kDesktopPathCapacity]) {
    return FindShellFolder(HKEY_LOCAL_MACHINE, L"Common Desktop", CSIDL_COMMON_DESKTOPDIRECTORY, folder);
}

bool FindUserDesktop(wchar_t (&folder)[kDesktopPathCapacity]) {
    return FindShellFolder(HKEY_CURRENT_USER, L"Desktop", CSIDL_DESKTOPDIRECTORY, folder);
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

// "&Обзор": the platform's folder picker. The thread is already in a
// single-threaded COM apartment (set up at start-up), which the picker needs.
#include <shlobj.h>

#include "dialog/InstallerDialog.h"
#include "resources/ResourceIds.h"

INT_PTR InstallerDialog::OnBrowse() {
    wchar_t displayName[MAX_PATH];
    BROWSEINFOW request = {};
    request.hwndOwner = GetActiveWindow();
    request.pszDisplayName = displayName;  // filled by the picker, not used
    request.ulFlags = BIF_RETURNONLYFSDIRS;

    LPITEMIDLIST chosen = SHBrowseForFolderW(&request);
    if (chosen == nullptr) return 0;  // cancelled: the field keeps its text

    ShortPath folder;
    const BOOL converted = SHGetPathFromIDListW(chosen, folder.text);
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(chosen);
        allocator->Release();
    }
    // A choice without a file-system path leaves the field as it was.
    if (converted) SetDlgItemTextW(window_, IDC_DESTINATION, folder.text);
    return 0;
}

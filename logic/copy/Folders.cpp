// The folders of the copy: made, asked about, and removed when undone.
#include "logic/copy/Folders.h"

#include <windows.h>

#include "logic/shared/FileSystem.h"
#include "logic/shared/PathText.h"
#include "logic/view/RetryBoxes.h"

namespace {

// ERROR_STOPPED_ON_SYMLINK, which MinGW's headers lack: "the create operation
// stopped after reaching a symbolic link". Windows before Vista, and Wine 8,
// have no text for it; the box then gives its number.
constexpr DWORD kStoppedOnLink = 681;

// Makes the folder `path` with every missing folder above it. Returns the
// error, ERROR_SUCCESS once the folder is there. Windows makes no folder
// longer than kMaxFolderPath (Wine does): such a path does not fit. A folder
// that is there and is a link, where `links` refuses it, is
// kStoppedOnLink: the copy stops in front of it.
DWORD CreateFolder(const wchar_t* path, Links links) {
    if (FolderExists(path)) {
        const bool link = (GetFileAttributesW(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        return link && links == Links::kRefused ? kStoppedOnLink : ERROR_SUCCESS;
    }
    if (!FitsAsFolder(path)) return ERROR_FILENAME_EXCED_RANGE;
    MakeDirectoryChain(path);
    if (FolderExists(path)) return ERROR_SUCCESS;
    // Once more for the reason, which the chain does not keep: a file in the
    // way, no rights, a medium that cannot be written.
    return CreateDirectoryW(path, nullptr) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

bool CreateFolderOrAsk(InstallerView& view, const wchar_t* path, const wchar_t* folder, const wchar_t* name,
                       Links links) {
    for (;;) {
        const DWORD error = path != nullptr ? CreateFolder(path, links) : ERROR_FILENAME_EXCED_RANGE;
        if (error == ERROR_SUCCESS) return true;
        if (!AskRetryFolder(view, folder, name, error)) return false;
    }
}

void RemoveMadeFolders(const wchar_t* path, int missing) {
    ShortPath folder;
    if (!CopyPath(folder, path)) return;
    for (int left = missing; left > 0; --left) {
        if (!RemoveDirectoryW(folder.text)) return;
        wchar_t* separator = FindLastChar(folder.text, L'\\');
        if (separator == nullptr) return;
        *separator = L'\0';
    }
}

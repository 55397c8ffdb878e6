// Which folder a path names, by its volume and file index.
#include "logic/shared/FolderIdentity.h"

#include <windows.h>

FolderIdentity IdentifyFolder(const wchar_t* path) {
    FolderIdentity identity = {};
    HANDLE folder = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(folder, &information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        identity.known = true;
        identity.volume = information.dwVolumeSerialNumber;
        identity.indexHigh = information.nFileIndexHigh;
        identity.indexLow = information.nFileIndexLow;
    }
    CloseHandle(folder);
    if (identity.known && identity.volume == 0) {
        // A path too long to keep cannot be told from another volume's folder.
        if (!CopyPath(identity.path, path)) return FolderIdentity{};
        CharUpperBuffW(identity.path.text, lstrlenW(identity.path.text));
    }
    return identity;
}

bool SameFolder(const FolderIdentity& a, const FolderIdentity& b) {
    return a.known && b.known && a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow &&
           lstrcmpW(a.path.text, b.path.text) == 0;
}

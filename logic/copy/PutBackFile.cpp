// The put-back of one kept earlier file, shared by the undo and the recovery.
#include "logic/copy/PutBackFile.h"

#include "logic/shared/FileSystem.h"

namespace {

// Whether `a` and `b` are names of the same file: the same volume and index.
bool SameFile(const wchar_t* a, const wchar_t* b) {
    BY_HANDLE_FILE_INFORMATION information[2];
    const wchar_t* const paths[] = {a, b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileW(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const BOOL read = GetFileInformationByHandle(file, &information[i]);
        CloseHandle(file);
        if (!read) return false;
    }
    return information[0].dwVolumeSerialNumber == information[1].dwVolumeSerialNumber &&
           information[0].nFileIndexHigh == information[1].nFileIndexHigh &&
           information[0].nFileIndexLow == information[1].nFileIndexLow;
}

}  // namespace

bool PutBackFile(const wchar_t* kept, const wchar_t* target, DWORD attributes) {
    if (GetFileAttributesW(kept) == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    const bool same = SameFile(kept, target);
    // Windows deletes no read-only name, nor renames over one.
    const wchar_t* const protectedName = same ? kept : target;
    const auto putBack = [&] {
        // Where only its second name was made (the new file never took its
        // place), that name goes.
        return same ? DeleteFileW(kept) != FALSE : MoveFileExW(kept, target, MOVEFILE_REPLACE_EXISTING) != FALSE;
    };
    const bool back = putBack() || (GetLastError() == ERROR_ACCESS_DENIED && ClearProtection(protectedName) && putBack());
    // The marks cleared to replace it, or just now. A link's are its own,
    // and setting them would set its target's.
    const DWORD now = GetFileAttributesW(target);
    if ((back || same) && now != INVALID_FILE_ATTRIBUTES && now != attributes && !(now & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // result ignored: the file is back, its marks are the lesser matter.
        SetFileAttributesW(target, attributes);
    }
    return back;
}

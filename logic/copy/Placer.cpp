// A file written whole put in its place, the earlier file there kept aside.
#include "logic/copy/Placer.h"

#include "logic/copy/Flusher.h"
#include "logic/copy/KeptFiles.h"
#include "logic/shared/FileSystem.h"

namespace {

// Units of the path of a file below `destination` before its path below it:
// the destination and its separator.
int RootLength(const wchar_t* destination) {
    const int length = lstrlenW(destination);
    return length > 0 && destination[length - 1] == L'\\' ? length : length + 1;
}

// Whether another program holds the file at `target` without letting it go
// (a running program, an open document): it could not be replaced, nor
// could its second name go again.
bool IsHeld(const wchar_t* target) {
    HANDLE probe = CreateFileW(target, DELETE | FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                               nullptr);
    if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) return true;
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    return false;
}

// Renames the whole new file at `temporary` over `target`, an earlier file
// with `attributes`. A target that Windows will not replace for its marks
// loses them, and only then; a replace that fails still leaves it as it was,
// marks included. Returns the error, ERROR_SUCCESS once it is in place.
DWORD Replace(const wchar_t* temporary, const wchar_t* target, DWORD attributes) {
    if (MoveFileExW(temporary, target, MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED || !ClearProtection(target)) return error;
    if (MoveFileExW(temporary, target, MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
    error = GetLastError();
    SetFileAttributesW(target, attributes);  // result ignored: the marks just cleared, set back
    return error;
}

}  // namespace

DWORD Placer::PutInPlace(int id, const wchar_t* temporary, const wchar_t* target, Placed& placed) {
    placed = {false, -1, 0};
    const DWORD attributes = GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) return MoveFileExW(temporary, target, 0) ? ERROR_SUCCESS : GetLastError();
    // Asked about before anything is kept aside.
    if (IsHeld(target)) return ERROR_SHARING_VIOLATION;
    flusher_.WaitFor(id);
    int kept = -1;
    if (keepEarlier_ && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const DWORD error = kept_.Keep(target, target + RootLength(destination_), attributes, kept);
        if (error != ERROR_SUCCESS) return error;
    }
    const DWORD error = Replace(temporary, target, attributes);
    if (error != ERROR_SUCCESS) {
        if (kept >= 0) kept_.PutBack(kept, target, attributes);
        return error;
    }
    placed = {true, kept, attributes};
    return ERROR_SUCCESS;
}

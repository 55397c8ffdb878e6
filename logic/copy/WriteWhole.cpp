// One file written whole into a temporary file of the work folder.
#include "logic/copy/WriteWhole.h"

#include "logic/copy/ReadAhead.h"
#include "logic/copy/WorkFolder.h"
#include "logic/view/ProgressMeter.h"

DWORD WriteWhole(WorkFolder& work, ReadAhead& reader, int ticket, const CopyPlan::Step& step, ProgressMeter& progress,
                 WrittenFile& written) {
    DWORD error = ERROR_SUCCESS;
    HANDLE file = work.CreateTemporary(written.path, error);
    written.file = file;
    if (file == INVALID_HANDLE_VALUE) return error;
    ULONGLONG bytes = 0;
    for (;;) {
        const ReadAhead::Piece piece = reader.Take(ticket);
        DWORD done = 0;
        if (piece.length > 0 && !WriteFile(file, piece.data, piece.length, &done, nullptr)) {
            error = GetLastError();
        } else if (piece.error != ERROR_SUCCESS) {
            error = piece.error;
        }
        if (error != ERROR_SUCCESS) break;
        bytes += piece.length;
        progress.Copied(piece.length);
        reader.Release();
        if (piece.end) break;
    }
    written.bytes = bytes;
    if (error == ERROR_SUCCESS && !SetFileTime(file, nullptr, nullptr, &step.lastWrite)) error = GetLastError();
    if (error == ERROR_SUCCESS && bytes != step.size) error = ERROR_CRC;
    if (error != ERROR_SUCCESS) {
        CloseHandle(file);
        DeleteFileW(written.path.text);
        progress.StartOver(bytes);
    }
    return error;
}

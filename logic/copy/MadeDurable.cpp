// The flushes waited for before the end, and those that failed tried again.
#include "logic/copy/MadeDurable.h"

#include <windows.h>

#include "logic/copy/Flusher.h"
#include "logic/copy/UndoJournal.h"
#include "logic/plan/CopyPlan.h"
#include "logic/view/RetryBoxes.h"

namespace {

// Flushes the file at `path` once more. Returns the error, ERROR_SUCCESS.
DWORD FlushAgain(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    const DWORD error = FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return error;
}

}  // namespace

bool MadeDurable(InstallerView& view, const CopyPlan& plan, Flusher& flusher, const UndoJournal& journal) {
    if (flusher.WaitForAll()) return true;
    for (int at = 0; at < journal.Count(); ++at) {
        if (journal[at].what == UndoJournal::Done::kFolderMade) continue;
        const CopyPlan::Step step = plan.At(journal[at].step);
        ShortPath path;
        LongPath sourceFolder, destinationFolder;
        plan.Folders(step, sourceFolder, destinationFolder);
        if (!plan.DestinationPath(step, path)) continue;
        for (DWORD error; (error = FlushAgain(path.text)) != ERROR_SUCCESS;) {
            if (!AskRetryCopy(view, sourceFolder.text, destinationFolder.text, step.name, error)) return false;
        }
    }
    return true;
}

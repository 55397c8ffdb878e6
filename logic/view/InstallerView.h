#pragma once

#include <windows.h>

#include "logic/shared/PathText.h"

// What the installation logic may do to the installer's dialog. The logic never
// touches a window itself; InstallerDialog carries these out on its controls,
// on the dialog's own thread whichever thread calls, and tests substitute a
// recording fake. Each call returns once it has been carried out.
class InstallerView {
public:
    // Adds `text` at the end of the log.
    virtual void AppendLogText(const wchar_t* text) = 0;
    // Makes the destination field read-only.
    virtual void SetDestinationReadOnly() = 0;
    // Disables one of the dialog's buttons: IDOK, IDCANCEL or IDC_BROWSE
    // (resources/ResourceIds.h).
    virtual void DisableButton(int identifier) = 0;
    // Empties the log.
    virtual void ClearLog() = 0;
    // Undoes the freeze after an install that was refused: the destination
    // field editable, the three buttons enabled, the focus in the field and
    // the information text in the log, as before "Извлечь".
    virtual void Thaw() = 0;
    // Copies the destination field's text, at most 259 units, into `buffer`:
    // the field takes no more than 258, so 259 tells that a longer text was put there.
    virtual void ReadDestination(ShortPath& buffer) = 0;
    // Shows an information box owned by the dialog and waits until it is closed.
    virtual void ShowMessage(const wchar_t* text, const wchar_t* caption) = 0;
    // Ends the modal dialog with `result`.
    virtual void EndWithResult(int result) = 0;
    // Shows an error box owned by the dialog with Retry and Cancel and waits
    // for the answer: true for Retry; Cancel, Escape and the close box give false.
    virtual bool AskRetry(const wchar_t* text, const wchar_t* caption) = 0;
    // The install's work begins: until EndProgress the dialog shows how far it
    // has got, not yet known, and that it waits for the user while a box that
    // offers Retry is up.
    virtual void StartProgress() = 0;
    // `done` of `total` bytes are copied. Called as often as the copy likes
    // and returns at once; the dialog shows the latest at a pace of its own.
    virtual void ShowProgress(ULONGLONG done, ULONGLONG total) = 0;
    // The copy has ended, complete or cancelled: the last value given is
    // shown, then no progress at all.
    virtual void EndProgress() = 0;

protected:
    ~InstallerView() = default;
};

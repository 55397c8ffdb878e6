#pragma once

#include <windows.h>

#include <functional>
#include <string>

// A window's text, whether the window belongs to this process or another:
// WM_GETTEXT is marshalled across processes, GetWindowTextW is not. Read in
// UTF-16, so that it is the text a user sees whatever the code page.
std::string TextOf(HWND window);

// What RunModalWithTicks makes the dialog return when `tick` never finished.
constexpr INT_PTR kGaveUp = 99;

// Drives a modal dialog of this thread from inside its own modal loop: runs
// `runModal` while a thread timer calls `tick` every `intervalMs` with the
// installer dialog once it exists: possibly before it is first shown, which
// spares a long scenario Wine's repainting. The dialog's modal loop, and any
// loop nested in it (a message box, the folder picker), dispatches the timer.
// `tick` returns true when it is done (it has ended the dialog, or will).
// After `maxTicks` ticks without that, every dialog of this thread is ended
// with kGaveUp, so a stuck scenario fails instead of hanging. Returns what
// `runModal` returned.
INT_PTR RunModalWithTicks(const std::function<INT_PTR()>& runModal, UINT intervalMs, int maxTicks,
                          const std::function<bool(HWND dialog)>& tick);

#pragma once

#include <windows.h>

// Room for the all-users desktop folder and the shortcut path built from it,
// in UTF-16 units: the registry may hold a folder far longer than MAX_PATH.
constexpr int kDesktopPathCapacity = 4096;

// Reads the all-users desktop folder from the registry into `folder`. False when
// the value is missing, not text, empty, or does not fit.
bool FindCommonDesktop(wchar_t (&folder)[kDesktopPathCapacity]);

// Writes a shell link at `shortcutPath` pointing at `target`. The calling thread
// must already be in a single-threaded COM apartment. Returns the result of the
// last step that ran.
HRESULT CreateShellLink(const wchar_t* target, const wchar_t* shortcutPath, const wchar_t* description);

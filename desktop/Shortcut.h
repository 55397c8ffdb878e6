#pragma once

// The desktop folders, all users' and the user's own, and the shell link
// made on one of them.

#include <windows.h>

// Room for a desktop folder and the shortcut path built from it, in UTF-16
// units: the registry may hold a folder far longer than MAX_PATH.
constexpr int kDesktopPathCapacity = 4096;

// The all-users desktop folder, into `folder`: the "Common Desktop" value of
// the machine's Shell Folders key, or where that value is missing, not text,
// empty or too long, what SHGetFolderPathW gives for it. False when neither
// gives a folder.
bool FindCommonDesktop(wchar_t (&folder)[kDesktopPathCapacity]);

// The same for the user's own desktop: the "Desktop" value of the user's
// Shell Folders key, else SHGetFolderPathW.
bool FindUserDesktop(wchar_t (&folder)[kDesktopPathCapacity]);

// Writes a shell link at `shortcutPath` pointing at `target`. The calling thread
// must already be in a single-threaded COM apartment. Returns the result of the
// last step that ran.
HRESULT CreateShellLink(const wchar_t* target, const wchar_t* shortcutPath, const wchar_t* description);

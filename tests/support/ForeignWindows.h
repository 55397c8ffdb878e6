#pragma once

#include <windows.h>

#include <string>

// How long a window may take to appear: 20 s, or HD_WINDOW_TIMEOUT_S seconds
// where the installer runs under CPU emulation and takes about a minute to start.
DWORD WindowTimeout();

// Polls every `pollMs` until a visible top-level window with this caption
// belongs to the process (to any process for 0); nullptr when none did within
// `timeout` ms.
HWND WaitForWindow(const char* caption, DWORD processId, DWORD timeout = WindowTimeout(), DWORD pollMs = 20);

// A visible box of the process with the installer's caption, other than
// `dialog` (the installer's dialog, which has that caption too); polls until
// one shows or `timeout` ms have passed (0: looks once). nullptr for none.
HWND WaitForInstallerBox(DWORD processId, HWND dialog, DWORD timeout);

// A message box's text: its child control with the longest text.
std::string MessageBoxText(HWND box);

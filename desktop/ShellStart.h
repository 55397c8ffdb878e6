#pragma once

#include <windows.h>

// Asks the desktop shell (Explorer, the process that shows the desktop) to
// start `program`, without arguments, with `folder` as its current folder,
// shown normally. The program then runs with the shell's token, the one the
// user logged on with, whatever the caller's: an elevated caller's full token
// does not pass to it.
//
// S_OK once the shell reports the program started. Any other result means it
// was not started: no shell runs, the shell shows no desktop of its own (a
// replacement shell), its automation objects are missing, or the shell could
// not start the program. The shell hands back no process, so there is nothing
// to wait on. The calling thread must already be in a single-threaded COM
// apartment; every interface obtained is released before the function returns.
HRESULT StartThroughShell(const wchar_t* program, const wchar_t* folder);

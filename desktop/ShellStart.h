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

// The result that StartThroughShellWithin gives when the shell has not
// answered in time.
constexpr HRESULT kShellDidNotAnswer = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

// StartThroughShell on a thread of its own, in a single-threaded COM
// apartment of its own, waited for at most `timeoutMs`: the shell's calls have
// no time limit, and Explorer hangs often enough (a busy optical drive).
// kShellDidNotAnswer when it has not answered by then: the request may still
// be carried out, so the program must not be started another way. The thread
// is then left to finish, or to end with the process; it owns copies of both
// paths. Any other result is StartThroughShell's.
HRESULT StartThroughShellWithin(const wchar_t* program, const wchar_t* folder, DWORD timeoutMs);

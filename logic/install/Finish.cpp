// The install's finish: the shortcut to the installed program on the
// desktop (all users', else the user's own), and its start with the user's
// own rights, through the desktop shell where the installer runs elevated.
#include "logic/install/Finish.h"

#include <windows.h>

#include "desktop/ShellStart.h"
#include "desktop/Shortcut.h"
#include "logic/install/InstallTexts.h"
#include "logic/shared/PathText.h"

namespace {

// The all-users desktop folder, later the shortcut path built from it.
using DesktopPath = PathText<kDesktopPathCapacity>;

// Extends the desktop folder in `path` to "<folder>\Орвента.lnk"; false when
// that does not fit.
bool AppendShortcutName(DesktopPath& path) {
    const wchar_t extension[] = L".lnk";
    const int length = lstrlenW(path.text) + 1 + lstrlenW(kShortcutName) + lstrlenW(extension);
    if (length >= DesktopPath::capacity) return false;
    lstrcatW(path.text, L"\\");
    lstrcatW(path.text, kShortcutName);
    lstrcatW(path.text, extension);
    return true;
}

// Starts the installed program as WinExec did, which has no wide form: by its
// quoted path (a destination such as C:\Program Files\ZelOr must not make
// Windows try C:\Program.exe), shown normally, in the installer's current
// folder. Like WinExec, it returns once the program waits for input, or after
// 30 s, so that the start looks to the user as it always has. The program gets
// the installer's own token.
void StartDirectly(const wchar_t* path) {
    wchar_t command[ShortPath::capacity + 2];
    wsprintfW(command, L"\"%s\"", path);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started;
    // result ignored: a program that does not start is not reported.
    if (!CreateProcessW(path, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) return;
    WaitForInputIdle(started.hProcess, 30000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

// Whether the installer runs with an elevated token: an administrator's on
// Windows Vista and later, after the elevation prompt. Windows XP has no such
// token class and fails the query, as a token that cannot be opened does:
// neither counts as elevated.
bool RunsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const BOOL answered = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return answered && elevation.TokenIsElevated != 0;
}

// How long the desktop shell may take to start the program before the
// installer gives up and ends.
constexpr DWORD kShellStartTimeoutMs = 15000;

}  // namespace

void PlaceShortcut(const wchar_t* program) {
    DesktopPath path;
    if (FindCommonDesktop(path.text) && AppendShortcutName(path) &&
        SUCCEEDED(CreateShellLink(program, path.text, kShortcutName))) {
        return;
    }
    // result ignored: a missing shortcut is not reported; the program still starts.
    if (FindUserDesktop(path.text) && AppendShortcutName(path)) CreateShellLink(program, path.text, kShortcutName);
}

// Every process an elevated installer starts itself inherits its full token,
// so an elevated installer asks the desktop shell, which runs with the token
// the user logged on with, and gives it the folder the direct start would
// pass on. Whatever the shell cannot do (no shell running, another shell, a
// program it could not start) ends in the direct start: the program is never
// left unstarted. A shell that does not answer in time may still start it
// later, so then nothing else does: two copies of the program must never run.
// An installer that is not elevated (a standard user, Windows XP) has the
// user's own rights already and starts it directly.
void StartProgram(const wchar_t* path) {
    if (RunsElevated()) {
        ShortPath folder;
        const DWORD length = GetCurrentDirectoryW(ShortPath::capacity, folder.text);
        if (length != 0 && length < ShortPath::capacity) {
            const HRESULT result = StartThroughShellWithin(path, folder.text, kShellStartTimeoutMs);
            if (result == S_OK || result == kShellDidNotAnswer) return;
        }
    }
    StartDirectly(path);
}
